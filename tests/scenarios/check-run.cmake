# Runs keywatch-sim on one scenario and checks how it ended:
#
#   cmake -DSIM=keywatch-sim -DSCRIPT=file.txt|"" -DRUN_DIR=dir -DEXPECT_STATUS=2
#         [-DMODULE=file] [-DSTDIN=ON] [-DEXPECT_STDERR=regex] [-DEXPECT_STDOUT=regex]
#         [-DEXPECT_LOG=ON|OFF] [-DEXPECT_LOG_TEXT=regex]
#         [-DEXPECTED=dir/NAME -DMASK=log-mask -DMODULE_NAME=keywatch_x64.so]
#         [-DWINE_RUN=cmake/wine-run.sh -DWINE_PREFIX=dir] -P check-run.cmake
#
# RUN_DIR is emptied first and given as --dir; an empty SCRIPT runs the
# program without one, STDIN=ON feeds SCRIPT on standard input as "-". The
# user's folder, where the module would put its log if RUN_DIR refused it,
# is RUN_DIR.home, with an empty Documents folder (HOME on Linux, the
# Documents folder under Wine; see tests/kit/user_folder.h): as RUN_DIR can
# be written, nothing may appear there. Without EXPECT_STDERR the
# script's own "# expect: REGEX" line says what standard error must hold.
# EXPECT_LOG says whether Key_Events_Sent.log must (ON) or must not (OFF)
# appear in RUN_DIR.
#
# EXPECTED names a pair of golden files, NAME.log and NAME.out: the log and
# the standard output the run must produce, byte for byte once the log has
# been through MASK (tests/kit/log_mask_main.cpp, run like SIM): each time
# masked as T and each module path as MODULE, which must name MODULE_NAME,
# and every line break checked to be CR LF and folded to LF. The mask
# accepts only six-decimal times and paths that name the module file, so a
# wrong time format or path still shows. Face pictures the script
# writes must equal NAME.FILE.png byte for byte. With the environment
# variable KEYWATCH_UPDATE_EXPECTED=1 the run writes the golden files
# instead; read the difference before committing it.
cmake_minimum_required(VERSION 3.25)

