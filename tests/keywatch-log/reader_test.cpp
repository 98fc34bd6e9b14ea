// keywatch-log's reading where the golden tests cannot reach: lines cut at
// every place a block can end, the quick key-event parser and its cache held
// to the general parser's answers, the two-thread log reader held to the
// one-thread one, and name patterns held to a plain backtracking matcher.
#include "lines.h"
#include "pattern.h"
#include "reader.h"
#include "records.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// Lines near the key-event format, edited at random places with the bytes
// that matter to it: the quick path and its cache must take exactly the lines
// the general parser takes, and read the same fields.
TEST(Parser, QuickPathAndCacheAgreeWithTheGeneralParser) {
    const std::string seeds[] = {
        " Time=12.345678; id=71; event_in=KEY_ELEV_TRIM_DN; evdata=0",
        " Time=0.000001; id=-65537; event_in=null; evdata=-1",
        " Time=1234567.123456; id=1234567; event_in=A; evdata=1234567",
        " Time=1.000000; id=1; event_in=K; evdata=-2147483648",
        " Time=1.000000; id=1; event_in=K; evdata=5; evdata=6",
        " Time=12345678.000000; id=12345678; event_in=KEY_X; evdata=12345678",
        " Time= 1.000000 id= 4138 event_in= User_Defined_Event evdata= 3",
    };
    const char bytes[] = "0123456789-;. =Timedvatx\r";
    std::mt19937 random(19);
    RecordCache cache;
    for (int n = 0; n < 50000; ++n) {
        std::string line = seeds[random() % std::size(seeds)];
        for (int edits = 1 + random() % 3; edits > 0; --edits) {
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
        Record general, quick, cached;
        bool taken = parse_record_slowly(line, general);
        ASSERT_EQ(parse_record(line, quick), taken) << line;
        ASSERT_EQ(cache.parse(line, cached), taken) << line;
        if (taken) {
            ASSERT_TRUE(same(quick, general)) << line;
            ASSERT_TRUE(same(cached, general)) << line;
        }
    }
}

// Lines that differ in one digit, each met twice at different times (the
// second time from the cache): each must be read as itself.
TEST(Parser, CacheTellsApartLinesThatDifferInOneDigit) {
    RecordCache cache;
    char line[96];
    for (int data = -3000; data < 20000; ++data) {
        for (int time : {data + 3000, data + 90000}) {
            std::snprintf(line, sizeof line,
                          " Time=%d.%06d; id=504; event_in=KEY_KOHLSMAN_SET; evdata=%d", time / 7,
                          time % 7 * 1234, data);
            Record general, cached;
            ASSERT_TRUE(parse_record_slowly(line, general));
            ASSERT_TRUE(cache.parse(line, cached)) << line;
            ASSERT_TRUE(same(cached, general)) << line;
        }
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

Reading read_all(std::FILE* file) {
    static const std::string name = "test.log";
    Reading reading;
    LogReader reader(file, name, false);
    Record r;
    while (reader.next(r))
        reading.records.push_back({reader.line_number(), reader.session(), reader.began_session(),
                                   reader.time_went_back(), r.kind, r.micros,
                                   is_event(r.kind) ? r.id : 0, is_event(r.kind) ? r.data : 0,
                                   text_of(r)});
    reading.status = reader.finish();
    reading.lines = reader.lines();
    reading.bad = reader.bad_lines();
    return reading;
}

// A log of several blocks: sessions, every kind, bad and empty lines, a line
// of over a block, times that go back.
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
                "\r\n\r\n Time=%lld.%06d; Aircraft Loaded Title=Baron; Type=Beech; Model=BE58",
                whole, fraction);
            micros = 0;
            break;
        case 1:
            std::snprintf(line, sizeof line,
                          "\r\n Time= %lld.%06d Gauge Refreshed= C:\\P3D\\keywatch_x64.dll", whole,
                          fraction);
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

    EXPECT_EQ(ahead.status, 0);
    EXPECT_EQ(ahead.lines, one.lines);
    EXPECT_EQ(ahead.bad, one.bad);
    EXPECT_GT(one.bad, 1000u);
    ASSERT_EQ(ahead.records.size(), one.records.size());
    for (size_t i = 0; i < one.records.size(); ++i)
        ASSERT_TRUE(ahead.records[i] == one.records[i])
            << "record " << i << ", line " << one.records[i].line;
    EXPECT_GT(one.records.back().session, 100u);
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
