// The face's bitmaps as the simulator finds them in the built module file:
// sizes, colours and where the artwork sits on the gauge; on Linux also what
// a damaged module file does to the reader.
#include <algorithm>
#include <cstring>

#include "sim_fixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>

#include "resources/resource_section.h"
#endif

namespace {

// The built module, loaded once for the whole program.
void* module() {
#ifdef _WIN32
    static void* handle = LoadLibraryA(KEYWATCH_MODULE_FILE);
#else
    static void* handle = dlopen(KEYWATCH_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
#endif
    EXPECT_NE(handle, nullptr) << KEYWATCH_MODULE_FILE;
    return handle;
}

sim::Bitmap load(uint32_t id) {
    sim::Bitmap bitmap;
    std::string error;
    EXPECT_TRUE(sim::load_module_bitmap(module(), KEYWATCH_MODULE_FILE, id, bitmap, error))
        << error;
    EXPECT_EQ(bitmap.pixels.size(), static_cast<size_t>(bitmap.width) * bitmap.height);
    return bitmap;
}

// Each bitmap is 8-bit, of its size, and holds two colours: the grey field
// and its ink, which covers less of it. The background's title and Reset
// label stay clear of the state icon (0,21) 65x35 and the counter (12,55)
// 110x20 drawn over it. An id the module does not carry fails with a reason.
TEST(ModuleBitmaps, FaceImagesSizesColoursAndArtwork) {
    constexpr uint32_t grey = 0x333333, white = 0xFFFFFF;
    for (auto [id, w, h, ink] :
         {std::tuple{256u, 129, 80, white}, {512u, 65, 35, 0xFF0000u}, {513u, 65, 35, 0x00FF00u}}) {
        sim::Bitmap b = load(id);
        EXPECT_EQ(std::tuple(b.width, b.height, b.bits_per_pixel), std::tuple(w, h, 8)) << id;
        const int inked = count_in(b, 0, 0, w, h, ink), field = count_in(b, 0, 0, w, h, grey);
        EXPECT_GT(inked, 100) << id;
        EXPECT_GT(field, inked) << id;
        EXPECT_EQ(field + inked, w * h) << id;
    }
    sim::Bitmap b = load(256);
    EXPECT_GT(count_in(b, 0, 0, 129, 21, white), 50) << "title in the top band";
    EXPECT_GT(count_in(b, 72, 20, 127, 53, white), 50) << "RST inside the Reset area";
    EXPECT_EQ(count_in(b, 0, 21, 65, 56, white), 0);
    EXPECT_EQ(count_in(b, 12, 55, 122, 75, white), 0);

    std::string error;
    b = {};
    EXPECT_FALSE(sim::load_module_bitmap(module(), KEYWATCH_MODULE_FILE, 257, b, error));
    EXPECT_NE(error.find("257"), std::string::npos) << error;
    EXPECT_TRUE(b.pixels.empty());
}

#ifndef _WIN32

using DamagedModule = WorkingDirectoryTest; // damaged copies go to its directory

// Truncated, foreign or absent files, and a damaged resource table or bitmap
// header, fail with a reason and no pixels.
TEST_F(DamagedModule, FailsCleanlyWithAReason) {
    std::ifstream in(KEYWATCH_MODULE_FILE, std::ios::binary);
    const std::vector<uint8_t> original{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
    std::vector<uint8_t> bytes = original;
    // Debug information may hold a second copy of the resource section
    // further on; the loadable one comes first.
    const char* magic = KEYWATCH_RSRC_MAGIC;
    const size_t table =
        (size_t)(std::search(bytes.begin(), bytes.end(), magic, magic + 8) - bytes.begin());
    ASSERT_LT(table, bytes.size());
    auto get32 = [&](size_t at) {
        uint32_t value;
        std::memcpy(&value, &bytes[at], sizeof value);
        return value;
    };
    auto read_back = [&](uint32_t id, std::string& error, size_t length) {
        std::ofstream("copy.so", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)length);
        sim::Bitmap b;
        const bool read = sim::load_module_bitmap(module(), "copy.so", id, b, error);
        EXPECT_EQ(read, !b.pixels.empty());
        return read;
    };
    for (size_t length : {size_t{0}, size_t{64}, table + 100, bytes.size() / 2}) {
        std::string error;
        EXPECT_FALSE(read_back(256, error, length) || error.empty()) << length;
    }
    size_t entry = table + sizeof(KeywatchRsrcHeader); // bitmap 512's entry
    while (get32(entry + 4) != 512 && entry < bytes.size() - 32)
        entry += sizeof(KeywatchRsrcEntry);
    const size_t dib = table + get32(entry + 8);
    const struct {
        size_t at;
        uint32_t value;
        const char* expected;
    } damages[] = {
        {table + 8, 0x10000000, "truncated"},             // entry count
        {entry + 12, 0x7FFFFFFF, "outside"},              // entry size
        {dib + 4, 0x40000000, "bitmap size"},             // biWidth
        {dib + 8, 0x80000000, "bitmap size"},             // biHeight, most negative
        {dib + 32, 1, "beyond its palette"},              // biClrUsed: index 1 unlisted
        {entry + 12, get32(entry + 12) - 1, "truncated"}, // last pixel byte cut off
    };
    for (const auto& d : damages) {
        bytes = original;
        std::memcpy(&bytes[d.at], &d.value, sizeof d.value);
        std::string error;
        EXPECT_FALSE(read_back(512, error, bytes.size())) << d.expected;
        EXPECT_NE(error.find(d.expected), std::string::npos) << error;
    }
    std::ofstream("text.so") << std::string(200, 'x');
    sim::Bitmap b;
    std::string error;
    EXPECT_FALSE(sim::load_module_bitmap(module(), "text.so", 256, b, error));
    EXPECT_NE(error.find("not an ELF file"), std::string::npos) << error;
    EXPECT_FALSE(sim::load_module_bitmap(module(), "absent.so", 256, b, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

#endif

} // namespace
