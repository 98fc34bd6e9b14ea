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

constexpr uint32_t grey = 0x333333;
constexpr uint32_t white = 0xFFFFFF;

struct LoadedModule {
#ifdef _WIN32
    HMODULE handle = LoadLibraryA(KEYWATCH_MODULE_FILE);
    ~LoadedModule() {
        if (handle != nullptr)
            FreeLibrary(handle);
    }
#else
    void* handle = dlopen(KEYWATCH_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
    ~LoadedModule() {
        if (handle != nullptr)
            dlclose(handle);
    }
#endif
};

sim::Bitmap load(uint32_t id, const std::string& file = KEYWATCH_MODULE_FILE) {
    LoadedModule module;
    EXPECT_NE(module.handle, nullptr) << KEYWATCH_MODULE_FILE;
    sim::Bitmap bitmap;
    std::string error;
    EXPECT_TRUE(sim::load_module_bitmap(module.handle, file, id, bitmap, error)) << error;
    EXPECT_EQ(bitmap.pixels.size(), static_cast<size_t>(bitmap.width) * bitmap.height);
    return bitmap;
}

// Each bitmap is 8-bit, of its size, and holds two colours: the grey field
// and its ink, which covers less of it.
TEST(ModuleBitmaps, FaceImagesHaveTheirSizesDepthAndTwoColours) {
    for (auto [id, w, h, ink] :
         {std::tuple{256u, 129, 80, white}, {512u, 65, 35, 0xFF0000u}, {513u, 65, 35, 0x00FF00u}}) {
        sim::Bitmap b = load(id);
        EXPECT_EQ(b.width, w) << id;
        EXPECT_EQ(b.height, h) << id;
        EXPECT_EQ(b.bits_per_pixel, 8) << id;
        const int inked = count_in(b, 0, 0, w, h, ink);
        EXPECT_GT(inked, 100) << id;
        EXPECT_GT(count_in(b, 0, 0, w, h, grey), inked) << id;
        EXPECT_EQ(count_in(b, 0, 0, w, h, grey) + inked, w * h) << id;
    }
}

TEST(ModuleBitmaps, BackgroundShowsTitleAndResetLabelWhereTheyStayVisible) {
    sim::Bitmap b = load(256);
    EXPECT_GT(count_in(b, 0, 0, 129, 21, white), 50) << "title in the top band";
    EXPECT_GT(count_in(b, 72, 20, 127, 53, white), 50) << "RST inside the Reset area";
    // The state icon (0,21) 65x35 and the counter (12,55) 110x20 are drawn
    // over the background; artwork there would be hidden or cut.
    EXPECT_EQ(count_in(b, 0, 21, 65, 56, white), 0);
    EXPECT_EQ(count_in(b, 12, 55, 122, 75, white), 0);
}

TEST(ModuleBitmaps, MissingIdFailsWithAReason) {
    LoadedModule module;
    ASSERT_NE(module.handle, nullptr);
    sim::Bitmap b;
    std::string error;
    EXPECT_FALSE(sim::load_module_bitmap(module.handle, KEYWATCH_MODULE_FILE, 257, b, error));
    EXPECT_NE(error.find("257"), std::string::npos) << error;
    EXPECT_TRUE(b.pixels.empty());
}

#ifndef _WIN32

// ---- Damaged module files ----------------------------------------------------

std::vector<uint8_t> module_bytes() {
    std::ifstream in(KEYWATCH_MODULE_FILE, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Damaged copies are written to the test's own working directory.
class DamagedModule : public WorkingDirectoryTest {
  protected:
    std::vector<uint8_t> bytes = module_bytes();
    LoadedModule module;

    void SetUp() override {
        WorkingDirectoryTest::SetUp();
        ASSERT_GT(bytes.size(), 4096u);
        ASSERT_NE(module.handle, nullptr);
    }

    // Offset of the resource section's header, found by its magic. Debug
    // information may hold a second copy further on; the loadable section
    // comes first, and patching the wrong copy would make the tests fail.
    size_t table() const {
        const char* magic = KEYWATCH_RSRC_MAGIC;
        auto at = std::search(bytes.begin(), bytes.end(), magic, magic + 8);
        EXPECT_NE(at, bytes.end());
        return static_cast<size_t>(at - bytes.begin());
    }
    KeywatchRsrcEntry entry_for(uint32_t id, size_t* where = nullptr) const {
        size_t base = table();
        KeywatchRsrcHeader header;
        std::memcpy(&header, &bytes[base], sizeof header);
        for (uint32_t i = 0; i < header.count; ++i) {
            KeywatchRsrcEntry e;
            size_t at = base + sizeof header + i * sizeof e;
            std::memcpy(&e, &bytes[at], sizeof e);
            if (e.id == id) {
                if (where != nullptr)
                    *where = at;
                return e;
            }
        }
        ADD_FAILURE() << "no entry " << id;
        return {};
    }
    void put32(size_t at, uint32_t value) {
        std::memcpy(&bytes[at], &value, sizeof value);
    }

    // Writes `length` bytes of the (possibly patched) module and reads `id`.
    bool read_back(size_t length, uint32_t id, sim::Bitmap& b, std::string& error) {
        const std::string file = "copy_" + std::to_string(length) + ".so";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(length));
        return sim::load_module_bitmap(module.handle, file, id, b, error);
    }
    bool read_back(uint32_t id, sim::Bitmap& b, std::string& error) {
        return read_back(bytes.size(), id, b, error);
    }
};

TEST_F(DamagedModule, TruncatedOrForeignFilesFailCleanly) {
    const size_t section = table();
    for (size_t length : {size_t{0}, size_t{16}, size_t{64}, section, section + 100,
                          bytes.size() / 2, bytes.size() - 1}) {
        sim::Bitmap b;
        std::string error;
        EXPECT_FALSE(read_back(length, 256, b, error)) << length;
        EXPECT_FALSE(error.empty()) << length;
    }
    sim::Bitmap b;
    std::string error;
    std::ofstream("text.so") << "this is not a shared object, just text long enough to "
                                "fill an ELF header's worth of bytes and then some more";
    EXPECT_FALSE(sim::load_module_bitmap(module.handle, "text.so", 256, b, error));
    EXPECT_NE(error.find("not an ELF file"), std::string::npos) << error;
    EXPECT_FALSE(sim::load_module_bitmap(module.handle, "absent.so", 256, b, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    EXPECT_TRUE(b.pixels.empty());
}

TEST_F(DamagedModule, CorruptTableOrBitmapHeaderFailsCleanly) {
    const std::vector<uint8_t> original = bytes;
    size_t entry_at = 0;
    const KeywatchRsrcEntry entry = entry_for(512, &entry_at);
    const size_t dib = table() + entry.offset;
    struct Damage {
        size_t at;
        uint32_t value;
        const char* expected;
    };
    for (const Damage& d : {
             Damage{table() + 8, 0x10000000, "truncated"},         // entry count
             Damage{entry_at + 8, 0xFFFFFF00, "outside"},          // entry offset
             Damage{entry_at + 12, 0x7FFFFFFF, "outside"},         // entry size
             Damage{entry_at + 12, 39, "shorter than its header"}, // entry size
             Damage{dib + 0, 0xFFFFFFF0, "header size"},           // biSize
             Damage{dib + 4, 0x40000000, "bitmap size"},           // biWidth
             Damage{dib + 8, 0x80000000, "bitmap size"},           // biHeight, most negative
             Damage{dib + 16, 1, "not supported"},                 // biCompression (RLE8)
             Damage{dib + 32, 1, "beyond its palette"},            // biClrUsed: index 1 unlisted
             Damage{dib + 32, 257, "palette"},                     // biClrUsed
             Damage{entry_at + 12, entry.size - 1, "truncated"},   // last pixel byte cut off
         }) {
        bytes = original;
        put32(d.at, d.value);
        sim::Bitmap b;
        std::string error;
        EXPECT_FALSE(read_back(512, b, error)) << d.expected;
        EXPECT_NE(error.find(d.expected), std::string::npos) << error;
    }
}

TEST_F(DamagedModule, TopDownAnd24BitBitmapsDecode) {
    sim::Bitmap bottom_up = load(513);

    // The same pixel rows read top-down come out upside down.
    const size_t dib = table() + entry_for(513).offset;
    put32(dib + 8, static_cast<uint32_t>(-35));
    sim::Bitmap flipped;
    std::string error;
    ASSERT_TRUE(read_back(513, flipped, error)) << error;
    ASSERT_EQ(flipped.height, 35);
    for (int y = 0; y < 35; ++y)
        EXPECT_TRUE(std::equal(&flipped.pixels[y * 65], &flipped.pixels[y * 65] + 65,
                               &bottom_up.pixels[(34 - y) * 65]))
            << "row " << y;

    // A 24-bit 2 x 2 bitmap put in place of bitmap 512: rows bottom-up,
    // pixels blue-green-red, each row padded to 8 bytes.
    size_t entry_at = 0;
    const size_t dib512 = table() + entry_for(512, &entry_at).offset;
    const uint8_t small[] = {
        40,   0,    0,    0,    2,    0,    0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
        16,   0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, // header
        0x03, 0x02, 0x01, 0x30, 0x20, 0x10, 0, 0,                                      // bottom row
        0xCC, 0xBB, 0xAA, 0xFF, 0xEE, 0xDD, 0, 0,                                      // top row
    };
    std::memcpy(&bytes[dib512], small, sizeof small);
    put32(entry_at + 12, sizeof small);
    sim::Bitmap b;
    ASSERT_TRUE(read_back(512, b, error)) << error;
    EXPECT_EQ(b.bits_per_pixel, 24);
    EXPECT_EQ(b.pixels, (std::vector<uint32_t>{0xAABBCC, 0xDDEEFF, 0x010203, 0x102030}));
}

#endif

} // namespace
