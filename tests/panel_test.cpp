// The stand-in simulator's own guards against mouse lists, elements and
// callbacks that break the rules. What the face shows and what its clicks,
// tooltips and parameter string do are the scenarios' golden files, face
// pictures included.

#include <cstring>

#include "sim/text.h"
#include "sim_fixture.h"

namespace {

using PanelTest = SimTest;

// A faulty module must fail a test rather than mislead it.

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

TEST_F(PanelTest, PanelExpandsTooltipTemplatesAndNestsAreas) {
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

// Lists the panel must refuse rather than misread: a parent closed that was
// never opened, one left open, and one without an end marker exactly as long
// as the panel reads (a read past it shows under the sanitizers).
TEST_F(PanelTest, PanelRefusesMalformedMouseLists) {
    start_with_gauge();
    MOUSERECT child = entry(MOUSE_RECT_CHILD, {0, 0, 50, 50});
    child.mouse_flags = MOUSE_LEFTSINGLE;
    child.function = count_click;
    std::pair<std::vector<MOUSERECT>, const char*> lists[] = {
        {{child, entry(MOUSE_RECT_END_PARENT), entry(MOUSE_RECT_EOL)}, "not open"},
        {{entry(MOUSE_RECT_PARENT), child, entry(MOUSE_RECT_EOL)}, "parent(s) open"},
        {std::vector<MOUSERECT>(4096, child), "no end marker"},
    };
    clicks = 0;
    for (auto& [list, message] : lists) {
        GAUGEHDR gauge{};
        gauge.mouse_rect = list.data();
        EXPECT_FALSE(host_->panel().click_at(gauge, 10, 10)) << message;
        EXPECT_EQ(host_->panel().tooltip_at(gauge, 10, 10), std::nullopt) << message;
        EXPECT_NE(host_->panel().error().find(message), std::string::npos)
            << host_->panel().error();
    }
    EXPECT_EQ(clicks, 0);
}

double write_too_much(ELEMENT_STRING* element) { // the terminator one byte past the buffer
    std::memset(element->string, 'x', element->max_string_length);
    element->string[element->max_string_length] = '\0';
    return 0.0;
}

TEST_F(PanelTest, PanelReportsMissingBitmapsAndTextOverruns) {
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

// The face is only written once drawn, and a file that cannot be written is
// a failure, not a picture.
TEST_F(PanelTest, PanelWritesTheFaceOnlyOnceDrawnAndWhereItCan) {
    std::string error;
    EXPECT_FALSE(host_->panel().write_png("early.png", error));
    EXPECT_NE(error.find("not been drawn"), std::string::npos) << error;
    start_with_gauge();
    error.clear();
    EXPECT_FALSE(host_->panel().write_png("no-such-folder/face.png", error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(host_->panel().write_png("face.png", error)) << error;
    EXPECT_EQ(read_log("face.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
}

// Word breaks fall at spaces, as late as the box allows: a line exactly as
// wide as the box stays whole, a word wider than the box has a line of its
// own, and the last word is never lost.
TEST(TextLayout, BreaksLinesAtSpacesWithinTheBox) {
    const auto width = [](std::string_view text) { return float(text.size()) * 10; };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(sim::break_lines("Events = 00004", 140, width), Lines{"Events = 00004"});
    EXPECT_EQ(sim::break_lines("Events = 00004", 139, width), (Lines{"Events =", "00004"}));
    EXPECT_EQ(sim::break_lines("abcdefgh ij k", 45, width), (Lines{"abcdefgh", "ij k"}));
    EXPECT_EQ(sim::break_lines("", 45, width), Lines{""});
}

} // namespace
