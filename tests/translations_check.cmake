# Every text marked in base/messages.h has a finished translation in every translations/*.ts, and
# no file holds texts the program no longer has: lupdate brings a copy of each file up to date,
# and the copy must come out with nothing unfinished or vanished.
#   cmake -DLUPDATE=<lupdate> -DSOURCE_DIR=<repository> -DWORK_DIR=<folder> "-DOPTIONS=<a|b|...>" -P translations_check.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" options "${OPTIONS}")
file(GLOB ts_files ${SOURCE_DIR}/translations/ternova_*.ts)
if(NOT ts_files)
  message(FATAL_ERROR "no translations in ${SOURCE_DIR}/translations")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(faults "")
foreach(ts IN LISTS ts_files)
  get_filename_component(name ${ts} NAME)
  file(COPY ${ts} DESTINATION ${WORK_DIR})
  execute_process(COMMAND ${LUPDATE} ${options} ${SOURCE_DIR}/base/messages.h -ts ${WORK_DIR}/${name}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}:\n${output}")
  endif()
  file(READ ${WORK_DIR}/${name} updated)
  # Entities end in ";": keep them out of CMake's list splitting.
  string(REPLACE ";" "@SEMICOLON@" updated "${updated}")
  string(REGEX MATCHALL "<source>[^<]*</source>[^<]*(<[a-z]*comment>[^<]*</[a-z]*comment>[^<]*)*<translation type=\"(unfinished|vanished|obsolete)\""
         bad "${updated}")
  foreach(entry IN LISTS bad)
    string(REGEX MATCH "<source>([^<]*)</source>" source "${entry}")
    string(REPLACE "@SEMICOLON@" ";" source "${CMAKE_MATCH_1}")
    string(REGEX MATCH "type=\"([a-z]*)\"" type "${entry}")
    string(APPEND faults "  ${name}: ${CMAKE_MATCH_1}: ${source}\n")
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Translations to finish (run `cmake --build build --target update_translations`, then translate):\n${faults}")
endif()
message(STATUS "Every text has its translation in: ${ts_files}")
