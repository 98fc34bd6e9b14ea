# What users get, and checks that it is what they expect.
#
# - Export checks (both builds): the module file exports exactly Linkage,
#   ImportTable, Panels, DLLStart and DLLStop; the DLL is 64-bit and imports
#   only Windows system DLLs. Each
#   check is also run against a deliberately unfit probe module and must
#   reject it, so a check that has stopped working shows up as a failure.
# - The release zip with the face picture for the user guide (Windows build,
#   cmake/package.cmake).

set(KEYWATCH_RELEASE_DIR ${CMAKE_SOURCE_DIR}/cmake)

# ---- Export checks -------------------------------------------------------------

if(KEYWATCH_TESTS)
  set(probe_dir ${CMAKE_BINARY_DIR}/export-probe)
  if(WIN32)
    set(export_check ${CMAKE_COMMAND} -DKIND=pe -DOBJDUMP=${CMAKE_OBJDUMP})
    # The probe is linked the way a careless build would link the module:
    # without -static, so that it needs the C++ runtime's DLL. It is built by
    # hand because the project links everything statically.
    set(probe_file ${probe_dir}/export_probe.dll)
    add_custom_command(OUTPUT ${probe_file}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${probe_dir}
      COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -O2 -Wall -Wextra -shared
              -o ${probe_file} ${CMAKE_SOURCE_DIR}/tests/release/export_probe.cpp
      DEPENDS ${CMAKE_SOURCE_DIR}/tests/release/export_probe.cpp
      COMMENT "Linking the unfit probe DLL for the export check's own test"
      VERBATIM)
    add_custom_target(export_probe ALL DEPENDS ${probe_file})
    set(probe_reasons "imports libstdc\\+\\+-6\\.dll, which is not a Windows system DLL"
                      "exports probe_extra_export,")
  else()
    set(export_check ${CMAKE_COMMAND} -DKIND=elf -DNM=${CMAKE_NM})
    add_library(export_probe MODULE ${CMAKE_SOURCE_DIR}/tests/release/export_probe.cpp)
    set_target_properties(export_probe PROPERTIES
      PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${probe_dir})
    set(probe_file $<TARGET_FILE:export_probe>)
    set(probe_reasons "exports probe_extra_export,")
  endif()

  add_test(NAME module_exports
    COMMAND ${export_check} -DMODULE=$<TARGET_FILE:keywatch_module>
            -P ${KEYWATCH_RELEASE_DIR}/check-module-exports.cmake)
  add_test(NAME module_exports_check_rejects_probe
    COMMAND ${CMAKE_COMMAND} "-DEXPECT=${probe_reasons}"
            -P ${KEYWATCH_RELEASE_DIR}/expect-failure.cmake --
            ${export_check} -DMODULE=${probe_file}
            -P ${KEYWATCH_RELEASE_DIR}/check-module-exports.cmake)
endif()


# ---- Release zip (Windows build) -------------------------------------------------

if(WIN32)
  include(${KEYWATCH_RELEASE_DIR}/package.cmake)
endif()
