# What the help says of each command's FILE is what the command does:
#
#   cmake -DTOOL=keywatch-log -DLOG=sessions.log -DWORK=dir -P check-files.cmake
#
# A command whose usage line shows [FILE] looks for the log when no file is
# given: in a folder without one (and a home folder without one) it lists
# where it looked, and in a folder with one it says it reads it. A command
# whose help says - is standard input reads the log from it; one that does
# not refuses -, saying why. keywatch-log --help names the commands that do
# neither ("all but follow", "every command but diff"), which must be those
# found so. follow, which would go on following, is stopped after a while.
cmake_minimum_required(VERSION 3.25)

foreach(var TOOL LOG WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-files: ${var} not given")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/without" "${WORK}/with" "${WORK}/home")
file(COPY_FILE "${LOG}" "${WORK}/with/Key_Events_Sent.log")

set(ENV{HOME} "${WORK}/home")
set(problems)
set(looking)
set(reading_stdin)
foreach(command summary csv follow diff report)
  execute_process(COMMAND "${TOOL}" ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(APPEND problems "${command} --help: exit status ${status}")
  endif()
  string(REGEX MATCH "^usage: [^\n]*" usage "${help}")
  string(REGEX REPLACE "[ \n]+" " " help "${help}")
  string(FIND "${usage}" "[FILE]" at)
  set(says_looks OFF)
  if(at GREATER -1)
    set(says_looks ON)
    if(NOT help MATCHES "without it, the log is looked for")
      list(APPEND problems "${command}: its usage shows [FILE], but its help does not say the log is looked for without it")
    endif()
  endif()
  set(says_stdin OFF)
  if(help MATCHES "- for standard input")
    set(says_stdin ON)
  endif()

  # Without a file, with no log in the folder, then with one.
  execute_process(COMMAND "${TOOL}" ${command} WORKING_DIRECTORY "${WORK}/without"
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err TIMEOUT 20)
  set(looks OFF)
  if(err MATCHES "found no Key_Events_Sent.log; looked in:")
    set(looks ON)
    list(APPEND looking ${command})
  endif()
  if(NOT looks STREQUAL says_looks)
    list(APPEND problems "${command}: its help says it looks for the log: ${says_looks}; without a file it does: ${looks} (${err})")
  endif()
  if(looks)
    execute_process(COMMAND "${TOOL}" ${command} WORKING_DIRECTORY "${WORK}/with"
      RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err TIMEOUT 2)
    if(NOT err MATCHES "^keywatch-log: reading Key_Events_Sent.log\n")
      list(APPEND problems "${command}: beside a log, without a file, it says: ${err}")
    endif()
  endif()

  # - for standard input (diff: for A, beside the same log as B).
  set(files -)
  if(command STREQUAL "diff")
    set(files - "${LOG}")
  endif()
  execute_process(COMMAND "${TOOL}" ${command} ${files} INPUT_FILE "${LOG}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
  set(reads OFF)
  if(status EQUAL 0 AND NOT out STREQUAL "" AND err STREQUAL "")
    set(reads ON)
    list(APPEND reading_stdin ${command})
  elseif(NOT status EQUAL 2 OR NOT err MATCHES "standard input")
    list(APPEND problems "${command} -: neither read nor refused with a reason: status ${status}, ${err}")
  endif()
  if(NOT reads STREQUAL says_stdin)
    list(APPEND problems "${command}: its help says it reads standard input: ${says_stdin}; it does: ${reads}")
  endif()
endforeach()

# The main help's exceptions: the commands that do not look, and those that
# do not read standard input.
execute_process(COMMAND "${TOOL}" --help OUTPUT_VARIABLE help)
string(REGEX REPLACE "[ \n]+" " " help "${help}")
foreach(check "standard input \\(all but ([a-z, ]+)\\)|reading_stdin"
              "every command but ([a-z, ]+) reads Key_Events_Sent.log|looking")
  string(REPLACE "|" ";" check "${check}")
  list(GET check 0 pattern)
  list(GET check 1 found)
  if(NOT help MATCHES "${pattern}")
    list(APPEND problems "keywatch-log --help lacks '${pattern}'")
    continue()
  endif()
  string(REGEX REPLACE "(, | and | or )" ";" named "${CMAKE_MATCH_1}")
  set(others summary csv follow diff report)
  list(REMOVE_ITEM others ${${found}})
  if(NOT named STREQUAL others)
    list(APPEND problems "keywatch-log --help names '${named}' where the commands found are all but '${others}'")
  endif()
endforeach()

if(problems)
  string(REPLACE ";" "\n  " problems "${problems}")
  message(FATAL_ERROR "check-files: ${problems}")
endif()
message(STATUS "check-files: look for the log: ${looking}; read standard input: ${reading_stdin}, as the help says")
