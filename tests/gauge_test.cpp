// The gauge as the simulator sees it: the real module file loaded by the
// stand-in simulator, its face drawn, hovered and clicked through the panel,
// and the log those clicks and key events leave. The counter's text is tested
// at unit level in key_events_test, the stop with logging off in lifecycle_test.

#include <cstring>
#include <memory>

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

#include "sim_fixture.h"

namespace {

using GaugeTest = SimTest;

// ---- Activate -----------------------------------------------------------------------

TEST_F(GaugeTest, ActivateStopsAndResumesLoggingAndTheIconFollows) {
    start_with_gauge();
    EXPECT_TRUE(icon_on());
    press(activate_area);
    EXPECT_FALSE(icon_on());
    press(activate_area);
    EXPECT_TRUE(icon_on());
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", "", aircraft_loaded(), gauge_loaded(), logging_stopped,
                                  logging_started, logging_stopped, log_file_closed}));
}

TEST_F(GaugeTest, StopWithNoLogOpenOpensItForTheStopLineAlone) {
    start_with_gauge();
    host_->stop();
    press(activate_area);
    EXPECT_FALSE(icon_on());
    // Read with the log still open: the stop line is flushed at once.
    EXPECT_EQ(log_lines(), (Lines{"", "", aircraft_loaded(), gauge_loaded(), logging_stopped,
                                  log_file_closed, logging_stopped}));
}

// ---- Reset --------------------------------------------------------------------------

TEST_F(GaugeTest, ResetStartsAFreshLogAndZeroesTheCounterButKeepsTheLastName) {
    start_with_gauge();
    press(activate_area);
    send(KEY_GEAR_TOGGLE, 7);
    ASSERT_EQ(counter(), "Events = 00007");
    answer("Beech Baron", std::nullopt, "B58"); // asked again; the type is kept

    press(reset_area);
    EXPECT_EQ(counter(), "Events = 00000");
    EXPECT_TRUE(icon_on());
    EXPECT_EQ(hover(counter_band), "KEY_GEAR_TOGGLE");
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", gauge_refreshed(),
                                  " Time= T Aircraft Title= Beech Baron Type= Mooney Model= B58",
                                  logging_started, logging_stopped, log_file_closed}));
}

TEST_F(GaugeTest, ResetZeroesTheCounterWhenTheLogCannotBeCreated) {
    fs::create_directory(log_name);
    start_with_gauge();
    send(KEY_GEAR_TOGGLE, 4);
    press(activate_area);
    ASSERT_EQ(counter(), "Events = 00004");

    press(reset_area);
    EXPECT_EQ(counter(), "Events = 00000");
    EXPECT_TRUE(icon_on());
    EXPECT_EQ(hover(counter_band), "KEY_GEAR_TOGGLE");
    // Logging is on again: the next event opens the log once it can be.
    fs::remove(log_name);
    send(KEY_GEAR_TOGGLE);
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", gear_toggle, logging_stopped, log_file_closed}));
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
    EXPECT_EQ(counter(), "Events = 00000");
    host_->stop();
    EXPECT_EQ(read_log().find("KEY_AXIS"), std::string::npos);
}

TEST_F(GaugeTest, WithoutAParameterStringTheCheckStaysOpen) {
    start_with_gauge(std::nullopt);
    send(KEY_AXIS_ELEVATOR_SET);
    EXPECT_EQ(counter(), "Events = 00000");

    host_->place("x");
    host_->frame();
    send(KEY_AXIS_ELEVATOR_SET);
    EXPECT_EQ(counter(), "Events = 00001");
}

TEST_F(GaugeTest, OneCharacterTurnsAxisLoggingOnFromTheFirstPreUpdate) {
    host_->start();
    host_->place("1"); // the notifications before the first update decide nothing
    send(KEY_AXIS_ELEVATOR_SET);
    EXPECT_EQ(counter(), "Events = 00000");

    send(KEY_AXIS_ELEVATOR_SET);
    EXPECT_EQ(counter(), "Events = 00001");
    EXPECT_EQ(hover(counter_band), "KEY_AXIS_ELEVATOR_SET");
    host_->stop();
    EXPECT_EQ(log_lines(), (Lines{"", "", aircraft_loaded(), gauge_loaded(),
                                  " Time=T; id=226; event_in=KEY_AXIS_ELEVATOR_SET; evdata=0",
                                  logging_stopped, log_file_closed}));
}

// ---- Tooltips and areas -------------------------------------------------------------

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

// Each point hovered and clicked in turn, an event sent before each click:
// the click areas act and name themselves up to their edges (Activate
// switches logging, Reset zeroes the counter and turns logging on), the bands
// above them and the counter band only name, and outside them nothing happens.
TEST_F(GaugeTest, AreasActOrNameUpToTheirEdges) {
    enum Action { none, activate, reset };
    const struct {
        Point at;
        std::optional<std::string> tooltip;
        Action action;
    } points[] = {
        {activate_area, "Activate", activate}, // child x 5..65, y 20..52
        {{5, 20}, "Activate", activate},
        {{65, 52}, "Activate", activate},
        {reset_area, "Reset", reset}, // child x 72..126, y 20..52
        {{72, 20}, "Reset", reset},
        {{126, 52}, "Reset", reset},
        {activate_band, "Activate", none}, // parent x 5..65, y 10..52
        {{5, 10}, "Activate", none},
        {reset_band, "Reset", none}, // parent x 72..126, y 10..52
        {{126, 10}, "Reset", none},
        {counter_band, "KEY_GEAR_TOGGLE", none}, // parent x 1..128, y 55..78
        {{1, 55}, "KEY_GEAR_TOGGLE", none},
        {{128, 78}, "KEY_GEAR_TOGGLE", none},
        {{4, 30}, std::nullopt, none},
        {{66, 30}, std::nullopt, none},
        {{70, 30}, std::nullopt, none},
        {{127, 30}, std::nullopt, none},
        {{30, 53}, std::nullopt, none},
        {{100, 53}, std::nullopt, none},
        {{0, 5}, std::nullopt, none},
        {{128, 5}, std::nullopt, none},
        {{0, 60}, std::nullopt, none},
        {{60, 79}, std::nullopt, none},
    };
    start_with_gauge();
    for (const auto& p : points) {
        SCOPED_TRACE(testing::Message() << p.at.x << "," << p.at.y);
        send(KEY_GEAR_TOGGLE);
        const bool was_on = icon_on();
        EXPECT_EQ(hover(p.at), p.tooltip);
        EXPECT_EQ(click(p.at), p.action != none);
        EXPECT_EQ(icon_on(), p.action == activate ? !was_on : p.action == reset || was_on);
        EXPECT_EQ(counter() == "Events = 00000", p.action == reset);
    }
}

