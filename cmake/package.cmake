# The release zip and the face picture it carries (Windows build only):
#
#   cmake --build build/windows --target package
#
# writes build/windows/keywatch-<version>-win64.zip: one folder that is a
# Prepar3D v4 add-on package, ready to unpack into Documents\Prepar3D v4
# Add-ons\ — add-on.xml naming Gauges\keywatch_x64.dll as the DLL component
# the simulator loads at its start and Gauges\ as its gauge folder,
# keywatch-log.exe, the user guide, the face picture and the licence. A test
# builds the zip afresh, unpacks it and checks its contents against the build.

# ---- Face picture --------------------------------------------------------------

# The demo flight with two more commands: draw the gauge once more and write
# the face as drawn. Same demo, same module: same picture.
set(face_dir ${CMAKE_BINARY_DIR}/face-picture)
set(face_png ${face_dir}/face.png)
set(demo_script ${CMAKE_SOURCE_DIR}/examples/demo-flight.txt)
if(NOT TARGET keywatch-sim OR NOT EXISTS ${demo_script})
  # Without them there is no face picture and so no release zip; the zip's
  # test says so rather than pass.
  message(STATUS "No release zip: it needs keywatch-sim and examples/demo-flight.txt")
  if(KEYWATCH_TESTS)
    add_test(NAME release_zip COMMAND ${CMAKE_COMMAND} -E echo
      "no release zip: keywatch-sim or examples/demo-flight.txt is missing")
    set_tests_properties(release_zip PROPERTIES FAIL_REGULAR_EXPRESSION "no release zip")
  endif()
  return()
endif()
add_custom_command(OUTPUT ${face_png}
  COMMAND ${CMAKE_COMMAND} -DDEMO=${demo_script} -DSCRIPT=${face_dir}/demo-with-face.txt
          -DOUTPUT=${face_png} -DRUN_DIR=${face_dir}/run
          -DWINE_RUN=${CMAKE_SOURCE_DIR}/cmake/wine-run.sh -DWINE_PREFIX=${CMAKE_BINARY_DIR}/wineprefix
          -DSIM=$<TARGET_FILE:keywatch-sim> -DMODULE=$<TARGET_FILE:keywatch_module>
          -P ${KEYWATCH_RELEASE_DIR}/make-face-picture.cmake
  DEPENDS ${demo_script} ${KEYWATCH_RELEASE_DIR}/make-face-picture.cmake
          keywatch-sim keywatch_module
  COMMENT "Drawing the face picture from the demo flight (keywatch-sim under Wine)"
  VERBATIM)
add_custom_target(face_picture ALL DEPENDS ${face_png})

# ---- Release zip ---------------------------------------------------------------

# Only the "user" component goes into the zip, whatever else the project
# installs. The simulator finds the package through add-on.xml, whose two
# components name the DLL and the gauge folder that holds it.
install(FILES $<TARGET_FILE:keywatch_module> DESTINATION Gauges COMPONENT user)
install(FILES ${KEYWATCH_RELEASE_DIR}/add-on.xml ${CMAKE_SOURCE_DIR}/docs/user-guide.md ${face_png}
              ${CMAKE_SOURCE_DIR}/docs/report.png ${CMAKE_SOURCE_DIR}/LICENSE
        DESTINATION . COMPONENT user)
install(PROGRAMS $<TARGET_FILE:keywatch-log> DESTINATION . COMPONENT user)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME keywatch)
set(CPACK_PACKAGE_VENDOR "the keywatch developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Key-event logging gauge for Prepar3D v4 (64-bit)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(keywatch_zip_name keywatch-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_FILE_NAME ${keywatch_zip_name})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};keywatch;user;/")
# Unpacks into a folder of its own name.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)

if(KEYWATCH_TESTS)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME release_zip
    COMMAND ${CMAKE_COMMAND}
            -DCPACK=${CMAKE_CPACK_COMMAND} -DCONFIG=${CMAKE_BINARY_DIR}/CPackConfig.cmake
            -DWORK_DIR=${CMAKE_BINARY_DIR}/release-zip-test
            -DZIP_NAME=${keywatch_zip_name}.zip -DTOP=${keywatch_zip_name}
            -DMODULE=$<TARGET_FILE:keywatch_module> -DFACE=${face_png}
            -DREADER=$<TARGET_FILE:keywatch-log> -DADD_ON_XML=${KEYWATCH_RELEASE_DIR}/add-on.xml
            -DPYTHON=${Python3_EXECUTABLE} -DXML_CHECK=${KEYWATCH_RELEASE_DIR}/check-add-on-xml.py
            -DGUIDE=${CMAKE_SOURCE_DIR}/docs/user-guide.md -DREPORT_PNG=${CMAKE_SOURCE_DIR}/docs/report.png
            -DLICENSE=${CMAKE_SOURCE_DIR}/LICENSE
            -DVERSION=${PROJECT_VERSION}
            -P ${KEYWATCH_RELEASE_DIR}/check-release-zip.cmake)

  # The add-on.xml check must reject what the simulator would not take, or
  # would take as two modules: each probe beside a package folder that does
  # hold the gauge (and, for one probe, a second copy of it).
  set(probe_package ${CMAKE_BINARY_DIR}/add-on-probe)
  file(MAKE_DIRECTORY ${probe_package}/Gauges)
  file(TOUCH ${probe_package}/Gauges/keywatch_x64.dll ${probe_package}/keywatch_x64.dll)
  set(probes_dir ${CMAKE_SOURCE_DIR}/tests/release/add-on-probes)
  foreach(probe_and_reasons
      "not-well-formed|is not well-formed XML"
      "wrong-values|Type=.AddonXml., expected;version=.4.0., expected;Category is .'Effects'.;0 Gauges components"
      "outside-path|AddOn.Name is .., expected;Gauges does not stay inside the package"
      "no-gauge-folder|Path Gauge names no folder"
      "gauges-only|0 DLL components, expected one"
      "dll-elsewhere|Path keywatch_x64.dll is not the Gauges component's keywatch_x64.dll"
      "dll-options|Path Gauges.keywatch.dll names no file;DLLType PDK;DLLStartName Start")
    string(REPLACE "|" ";" parts "${probe_and_reasons}")
    list(POP_FRONT parts probe)
    add_test(NAME add_on_xml_check_rejects_${probe}
      COMMAND ${CMAKE_COMMAND} "-DEXPECT=${parts}" -P ${KEYWATCH_RELEASE_DIR}/expect-failure.cmake --
              ${Python3_EXECUTABLE} ${KEYWATCH_RELEASE_DIR}/check-add-on-xml.py ${probe_package}
              ${probes_dir}/${probe}.xml)
  endforeach()
endif()
