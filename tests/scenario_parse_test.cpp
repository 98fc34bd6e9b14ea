// Reading scenario scripts: what each command line becomes, and that a bad
// line anywhere refuses the whole script with its name and line number.

#include "sim/scenario.h"

#include <gtest/gtest.h>

namespace {

using namespace sim;
using namespace sim::command;

// The one command a good single-line script gives.
Action parse_one(const std::string& line) {
    ParseResult result = parse_scenario(line, "one.txt");
    EXPECT_TRUE(result.ok()) << line << ": " << result.error;
    EXPECT_EQ(result.script.commands.size(), 1u) << line;
    if (result.script.commands.size() != 1)
        return Show{};
    return result.script.commands[0].action;
}

// The error a bad script gives; the commands are dropped.
std::string error_of(const std::string& text) {
    ParseResult result = parse_scenario(text, "bad.txt");
    EXPECT_FALSE(result.ok()) << text;
    EXPECT_TRUE(result.script.commands.empty()) << text;
    return result.error;
}

// ---- Good scripts ----------------------------------------------------------------

TEST(ScenarioParse, AWholeScriptKeepsItsLineNumbers) {
    const char* text = "# a flight\n"
                       "\n"
                       "answer title \"Piper Cub\"   # the aircraft\n"
                       "start\r\n"
                       "place\n"
                       "   \t\n"
                       "frame\n"
                       "event KEY_GEAR_TOGGLE\n"
                       "stop";
    ParseResult result = parse_scenario(text, "flight.txt");
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.script.name, "flight.txt");
    const std::vector<Command> expected = {
        {3, Answer{AircraftField::title, "Piper Cub"}},
        {4, Start{}},
        {5, Place{std::nullopt}},
        {7, Frame{}},
        {8, Event{0x10022, 0, 1}},
        {9, Stop{}},
    };
    EXPECT_EQ(result.script.commands, expected);
}

TEST(ScenarioParse, EmptyAndCommentOnlyScriptsHaveNoCommands) {
    for (const char* text : {"", "\n\n", "# nothing here\n   # nor here"}) {
        ParseResult result = parse_scenario(text, "empty.txt");
        EXPECT_TRUE(result.ok()) << result.error;
        EXPECT_TRUE(result.script.commands.empty());
    }
}

TEST(ScenarioParse, AnswersAreTextsOrNone) {
    EXPECT_EQ(parse_one("answer type \"C172\""), Action(Answer{AircraftField::type, "C172"}));
    EXPECT_EQ(parse_one("answer model none"), Action(Answer{AircraftField::model, std::nullopt}));
    // Quoted, none is just a text; "" is an empty answer, not no answer.
    EXPECT_EQ(parse_one("answer model \"none\""), Action(Answer{AircraftField::model, "none"}));
    EXPECT_EQ(parse_one("answer title \"\""), Action(Answer{AircraftField::title, ""}));
}

TEST(ScenarioParse, QuotedTextsKeepEscapesHashesAndBlanks) {
    EXPECT_EQ(parse_one(R"(answer title "say \"hi\" \\ # not a comment  ")"),
              Action(Answer{AircraftField::title, "say \"hi\" \\ # not a comment  "}));
    EXPECT_EQ(parse_one(R"(place "a\\")"), Action(Place{"a\\"}));
    EXPECT_EQ(parse_one("place \"\""), Action(Place{""}));
    EXPECT_EQ(parse_one("place \"x\"# comment"), Action(Place{"x"}));
}

TEST(ScenarioParse, EventsByNameOrNumberWithDataAndRepeat) {
    EXPECT_EQ(parse_one("event KEY_PAUSE_TOGGLE"), Action(Event{0x10019, 0, 1}));
    // Both names of one number are accepted.
    EXPECT_EQ(parse_one("event KEY_NULL"), Action(Event{0x10000, 0, 1}));
    EXPECT_EQ(parse_one("event 0x11000 5"), Action(Event{0x11000, 5, 1}));
    EXPECT_EQ(parse_one("event 65536 x3"), Action(Event{0x10000, 0, 3}));
    EXPECT_EQ(parse_one("event 0 0xFFFFFFFF"), Action(Event{0, 0xFFFFFFFF, 1}));
    EXPECT_EQ(parse_one("event 0XfFfFfFfF -1 x1000000"),
              Action(Event{0xFFFFFFFF, 0xFFFFFFFF, 1000000}));
    EXPECT_EQ(parse_one("event KEY_ELEV_TRIM_UP x20"), Action(Event{0x1004F, 0, 20}));
}

TEST(ScenarioParse, EventDataLimits) {
    EXPECT_EQ(parse_one("event 0x10000 -2147483648"), Action(Event{0x10000, 0x80000000, 1}));
    EXPECT_EQ(parse_one("event 0x10000 4294967295"), Action(Event{0x10000, 0xFFFFFFFF, 1}));
    EXPECT_EQ(parse_one("event 0x10000 -0x80000000"), Action(Event{0x10000, 0x80000000, 1}));
    EXPECT_NE(error_of("event 0x10000 0x100000000").find("out of range"), std::string::npos);
    EXPECT_NE(error_of("event 0x10000 99999999999999999999999").find("out of range"),
              std::string::npos);
}

