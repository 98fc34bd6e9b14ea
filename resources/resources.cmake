# Sources that put the face's bitmaps and the version record into the module
# file (filled in with the resources themselves).
set(KEYWATCH_RESOURCE_SOURCES)
