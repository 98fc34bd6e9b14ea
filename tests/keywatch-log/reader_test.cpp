// keywatch-log's reading where the golden tests cannot reach: lines cut at
// every place a block can end, the quick key-event parser and its cache held
// to the general parser's answers, the two-thread log reader held to the
// one-thread one, names read from an add-on's header, and name patterns held
// to a plain backtracking matcher.
#include "block_parser.h"
#include "lines.h"
#include "names.h"
#include "pattern.h"
#include "reader.h"
#include "records.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <span>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kwlog {
namespace {

// A temporary file holding `text`, open for reading from its start.
struct TextFile {
    explicit TextFile(const std::string& text) : file(std::tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
    }
    ~TextFile() {
        std::fclose(file);
    }
    std::FILE* file;
};

// ---- Lines --------------------------------------------------------------------------

struct Expected {
    std::string text;
    bool overlong, ended;
    uint64_t offset; // after the line
};

// The rule, written plainly: lines end at LF, one CR before it is dropped, a
// line of `size` bytes or more before its LF is overlong.
std::vector<Expected> split(const std::string& text, size_t size) {
    std::vector<Expected> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t lf = text.find('\n', begin);
        bool ended = lf != std::string::npos;
        size_t end = ended ? lf : text.size();
        std::string line = text.substr(begin, end - begin);
        bool overlong = line.size() >= size;
        if (!overlong && !line.empty() && line.back() == '\r')
            line.pop_back();
        begin = ended ? lf + 1 : end;
        lines.push_back({overlong ? "" : line, overlong, ended, begin});
    }
    return lines;
}

TEST(LineReader, CutsLinesAtEveryBlockBoundary) {
    const std::string texts[] = {
        "",
        "\n",
        "\r\n\r\n",
        "one\r\ntwo\r\nthree",
        "one\ntwo\nthree\n",
        "\r\n Time= 1.000000 Logging Started\r\n Time= 1.000001 Logging Stopped",
        "a line longer than the smaller blocks\r\nshort\r\n\r\nlast\r",
        "x\r",
        "ends in CR LF split\r\n",
    };
    for (const std::string& text : texts) {
        for (size_t size = 2; size <= 48; ++size) {
            TextFile file(text);
            LineReader reader(file.file, size);
            std::vector<Expected> expected = split(text, size);
            Line line;
            size_t n = 0;
            while (reader.next(line)) {
                ASSERT_LT(n, expected.size()) << "block size " << size << ", text '" << text << "'";
                const Expected& want = expected[n];
                EXPECT_EQ(line.number, n + 1);
                EXPECT_EQ(std::string(line.text), want.text)
                    << "line " << n + 1 << ", size " << size;
                EXPECT_EQ(line.overlong, want.overlong) << "line " << n + 1 << ", size " << size;
                EXPECT_EQ(line.ended, want.ended) << "line " << n + 1 << ", size " << size;
                EXPECT_EQ(reader.offset(), want.offset) << "line " << n + 1 << ", size " << size;
                ++n;
            }
            EXPECT_EQ(n, expected.size()) << "block size " << size << ", text '" << text << "'";
            EXPECT_EQ(reader.error(), 0);
        }
    }
}

// ---- The parser --------------------------------------------------------------------

// The text a record of this kind holds (an event's name, a path, a title).
std::string text_of(const Record& r) {
    switch (r.kind) {
    case Kind::key:
    case Kind::user:
        return std::string(r.name);
    case Kind::gauge_loaded:
    case Kind::gauge_refreshed:
        return std::string(r.path);
    case Kind::aircraft_loaded:
    case Kind::aircraft_title:
        return std::string(r.title) + "|" + std::string(r.type) + "|" + std::string(r.model);
    default:
        return "";
    }
}

bool same(const Record& a, const Record& b) {
    return a.kind == b.kind && a.micros == b.micros && text_of(a) == text_of(b) &&
           (!is_event(a.kind) || (a.id == b.id && a.data == b.data));
}

