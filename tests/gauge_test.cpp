// The gauge as the simulator sees it: the real module file loaded by the
// stand-in simulator, its face drawn, hovered and clicked through the panel,
// and the log those clicks and key events leave. Each test runs in a fresh
// working directory of its own, since the log path is relative.

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
#pragma GCC diagnostic pop

#include "sim/host.h"

#ifndef KEYWATCH_MODULE_FILE
#error "KEYWATCH_MODULE_FILE must name the module file under test"
#endif

namespace fs = std::filesystem;

namespace {

// ---- Events and points ------------------------------------------------------------

constexpr uint32_t KEY_GEAR_TOGGLE = 0x10022;
constexpr uint32_t KEY_AXIS_ELEVATOR_SET = 0x100E2;
constexpr uint32_t KEY_WITHOUT_ROW = 0x10006;
constexpr uint32_t THIRD_PARTY_EVENT = 0x11000;

struct Point {
    int32_t x, y;
};
constexpr Point activate_area{30, 30}; // child (5, 20, 61, 33) over the icon
constexpr Point reset_area{100, 30};   // child (72, 20, 55, 33) over RST
constexpr Point activate_band{30, 12}; // parent (5, 10, 61, 43) above its child
constexpr Point reset_band{100, 12};   // parent (72, 10, 55, 43) above its child
constexpr Point counter_band{60, 65};  // parent (1, 55, 128, 24)

const char* const log_name = "Key_Events_Sent.log";

// ---- Log ----------------------------------------------------------------------------

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The log's lines (split at CR LF) with each time value replaced by "T".
std::vector<std::string> log_lines() {
    static const std::regex time(R"((Time= ?)[0-9]+\.[0-9]{6})");
    const std::string text = std::regex_replace(read_file(log_name), time, "$1T");
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 2;
    }
}

// The lines the log gained since it held `before` lines.
std::vector<std::string> lines_after(size_t before) {
    std::vector<std::string> lines = log_lines();
    return std::vector<std::string>(lines.begin() + std::min(before, lines.size()), lines.end());
}

using Lines = std::vector<std::string>;

// ---- Fixture ------------------------------------------------------------------------

class GaugeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_directory_ = fs::current_path();
        std::random_device seed;
        std::mt19937_64 random((uint64_t(seed()) << 32) ^ seed());
        do
            directory_ = fs::temp_directory_path() /
                         ("keywatch-gauge-" + std::to_string(random() % 1000000000u));
        while (!fs::create_directory(directory_));
        fs::current_path(directory_);
        host_ = std::make_unique<sim::Host>(KEYWATCH_MODULE_FILE);
        host_->set_answer(sim::AircraftField::title, "Mooney Bravo");
        host_->set_answer(sim::AircraftField::type, "Mooney");
        host_->set_answer(sim::AircraftField::model, "M20T");
    }

    void TearDown() override {
        host_.reset();
        fs::current_path(previous_directory_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    // The module started with one gauge placed and drawn once.
    void start_with_gauge(std::optional<std::string> parameters = std::nullopt) {
        host_->start();
        host_->place(std::move(parameters));
        host_->frame();
    }

    bool click(Point p) {
        return host_->click(p.x, p.y);
    }
    std::optional<std::string> hover(Point p) const {
        return host_->hover(p.x, p.y);
    }
    // Clicks and draws the result.
    void press(Point p) {
        ASSERT_TRUE(click(p)) << p.x << "," << p.y;
        host_->frame();
    }
    void send(uint32_t id, uint32_t count = 1) {
        for (uint32_t i = 0; i < count; ++i)
            host_->send_event(id, 0);
    }
    std::string counter() const {
        return host_->panel().counter_text();
    }
    bool icon_on() const {
        return host_->panel().icon_on();
    }

    fs::path previous_directory_;
    fs::path directory_;
    std::unique_ptr<sim::Host> host_;
};

// ---- Activate -----------------------------------------------------------------------

TEST_F(GaugeTest, ActivateStopsAndResumesLoggingAndTheIconFollows) {
    start_with_gauge();
    EXPECT_TRUE(icon_on());
    host_->stop(); // closes the log, so that it can be read whole
    const size_t loaded = log_lines().size();

    host_->start();
    host_->frame();
    press(activate_area);
    EXPECT_FALSE(icon_on());
    press(activate_area);
    EXPECT_TRUE(icon_on());
    host_->stop();

    // The second start adds an empty line and two load lines.
    EXPECT_EQ(lines_after(loaded + 3),
              (Lines{" Time= T Logging Stopped", " Time= T Logging Started",
                     " Time= T Logging Stopped", " Time= T Log File Closed"}));
}

TEST_F(GaugeTest, StopWithNoLogOpenOpensItForTheStopLineAlone) {
    start_with_gauge();
    host_->stop();
    const Lines closed = log_lines();
    ASSERT_EQ(closed.back(), " Time= T Log File Closed");

    host_->frame();
    press(activate_area);
    EXPECT_FALSE(icon_on());
    send(KEY_GEAR_TOGGLE, 6); // counted, not written; the sixth call flushes
    Lines expected = closed;
    expected.push_back(" Time= T Logging Stopped");
    EXPECT_EQ(log_lines(), expected);
}

TEST_F(GaugeTest, ModuleStopWithLoggingOffWritesOnlyTheCloseLine) {
    start_with_gauge();
    press(activate_area);
    send(KEY_GEAR_TOGGLE, 3);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 00003");
    EXPECT_FALSE(icon_on());
    host_->stop();

    const Lines lines = log_lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{" Time= T Logging Stopped", " Time= T Log File Closed"}));
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("event_in"), std::string::npos) << line;
}

