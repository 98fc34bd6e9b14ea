# Builds the release zip afresh, unpacks it the way a user would, and checks
# that it holds exactly the files users are told about, each one the same as
# the build's (the DLL byte for byte as built and checked).
#
#   cmake -DCPACK=cpack -DCONFIG=build/CPackConfig.cmake -DWORK_DIR=dir
#         -DZIP_NAME=keywatch-4.0.2-win64.zip -DTOP=keywatch-4.0.2-win64
#         -DMODULE=keywatch_x64.dll -DFACE=face.png -DGUIDE=docs/user-guide.md
#         -DLICENSE=LICENSE -DVERSION=4.0.2 -P check-release-zip.cmake

cmake_minimum_required(VERSION 3.25)

foreach(var CPACK CONFIG WORK_DIR ZIP_NAME TOP MODULE FACE GUIDE LICENSE VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-release-zip: ${var} not given")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/unpacked")

execute_process(COMMAND "${CPACK}" --config "${CONFIG}" -B "${WORK_DIR}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
set(zip "${WORK_DIR}/${ZIP_NAME}")
if(NOT rc EQUAL 0 OR NOT EXISTS "${zip}")
  message(FATAL_ERROR "check-release-zip: cpack did not make ${zip} (exit ${rc}):\n${out}")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${zip}"
  WORKING_DIRECTORY "${WORK_DIR}/unpacked" RESULT_VARIABLE rc ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check-release-zip: cannot unpack ${zip}: ${out}")
endif()

file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${WORK_DIR}/unpacked" "${WORK_DIR}/unpacked/*")
list(SORT found)
set(expected "${TOP}/LICENSE" "${TOP}/face.png" "${TOP}/keywatch_x64.dll" "${TOP}/user-guide.md")
list(SORT expected)
if(NOT found STREQUAL expected)
  string(REPLACE ";" "\n  " found_text "${found}")
  string(REPLACE ";" "\n  " expected_text "${expected}")
  message(FATAL_ERROR "check-release-zip: ${ZIP_NAME} holds\n  ${found_text}\nbut should hold\n  ${expected_text}")
endif()

set(problems)
foreach(pair "keywatch_x64.dll=${MODULE}" "face.png=${FACE}" "user-guide.md=${GUIDE}" "LICENSE=${LICENSE}")
  string(REGEX MATCH "^([^=]+)=(.*)$" _ "${pair}")
  set(packed "${WORK_DIR}/unpacked/${TOP}/${CMAKE_MATCH_1}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${packed}" "${CMAKE_MATCH_2}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    list(APPEND problems "${CMAKE_MATCH_1} differs from ${CMAKE_MATCH_2}")
  endif()
endforeach()

# The face picture must be a PNG image (signature, then the IHDR chunk).
file(READ "${WORK_DIR}/unpacked/${TOP}/face.png" head LIMIT 24 HEX)
if(NOT head MATCHES "^89504e470d0a1a0a0000000d49484452")
  list(APPEND problems "face.png is not a PNG image")
endif()

# The guide names the version it describes in its title.
file(STRINGS "${WORK_DIR}/unpacked/${TOP}/user-guide.md" title LIMIT_COUNT 1)
if(NOT title MATCHES "keywatch ${VERSION}[^.0-9]")
  list(APPEND problems "user-guide.md's title '${title}' does not name version ${VERSION}")
endif()

if(problems)
  foreach(problem IN LISTS problems)
    message("FAIL: ${problem}")
  endforeach()
  message(FATAL_ERROR "check-release-zip: ${ZIP_NAME} is not what users should get")
endif()
message(STATUS "${ZIP_NAME}: ${found}")