TEST(ScenarioParse, GaugeAndTimingCommands) {
    EXPECT_EQ(parse_one("sleep 0.25"), Action(Sleep{0.25}));
    EXPECT_EQ(parse_one("sleep 0"), Action(Sleep{0}));
    EXPECT_EQ(parse_one("sleep 3600"), Action(Sleep{3600}));
    EXPECT_EQ(parse_one("place \"axis\""), Action(Place{"axis"}));

    ParseResult result =
        parse_scenario("place\nclick 30 -4\nhover 0x10 60\nframe\nshow\nface \"my face.png\"\n"
                       "face out/f.png",
                       "g.txt");
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.script.commands.size(), 7u);
    EXPECT_EQ(result.script.commands[1].action, Action(Click{30, -4}));
    EXPECT_EQ(result.script.commands[2].action, Action(Hover{16, 60}));
    EXPECT_EQ(result.script.commands[4].action, Action(Show{}));
    EXPECT_EQ(result.script.commands[5].action, Action(Face{"my face.png"}));
    EXPECT_EQ(result.script.commands[6].action, Action(Face{"out/f.png"}));
}

// ---- Bad scripts -----------------------------------------------------------------

struct BadLine {
    const char* line;
    const char* message; // what the error says after "bad.txt:LINE: "
};

// Each bad line is put on line 4 of an otherwise good script, after a place
// and a frame so that only the line itself is at fault. The kinds that
// keywatch-sim is run on whole in tests/scenarios/bad are not repeated here.
TEST(ScenarioParse, EachKindOfBadLineIsReportedWithItsLineNumber) {
    const BadLine bad[] = {
        {"\"start\"", "unknown command \"start\""},
        {"START", "unknown command 'START'"},
        {"event key_gear_toggle", "unknown event name 'key_gear_toggle'"},
        {"event User_Defined_Event", "unknown event name"},
        {"event 4294967296", "event number 4294967296 is out of range"},
        {"event -1", "event number -1 is out of range"},
        {"event 12ab", "'12ab' is not an event number"},
        {"event 0x", "'0x' is not an event number"},
        {"event KEY_GEAR_TOGGLE 1.5", "event data '1.5' is not a number"},
        {"event KEY_GEAR_TOGGLE x1000001", "repeat count x1000001 is out of range"},
        {"event KEY_GEAR_TOGGLE 3 x-1", "'x-1' is not a repeat count"},
        {"event KEY_GEAR_TOGGLE x2 5", "unexpected argument '5'"},
        {"event KEY_GEAR_TOGGLE 1 2", "unexpected argument '2'"},
        {"event", "missing NAME|NUMBER"},
        {"event \"KEY_GEAR_TOGGLE\"", "expected NAME|NUMBER, not quoted text"},
        {"answer title", "missing \"TEXT\" or none"},
        {"answer", "missing title, type or model"},
        {"answer title \"Cessna\\\"", "unterminated quoted text"},
        {"answer title \"a\"\"b\"", "text right after a closing quote"},
        {"answer title Ces\"sna\"", "quote inside a word"},
        {"answer title \"a\" none", "unexpected argument 'none'"},
        {"stop \"\"", "unexpected argument \"\""},
        {"frame 2", "unexpected argument '2'"},
        {"sleep", "missing SECONDS"},
        {"sleep -1", "'-1' is not a number of seconds"},
        {"sleep 1.2.3", "'1.2.3' is not a number of seconds"},
        {"sleep 3600.5", "sleep of 3600.5 seconds is out of range"},
        {"place axis", "the parameter text must be in quotes"},
        {"place \"a\" \"b\"", "unexpected argument \"b\""},
        {"click 10 20 30", "unexpected argument '30'"},
        {"click ten 20", "X 'ten' is not a whole number"},
        {"hover 10 2147483648", "Y 2147483648 is out of range"},
        {"face", "missing FILE.png"},
        {"face \"\"", "the file name is empty"},
    };
    for (const BadLine& b : bad) {
        const std::string script =
            std::string("place\nframe\n# next line is bad\n") + b.line + "\nshow\n";
        const std::string error = error_of(script);
        EXPECT_EQ(error.rfind("bad.txt:4: ", 0), 0u) << b.line << " -> " << error;
        EXPECT_NE(error.find(b.message), std::string::npos) << b.line << " -> " << error;
    }
}

TEST(ScenarioParse, GaugeCommandsNeedEarlierPlaceAndFrameLines) {
    EXPECT_EQ(error_of("hover 1 1"),
              "bad.txt:1: hover needs a placed gauge: add a 'place' line before it");
    EXPECT_EQ(error_of("start\nframe\nplace\n"),
              "bad.txt:2: frame needs a placed gauge: add a 'place' line before it");
    EXPECT_EQ(error_of("place\n\n\nface f.png\n"),
              "bad.txt:4: face needs a drawn frame: add a 'frame' line before it");
}

TEST(ScenarioParse, OnlyTheFirstBadLineIsReported) {
    EXPECT_EQ(error_of("start\nbogus\nalso bogus\n").rfind("bad.txt:2: ", 0), 0u);
}

} // namespace