// Lines near the record formats, edited at random places with the bytes
// that matter to them.
const std::string seeds[] = {
    " Time=12.345678; id=71; event_in=KEY_ELEV_TRIM_DN; evdata=0",
    " Time=0.000001; id=-65537; event_in=null; evdata=-1",
    " Time=1234567.123456; id=1234567; event_in=A; evdata=1234567",
    " Time=1.000000; id=1; event_in=K; evdata=-2147483648",
    " Time=1.000000; id=1; event_in=K; evdata=5; evdata=6",
    " Time=12345678.000000; id=12345678; event_in=KEY_X; evdata=12345678",
    " Time= 1.000000 id= 4138 event_in= User_Defined_Event evdata= 3",
    " Time= 0.506032 Logging Stopped",
    " Time= 0.506081 Logging Started",
    " Time= 2.500001 Log File Closed",
    " Time= 0.004670 Gauge Refreshed= C:\\P3D\\keywatch_x64.dll",
    " Time=5.000000; Aircraft Loaded Title=Baron; Type=Beech; Model=BE58",
};

std::string edited(std::mt19937& random) {
    const char bytes[] = "0123456789-;. =Timedvatx\r";
    std::string line = seeds[random() % std::size(seeds)];
    for (int edits = random() % 4; edits > 0; --edits) {
        size_t at = random() % (line.size() + 1);
        char c = bytes[random() % (sizeof bytes - 1)];
        switch (random() % 3) {
        case 0:
            if (at < line.size())
                line.erase(at, 1);
            break;
        case 1:
            line.insert(at, 1, c);
            break;
        default:
            if (at < line.size())
                line[at] = c;
        }
    }
    return line;
}

// The quick path takes exactly the lines the general parser takes, and
// reads the same fields; the quick time agrees with the general one.
TEST(Parser, QuickPathAgreesWithTheGeneralParser) {
    std::mt19937 random(19);
    for (int n = 0; n < 50000; ++n) {
        std::string line = edited(random);
        Record general, quick;
        bool taken = parse_record(line, general);
        ASSERT_EQ(parse_record_quickly(line, quick), taken) << line;
        if (taken) {
            ASSERT_TRUE(same(quick, general)) << line;
        }
        int64_t micros = -1;
        if (parse_time_quickly(line, micros) != 0 && taken) {
            ASSERT_EQ(micros, general.micros) << line;
        }
    }
}

// A block as the block reader gives it, in a buffer of exactly its size, so
// that the address sanitizer sees any read past it.
Block block_of(const std::string& text) {
    Block block;
    block.bytes.reset(new char[text.size()]);
    std::memcpy(block.bytes.get(), text.data(), text.size());
    block.size = block.length = text.size();
    return block;
}

// Blocks of lines that repeat but for the time (as a log's do) or are
// edited at random, with LF, CR LF and stray CR line ends and empty lines:
// each line is read as the general parser reads it alone, lines that repeat
// share a key, and bad lines are counted whether or not they share an item.
TEST(BlockParser, ReadsEachLineAsTheGeneralParserDoes) {
    std::mt19937 random(29);
    for (int round = 0; round < 60; ++round) {
        std::string text;
        std::vector<std::string> lines;
        std::vector<std::string> repeated;
        for (int n = 0; n < 6; ++n)
            repeated.push_back(edited(random));
        int count = 50 + static_cast<int>(random() % 400);
        for (int n = 0; n < count; ++n) {
            std::string line;
            if (random() % 3 != 0) {
                // A repeated line with a new time; the time's form may break.
                std::string rest = repeated[random() % repeated.size()];
                size_t cut = rest.find_first_of(" ;", 7);
                char time[32];
                std::snprintf(time, sizeof time, "%d.%06d", static_cast<int>(random() % 9999999),
                              static_cast<int>(random() % 1000000));
                line = rest.substr(0, rest[6] == ' ' ? 7 : 6) + time +
                       (cut == std::string::npos ? "" : rest.substr(cut));
            } else if (random() % 10 == 0) {
                line = "";
            } else {
                line = edited(random);
            }
            const char* ends[] = {"\r\n", "\n", "\r\r\n"};
            lines.push_back(line);
            text += line;
            if (n + 1 < count || random() % 2 == 0)
                text += ends[random() % 3];
        }
        Block block = block_of(text);
        BlockParser parser;
        parser.parse(block);

        // The expected items, line by line: one CR before LF is dropped.
        size_t item = 0, bad = 0, begin = 0;
        uint64_t line_number = 0;
        std::span<const Item> items = parser.items();
        while (begin < text.size()) {
            size_t lf = text.find('\n', begin);
            size_t end = lf == std::string::npos ? text.size() : lf;
            std::string line = text.substr(begin, end - begin);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            begin = lf == std::string::npos ? text.size() : lf + 1;
            uint64_t number = line_number++;
            if (line.empty())
                continue;
            Record general;
            if (!parse_record(line, general)) {
                ++bad;
                continue;
            }
            // Bad lines before it are in items of their own or shared.
            while (item < items.size() && items[item].key >= Item::overlong)
                ++item;
            ASSERT_LT(item, items.size()) << line;
            const Item& got = items[item++];
            EXPECT_EQ(got.line, number) << line;
            EXPECT_EQ(got.micros, general.micros) << line;
            EXPECT_EQ(got.event, is_event(general.kind)) << line;
            Record from_key;
            BlockParser::record_of(parser.keys()[got.key], block.bytes.get(), from_key);
            from_key.micros = general.micros;
            ASSERT_TRUE(same(from_key, general)) << line;
        }
        uint64_t bad_items = 0;
        for (const Item& i : items)
            if (i.key == Item::bad)
                bad_items += static_cast<uint64_t>(i.micros);
        EXPECT_EQ(bad_items, bad);
        EXPECT_EQ(parser.lines(), line_number);
        EXPECT_LT(parser.keys().size(), items.size() / 2 + 8) << "repeated lines share keys";
    }
}

