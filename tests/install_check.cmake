# Installs the build into a fresh temporary prefix and checks that a desktop user gets the
# program, the command-line tool, the menu entry (offered for data files), the icon and the
# manual page.
set(prefix "${BINARY_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BINARY_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/ternova bin/ternova-plot share/applications/ternova.desktop
             share/icons/hicolor/scalable/apps/ternova.svg share/man/man1/ternova-plot.1.gz
             share/man/man1/ternova.1.gz share/metainfo/io.github.ternova.ternova.metainfo.xml
             share/mime/packages/ternova.xml
             share/ternova/examples/minerals.txt)
  if(NOT EXISTS "${prefix}/${path}")
    message(FATAL_ERROR "missing after install: ${path}")
  endif()
endforeach()
execute_process(COMMAND "${prefix}/bin/ternova-plot" --version OUTPUT_VARIABLE version RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT version MATCHES "^ternova-plot [0-9]")
  message(FATAL_ERROR "the installed ternova-plot does not run: ${result} ${version}")
endif()
# The entry must pass the desktop's own check, and offer Ternova for data files ("Open with").
find_program(VALIDATE desktop-file-validate REQUIRED)
set(entry "${prefix}/share/applications/ternova.desktop")
execute_process(COMMAND "${VALIDATE}" "${entry}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate: ${result} ${out}")
endif()
file(READ "${entry}" text)
foreach(line "Exec=ternova %f" "MimeType=text/tab-separated-values;text/plain;")
  string(FIND "${text}" "\n${line}\n" at)
  if(at LESS 0)
    message(FATAL_ERROR "the desktop entry lacks the line ${line}")
  endif()
endforeach()
file(REMOVE_RECURSE "${prefix}")
message(STATUS "install into a temporary prefix: complete")
