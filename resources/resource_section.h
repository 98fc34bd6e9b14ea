// The resource section of the Linux module file: where keywatch_x64.so
// carries the face's bitmaps that the Windows DLL keeps in its resource table.
//
// The section starts with a header and a table of entries; each entry points
// at one resource's bytes further on in the same section. A bitmap is stored
// as Windows stores an RT_BITMAP resource: the .bmp file without its 14-byte
// file header (BITMAPINFOHEADER, palette, pixel rows), so one decoder serves
// both builds. All numbers are little-endian.
//
// Written at build time by resources/embed_resources.cmake, read by the
// stand-in simulator; the module's own code never touches it.
#pragma once

#include <stdint.h>

#define KEYWATCH_RSRC_SECTION ".keywatch_rsrc"
#define KEYWATCH_RSRC_MAGIC   "KWRSRC1" // 7 characters and the NUL fill magic[8]
#define KEYWATCH_RSRC_BITMAP  2u        // entry type, the same number as RT_BITMAP

struct KeywatchRsrcHeader {
    char magic[8];     // KEYWATCH_RSRC_MAGIC
    uint32_t count;    // entries that follow the header
    uint32_t reserved; // 0
};

struct KeywatchRsrcEntry {
    uint32_t type;   // KEYWATCH_RSRC_BITMAP
    uint32_t id;     // resource id, the same as in the DLL (256, 512, 513)
    uint32_t offset; // from the start of the section, 4-byte aligned
    uint32_t size;   // bytes of the resource
};

static_assert(sizeof(KeywatchRsrcHeader) == 16, "header layout");
static_assert(sizeof(KeywatchRsrcEntry) == 16, "entry layout");