// ---- Reset --------------------------------------------------------------------------

TEST_F(GaugeTest, ResetStartsAFreshLogAndZeroesTheCounterButKeepsTheLastName) {
    start_with_gauge();
    press(activate_area);
    send(KEY_GEAR_TOGGLE, 7);
    host_->frame();
    ASSERT_EQ(counter(), "Events = 00007");
    host_->set_answer(sim::AircraftField::title, "Beech Baron");
    host_->set_answer(sim::AircraftField::model, "B58");

    press(reset_area);
    EXPECT_EQ(counter(), "Events = 00000");
    EXPECT_TRUE(icon_on());
    EXPECT_EQ(hover(counter_band), "KEY_GEAR_TOGGLE");

    host_->stop();
    const Lines lines = log_lines();
    ASSERT_EQ(lines.size(), 6u) << read_file(log_name);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1].rfind(" Time= T Gauge Refreshed= ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("keywatch_x64"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], " Time= T Aircraft Title= Beech Baron Type= Mooney Model= B58");
    EXPECT_EQ(lines[3], " Time= T Logging Started");
    EXPECT_EQ(lines[4], " Time= T Logging Stopped");
    EXPECT_EQ(lines[5], " Time= T Log File Closed");
}

TEST_F(GaugeTest, ResetZeroesTheCounterWhenTheLogCannotBeCreated) {
    fs::create_directory(log_name);
    start_with_gauge();
    send(KEY_GEAR_TOGGLE, 4);
    press(activate_area);
    host_->frame();
    ASSERT_EQ(counter(), "Events = 00004");

    press(reset_area);
    EXPECT_EQ(counter(), "Events = 00000");
    EXPECT_TRUE(icon_on());
    EXPECT_TRUE(fs::is_directory(log_name));
}

// ---- Parameter string -------------------------------------------------------------

TEST_F(GaugeTest, EmptyParameterStringKeepsAxisEventsOffForTheModulesLife) {
    start_with_gauge("");
    host_->place("1");
    host_->frame();
    send(KEY_AXIS_ELEVATOR_SET);
    host_->stop();
    host_->start();
    host_->frame();
    send(KEY_AXIS_ELEVATOR_SET);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 00000");
    host_->stop();
    EXPECT_EQ(read_file(log_name).find("KEY_AXIS"), std::string::npos);
}

TEST_F(GaugeTest, WithoutAParameterStringTheCheckStaysOpen) {
    start_with_gauge(std::nullopt);
    host_->frame();
    send(KEY_AXIS_ELEVATOR_SET);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 00000");

    host_->place("x");
    host_->frame();
    send(KEY_AXIS_ELEVATOR_SET);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 00001");
}