// Lines that differ only in their data, the setting going back and forth,
// in the last digit of a number within the first sixteen bytes after the
// time, or in the names of one number; and a line with the text of one met
// before but its time in the other form, which is no record. Each is read
// as itself, whichever key the guess tries first.
TEST(BlockParser, TellsApartLinesThatDifferInOneDigit) {
    struct Expected {
        int32_t id, data;
        std::string name;
    };
    std::string text;
    std::vector<Expected> expected;
    for (int n = 0; n < 20000; ++n) {
        int value = n % 3 == 0 ? 16212 : n % 3 == 1 ? 16213 : n % 997;
        const char* name = n % 5 == 0 ? "KEY_KOHLSMAN_SET" : "KEY_KOHLSMAN_SEX";
        int id = n % 4 == 0 ? 5041 : n % 4 == 1 ? 5049 : 504;
        char line[128];
        std::snprintf(line, sizeof line, "\r\n Time=%d.%06d; id=%d; event_in=%s; evdata=%d", n / 7,
                      n % 7 * 1234, id, name, value);
        text += line;
        expected.push_back({id, value, name});
        if (n % 4 == 0) {
            std::snprintf(line, sizeof line,
                          "\r\n Time= %d.%06d id= 69632 event_in= USER evdata= 5", n / 7,
                          n % 7 * 1234);
            text += line;
            expected.push_back({69632, 5, "USER"});
            std::snprintf(line, sizeof line, "\r\n Time=%d.%06d id= 69632 event_in= USER evdata= 5",
                          n / 7, n % 7 * 1234);
            text += line;
        }
    }
    // A hundred numbers that differ in their last two digits, the text
    // after them the same: their lookups cross one another's places.
    for (int n = 0; n < 3000; ++n) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "\r\n Time=3000.%06d; id=%d; event_in=KEY_KOHLSMAN_SET; evdata=16212", n,
                      50400 + n * 37 % 100);
        text += line;
        expected.push_back({50400 + n * 37 % 100, 16212, "KEY_KOHLSMAN_SET"});
    }
    Block block = block_of(text);
    BlockParser parser;
    parser.parse(block);
    std::vector<Item> records;
    for (const Item& item : parser.items())
        if (item.key < Item::overlong)
            records.push_back(item);
    ASSERT_EQ(records.size(), expected.size());
    for (size_t n = 0; n < expected.size(); ++n) {
        Record r;
        BlockParser::record_of(parser.keys()[records[n].key], block.bytes.get(), r);
        ASSERT_EQ(r.id, expected[n].id) << "record " << n;
        ASSERT_EQ(r.data, expected[n].data) << "record " << n;
        ASSERT_EQ(r.name, expected[n].name) << "record " << n;
    }
}

