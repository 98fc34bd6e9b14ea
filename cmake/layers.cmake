# The module's layers as libraries that can only look down.
#
# Each layer is a library of its own folder. Its include directory is a
# folder of the build tree holding one link, to the layer's own folder, so
# that "log/log_file.h" is found only by the log layer and the layers that
# link it: an include that points up names a file the compiler cannot find.
# Each layer is also linked on its own with the layers below it into a
# shared library that may leave no symbol undefined, so that a call or a
# global that points up fails the link. The module file itself is linked
# from the objects of every layer (CMakeLists.txt).
#
# keywatch_layer_refuses_include() and keywatch_layer_refuses_symbol() add
# the tests that prove both: each builds a probe that points up from a layer
# and passes only when the build fails for that reason.

set(KEYWATCH_LAYER_VIEWS ${CMAKE_BINARY_DIR}/layers)

# keywatch_layer(NAME FOLDER [SOURCES files...] [USES lower layers...]
#                [LIBS system libraries...] [TOP])
# A layer without sources is its folder's headers alone. TOP: nothing sits
# above it, so it needs no link of its own (the module file is that link).
function(keywatch_layer name folder)
  cmake_parse_arguments(ARG "TOP" "" "SOURCES;USES;LIBS" ${ARGN})
  set(view ${KEYWATCH_LAYER_VIEWS}/${folder})
  file(MAKE_DIRECTORY ${view})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)

  # Every object library and system library of this layer and those below it.
  set(objects)
  set(libs ${ARG_LIBS})
  foreach(lower IN LISTS ARG_USES)
    get_target_property(lower_objects ${lower} KEYWATCH_LAYER_OBJECTS)
    get_target_property(lower_libs ${lower} KEYWATCH_LAYER_LIBS)
    if(lower_objects)
      list(APPEND objects ${lower_objects})
    endif()
    if(lower_libs)
      list(APPEND libs ${lower_libs})
    endif()
  endforeach()

  if(NOT ARG_SOURCES)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${view})
    target_link_libraries(${name} INTERFACE ${ARG_USES})
  else()
    add_library(${name} OBJECT ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${view})
    target_link_libraries(${name} PUBLIC ${ARG_USES} ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES
      POSITION_INDEPENDENT_CODE ON
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    if(NOT WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # Keep the module unloadable, so that every load starts from fresh
      # state (clang makes no unique symbols to begin with).
      target_compile_options(${name} PRIVATE -fno-gnu-unique)
    endif()
    list(PREPEND objects ${name})
  endif()
  list(REMOVE_DUPLICATES objects)
  list(REMOVE_DUPLICATES libs)
  set_target_properties(${name} PROPERTIES
    KEYWATCH_LAYER_OBJECTS "${objects}" KEYWATCH_LAYER_LIBS "${libs}")

  if(ARG_SOURCES AND NOT ARG_TOP)
    keywatch_link_alone(${name}_alone ${name})
  endif()
endfunction()

# keywatch_layer_objects(VAR LAYER): the objects of LAYER and of every layer
# below it, as sources of a target that links them.
function(keywatch_layer_objects var layer)
  get_target_property(objects ${layer} KEYWATCH_LAYER_OBJECTS)
  if(NOT objects)
    set(objects)
  endif()
  list(TRANSFORM objects REPLACE "(.+)" "$<TARGET_OBJECTS:\\1>")
  set(${var} ${objects} PARENT_SCOPE)
endfunction()

# keywatch_link_alone(TARGET LAYER [EXTRA_SOURCES...] [EXCLUDE_FROM_ALL])
# Links LAYER and every layer below it, and nothing else, into a shared
# library that may leave no symbol undefined. Not in the fuzz build, where
# clang leaves the sanitizers' runtime to the program that loads a library.
function(keywatch_link_alone target layer)
  if(KEYWATCH_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "EXCLUDE_FROM_ALL" "" "" ${ARGN})
  keywatch_layer_objects(objects ${layer})
  get_target_property(libs ${layer} KEYWATCH_LAYER_LIBS)
  if(NOT libs)
    set(libs)
  endif()
  set(exclude)
  if(ARG_EXCLUDE_FROM_ALL)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  add_library(${target} SHARED ${exclude} ${ARG_UNPARSED_ARGUMENTS} ${objects})
  target_link_libraries(${target} PRIVATE ${libs})
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${KEYWATCH_LAYER_VIEWS}
    RUNTIME_OUTPUT_DIRECTORY ${KEYWATCH_LAYER_VIEWS}
    ARCHIVE_OUTPUT_DIRECTORY ${KEYWATCH_LAYER_VIEWS})
  if(NOT WIN32)
    # A Windows DLL's link fails on an undefined symbol by itself.
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# ---- Tests that the layers refuse what points up ---------------------------------

set(KEYWATCH_LAYER_PROBES ${CMAKE_BINARY_DIR}/layer-probes)

# A probe is built by the test, in the same build tree: one at a time.
function(keywatch_layer_probe_test test target expect)
  add_test(NAME ${test} COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target ${target})
  set_tests_properties(${test} PROPERTIES
    PASS_REGULAR_EXPRESSION "${expect}" RESOURCE_LOCK keywatch_build_tree)
endfunction()

# keywatch_layer_refuses_include(LAYER HEADER): a file of LAYER that includes
# HEADER of a layer above it must not compile, for want of that header.
function(keywatch_layer_refuses_include layer header)
  string(MAKE_C_IDENTIFIER "${layer}_includes_${header}" probe)
  file(CONFIGURE OUTPUT ${KEYWATCH_LAYER_PROBES}/${probe}.cpp
    CONTENT "// Points up from ${layer}: its build must fail.\n#include \"${header}\"\n")
  add_library(${probe} OBJECT EXCLUDE_FROM_ALL ${KEYWATCH_LAYER_PROBES}/${probe}.cpp)
  target_link_libraries(${probe} PRIVATE ${layer})
  string(REPLACE "." "\\." header_pattern "${header}")
  # GCC: "h: No such file or directory"; clang: "'h' file not found".
  keywatch_layer_probe_test(${probe} ${probe} "${header_pattern}'?:? (No such file|file not found)")
endfunction()

# keywatch_layer_refuses_symbol(LAYER FUNCTION): a file of LAYER that calls
# FUNCTION (void, no arguments) of a layer above it must not link.
function(keywatch_layer_refuses_symbol layer function)
  set(probe ${layer}_calls_${function})
  file(CONFIGURE OUTPUT ${KEYWATCH_LAYER_PROBES}/${probe}.cpp CONTENT
    "// Points up from ${layer}: its link must fail.\nvoid ${function}();\nvoid ${probe}() {\n    ${function}();\n}\n")
  keywatch_link_alone(${probe} ${layer} ${KEYWATCH_LAYER_PROBES}/${probe}.cpp EXCLUDE_FROM_ALL)
  keywatch_layer_probe_test(${probe} ${probe} "undefined reference to .${function}\\(\\)")
endfunction()
