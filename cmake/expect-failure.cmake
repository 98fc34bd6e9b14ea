# Runs a check that is meant to reject its input, and passes only when it
# does, for the reasons expected:
#
#   cmake -DEXPECT="regex;regex..." -P expect-failure.cmake -- COMMAND [ARGS...]
#
# Fails when COMMAND exits 0, or when its output (stdout and stderr together)
# lacks a match for any of the EXPECT regular expressions. This is how the
# release checks are shown to catch what they are there to catch.

cmake_minimum_required(VERSION 3.25)

# Everything after "--" is the command ("--" keeps cmake from reading the
# command's own -D and -P arguments).
set(command)
set(found_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 1 ${last})
  if(found_separator)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(found_separator TRUE)
  endif()
endforeach()
if(NOT command)
  message(FATAL_ERROR "expect-failure: no command given")
endif()

execute_process(COMMAND ${command} OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
message("${out}")
if(rc EQUAL 0)
  message(FATAL_ERROR "expect-failure: the check accepted its input, but should have rejected it")
endif()
foreach(regex IN LISTS EXPECT)
  if(NOT out MATCHES "${regex}")
    message(FATAL_ERROR "expect-failure: the check failed, but its output has no match for '${regex}'")
  endif()
endforeach()
message(STATUS "expect-failure: rejected as expected (exit ${rc})")
