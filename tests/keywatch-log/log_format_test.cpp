// The log format read back: every kind of record, written through the
// module's own printf format with values at their edges, parses back to the
// same values, and record_line() writes it again byte for byte; a byte of a
// record's literal text changed, and the line is none. (Whether the texts
// are the ones the module has always written, the golden tests of
// keywatch-log tell: its fixture logs are the module's output, kept.)
#include "logformat/log_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace logformat {
namespace {

// The line the module writes for `r` (its time as seconds), through the
// format and with the argument types the module's calls pass.
std::string written(const Record& r) {
    const double seconds = static_cast<double>(r.micros) / 1e6;
    const long double long_seconds = seconds;
    const std::string name(r.name), title(r.title), type(r.type), model(r.model), path(r.path);
    char buf[2048];
    int n = -1;
    switch (r.kind) {
    case Kind::key:
        n = std::snprintf(buf, sizeof buf, RECORD_EVENT, long_seconds, r.id, name.c_str(), r.data);
        break;
    case Kind::user:
        n = std::snprintf(buf, sizeof buf, RECORD_USER_DEFINED_EVENT, long_seconds, r.id,
                          name.c_str(), r.data);
        break;
    case Kind::aircraft_loaded:
        n = std::snprintf(buf, sizeof buf, RECORD_AIRCRAFT_LOADED, seconds, title.c_str(),
                          type.c_str(), model.c_str());
        break;
    case Kind::gauge_loaded:
        n = std::snprintf(buf, sizeof buf, RECORD_GAUGE_LOADED, long_seconds, path.c_str());
        break;
    case Kind::logging_stopped:
        n = std::snprintf(buf, sizeof buf, RECORD_LOGGING_STOPPED, long_seconds);
        break;
    case Kind::log_closed:
        n = std::snprintf(buf, sizeof buf, RECORD_LOG_FILE_CLOSED, long_seconds);
        break;
    case Kind::gauge_refreshed:
        n = std::snprintf(buf, sizeof buf, RECORD_GAUGE_REFRESHED, long_seconds, path.c_str());
        break;
    case Kind::aircraft_title:
        n = std::snprintf(buf, sizeof buf, RECORD_AIRCRAFT_TITLE, seconds, title.c_str(),
                          type.c_str(), model.c_str());
        break;
    case Kind::logging_started:
        n = std::snprintf(buf, sizeof buf, RECORD_LOGGING_STARTED, seconds);
        break;
    }
    EXPECT_GT(n, 0);
    return std::string(buf, static_cast<size_t>(n));
}

// Records of every kind, with the edges of each field: times from 0 to
// days, numbers at both ends of 32 bits, texts empty, of any byte, or (the
// first text of a record, which takes what the fields after it leave)
// holding the very text that follows them in the format.
std::vector<Record> samples() {
    const int64_t times[] = {0, 1, 999999, 1000000, 4200123456, 86400000000};
    const int32_t numbers[] = {INT32_MIN, -1, 0, 7, 4138, INT32_MAX};
    const char* names[] = {"KEY_GEAR_UP", "User_Defined_Event", "null",
                           "A; evdata=5", "B evdata= 5",        "\x80\xff\x01"};
    const char* titles[] = {"", "Beech Baron 58 Paint1", "a; Type=b Type= c", "\xe9t\xe9 \x7f"};
    const char* texts[] = {"", "BE58", "\xe9t\xe9 \x7f"};
    const char* paths[] = {"", "C:\\P3D\\Gauges\\keywatch_x64.dll", "/opt/k; evdata=1 x.so"};
    std::vector<Record> all;
    for (size_t k = 0; k < kind_count; ++k) {
        for (size_t i = 0; i < std::size(times); ++i) {
            Record r;
            r.kind = Kind(k);
            r.micros = times[i];
            r.id = numbers[i % std::size(numbers)];
            r.data = numbers[(i + 3) % std::size(numbers)];
            r.name = names[i % std::size(names)];
            r.title = titles[i % std::size(titles)];
            r.type = texts[(i + 1) % std::size(texts)];
            r.model = texts[(i + 2) % std::size(texts)];
            r.path = paths[i % std::size(paths)];
            all.push_back(r);
        }
    }
    return all;
}

TEST(LogFormat, EveryKindReadsBackAsWritten) {
    for (const Record& r : samples()) {
        const Format& f = format_of(r.kind);
        const std::string text = written(r);
        ASSERT_EQ(text.find_first_not_of('\n'), f.line_breaks) << text;
        const std::string line = text.substr(f.line_breaks);
        Record back;
        back.name = back.title = back.type = back.model = back.path = "(unset)";
        ASSERT_TRUE(parse_record(line, back)) << line;
        EXPECT_EQ(back.kind, r.kind) << line;
        EXPECT_EQ(back.micros, r.micros) << line;
        EXPECT_EQ(back.time, line.substr(f.pieces[0].literal.size(), back.time.size())) << line;
        if (is_event(r.kind)) {
            EXPECT_EQ(back.id, r.id) << line;
            EXPECT_EQ(back.data, r.data) << line;
            EXPECT_EQ(back.name, r.name) << line;
        }
        if (r.kind == Kind::aircraft_loaded || r.kind == Kind::aircraft_title) {
            EXPECT_EQ(back.title, r.title) << line;
            EXPECT_EQ(back.type, r.type) << line;
            EXPECT_EQ(back.model, r.model) << line;
        }
        if (r.kind == Kind::gauge_loaded || r.kind == Kind::gauge_refreshed) {
            EXPECT_EQ(back.path, r.path) << line;
        }
        EXPECT_EQ(record_line(back), line);
        EXPECT_STREQ(kind_name(r.kind), f.name);
    }
}

// Each byte of the literal text around the fields is needed: changed, the
// line is no record. So is the shortest line of each kind one byte short,
// and a line with a byte more after its last number or literal.
TEST(LogFormat, EveryByteOfTheTextsIsNeeded) {
    for (const Format& f : formats) {
        Record r;
        r.kind = f.kind;
        r.micros = 1500000;
        r.id = 12;
        r.data = 34;
        r.name = "NAME";
        r.title = r.type = r.model = r.path = "TEXT";
        const std::string line = record_line(r);
        std::vector<bool> literal(line.size(), false);
        size_t at = 0;
        for (size_t i = 0; i < f.count; ++i) {
            for (size_t j = 0; j < f.pieces[i].literal.size(); ++j)
                literal[at + j] = true;
            at += f.pieces[i].literal.size();
            if (f.pieces[i].field == Field::time)
                at += 8; // "1.500000"
            else if (f.pieces[i].field == Field::number)
                at += 2;
            else if (f.pieces[i].field == Field::text)
                at += 4;
        }
        ASSERT_EQ(at, line.size()) << line;
        for (size_t i = 0; i < line.size(); ++i) {
            if (!literal[i])
                continue;
            std::string changed = line;
            changed[i] = '\x7f';
            Record back;
            EXPECT_FALSE(parse_record(changed, back))
                << f.name << ", byte " << i << ": " << changed;
        }

        Record shortest;
        shortest.kind = f.kind;
        shortest.name = "X";
        const std::string least = record_line(shortest);
        EXPECT_EQ(least.size(), f.shortest()) << least;
        Record back;
        EXPECT_TRUE(parse_record(least, back)) << least;
        EXPECT_FALSE(parse_record(least.substr(0, least.size() - 1), back)) << least;
        // Nor is it a byte longer, but where a text ends the line and takes it.
        EXPECT_EQ(parse_record(line + "x", back), f.pieces[f.count - 1].field == Field::text)
            << line;
    }
}

} // namespace
} // namespace logformat