TEST_F(GaugeTest, OneCharacterTurnsAxisLoggingOnFromTheFirstPreUpdate) {
    host_->start();
    host_->place("1"); // the notifications before the first update decide nothing
    send(KEY_AXIS_ELEVATOR_SET);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 00000");

    send(KEY_AXIS_ELEVATOR_SET, 1);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 00001");
    EXPECT_EQ(hover(counter_band), "KEY_AXIS_ELEVATOR_SET");
    host_->stop();
    const Lines lines = log_lines();
    const Lines axis_lines = [&] {
        Lines found;
        for (const std::string& line : lines)
            if (line.find("KEY_AXIS") != std::string::npos)
                found.push_back(line);
        return found;
    }();
    EXPECT_EQ(axis_lines, (Lines{" Time=T; id=226; event_in=KEY_AXIS_ELEVATOR_SET; evdata=0"}));
}

// ---- Face ---------------------------------------------------------------------------

TEST_F(GaugeTest, CounterShowsAtLeastFiveDigits) {
    start_with_gauge();
    EXPECT_EQ(counter(), "Events = 00000");
    press(activate_area); // keeps the many events below out of the log
    send(THIRD_PARTY_EVENT);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 00001");
    send(THIRD_PARTY_EVENT, 99998);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 99999");
    send(THIRD_PARTY_EVENT);
    host_->frame();
    EXPECT_EQ(counter(), "Events = 100000");
}

TEST_F(GaugeTest, CounterTooltipNamesTheLastEvent) {
    start_with_gauge();
    EXPECT_EQ(hover(counter_band), "(null)");
    send(KEY_WITHOUT_ROW);
    EXPECT_EQ(hover(counter_band), "null");
    send(THIRD_PARTY_EVENT);
    EXPECT_EQ(hover(counter_band), "User_Defined_Event");
    send(KEY_GEAR_TOGGLE);
    EXPECT_EQ(hover(counter_band), "KEY_GEAR_TOGGLE");
}

// ---- Geometry -----------------------------------------------------------------------

TEST_F(GaugeTest, BandsAboveTheClickAreasOnlyNameThem) {
    start_with_gauge();
    EXPECT_EQ(hover(activate_band), "Activate");
    EXPECT_EQ(hover(reset_band), "Reset");
    EXPECT_EQ(hover(activate_area), "Activate");
    EXPECT_EQ(hover(reset_area), "Reset");

    send(KEY_GEAR_TOGGLE, 2);
    for (Point band : {activate_band, reset_band, counter_band})
        EXPECT_FALSE(click(band)) << band.x << "," << band.y;
    host_->frame();
    EXPECT_TRUE(icon_on());
    EXPECT_EQ(counter(), "Events = 00002");
}

TEST_F(GaugeTest, ClickAreasEndWhereTheirBoxesEnd) {
    start_with_gauge();
    // Activate's child spans x 5..65 and y 20..52, Reset's x 72..126.
    for (Point inside : {Point{5, 20}, Point{65, 52}})
        EXPECT_EQ(hover(inside), "Activate") << inside.x << "," << inside.y;
    press(Point{5, 20});
    EXPECT_FALSE(icon_on());
    press(Point{65, 52});
    EXPECT_TRUE(icon_on());
    send(KEY_GEAR_TOGGLE);
    press(Point{126, 52});
    EXPECT_EQ(counter(), "Events = 00000");

    send(KEY_GEAR_TOGGLE);
    for (Point outside : {Point{4, 30}, Point{66, 30}, Point{70, 30}, Point{127, 30}, Point{30, 53},
                          Point{0, 5}, Point{128, 5}}) {
        EXPECT_FALSE(click(outside)) << outside.x << "," << outside.y;
        EXPECT_EQ(hover(outside), std::nullopt) << outside.x << "," << outside.y;
    }
    host_->frame();
    EXPECT_TRUE(icon_on());
    EXPECT_EQ(counter(), "Events = 00001");
}

// ---- Drawn face ---------------------------------------------------------------------

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    uint32_t at(int x, int y) const { // 0xRRGGBB
        const uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    template <typename Match> int count(int x0, int y0, int x1, int y1, Match match) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += match(at(x, y));
        return n;
    }
    int count(int x0, int y0, int x1, int y1, uint32_t colour) const {
        return count(x0, y0, x1, y1, [colour](uint32_t c) { return c == colour; });
    }
};

