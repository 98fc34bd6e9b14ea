// The face's bitmaps as the simulator finds them in the built module file:
// sizes, colours and where the artwork sits on the gauge.
#include "sim/host.h"
#include "sim/module_resources.h"
#include "sim_fixture.h"

namespace {

using sim::LoadedModule;

// Pixels of exactly `colour` (0xRRGGBB) in the box x0 <= x < x1, y0 <= y < y1.
int count_in(const sim::Bitmap& b, int x0, int y0, int x1, int y1, uint32_t colour) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += b.pixels.at(size_t(y) * size_t(b.width) + size_t(x)) == colour ? 1 : 0;
    return n;
}

sim::Bitmap load(const LoadedModule& module, uint32_t id) {
    sim::Bitmap bitmap;
    std::string error;
    EXPECT_TRUE(sim::load_module_bitmap(module.handle(), KEYWATCH_MODULE_FILE, id, bitmap, error))
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
    const LoadedModule module(KEYWATCH_MODULE_FILE);
    for (auto [id, w, h, ink] :
         {std::tuple{256u, 129, 80, white}, {512u, 65, 35, 0xFF0000u}, {513u, 65, 35, 0x00FF00u}}) {
        sim::Bitmap b = load(module, id);
        EXPECT_EQ(std::tuple(b.width, b.height, b.bits_per_pixel), std::tuple(w, h, 8)) << id;
        const int inked = count_in(b, 0, 0, w, h, ink), field = count_in(b, 0, 0, w, h, grey);
        EXPECT_GT(inked, 100) << id;
        EXPECT_GT(field, inked) << id;
        EXPECT_EQ(field + inked, w * h) << id;
    }
    sim::Bitmap b = load(module, 256);
    EXPECT_GT(count_in(b, 0, 0, 129, 21, white), 50) << "title in the top band";
    EXPECT_GT(count_in(b, 72, 20, 127, 53, white), 50) << "RST inside the Reset area";
    EXPECT_EQ(count_in(b, 0, 21, 65, 56, white), 0);
    EXPECT_EQ(count_in(b, 12, 55, 122, 75, white), 0);

    std::string error;
    b = {};
    EXPECT_FALSE(sim::load_module_bitmap(module.handle(), KEYWATCH_MODULE_FILE, 257, b, error));
    EXPECT_NE(error.find("257"), std::string::npos) << error;
    EXPECT_TRUE(b.pixels.empty());
}

} // namespace
