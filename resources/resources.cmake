# Sources that put the face's bitmaps (ids 256, 512, 513) and the version
# record into the module file. The Windows DLL gets them as ordinary resources
# compiled by windres; the Linux shared object carries the bitmaps in its own
# section (resources/resource_section.h), generated from the same .bmp files.
# Included from the top CMakeLists.txt, so paths are relative to the source root.

set(KEYWATCH_BITMAPS
  256=${CMAKE_SOURCE_DIR}/resources/background.bmp
  512=${CMAKE_SOURCE_DIR}/resources/state_off.bmp
  513=${CMAKE_SOURCE_DIR}/resources/state_on.bmp
)
set(KEYWATCH_BITMAP_FILES ${KEYWATCH_BITMAPS})
list(TRANSFORM KEYWATCH_BITMAP_FILES REPLACE "^[0-9]+=" "")

if(WIN32)
  enable_language(RC)
  set(KEYWATCH_RESOURCE_SOURCES ${CMAKE_SOURCE_DIR}/resources/keywatch.rc)
  # windres does not see the bitmaps as dependencies by itself.
  set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/keywatch.rc PROPERTIES
    OBJECT_DEPENDS "${KEYWATCH_BITMAP_FILES}")
else()
  set(resource_section_cpp ${CMAKE_BINARY_DIR}/resources/resource_section.cpp)
  add_custom_command(
    OUTPUT ${resource_section_cpp}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${resource_section_cpp} "-DBITMAPS=${KEYWATCH_BITMAPS}"
            -P ${CMAKE_SOURCE_DIR}/resources/embed_resources.cmake
    DEPENDS ${KEYWATCH_BITMAP_FILES} ${CMAKE_SOURCE_DIR}/resources/embed_resources.cmake
            ${CMAKE_SOURCE_DIR}/resources/resource_section.h
    COMMENT "Embedding the face's bitmaps in the module's resource section"
    VERBATIM)
  set(KEYWATCH_RESOURCE_SOURCES ${resource_section_cpp})

  # Redraws the bitmaps; run by hand (see the top of make_bitmaps.cpp).
  find_package(Freetype)
  if(FREETYPE_FOUND)
    add_executable(make_bitmaps resources/make_bitmaps.cpp)
    target_link_libraries(make_bitmaps PRIVATE Freetype::Freetype)
  endif()
endif()
