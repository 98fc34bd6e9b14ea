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

struct LoadedModule {
#ifdef _WIN32
    HMODULE handle = LoadLibraryA(KEYWATCH_MODULE_FILE);
    ~LoadedModule() {
        handle != nullptr&& FreeLibrary(handle);
    }
#else
    void* handle = dlopen(KEYWATCH_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
    ~LoadedModule() {
        handle != nullptr&& dlclose(handle) == 0;
    }
#endif
};

sim::Bitmap load(uint32_t id) {
    LoadedModule module;
    EXPECT_NE(module.handle, nullptr) << KEYWATCH_MODULE_FILE;
    sim::Bitmap bitmap;
    std::string error;
    EXPECT_TRUE(sim::load_module_bitmap(module.handle, KEYWATCH_MODULE_FILE, id, bitmap, error))
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

    LoadedModule module;
    std::string error;
    b = {};
    EXPECT_FALSE(sim::load_module_bitmap(module.handle, KEYWATCH_MODULE_FILE, 257, b, error));
    EXPECT_NE(error.find("257"), std::string::npos) << error;
    EXPECT_TRUE(b.pixels.empty());
}

#ifndef _WIN32

// Damaged copies of the module file, written to the test's own directory.
class DamagedModule : public WorkingDirectoryTest {
  protected:
    std::vector<uint8_t> bytes;
    LoadedModule module;
    size_t table = 0; // the resource section's header, found by its magic

    void SetUp() override {
        WorkingDirectoryTest::SetUp();
        std::ifstream in(KEYWATCH_MODULE_FILE, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_NE(module.handle, nullptr);
        // Debug information may hold a second copy further on; the loadable
        // section comes first.
        const char* magic = KEYWATCH_RSRC_MAGIC;
        table = (size_t)(std::search(bytes.begin(), bytes.end(), magic, magic + 8) - bytes.begin());
        ASSERT_LT(table, bytes.size());
    }
    // Where entry `id` sits in the file.
    size_t entry_at(uint32_t id) const {
        KeywatchRsrcEntry e{};
        for (size_t at = table + sizeof(KeywatchRsrcHeader); at + sizeof e <= bytes.size();
             at += sizeof e) {
            std::memcpy(&e, &bytes[at], sizeof e);
            if (e.id == id)
                return at;
        }
        ADD_FAILURE() << "no entry " << id;
        return 0;
    }
    uint32_t get32(size_t at) const {
        uint32_t value;
        std::memcpy(&value, &bytes[at], sizeof value);
        return value;
    }
    void put32(size_t at, uint32_t value) {
        std::memcpy(&bytes[at], &value, sizeof value);
    }
    // Writes the first `length` bytes of the (patched) module and reads `id`.
    bool read_back(uint32_t id, sim::Bitmap& b, std::string& error, size_t length = SIZE_MAX) {
        std::ofstream("copy.so", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(std::min(length, bytes.size())));
        return sim::load_module_bitmap(module.handle, "copy.so", id, b, error);
    }
};

// Truncated, foreign or absent files, and a damaged table or bitmap header,
// fail with a reason and no pixels.
TEST_F(DamagedModule, FailsCleanlyWithAReason) {
    const std::vector<uint8_t> original = bytes;
    for (size_t length : {size_t{0}, size_t{16}, size_t{64}, table, table + 100, bytes.size() / 2,
                          bytes.size() - 1}) {
        sim::Bitmap b;
        std::string error;
        EXPECT_FALSE(read_back(256, b, error, length) || error.empty()) << length;
    }
    const size_t entry = entry_at(512), dib = table + get32(entry + 8);
    const struct {
        size_t at;
        uint32_t value;
        const char* expected;
    } damages[] = {
        {table + 8, 0x10000000, "truncated"},             // entry count
        {entry + 8, 0xFFFFFF00, "outside"},               // entry offset
        {entry + 12, 0x7FFFFFFF, "outside"},              // entry size
        {entry + 12, 39, "shorter than its header"},      // entry size
        {dib + 0, 0xFFFFFFF0, "header size"},             // biSize
        {dib + 4, 0x40000000, "bitmap size"},             // biWidth
        {dib + 8, 0x80000000, "bitmap size"},             // biHeight, most negative
        {dib + 16, 1, "not supported"},                   // biCompression (RLE8)
        {dib + 32, 1, "beyond its palette"},              // biClrUsed: index 1 unlisted
        {dib + 32, 257, "palette"},                       // biClrUsed
        {entry + 12, get32(entry + 12) - 1, "truncated"}, // last pixel byte cut off
    };
    for (const auto& d : damages) {
        bytes = original;
        put32(d.at, d.value);
        sim::Bitmap b;
        std::string error;
        EXPECT_FALSE(read_back(512, b, error)) << d.expected;
        EXPECT_NE(error.find(d.expected), std::string::npos) << error;
        EXPECT_TRUE(b.pixels.empty()) << d.expected;
    }
    std::ofstream("text.so") << std::string(200, 'x');
    sim::Bitmap b;
    std::string error;
    EXPECT_FALSE(sim::load_module_bitmap(module.handle, "text.so", 256, b, error));
    EXPECT_NE(error.find("not an ELF file"), std::string::npos) << error;
    EXPECT_FALSE(sim::load_module_bitmap(module.handle, "absent.so", 256, b, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST_F(DamagedModule, TopDownAnd24BitBitmapsDecode) {
    // The same pixel rows read top-down come out upside down.
    const sim::Bitmap bottom_up = load(513);
    put32(table + get32(entry_at(513) + 8) + 8, static_cast<uint32_t>(-35));
    sim::Bitmap flipped;
    std::string error;
    ASSERT_TRUE(read_back(513, flipped, error)) << error;
    ASSERT_EQ(flipped.height, 35);
    for (int y = 0; y < 35; ++y)
        EXPECT_TRUE(std::equal(&flipped.pixels[y * 65], &flipped.pixels[y * 65] + 65,
                               &bottom_up.pixels[(34 - y) * 65]))
            << "row " << y;

    // A 24-bit 2 x 2 bitmap in place of bitmap 512: rows bottom-up, pixels
    // blue-green-red, each row padded to 8 bytes.
    const uint8_t small[] = {
        40,   0,    0,    0,    2,    0,    0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
        16,   0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, // header
        0x03, 0x02, 0x01, 0x30, 0x20, 0x10, 0, 0,                                      // bottom row
        0xCC, 0xBB, 0xAA, 0xFF, 0xEE, 0xDD, 0, 0,                                      // top row
    };
    const size_t entry = entry_at(512);
    std::memcpy(&bytes[table + get32(entry + 8)], small, sizeof small);
    put32(entry + 12, sizeof small);
    sim::Bitmap b;
    ASSERT_TRUE(read_back(512, b, error)) << error;
    EXPECT_EQ(b.bits_per_pixel, 24);
    EXPECT_EQ(b.pixels, (std::vector<uint32_t>{0xAABBCC, 0xDDEEFF, 0x010203, 0x102030}));
}

#endif

} // namespace