// ---- The log reader ------------------------------------------------------------------

struct Seen {
    uint64_t line, session;
    bool began, went_back;
    Kind kind;
    int64_t micros;
    int32_t id, data;
    std::string text;
    bool operator==(const Seen&) const = default;
};

struct Reading {
    std::vector<Seen> records;
    uint64_t lines = 0, bad = 0;
    int status = 0;
};

// Records as a sink sees them: events through runs (each key's value
// worked out once per stretch and session: the record behind it, and the
// session it was worked out in), the others one by one.
struct Collector {
    Reading& reading;
    uint64_t session = 0;
    using Value = Seen;
    Seen value_of(const Record& r) {
        return {0, session, false, false, r.kind, 0, r.id, r.data, text_of(r)};
    }
    template <class Run> bool events(Run& run) {
        uint64_t last_line = 0;
        session = run.session();
        run.each([&](const Seen& key, int64_t micros, uint64_t line) {
            EXPECT_EQ(key.session, run.session()) << "a value of another session, line " << line;
            Seen seen = key;
            seen.line = last_line = line;
            seen.micros = micros;
            reading.records.push_back(seen);
        });
        EXPECT_EQ(last_line, run.last_line());
        EXPECT_EQ(reading.records.back().micros, run.last());
        return true;
    }
    bool record(const Record& r, const Place& p) {
        reading.records.push_back({p.line, p.session, p.began_session, p.went_back, r.kind,
                                   r.micros, is_event(r.kind) ? r.id : 0,
                                   is_event(r.kind) ? r.data : 0, text_of(r)});
        return true;
    }
};

// The records as next() hands them out, or with `many` as a sink is fed.
Reading read_all(std::FILE* file, bool many = false) {
    static const std::string name = "test.log";
    Reading reading;
    LogReader reader(file, name, false);
    Record r;
    if (many) {
        Collector collector{reading};
        EXPECT_TRUE(reader.read(collector));
    }
    while (reader.next(r)) {
        const Place& p = reader.place();
        reading.records.push_back({p.line, p.session, p.began_session, p.went_back, r.kind,
                                   r.micros, is_event(r.kind) ? r.id : 0,
                                   is_event(r.kind) ? r.data : 0, text_of(r)});
    }
    reading.status = reader.finish();
    reading.lines = reader.lines();
    reading.bad = reader.bad_lines();
    return reading;
}

// A log of several blocks: sessions (begun by a load, a Reset, or a gauge
// loaded alone), every kind, bad and empty lines, a line of over a block,
// times that go back.
std::string long_log() {
    std::string log;
    std::mt19937 random(21);
    const char* names[] = {"KEY_GEAR_UP", "KEY_FLAPS_INCR", "null", "KEY_ELEV_TRIM_DN"};
    int64_t micros = 0;
    char line[160];
    for (int n = 0; n < 90000; ++n) {
        micros += random() % 3000;
        int64_t shown = random() % 500 == 0 ? micros - 5000 : micros; // now and then, back
        long long whole = shown / 1000000;
        int fraction = static_cast<int>(shown % 1000000);
        switch (random() % 60) {
        case 0:
            std::snprintf(
                line, sizeof line,
                "\r\n\r\n Time=%lld.%06d; Aircraft Loaded Title=Baron; Type=Beech; Model=BE58%s",
                whole, fraction,
                random() % 2 == 0 ? "\r\n Time= 0.000001 Gauge Loaded= C:\\P3D\\k.dll" : "");
            micros = 0;
            break;
        case 4:
            // A run of bad lines, longer than the few a block keeps apart.
            for (int bad = 0; bad < 30; ++bad)
                log += "\r\n Time=" + std::to_string(bad) + "; broken";
            continue;
        case 1:
            std::snprintf(line, sizeof line,
                          "\r\n Time= %lld.%06d Gauge Refreshed= C:\\P3D\\keywatch_x64.dll", whole,
                          fraction);
            break;
        case 5:
            // A gauge loaded on its own, after events: a session of its own.
            std::snprintf(line, sizeof line, "\r\n Time= %lld.%06d Gauge Loaded= C:\\P3D\\k.dll",
                          whole, fraction);
            break;
        case 2:
            std::snprintf(line, sizeof line, "\r\n Time=%lld.%06d; id=1; event_in=BROKEN", whole,
                          fraction);
            break;
        case 3:
            std::snprintf(line, sizeof line,
                          "\r\n Time= %lld.%06d id= %d event_in= User_Defined_Event evdata= %d",
                          whole, fraction, 4096 + static_cast<int>(random() % 50),
                          static_cast<int>(random() % 3));
            break;
        default:
            std::snprintf(line, sizeof line, "\r\n Time=%lld.%06d; id=%d; event_in=%s; evdata=%d",
                          whole, fraction, static_cast<int>(random() % 900), names[random() % 4],
                          static_cast<int>(random() % 5) - 2);
        }
        log += line;
        if (n == 45000)
            log += "\r\n" + std::string(block_size + 10, 'x');
    }
    return log;
}

