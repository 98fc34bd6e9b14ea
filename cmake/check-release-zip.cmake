# Builds the release zip afresh, unpacks it the way a user would, and checks
# that it is one add-on package folder holding exactly the files users are
# told about, each one the same as the build's (the DLL byte for byte as built
# and checked), and that its add-on.xml is what the simulator reads
# (check-add-on-xml.py).
#
#   cmake -DCPACK=cpack -DCONFIG=build/CPackConfig.cmake -DWORK_DIR=dir
#         -DZIP_NAME=keywatch-VERSION-win64.zip -DTOP=keywatch-VERSION-win64
#         -DMODULE=keywatch_x64.dll -DREADER=keywatch-log.exe -DFACE=face.png
#         -DGUIDE=docs/user-guide.md -DREPORT_PNG=docs/report.png -DLICENSE=LICENSE
#         -DADD_ON_XML=cmake/add-on.xml
#         -DPYTHON=python3 -DXML_CHECK=cmake/check-add-on-xml.py -DVERSION=VERSION
#         -P check-release-zip.cmake

cmake_minimum_required(VERSION 3.25)

foreach(var CPACK CONFIG WORK_DIR ZIP_NAME TOP MODULE READER FACE GUIDE LICENSE ADD_ON_XML PYTHON
            XML_CHECK VERSION)
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
set(packed_files "Gauges/keywatch_x64.dll=${MODULE}" "keywatch-log.exe=${READER}"
    "add-on.xml=${ADD_ON_XML}" "face.png=${FACE}" "user-guide.md=${GUIDE}" "report.png=${REPORT_PNG}"
    "LICENSE=${LICENSE}")
set(expected)
foreach(pair IN LISTS packed_files)
  string(REGEX REPLACE "=.*$" "" name "${pair}")
  list(APPEND expected "${TOP}/${name}")
endforeach()
list(SORT expected)
if(NOT found STREQUAL expected)
  string(REPLACE ";" "\n  " found_text "${found}")
  string(REPLACE ";" "\n  " expected_text "${expected}")
  message(FATAL_ERROR "check-release-zip: ${ZIP_NAME} holds\n  ${found_text}\nbut should hold\n  ${expected_text}")
endif()

set(problems)
foreach(pair IN LISTS packed_files)
  string(REGEX MATCH "^([^=]+)=(.*)$" _ "${pair}")
  set(packed "${WORK_DIR}/unpacked/${TOP}/${CMAKE_MATCH_1}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${packed}" "${CMAKE_MATCH_2}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    list(APPEND problems "${CMAKE_MATCH_1} differs from ${CMAKE_MATCH_2}")
  endif()
endforeach()

# add-on.xml: well-formed, the document, name, description, the DLL
# component naming the DLL and the gauge component naming its folder.
execute_process(COMMAND "${PYTHON}" "${XML_CHECK}" "${WORK_DIR}/unpacked/${TOP}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0)
  list(APPEND problems "add-on.xml is not a keywatch add-on package's (above)")
endif()

# keywatch-log.exe must be a Windows program (the MZ header).
file(READ "${WORK_DIR}/unpacked/${TOP}/keywatch-log.exe" head LIMIT 2 HEX)
if(NOT head STREQUAL "4d5a")
  list(APPEND problems "keywatch-log.exe is not a Windows program")
endif()

# The face picture must be a PNG image (signature, then the IHDR chunk).
file(READ "${WORK_DIR}/unpacked/${TOP}/face.png" head LIMIT 24 HEX)
if(NOT head MATCHES "^89504e470d0a1a0a0000000d49484452")
  list(APPEND problems "face.png is not a PNG image")
endif()

# The guide names the version it describes in its title, and no other one
# anywhere (the zip's and the folder's names in its instructions).
file(STRINGS "${WORK_DIR}/unpacked/${TOP}/user-guide.md" title LIMIT_COUNT 1)
if(NOT title MATCHES "keywatch ${VERSION}[^.0-9]")
  list(APPEND problems "user-guide.md's title '${title}' does not name version ${VERSION}")
endif()
file(READ "${WORK_DIR}/unpacked/${TOP}/user-guide.md" guide)
string(REGEX MATCHALL "keywatch[- ][0-9]+[.][0-9]+[.][0-9]+" named "${guide}")
foreach(name IN LISTS named)
  string(REGEX REPLACE "^keywatch[- ]" "" version "${name}")
  if(NOT version STREQUAL VERSION)
    list(APPEND problems "user-guide.md names '${name}', not version ${VERSION}")
  endif()
endforeach()

if(problems)
  foreach(problem IN LISTS problems)
    message("FAIL: ${problem}")
  endforeach()
  message(FATAL_ERROR "check-release-zip: ${ZIP_NAME} is not what users should get")
endif()
message(STATUS "${ZIP_NAME}: ${found}")
