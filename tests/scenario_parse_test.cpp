// Reading scenario scripts: what each command line becomes, and that a bad
// line anywhere refuses the whole script with its name and line number. The
// kinds of bad line that keywatch-sim is run on whole in tests/scenarios/bad
// are not repeated here.

#include "sim/scenario.h"

#include <gtest/gtest.h>

namespace {

using namespace sim;
using namespace sim::command;

TEST(ScenarioParse, EveryCommandKeepsItsLineNumber) {
    const char* text = "# a flight\n"
                       "\n"
                       "answer title \"say \\\"hi\\\" \\\\ # not a comment  \"   # the aircraft\n"
                       "answer type \"\"\r\n"
                       "answer model none\n"
                       "answer model \"none\"\n"
                       "start\n"
                       "   \t\n"
                       "place\n"
                       "place \"x\"# comment\n"
                       "frame\n"
                       "event KEY_NULL\n"
                       "event 0XfFfFfFfF -1 x1000000\n"
                       "event KEY_ELEV_TRIM_UP -0x80000000 x20\n"
                       "event 65536 4294967295\n"
                       "sleep 0.25\n"
                       "click 30 -4\n"
                       "hover 0x10 60\n"
                       "show\n"
                       "face \"my face.png\"\n"
                       "face out/f.png\n"
                       "stop";
    ParseResult result = parse_scenario(text, "flight.txt");
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.script.name, "flight.txt");
    const std::vector<Command> expected = {
        {3, Answer{AircraftField::title, "say \"hi\" \\ # not a comment  "}},
        {4, Answer{AircraftField::type, ""}},
        {5, Answer{AircraftField::model, std::nullopt}},
        {6, Answer{AircraftField::model, "none"}},
        {7, Start{}},
        {9, Place{std::nullopt}},
        {10, Place{"x"}},
        {11, Frame{}},
        {12, Event{0x10000, 0, 1}},
        {13, Event{0xFFFFFFFF, 0xFFFFFFFF, 1000000}},
        {14, Event{0x1004F, 0x80000000, 20}},
        {15, Event{0x10000, 0xFFFFFFFF, 1}},
        {16, Sleep{0.25}},
        {17, Click{30, -4}},
        {18, Hover{16, 60}},
        {19, Show{}},
        {20, Face{"my face.png"}},
        {21, Face{"out/f.png"}},
        {22, Stop{}},
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
        {"event KEY_GEAR_TOGGLE x2 5", "unexpected argument '5'"},
        {"event \"KEY_GEAR_TOGGLE\"", "expected NAME|NUMBER, not quoted text"},
        {"answer title \"a\"\"b\"", "text right after a closing quote"},
        {"answer title Ces\"sna\"", "quote inside a word"},
        {"sleep 3600.5", "sleep of 3600.5 seconds is out of range"},
        {"place axis", "the parameter text must be in quotes"},
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
    EXPECT_EQ(parse_scenario("place\n\n\nface f.png\n", "bad.txt").error,
              "bad.txt:4: face needs a drawn frame: add a 'frame' line before it");
}

} // namespace
