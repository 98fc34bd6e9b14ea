# Runs keywatch-log once and compares what it printed with the expected files:
#
#   cmake -DTOOL=keywatch-log -DARGS="summary;sessions.log" -DDIR=fixtures
#         -DEXPECT_STATUS=0 [-DEXPECT_STDOUT=file|-DSTDOUT_MATCH=regex]
#         [-DEXPECT_STDERR=file|-DSTDERR_MATCH=regex]
#         [-DBINARY=ON] [-DOUTPUT=file [-DOUTPUT_FROM=file] -DEXPECT_OUTPUT=file]
#         [-DSTDIN=file] [-DSTDOUT_FILE=file]
#         [-DWINE_RUN=cmake/wine-run.sh -DWINE_PREFIX=dir] -P check-output.cmake
#
# The program runs in DIR, so file names in its messages are the ones given.
# Text output is compared with CR LF and LF alike (a Windows program writes
# CR LF); BINARY=ON compares standard output byte for byte (csv).
# STDOUT_MATCH: the regular expression must match some of it. Without
# either, standard output must be empty; without EXPECT_STDERR or
# STDERR_MATCH, standard error must be empty. OUTPUT is a file the program
# is told to write (removed before it runs, or made a copy of OUTPUT_FROM),
# which must then hold the bytes of EXPECT_OUTPUT (without it: must not be
# there), with no temporary file (OUTPUT.*.tmp) left beside it. STDIN is read as standard input; STDOUT_FILE
# takes standard output instead of the comparison (/dev/full: a failed write).
cmake_minimum_required(VERSION 3.25)

foreach(var TOOL ARGS DIR EXPECT_STATUS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-output: ${var} not given")
  endif()
endforeach()

set(runner)
if(DEFINED WINE_RUN AND NOT WINE_RUN STREQUAL "")
  set(runner "${WINE_RUN}" "${WINE_PREFIX}")
endif()
if(DEFINED OUTPUT)
  file(REMOVE "${OUTPUT}")
  if(DEFINED OUTPUT_FROM)
    file(COPY_FILE "${OUTPUT_FROM}" "${OUTPUT}")
  endif()
endif()
set(redirect)
if(DEFINED STDIN)
  list(APPEND redirect INPUT_FILE "${STDIN}")
endif()
if(DEFINED STDOUT_FILE)
  list(APPEND redirect OUTPUT_FILE "${STDOUT_FILE}")
else()
  list(APPEND redirect OUTPUT_VARIABLE out)
endif()
execute_process(COMMAND ${runner} "${TOOL}" ${ARGS} WORKING_DIRECTORY "${DIR}"
  RESULT_VARIABLE status ${redirect} ERROR_VARIABLE err)

function(text_of content result)
  string(REPLACE "\r\n" "\n" content "${content}")
  set(${result} "${content}" PARENT_SCOPE)
endfunction()

set(report "keywatch-log ${ARGS}: exit status ${status}\n--- stdout:\n${out}--- stderr:\n${err}")
set(problems)
if(NOT status STREQUAL EXPECT_STATUS)
  list(APPEND problems "exit status ${status}, expected ${EXPECT_STATUS}")
endif()

if(DEFINED EXPECT_STDOUT)
  file(READ "${EXPECT_STDOUT}" expected)
else()
  set(expected "")
endif()
if(NOT BINARY)
  text_of("${out}" out)
  text_of("${expected}" expected)
endif()
if(DEFINED STDOUT_MATCH)
  if(NOT out MATCHES "${STDOUT_MATCH}")
    list(APPEND problems "standard output does not match '${STDOUT_MATCH}'")
  endif()
elseif(NOT out STREQUAL expected)
  list(APPEND problems "standard output differs from ${EXPECT_STDOUT}")
endif()

text_of("${err}" err_text)
if(DEFINED STDERR_MATCH)
  if(NOT err_text MATCHES "${STDERR_MATCH}")
    list(APPEND problems "standard error does not match '${STDERR_MATCH}'")
  endif()
else()
  set(expected_err "")
  if(DEFINED EXPECT_STDERR)
    file(READ "${EXPECT_STDERR}" expected_err)
    text_of("${expected_err}" expected_err)
  endif()
  if(NOT err_text STREQUAL expected_err)
    list(APPEND problems "standard error differs from '${expected_err}'")
  endif()
endif()

if(DEFINED OUTPUT AND NOT DEFINED EXPECT_OUTPUT)
  if(EXISTS "${OUTPUT}")
    list(APPEND problems "${OUTPUT} was written")
  endif()
elseif(DEFINED OUTPUT)
  if(NOT EXISTS "${OUTPUT}")
    list(APPEND problems "${OUTPUT} was not written")
  else()
    file(SHA256 "${OUTPUT}" written)
    file(SHA256 "${EXPECT_OUTPUT}" wanted)
    if(NOT written STREQUAL wanted)
      list(APPEND problems "${OUTPUT} differs from ${EXPECT_OUTPUT}")
    endif()
  endif()
endif()
if(DEFINED OUTPUT)
  file(GLOB left_over "${OUTPUT}.*.tmp")
  if(left_over)
    list(APPEND problems "temporary files left: ${left_over}")
  endif()
endif()

if(problems)
  string(REPLACE ";" "\n  " problems "${problems}")
  message(FATAL_ERROR "check-output: ${problems}\n${report}")
endif()
message(STATUS "check-output: keywatch-log ${ARGS} as expected")
