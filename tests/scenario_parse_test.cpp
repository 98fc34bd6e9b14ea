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
                       "hover 0x10 -4",
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
    };
    EXPECT_EQ(result.script.commands, expected);
}

} // namespace