TEST(LogReader, TwoThreadsReadAsOne) {
    std::string log = long_log();
    ASSERT_GT(log.size(), 4 * block_size);

    TextFile file(log); // a file on disk: read ahead on a second thread
    Reading ahead = read_all(file.file);
    std::rewind(file.file);
    Reading many = read_all(file.file, true);

    int ends[2];
#ifdef _WIN32
    ASSERT_EQ(_pipe(ends, 1 << 16, _O_BINARY), 0);
#else
    ASSERT_EQ(pipe(ends), 0);
#endif
    std::thread writer([&] {
        std::FILE* to = fdopen(ends[1], "wb");
        std::fwrite(log.data(), 1, log.size(), to);
        std::fclose(to);
    });
    std::FILE* from = fdopen(ends[0], "rb"); // a pipe: read by this thread alone
    Reading one = read_all(from);
    writer.join();
    std::fclose(from);

    for (const Reading* other : {&ahead, &many}) {
        EXPECT_EQ(other->status, 0);
        EXPECT_EQ(other->lines, one.lines);
        EXPECT_EQ(other->bad, one.bad);
        ASSERT_EQ(other->records.size(), one.records.size());
        for (size_t i = 0; i < one.records.size(); ++i)
            ASSERT_TRUE(other->records[i] == one.records[i])
                << "record " << i << ", line " << one.records[i].line;
    }
    EXPECT_GT(one.bad, 1000u);
    EXPECT_GT(one.records.back().session, 100u);
}

// The end of the file is met by either thread, while the other reads or
// parses: every reading ends, with every record, whichever came first. A
// line of over a block keeps a thread reading for long near the end.
TEST(LogReader, EndsWhicheverThreadMeetsTheEnd) {
    std::string line = " Time=1.000000; id=504; event_in=KEY_KOHLSMAN_SET; evdata=16212\r\n";
    for (size_t blocks : {1, 2, 3}) {
        std::string log;
        while (log.size() < blocks * block_size - line.size())
            log += line;
        uint64_t records = log.size() / line.size();
        log += std::string(2 * block_size + 10, 'x') + "\r\n" + line;
        TextFile file(log);
        for (int round = 0; round < 20; ++round) {
            std::rewind(file.file);
            Reading reading = read_all(file.file, round % 2 == 1);
            ASSERT_EQ(reading.records.size(), records + 1) << blocks << " blocks, round " << round;
        }
    }
}

// ---- Names for add-on events --------------------------------------------------------

