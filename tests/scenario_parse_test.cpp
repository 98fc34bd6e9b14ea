// Reading scenario scripts: the syntax the scripts in tests/scenarios leave
// out, and that a bad line refuses the whole script with its name and line
// number. The kinds of bad line that keywatch-sim is run on whole in
// tests/scenarios/bad are not repeated here.

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

// Each bad line is put on line 4 of an otherwise good script, after a place
// and a frame, and before another bad line: only the first is reported, and
// no command is kept.
TEST(ScenarioParse, TheFirstBadLineIsReportedWithItsLineNumber) {
    const std::pair<const char*, const char*> bad[] = {
        {"\"start\"", "unknown command \"start\""},
        {"event User_Defined_Event", "unknown event name"},
        {"event -1", "event number -1 is out of range"},
        {"event 0x", "'0x' is not an event number"},
        {"event KEY_GEAR_TOGGLE 1.5", "event data '1.5' is not a number"},
        {"event KEY_GEAR_TOGGLE x1000001", "repeat count x1000001 is out of range"},
        {"event \"KEY_GEAR_TOGGLE\"", "expected NAME|NUMBER, not quoted text"},
        {"answer title \"a\"\"b\"", "text right after a closing quote"},
        {"answer title Ces\"sna\"", "quote inside a word"},
        {"sleep 3600.5", "sleep of 3600.5 seconds is out of range"},
        {"hover 10 2147483648", "Y 2147483648 is out of range"},
        {"face \"\"", "the file name is empty"},
    };
    for (const auto& [line, message] : bad) {
        ParseResult result =
            parse_scenario(std::string("place\nframe\n# bad:\n") + line + "\nbogus\n", "bad.txt");
        EXPECT_TRUE(result.script.commands.empty()) << line;
        EXPECT_EQ(result.error.rfind("bad.txt:4: ", 0), 0u) << line << " -> " << result.error;
        EXPECT_NE(result.error.find(message), std::string::npos) << line << " -> " << result.error;
    }
}

} // namespace