// ---- Drawn face ---------------------------------------------------------------------

sim::Bitmap read_png(const std::string& path) {
    sim::Bitmap image;
    int channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> rgb(
        stbi_load(path.c_str(), &image.width, &image.height, &channels, 3), stbi_image_free);
    for (size_t i = 0; rgb && i < size_t(image.width) * size_t(image.height); ++i)
        image.pixels.push_back(uint32_t(rgb.get()[3 * i]) << 16 |
                               uint32_t(rgb.get()[3 * i + 1]) << 8 | rgb.get()[3 * i + 2]);
    return image;
}

TEST_F(GaugeTest, FaceShowsStateAndCounterOnTheGreyField) {
    start_with_gauge();
    std::string error;
    ASSERT_TRUE(host_->panel().write_png("on.png", error)) << error;
    press(activate_area);
    host_->frame();
    ASSERT_TRUE(host_->panel().write_png("off.png", error)) << error;

    const sim::Bitmap on = read_png("on.png");
    const sim::Bitmap off = read_png("off.png");
    for (const sim::Bitmap* face : {&on, &off}) {
        ASSERT_EQ(face->width, 129);
        ASSERT_EQ(face->height, 80);
    }
    constexpr uint32_t grey = 0x333333, green = 0x00FF00, red = 0xFF0000, white = 0xFFFFFF;
    EXPECT_EQ(on.pixels[50 * 129 + 2], grey);
    EXPECT_EQ(on.pixels[79 * 129 + 128], grey);
    // The icon: image 1 (ON, green) then image 0 (OFF, red), at (0, 21), 65 x 35.
    EXPECT_GT(count_in(on, 0, 21, 65, 56, green), 50);
    EXPECT_EQ(count_in(on, 0, 21, 65, 56, red), 0);
    EXPECT_GT(count_in(off, 0, 21, 65, 56, red), 50);
    EXPECT_EQ(count_in(off, 0, 21, 65, 56, green), 0);
    // The counter's white text in its box at (12, 55), 110 x 20, and nothing
    // green or red spilling out of the icon.
    // Antialiased white over grey: light greys, some of them pure white.
    const auto light = [](uint32_t c) {
        const uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
        return r == g && g == b && r >= 0xC0;
    };
    EXPECT_GT(count_in(on, 12, 55, 122, 75, light), 40);
    EXPECT_GT(count_in(on, 12, 55, 122, 75, white), 0);
    EXPECT_EQ(count_in(on, 0, 75, 129, 80, light), 0);
    EXPECT_EQ(count_in(on, 0, 56, 129, 80, green), 0);
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
    MOUSEARGS args[2] = {{.text_callback = answer_a}, {}};
    std::vector<MOUSERECT> list = {entry(MOUSE_RECT_PARENT),
                                   entry(MOUSE_RECT_USER),
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

double write_too_much(ELEMENT_STRING* element) { // the terminator one byte past the buffer
    std::memset(element->string, 'x', element->max_string_length);
    element->string[element->max_string_length] = '\0';
    return 0.0;
}

TEST_F(GaugeTest, PanelReportsMissingBitmapsAndTextOverruns) {
    start_with_gauge();
    sim::Panel& panel = host_->panel();

    ELEMENT_STATIC_IMAGE missing{{.element_type = ELEMENT_TYPE_STATIC_IMAGE, .resource_id = 999}};
    EXPECT_EQ(panel.install(&missing.header, nullptr), 0);
    EXPECT_NE(panel.error().find("999"), std::string::npos) << panel.error();

    ELEMENT_STRING text{};
    text.header = {.element_type = ELEMENT_TYPE_STRING, .resource_id = RESOURCE_NONE};
    text.max_string_length = 21;
    text.update_callback = write_too_much;
    ELEMENT_HEADER* next[] = {&text.header, nullptr};
    ELEMENT_STATIC_IMAGE root{
        {.element_type = ELEMENT_TYPE_STATIC_IMAGE, .resource_id = 256, .next_element = next}};
    ASSERT_EQ(panel.install(&root.header, nullptr), 1) << panel.error();
    ASSERT_EQ(panel.initialize(&root.header), 1) << panel.error();
    ASSERT_NE(static_cast<char*>(text.string), nullptr); // a copy: the field is packed
    EXPECT_EQ(panel.update(&root.header), 0);
    EXPECT_NE(panel.error().find("overran"), std::string::npos) << panel.error();
    EXPECT_EQ(panel.kill(&root.header), 1);
    EXPECT_EQ(static_cast<char*>(text.string), nullptr);
}

} // namespace