// Each form a header writes, each way of writing a number, the bounds of an
// add-on's numbers; what a header holds beside its names (a guard, the
// bounds' own definitions, comments) passed over; lines that name nothing
// said with their number and why; a name given again for its own number is
// no fault.
TEST(EventNames, ReadsAnAddOnsHeaderLineByLine) {
    EventNames names;
    testing::internal::CaptureStderr();
    names.read_text("#ifndef ACME_H\n#define ACME_H\n#define THIRD_PARTY_EVENT_ID_MIN 0x00011000\n"
                    "#define THIRD_PARTY_EVENT_ID_MAX 0x0001FFFF\nFIRST 0x11000\nLAST 0xFFFFFFFF\n"
                    "#define SUFFIXED 0x11001UL\n#define UPPER 0X11002LU\n"
                    "SPACED\t69635 /* a comment */\n#define OFFSET THIRD_PARTY_EVENT_ID_MIN + 4\n"
                    "#define WRAPPED (THIRD_PARTY_EVENT_ID_MIN+5)\n/* a comment\n"
                    "   over lines */ AFTER_COMMENT 0x11006\n"
                    "#define V2_NAME 0x11007 // digits in a name\n#endif\r\n"
                    "2ND_LIGHT 0x11008\nLOW 4096\nBELOW 4095\nHIGH 0x100000000\n"
                    "TWICE 0x11009\nTWICE 0x11009\nOTHER 0x11009\n",
                    "names.h");
    const char* not_a_number = " is not an add-on event's number (0x11000 to 0xFFFFFFFF)";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string("names.h:16: not a name: NAME NUMBER, #define NAME NUMBER or #define "
                          "NAME (THIRD_PARTY_EVENT_ID_MIN + N)\nnames.h:17: LOW: 4096") +
                  not_a_number +
                  "; the log's id 4096 is the number 0x11000\nnames.h:18: BELOW: 4095" +
                  not_a_number +
                  "\nnames.h:19: HIGH: 4294967296 is too large for an add-on event's number "
                  "(0x11000 to 0xFFFFFFFF)" +
                  "\nnames.h:22: OTHER: 0x11009 is named TWICE already, on line 20\n"
                  "names.h: 5 lines skipped; 10 names read\n");
    std::string named;
    for (uint32_t number : {0x11000u, 0x11001u, 0x11002u, 0x11003u, 0x11004u, 0x11005u, 0x11006u,
                            0x11007u, 0x11009u, 0xFFFFFFFFu})
        if (const std::string* name = names.name_of(static_cast<int32_t>(number - 0x10000)))
            named += *name + " ";
    EXPECT_EQ(named,
              "FIRST SUFFIXED UPPER SPACED OFFSET WRAPPED AFTER_COMMENT V2_NAME TWICE LAST ");
    EXPECT_EQ(names.size(), 10u);
}

// ---- Name patterns ---------------------------------------------------------------------

// A glob matched by backtracking, for short texts only, anywhere in the name.
bool glob_at(const char* pattern, const char* name) {
    if (*pattern == '\0')
        return true; // the rest of the name is free
    if (*pattern == '*')
        return glob_at(pattern + 1, name) || (*name != '\0' && glob_at(pattern, name + 1));
    return *name != '\0' && (*pattern == '?' || *pattern == *name) &&
           glob_at(pattern + 1, name + 1);
}

bool reference_match(const std::string& pattern, const std::string& name) {
    size_t begin = 0;
    for (;;) {
        size_t bar = pattern.find('|', begin);
        std::string alternative = pattern.substr(begin, bar - begin);
        for (size_t from = 0; from <= name.size(); ++from)
            if (glob_at(alternative.c_str(), name.c_str() + from))
                return true;
        if (bar == std::string::npos)
            return false;
        begin = bar + 1;
    }
}

TEST(NamePattern, MatchesAsAPlainGlobAnywhereInTheName) {
    std::mt19937 random(23);
    const char pattern_bytes[] = "AB_*?|";
    for (int n = 0; n < 10000; ++n) {
        std::string pattern, name, error;
        for (int i = random() % 7; i >= 0; --i)
            pattern += pattern_bytes[random() % (sizeof pattern_bytes - 1)];
        for (int i = random() % 9; i > 0; --i)
            name += "AB_"[random() % 3];
        auto compiled = NamePattern::parse(pattern, error);
        bool empty_alternative = pattern.empty() || pattern.front() == '|' ||
                                 pattern.back() == '|' || pattern.find("||") != std::string::npos;
        ASSERT_EQ(compiled.has_value(), !empty_alternative) << pattern;
        if (compiled) {
            ASSERT_EQ(compiled->matches(name), reference_match(pattern, name))
                << "'" << pattern << "' against '" << name << "'";
        }
    }
    std::string error;
    EXPECT_FALSE(NamePattern::parse("KEY_(", error));
    EXPECT_NE(error.find("not a name pattern"), std::string::npos);
}

} // namespace
} // namespace kwlog
