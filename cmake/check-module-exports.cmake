# Checks what a built keywatch module shows the outside world:
#
#   cmake -DKIND=pe  -DMODULE=keywatch_x64.dll -DOBJDUMP=x86_64-w64-mingw32-objdump -P check-module-exports.cmake
#   cmake -DKIND=elf -DMODULE=keywatch_x64.so  -DNM=nm -P check-module-exports.cmake
#
# The simulator finds the module only by the names it exports: the two
# records Linkage and ImportTable, which the panel system reads, and the
# entry points of a DLL component, which the simulator's loader looks for when
# it loads the module at its own start: the functions DLLStart and DLLStop
# and the pointer Panels. Those five must be the module's only exports,
# under exactly those names. The DLL goes into a simulator folder on its own: it may
# import nothing but Windows' own DLLs (no libgcc, libstdc++ or winpthread
# DLL, which the user would not have). It must also be a 64-bit PE image,
# since the simulator is a 64-bit process.
#
# Prints each problem found and fails when there is one.

cmake_minimum_required(VERSION 3.25)

set(expected_exports DLLStart DLLStop ImportTable Linkage Panels)

# DLLs that every 64-bit Windows has (compared case-insensitively).
set(system_dll_regex "^(kernel32|msvcrt|user32|advapi32|shell32|ole32|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\\.dll$")

if(NOT DEFINED MODULE OR NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "check-module-exports: no module file '${MODULE}'")
endif()

set(problems)
set(exports)

if(KIND STREQUAL "pe")
  execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}"
    OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "check-module-exports: ${OBJDUMP} -p failed (${rc}): ${dump_error}")
  endif()
  if(NOT dump MATCHES "file format pei-x86-64")
    list(APPEND problems "not a 64-bit PE image (objdump does not report pei-x86-64)")
  endif()

  string(REPLACE ";" "\\;" dump "${dump}")
  string(REPLACE "\n" ";" lines "${dump}")

  # Imports: every "DLL Name:" line (ordinary and delay-loaded tables).
  set(imports)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*DLL Name: (.+)$")
      string(STRIP "${CMAKE_MATCH_1}" dll)
      list(APPEND imports "${dll}")
      string(TOLOWER "${dll}" dll_lower)
      if(NOT dll_lower MATCHES "${system_dll_regex}")
        list(APPEND problems "imports ${dll}, which is not a Windows system DLL")
      endif()
    endif()
  endforeach()
  if(NOT imports)
    list(APPEND problems "no import table found (objdump output not understood?)")
  endif()

  # Exports: the names in the "[Ordinal/Name Pointer] Table" section, which
  # runs up to the next empty line.
  set(in_names FALSE)
  set(address_count "")
  foreach(line IN LISTS lines)
    # The first such line is the count (under "Number in:"); a later one
    # under "Table Addresses" gives the table's address.
    if(address_count STREQUAL "" AND line MATCHES "^[ \t]*Export Address Table[ \t]+([0-9a-fA-F]+)[ \t]*$")
      math(EXPR address_count "0x${CMAKE_MATCH_1}")
    endif()
    if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
      set(in_names TRUE)
    elseif(in_names)
      if(line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
        string(STRIP "${CMAKE_MATCH_1}" name)
        list(APPEND exports "${name}")
      else()
        set(in_names FALSE)
      endif()
    endif()
  endforeach()
  # An export by ordinal only has no name row; the address table counts it.
  list(LENGTH exports name_count)
  if(NOT address_count STREQUAL "" AND NOT address_count EQUAL name_count)
    list(APPEND problems "exports ${address_count} entries but only ${name_count} by name")
  endif()
  message(STATUS "imports: ${imports}")

elseif(KIND STREQUAL "elf")
  execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
    OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "check-module-exports: ${NM} -D failed (${rc}): ${dump_error}")
  endif()
  string(REPLACE ";" "\\;" dump "${dump}")
  string(REPLACE "\n" ";" lines "${dump}")
  foreach(line IN LISTS lines)
    # "ADDRESS TYPE NAME[@VERSION]"
    if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] ([^ @]+)")
      set(name "${CMAKE_MATCH_1}")
      # Section markers some linkers add to every shared object, and the
      # one-definition-rule markers AddressSanitizer adds beside each
      # exported variable in the sanitizer build.
      if(name MATCHES "^(_init|_fini|__bss_start|_edata|_end|__end__|_etext|__data_start)$"
         OR name MATCHES "^__odr_asan[._]")
        continue()
      endif()
      list(APPEND exports "${name}")
    endif()
  endforeach()

else()
  message(FATAL_ERROR "check-module-exports: KIND must be pe or elf, not '${KIND}'")
endif()

list(SORT exports)
message(STATUS "exports: ${exports}")
foreach(name IN LISTS exports)
  if(NOT name IN_LIST expected_exports)
    list(APPEND problems "exports ${name}, which the simulator does not look for")
  endif()
endforeach()
foreach(name IN LISTS expected_exports)
  if(NOT name IN_LIST exports)
    list(APPEND problems "does not export ${name}")
  endif()
endforeach()

if(problems)
  foreach(problem IN LISTS problems)
    message("FAIL: ${MODULE}: ${problem}")
  endforeach()
  message(FATAL_ERROR "check-module-exports: ${MODULE} is not fit to ship")
endif()
if(KIND STREQUAL "pe")
  message(STATUS "${MODULE}: 64-bit, exports exactly ${expected_exports}, imports only system DLLs")
else()
  message(STATUS "${MODULE}: exports exactly ${expected_exports}")
endif()