Image read_png(const std::string& path) {
    Image image;
    int channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load(path.c_str(), &image.width, &image.height, &channels, 4), stbi_image_free);
    if (pixels)
        image.rgba.assign(pixels.get(), pixels.get() + size_t(image.width) * image.height * 4);
    return image;
}

TEST_F(GaugeTest, FaceShowsStateAndCounterOnTheGreyField) {
    start_with_gauge();
    std::string error;
    ASSERT_TRUE(host_->panel().write_png("on.png", error)) << error;
    press(activate_area);
    ASSERT_TRUE(host_->panel().write_png("off.png", error)) << error;

    const Image on = read_png("on.png");
    const Image off = read_png("off.png");
    ASSERT_EQ(on.width, 129);
    ASSERT_EQ(on.height, 80);
    ASSERT_EQ(off.width, 129);
    ASSERT_EQ(off.height, 80);

    constexpr uint32_t grey = 0x333333, green = 0x00FF00, red = 0xFF0000, white = 0xFFFFFF;
    EXPECT_EQ(on.at(2, 50), grey);
    EXPECT_EQ(on.at(128, 79), grey);
    // The icon: image 1 (ON, green) then image 0 (OFF, red), at (0, 21), 65 x 35.
    EXPECT_GT(on.count(0, 21, 65, 56, green), 50);
    EXPECT_EQ(on.count(0, 21, 65, 56, red), 0);
    EXPECT_GT(off.count(0, 21, 65, 56, red), 50);
    EXPECT_EQ(off.count(0, 21, 65, 56, green), 0);
    // The counter's white text in its box at (12, 55), 110 x 20, and nothing
    // green or red spilling out of the icon.
    // Antialiased white over grey: light greys, some of them pure white.
    const auto light = [](uint32_t c) {
        const uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
        return r == g && g == b && r >= 0xC0;
    };
    EXPECT_GT(on.count(12, 55, 122, 75, light), 40);
    EXPECT_GT(on.count(12, 55, 122, 75, white), 0);
    EXPECT_EQ(on.count(0, 75, 129, 80, light), 0);
    EXPECT_EQ(on.count(0, 56, 129, 80, green), 0);
}

// ---- The panel's guards -------------------------------------------------------------
// What the stand-in simulator does with lists and callbacks that break the
// rules, so that a faulty module fails a test instead of misleading it.

MOUSERECT entry(uint32_t type, PIXBOX box = {0, 0, 0, 0}) {
    MOUSERECT rect{};
    rect.rect_type = type;
    rect.relative_box = box;
    rect.cursor = CURSOR_NONE;
    return rect;
}

int32_t clicks = 0;
int32_t count_click(PIXPOINT*, uint32_t) {
    ++clicks;
    return 0;
}
const char* answer_a(double, int32_t, const char*, void*, GAUGEHDR*) {
    return "A";
}

TEST_F(GaugeTest, PanelExpandsTooltipTemplatesAndNestsAreas) {
    start_with_gauge();
    MOUSEARGS args[2] = {{0, 0, nullptr, answer_a}, {0, 0, nullptr, nullptr}};
    std::vector<MOUSERECT> list = {entry(MOUSE_RECT_PARENT),
                                   entry(MOUSE_RECT_TOOLTIP_TEXT),
                                   entry(MOUSE_RECT_PARENT, {10, 10, 20, 20}),
                                   entry(MOUSE_RECT_CHILD, {5, 5, 5, 5}),
                                   entry(MOUSE_RECT_END_PARENT),
                                   entry(MOUSE_RECT_END_PARENT),
                                   entry(MOUSE_RECT_EOL)};
    list[1].tooltip_text = "%1!s! of %2!s!, 100%% %3!s! %1 %0!s!";
    list[1].tooltip_arg_count = 2;
    list[1].tooltip_args = args;
    list[3].mouse_flags = MOUSE_LEFTSINGLE;
    list[3].function = count_click;
    GAUGEHDR gauge{};
    gauge.mouse_rect = list.data();
    sim::Panel& panel = host_->panel();

    // The inner parent has no tooltip: the outer one speaks for it.
    EXPECT_EQ(panel.tooltip_at(gauge, 16, 16), "A of (null), 100% %3!s! %1 %0!s!");
    EXPECT_EQ(panel.tooltip_at(gauge, 128, 79), panel.tooltip_at(gauge, 16, 16));
    EXPECT_EQ(panel.tooltip_at(gauge, 129, 5), std::nullopt);
    // The child lies at (15, 15) in gauge pixels, 5 x 5.
    clicks = 0;
    EXPECT_FALSE(panel.click_at(gauge, 14, 15));
    EXPECT_FALSE(panel.click_at(gauge, 20, 19));
    EXPECT_TRUE(panel.click_at(gauge, 15, 15));
    EXPECT_TRUE(panel.click_at(gauge, 19, 19));
    EXPECT_EQ(clicks, 2);
}

