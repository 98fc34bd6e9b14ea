// The face's bitmaps as the simulator finds them in the built module file:
// sizes, colours and where the artwork sits on the gauge; on Linux also what
// a damaged module file does to the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "sim/module_resources.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "resources/resource_section.h"
#endif

namespace {

constexpr uint32_t grey = 0x333333;
constexpr uint32_t white = 0xFFFFFF;
constexpr uint32_t red = 0xFF0000;
constexpr uint32_t green = 0x00FF00;

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

std::map<uint32_t, int> histogram(const sim::Bitmap& bitmap) {
    std::map<uint32_t, int> counts;
    for (uint32_t p : bitmap.pixels)
        ++counts[p];
    return counts;
}

// Pixels of `colour` inside the box x0 <= x < x1, y0 <= y < y1.
int count_in(const sim::Bitmap& b, uint32_t colour, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, b.height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, b.width); ++x)
            n += b.pixels[static_cast<size_t>(y) * b.width + x] == colour;
    return n;
}

TEST(ModuleBitmaps, FaceImagesHaveTheirSizesAndDepth) {
    for (auto [id, w, h] : {std::tuple{256u, 129, 80}, {512u, 65, 35}, {513u, 65, 35}}) {
        sim::Bitmap b = load(id);
        EXPECT_EQ(b.width, w) << id;
        EXPECT_EQ(b.height, h) << id;
        EXPECT_EQ(b.bits_per_pixel, 8) << id;
    }
}

TEST(ModuleBitmaps, BackgroundShowsTitleAndResetLabelWhereTheyStayVisible) {
    sim::Bitmap b = load(256);
    auto counts = histogram(b);
    EXPECT_EQ(counts.size(), 2u);
    EXPECT_GT(counts[grey], b.width * b.height / 2);
    EXPECT_GT(count_in(b, white, 0, 0, 129, 21), 50) << "title in the top band";
    EXPECT_GT(count_in(b, white, 72, 20, 127, 53), 50) << "RST inside the Reset area";
    // The state icon (0,21) 65x35 and the counter (12,55) 110x20 are drawn
    // over the background; artwork there would be hidden or cut.
    EXPECT_EQ(count_in(b, white, 0, 21, 65, 56), 0);
    EXPECT_EQ(count_in(b, white, 12, 55, 122, 75), 0);
}

TEST(ModuleBitmaps, StateImagesHoldOnlyTheirTwoColours) {
    for (auto [id, ink] : {std::pair{512u, red}, {513u, green}}) {
        auto counts = histogram(load(id));
        std::set<uint32_t> colours;
        for (const auto& entry : counts)
            colours.insert(entry.first);
        EXPECT_EQ(colours, (std::set<uint32_t>{grey, ink})) << id;
        EXPECT_GT(counts[ink], 100) << id;
        EXPECT_GT(counts[grey], counts[ink]) << id;
    }
    EXPECT_NE(load(512).pixels, load(513).pixels);
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

namespace fs = std::filesystem;

std::vector<uint8_t> module_bytes() {
    std::ifstream in(KEYWATCH_MODULE_FILE, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DamagedModule : public ::testing::Test {
  protected:
    fs::path dir = fs::temp_directory_path() / ("keywatch_resources_" + std::to_string(getpid()));
    std::vector<uint8_t> bytes = module_bytes();
    LoadedModule module;

    void SetUp() override {
        fs::create_directories(dir);
        ASSERT_GT(bytes.size(), 4096u);
        ASSERT_NE(module.handle, nullptr);
    }
    void TearDown() override {
        fs::remove_all(dir);
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
        fs::path file = dir / ("copy_" + std::to_string(length) + ".so");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(length));
        return sim::load_module_bitmap(module.handle, file.string(), id, b, error);
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
    std::ofstream(dir / "text.so") << "this is not a shared object, just text long enough to "
                                      "fill an ELF header's worth of bytes and then some more";
    EXPECT_FALSE(sim::load_module_bitmap(module.handle, (dir / "text.so").string(), 256, b, error));
    EXPECT_NE(error.find("not an ELF file"), std::string::npos) << error;
    EXPECT_FALSE(
        sim::load_module_bitmap(module.handle, (dir / "absent.so").string(), 256, b, error));
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
