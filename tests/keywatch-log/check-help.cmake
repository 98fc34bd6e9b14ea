# Each command's --help names only options that the command takes, and
# speaks in plain words rather than the option library's notation:
#
#   cmake -DTOOL=keywatch-log -P check-help.cmake
#
# An option is taken when giving it alone (with no FILE) draws any complaint
# but "not expected".
cmake_minimum_required(VERSION 3.25)

set(problems)
foreach(command summary csv follow diff report)
  execute_process(COMMAND "${TOOL}" ${command} --help RESULT_VARIABLE status
    OUTPUT_VARIABLE help ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT err STREQUAL "")
    list(APPEND problems "${command} --help: exit status ${status}, standard error '${err}'")
  endif()
  if(NOT help MATCHES "^usage: keywatch-log ${command} ")
    list(APPEND problems "${command} --help does not begin with its usage line")
  endif()
  if(help MATCHES "REQUIRED|TEXT|UINT|\\[[0-9]+ - [0-9]+\\]")
    list(APPEND problems "${command} --help shows the option library's notation: '${CMAKE_MATCH_0}'")
  endif()
  string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
  list(REMOVE_DUPLICATES options)
  list(REMOVE_ITEM options --help)
  if(options STREQUAL "")
    list(APPEND problems "${command} --help names no option")
  endif()
  foreach(option IN LISTS options)
    execute_process(COMMAND "${TOOL}" ${command} ${option} RESULT_VARIABLE status
      OUTPUT_QUIET ERROR_VARIABLE err)
    if(err MATCHES "not expected" OR NOT status EQUAL 2)
      list(APPEND problems "${command} --help names ${option}, which ${command} does not take: ${err}")
    endif()
  endforeach()
endforeach()

if(problems)
  string(REPLACE ";" "\n  " problems "${problems}")
  message(FATAL_ERROR "check-help: ${problems}")
endif()
message(STATUS "check-help: every option named in the commands' help is taken")