TEST_F(GaugeTest, PanelRefusesMalformedMouseLists) {
    start_with_gauge();
    sim::Panel& panel = host_->panel();
    GAUGEHDR gauge{};
    clicks = 0;
    MOUSERECT child = entry(MOUSE_RECT_CHILD, {0, 0, 50, 50});
    child.mouse_flags = MOUSE_LEFTSINGLE;
    child.function = count_click;

    std::vector<MOUSERECT> unbalanced = {child, entry(MOUSE_RECT_END_PARENT),
                                         entry(MOUSE_RECT_EOL)};
    gauge.mouse_rect = unbalanced.data();
    EXPECT_FALSE(panel.click_at(gauge, 10, 10));
    EXPECT_NE(panel.error().find("not open"), std::string::npos) << panel.error();

    std::vector<MOUSERECT> left_open = {entry(MOUSE_RECT_PARENT), child, entry(MOUSE_RECT_EOL)};
    gauge.mouse_rect = left_open.data();
    EXPECT_FALSE(panel.click_at(gauge, 10, 10));
    EXPECT_NE(panel.error().find("open"), std::string::npos) << panel.error();

    // Exactly as long as the panel reads: a read past it shows under the
    // sanitizers.
    std::vector<MOUSERECT> endless(4096, child);
    gauge.mouse_rect = endless.data();
    EXPECT_FALSE(panel.click_at(gauge, 10, 10));
    EXPECT_EQ(panel.tooltip_at(gauge, 10, 10), std::nullopt);
    EXPECT_NE(panel.error().find("no end marker"), std::string::npos) << panel.error();
    EXPECT_EQ(clicks, 0);
}

double write_too_much(ELEMENT_STRING* element) {
    std::memset(element->string, 'x', 70);
    element->string[70] = '\0';
    return 0.0;
}

TEST_F(GaugeTest, PanelReportsMissingBitmapsAndTextOverruns) {
    start_with_gauge();
    sim::Panel& panel = host_->panel();

    ELEMENT_STATIC_IMAGE missing{{ELEMENT_TYPE_STATIC_IMAGE, 999, {0, 0}, nullptr, 0}};
    EXPECT_EQ(panel.install(&missing.header, nullptr), 0);
    EXPECT_NE(panel.error().find("999"), std::string::npos) << panel.error();

    ELEMENT_STRING text{};
    text.header = {ELEMENT_TYPE_STRING, RESOURCE_NONE, {0, 0}, nullptr, 0};
    text.update_callback = write_too_much;
    ELEMENT_HEADER* next[] = {&text.header, nullptr};
    ELEMENT_STATIC_IMAGE root{{ELEMENT_TYPE_STATIC_IMAGE, 256, {0, 0}, next, 0}};
    ASSERT_EQ(panel.install(&root.header, nullptr), 1) << panel.error();
    ASSERT_EQ(panel.initialize(&root.header), 1) << panel.error();
    ASSERT_NE(text.string, nullptr);
    EXPECT_EQ(panel.update(&root.header), 0);
    EXPECT_NE(panel.error().find("overran"), std::string::npos) << panel.error();
    EXPECT_EQ(panel.kill(&root.header), 1);
    EXPECT_EQ(text.string, nullptr);
}

} // namespace
