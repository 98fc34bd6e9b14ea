// Reading scenario scripts: the syntax the scripts in tests/scenarios leave
// out. Bad lines are refused by keywatch-sim itself, one script a kind, in
// tests/scenarios/bad.

#include "sim/scenario.h"

#include <gtest/gtest.h>

namespace {

using namespace sim;
using namespace sim::command;

TEST(ScenarioParse, QuotesEscapesNumbersAndLineNumbers) {
    ParseResult result =
        parse_scenario("# a flight\n\n"
                       "answer title \"say \\\"hi\\\" \\\\ # no comment \"   # a comment\n"
                       "answer type \"\"\r\n"
                       "answer model \"none\"\n"
                       "   \t\n"
                       "place \"x\"# comment\n"
                       "event KEY_NULL 0xFFFFFFFF\n"
                       "event 0XfFfFfFfF -1 x1000000\n"
                       "event 65536 -0x80000000 x20\n"
                       "hover 0x10 -4\n"
                       "component   start\tno-panels\n"
                       "component stop # at exit",
                       "flight.txt");
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.script.name, "flight.txt");
    const std::vector<Command> expected = {
        {3, Answer{AircraftField::title, "say \"hi\" \\ # no comment "}},
        {4, Answer{AircraftField::type, ""}},
        {5, Answer{AircraftField::model, "none"}},
        {7, Place{"x"}},
        {8, Event{0x10000, 0xFFFFFFFF, 1}},
        {9, Event{0xFFFFFFFF, 0xFFFFFFFF, 1000000}},
        {10, Event{0x10000, 0x80000000, 20}},
        {11, Hover{16, -4}},
        {12, ComponentStart{false}},
        {13, ComponentStop{}},
    };
    EXPECT_EQ(result.script.commands, expected);
}

// Each line is refused with its script name and line number, and the whole
// script with it. The gauge commands need an earlier line to have placed or
// drawn the gauge; a command written two ways names both in its usage.
TEST(ScenarioParse, RefusesOutOfOrderLinesAndNamesEveryUsage) {
    const std::pair<const char*, const char*> scripts[] = {
        {"frame", "s:1: frame needs a placed gauge: add a 'place' line before it"},
        {"start\nclick 1 2", "s:2: click needs a placed gauge: add a 'place' line before it"},
        {"hover 1 2\nplace", "s:1: hover needs a placed gauge: add a 'place' line before it"},
        {"place\nshow\nframe", "s:2: show needs a drawn frame: add a 'frame' line before it"},
        {"place\nface f.png", "s:2: face needs a drawn frame: add a 'frame' line before it"},
        {"place x", "s:1: the parameter text must be in quotes (usage: place or place "
                    "\"PARAMETERS\")"},
        {"answer title", "s:1: missing \"TEXT\" or none (usage: answer title|type|model \"TEXT\" "
                         "or answer title|type|model none)"},
        // A name of two words: both must be bare and there.
        {"component", "s:1: incomplete command 'component': use component start or component stop"},
        {"component \"start\"", "s:1: unknown command 'component start': use component start or "
                                "component stop"},
        {"component start panels", "s:1: unknown argument 'panels': only no-panels (usage: "
                                   "component start or component start no-panels)"},
        {"component stop now", "s:1: unexpected argument 'now' (usage: component stop)"},
    };
    for (const auto& [text, error] : scripts) {
        ParseResult result = parse_scenario(text, "s");
        EXPECT_EQ(result.error, error) << text;
        EXPECT_TRUE(result.script.commands.empty()) << text;
    }
    ParseResult ordered =
        parse_scenario("place\nhover 1 2\nclick 1 2\nframe\nshow\nface f.png", "s");
    ASSERT_TRUE(ordered.ok()) << ordered.error;
    EXPECT_EQ(ordered.script.commands.size(), 6u);
}

} // namespace
