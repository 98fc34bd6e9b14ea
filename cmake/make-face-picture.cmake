# Draws the face picture that ships with the release: plays the demo flight
# through the stand-in simulator with the built module, then draws the gauge
# once more and writes the face.
#
#   cmake -DDEMO=demo-flight.txt -DSCRIPT=out/demo-with-face.txt -DRUN_DIR=out/run
#         -DSIM=keywatch-sim.exe -DMODULE=keywatch_x64.dll -DOUTPUT=out/face.png
#         [-DWINE_RUN=cmake/wine-run.sh -DWINE_PREFIX=build/wineprefix]
#         -P make-face-picture.cmake
#
# The run starts in an empty directory each time, so the picture depends only
# on the demo and the module.

cmake_minimum_required(VERSION 3.25)

foreach(var DEMO SCRIPT RUN_DIR SIM MODULE OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make-face-picture: ${var} not given")
  endif()
  # The program runs in RUN_DIR, so relative paths would lose their meaning.
  cmake_path(ABSOLUTE_PATH ${var} BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE)
endforeach()

file(READ "${DEMO}" demo)
file(WRITE "${SCRIPT}" "${demo}\n# Added for the release's face picture.\nframe\nface face.png\n")

file(REMOVE_RECURSE "${RUN_DIR}")
file(MAKE_DIRECTORY "${RUN_DIR}")

set(runner)
if(DEFINED WINE_RUN)
  set(runner "${WINE_RUN}" "${WINE_PREFIX}")
endif()
# A relative face path is taken from the directory the program starts in.
execute_process(COMMAND ${runner} "${SIM}" --module "${MODULE}" --dir "${RUN_DIR}" "${SCRIPT}"
  WORKING_DIRECTORY "${RUN_DIR}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT EXISTS "${RUN_DIR}/face.png")
  message(FATAL_ERROR "make-face-picture: keywatch-sim failed (exit ${rc}):\n${out}${err}")
endif()
file(COPY_FILE "${RUN_DIR}/face.png" "${OUTPUT}")
