# `make deb`: Debian packages made by CPack from the install rules. The package `ternova` is
# everything without a component of its own; `python3-ternova` is the component `python`, made
# when the module is built. Library dependencies come from the binaries (dpkg-shlibdeps); what no
# binary links against (Qt's display plugins, the faces the text is measured on) is named here.
get_cmake_property(ternova_components COMPONENTS)
set(ternova_packages ternova)

# What Debian asks of every binary package: its copyright and changelog in its doc folder.
ternova_gzip(${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog ternova_changelog)
function(ternova_package_docs package component)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/copyright ${ternova_changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()
ternova_package_docs(ternova ternova)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ternova)
set(CPACK_PACKAGE_VENDOR Ternova)
set(CPACK_PACKAGE_CONTACT "Ternova developers <ternova-help@users.noreply.github.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(ternova_faces "fonts-ipafont-gothic, fonts-dejavu-core")

set(CPACK_DEBIAN_TERNOVA_PACKAGE_NAME ternova)
set(CPACK_DEBIAN_TERNOVA_PACKAGE_DEPENDS "qt6-qpa-plugins, ${ternova_faces}")
# Qt's own dialog buttons in the user's language.
set(CPACK_DEBIAN_TERNOVA_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_COMPONENT_TERNOVA_DESCRIPTION
    "four oxide components plotted on the unfolded tetrahedron net
Ternova plots rock and mineral compositions in SiO2, Al2O3+CaO, MgO and FeO
on the unfolded net of the composition tetrahedron: the central triangle and
three triangles folded out from its edges, each with FeO at its outer corner.
It reads tab-separated data straight from a spreadsheet, follows the file
while it is edited, and saves the diagram as EMF, WMF, SVG, PDF or PNG.
.
This package holds the window, the command-line tool ternova-plot and
example data.")

if("python" IN_LIST ternova_components)
  list(APPEND ternova_packages python3-ternova)
  ternova_package_docs(python3-ternova python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-ternova)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  # The module is built for one Python: the package takes that one.
  find_package(Python3 QUIET COMPONENTS Interpreter)
  set(python_depends "${ternova_faces}")
  if(Python3_FOUND)
    math(EXPR python_next "${Python3_VERSION_MINOR} + 1")
    set(python_depends "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${python_next}), ${python_depends}")
  endif()
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${python_depends}")
  set(CPACK_COMPONENT_PYTHON_DESCRIPTION
      "Python module of Ternova's four-component tetrahedron net
The module ternova loads tab-separated composition data and draws the
unfolded tetrahedron net of SiO2, Al2O3+CaO, MgO and FeO exactly as the
Ternova window and ternova-plot do, from Python scripts and notebooks.")
else()
  message(STATUS "Python module not built: `make deb` makes the package ternova only, without python3-ternova")
endif()
set(CPACK_COMPONENTS_ALL ternova)
if("python3-ternova" IN_LIST ternova_packages)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
# For the test that installs the packages: which ones this build makes.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/packaging/packages.txt "${ternova_packages}\n")
include(CPack)