foreach(var SIM SCRIPT RUN_DIR EXPECT_STATUS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-run: ${var} not given")
  endif()
endforeach()

if(NOT DEFINED EXPECT_STDERR)
  file(STRINGS "${SCRIPT}" expect_lines REGEX "^# expect: ")
  if(NOT expect_lines)
    message(FATAL_ERROR "check-run: ${SCRIPT} has no '# expect: REGEX' line")
  endif()
  list(GET expect_lines 0 EXPECT_STDERR)
  string(REGEX REPLACE "^# expect: " "" EXPECT_STDERR "${EXPECT_STDERR}")
endif()

# The program starts in a directory of its own beside RUN_DIR, where face
# pictures with a relative name go.
set(start_dir "${RUN_DIR}.start")
set(home "${RUN_DIR}.home")
file(REMOVE_RECURSE "${RUN_DIR}" "${start_dir}" "${home}")
file(MAKE_DIRECTORY "${start_dir}" "${home}/Documents")

set(runner)
if(DEFINED WINE_RUN AND NOT WINE_RUN STREQUAL "")
  set(runner "${WINE_RUN}" "${WINE_PREFIX}")
  string(REPLACE "/" "\\" documents "Z:${home}/Documents")
  set(ENV{KEYWATCH_DOCUMENTS} "${documents}")
else()
  set(ENV{HOME} "${home}")
endif()
set(args --dir "${RUN_DIR}")
if(DEFINED MODULE)
  list(APPEND args --module "${MODULE}")
endif()
set(input)
if(STDIN)
  list(APPEND args -)
  set(input INPUT_FILE "${SCRIPT}")
elseif(NOT SCRIPT STREQUAL "")
  list(APPEND args "${SCRIPT}")
endif()
execute_process(COMMAND ${runner} "${SIM}" ${args} ${input} WORKING_DIRECTORY "${start_dir}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)

set(report "exit status ${status}\n--- stdout:\n${out}--- stderr:\n${err}")
if(NOT status STREQUAL EXPECT_STATUS)
  message(FATAL_ERROR "check-run: expected exit status ${EXPECT_STATUS}, got ${report}")
endif()
if(NOT EXPECT_STDERR STREQUAL "" AND NOT err MATCHES "${EXPECT_STDERR}")
  message(FATAL_ERROR "check-run: standard error lacks '${EXPECT_STDERR}'; ${report}")
endif()
if(DEFINED EXPECT_STDOUT AND NOT out MATCHES "${EXPECT_STDOUT}")
  message(FATAL_ERROR "check-run: standard output lacks '${EXPECT_STDOUT}'; ${report}")
endif()
file(GLOB_RECURSE in_home LIST_DIRECTORIES true RELATIVE "${home}" "${home}/*")
if(NOT in_home STREQUAL "Documents")
  message(FATAL_ERROR "check-run: the module wrote to the user's folder ${home} (${in_home}), "
          "though the working folder could be written; ${report}")
endif()
set(log "${RUN_DIR}/Key_Events_Sent.log")
if(DEFINED EXPECT_LOG)
  if(EXPECT_LOG AND NOT EXISTS "${log}")
    message(FATAL_ERROR "check-run: no ${log} was written; ${report}")
  elseif(NOT EXPECT_LOG AND EXISTS "${log}")
    message(FATAL_ERROR "check-run: ${log} was written, but nothing should have run; ${report}")
  endif()
endif()
if(DEFINED EXPECT_LOG_TEXT)
  file(READ "${log}" log_text)
  if(NOT log_text MATCHES "${EXPECT_LOG_TEXT}")
    message(FATAL_ERROR "check-run: the log lacks '${EXPECT_LOG_TEXT}':\n${log_text}")
  endif()
endif()
if(DEFINED EXPECTED)
  foreach(var MASK MODULE_NAME)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "check-run: EXPECTED needs ${var}")
    endif()
  endforeach()
  execute_process(COMMAND ${runner} "${MASK}" --module "${MODULE_NAME}" "${log}"
    RESULT_VARIABLE mask_status OUTPUT_VARIABLE actual_log ERROR_VARIABLE mask_err)
  if(NOT mask_status EQUAL 0)
    message(FATAL_ERROR "check-run: the log is not as the module writes it:\n${mask_err}")
  endif()
  string(REPLACE "\r\n" "\n" actual_out "${out}")
  if("$ENV{KEYWATCH_UPDATE_EXPECTED}" STREQUAL "1")
    file(WRITE "${EXPECTED}.log" "${actual_log}")
    file(WRITE "${EXPECTED}.out" "${actual_out}")
  endif()
  # Face pictures: every picture the run wrote must equal its golden copy,
  # NAME.FILE.png, byte for byte, and every golden copy must have been written.
  get_filename_component(expected_dir "${EXPECTED}" DIRECTORY)
  get_filename_component(expected_name "${EXPECTED}" NAME)
  file(GLOB written RELATIVE "${start_dir}" "${start_dir}/*.png")
  file(GLOB golden RELATIVE "${expected_dir}" "${EXPECTED}.*.png")
  foreach(picture IN LISTS written)
    if("$ENV{KEYWATCH_UPDATE_EXPECTED}" STREQUAL "1")
      file(COPY_FILE "${start_dir}/${picture}" "${EXPECTED}.${picture}")
      list(APPEND golden "${expected_name}.${picture}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES golden)
  foreach(copy IN LISTS golden)
    string(REPLACE "${expected_name}." "" picture "${copy}")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${start_dir}/${picture}"
                            "${expected_dir}/${copy}" RESULT_VARIABLE differs)
    if(differs)
      message(FATAL_ERROR "check-run: ${start_dir}/${picture} is missing or differs from "
              "${expected_dir}/${copy}")
    endif()
    list(REMOVE_ITEM written "${picture}")
  endforeach()
  if(written)
    message(FATAL_ERROR "check-run: no golden copy for the pictures ${written}")
  endif()
  foreach(kind log out)
    file(READ "${EXPECTED}.${kind}" expected_text)
    if(NOT actual_${kind} STREQUAL expected_text)
      file(WRITE "${RUN_DIR}.actual.${kind}" "${actual_${kind}}")
      message(FATAL_ERROR "check-run: the ${kind} differs from ${EXPECTED}.${kind}; "
              "see ${RUN_DIR}.actual.${kind} (diff -u the two)")
    endif()
  endforeach()
endif()
message(STATUS "check-run: ${SCRIPT} ended as expected (exit ${status})")
