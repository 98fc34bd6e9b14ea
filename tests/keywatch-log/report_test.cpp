// The report's building blocks: the timeline held to a plain recount of
// every time it was given, over orders and spans that make it widen, merge
// and grow at the front; the events in order and the data values held to
// the whole list; and log texts made into HTML, byte by byte.
#include "html_text.h"
#include "report_events.h"
#include "timeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace kwlog {
namespace {

// ---- The timeline --------------------------------------------------------------

struct Given {
    int64_t micros;
    Timeline::Change change; // none: an event
};

// Fills a timeline and checks each step against the times given: the
// events that fall within it, its stops and starts, their earliest and
// latest times and the last of them; and that the steps stay within the
// bound, their origin a whole number of widths.
void check(const std::vector<Given>& given, size_t most) {
    Timeline t(most);
    for (const Given& g : given) {
        if (g.change == Timeline::Change::stop)
            t.add_stop(g.micros);
        else if (g.change == Timeline::Change::start)
            t.add_start(g.micros);
        else
            t.add_event(g.micros);
    }
    ASSERT_FALSE(t.empty());
    ASSERT_LE(t.steps(), most);
    ASSERT_EQ(t.origin() % t.width(), 0);
    Timeline::Change first = Timeline::Change::none;
    for (const Given& g : given)
        if (first == Timeline::Change::none)
            first = g.change;
    EXPECT_EQ(t.first_change(), first);
    for (size_t step = 0; step < t.steps(); ++step) {
        uint64_t events = 0;
        Timeline::Marks marks;
        for (const Given& g : given) {
            uint64_t at =
                static_cast<uint64_t>(g.micros - t.origin()) / static_cast<uint64_t>(t.width());
            if (g.micros < t.origin() || at != step)
                continue;
            if (g.change == Timeline::Change::none) {
                ++events;
                continue;
            }
            if (marks.last == Timeline::Change::none)
                marks.earliest = marks.latest = g.micros;
            marks.earliest = std::min(marks.earliest, g.micros);
            marks.latest = std::max(marks.latest, g.micros);
            (g.change == Timeline::Change::stop ? marks.stops : marks.starts)++;
            marks.last = g.change;
        }
        ASSERT_EQ(t.events(step), events) << "step " << step << " of " << t.steps();
        const Timeline::Marks& m = t.marks(step);
        ASSERT_EQ(m.stops, marks.stops) << "step " << step;
        ASSERT_EQ(m.starts, marks.starts) << "step " << step;
        ASSERT_EQ(m.last, marks.last) << "step " << step;
        if (m.last != Timeline::Change::none) {
            ASSERT_EQ(m.earliest, marks.earliest) << "step " << step;
            ASSERT_EQ(m.latest, marks.latest) << "step " << step;
        }
    }
    // Every time lies within the steps.
    for (const Given& g : given) {
        ASSERT_GE(g.micros, t.origin());
        ASSERT_LT(static_cast<uint64_t>(g.micros - t.origin()) / static_cast<uint64_t>(t.width()),
                  t.steps());
    }
}

// Times in order, with stops and starts among them: the width is the least
// power of two that holds the span in the steps, whatever the session's
// length. Widening too early would throw away detail; too late, overrun.
TEST(Timeline, CountsEveryTimeInTheLeastWidthThatFits) {
    std::mt19937_64 random(21);
    for (int round = 0; round < 60; ++round) {
        size_t most = round % 4 == 0 ? 2 : round % 4 == 1 ? 7 : 600;
        std::vector<Given> given;
        int64_t now = static_cast<int64_t>(random() % 5000000);
        int64_t gap = int64_t{1} << (round % 30); // from a microsecond to minutes
        int count = 1 + static_cast<int>(random() % 800);
        for (int n = 0; n < count; ++n) {
            now += static_cast<int64_t>(random() % static_cast<uint64_t>(gap + 1));
            Timeline::Change change = random() % 9 != 0   ? Timeline::Change::none
                                      : random() % 2 == 0 ? Timeline::Change::stop
                                                          : Timeline::Change::start;
            given.push_back({now, change});
        }
        SCOPED_TRACE("round " + std::to_string(round));
        check(given, most);

        Timeline t(most);
        for (const Given& g : given)
            t.add_event(g.micros);
        int64_t low = given.front().micros, high = given.back().micros;
        auto steps_at = [&](int64_t width) { return high / width - low / width + 1; };
        EXPECT_LE(steps_at(t.width()), static_cast<int64_t>(most));
        if (t.width() > 1) {
            EXPECT_GT(steps_at(t.width() / 2), static_cast<int64_t>(most));
        }
    }
}

// Times that go back, a little now and then, step by step down, or far
// before the first; a span across nearly all of 64 bits.
TEST(Timeline, TimesThatGoBackAndHugeSpans) {
    std::mt19937_64 random(7);
    for (int round = 0; round < 40; ++round) {
        size_t most = round % 3 == 0 ? 3 : 600;
        std::vector<Given> given;
        int64_t now = 1000000000 + static_cast<int64_t>(random() % 1000000);
        for (int n = 0; n < 500; ++n) {
            switch (round % 4) {
            case 0: // going back now and then
                now += static_cast<int64_t>(random() % 3000);
                given.push_back({random() % 20 == 0 ? now - 40000 : now, Timeline::Change::none});
                break;
            case 1: // every time earlier than the one before
                now -= static_cast<int64_t>(1 + random() % 50);
                given.push_back({now, Timeline::Change::none});
                break;
            case 2: // going back far, once
                given.push_back({n == 250 ? 17 : now + n, Timeline::Change::none});
                break;
            default: // stops and starts in any order
                given.push_back(
                    {now + static_cast<int64_t>(random() % 100000),
                     random() % 2 == 0 ? Timeline::Change::stop : Timeline::Change::start});
            }
        }
        SCOPED_TRACE("round " + std::to_string(round));
        check(given, most);
    }
    check({{0, Timeline::Change::none}, {INT64_MAX, Timeline::Change::stop}}, 600);
    check({{INT64_MAX, Timeline::Change::none}, {0, Timeline::Change::start}}, 2);
    check({{5, Timeline::Change::none}}, 600); // one time: one step
}

// ---- The events in order -------------------------------------------------------

// Rows of every length around twice the ends kept, events and logging
// changes mixed: the stretches kept are the list's own first and last rows,
// with nothing kept twice, and what lies between is counted and dated.
TEST(Sequence, KeepsBothEndsAndCountsWhatLiesBetween) {
    std::mt19937_64 random(29);
    for (size_t ends : {size_t{1}, size_t{3}, size_t{100}}) {
        for (size_t count = 0; count <= 2 * ends + 3 + (ends == 100 ? 200 : 0); ++count) {
            std::vector<SequenceRow> rows(count);
            for (size_t i = 0; i < count; ++i) {
                rows[i].micros = static_cast<int64_t>(random() % 100000);
                rows[i].event = static_cast<uint32_t>(i);
                rows[i].what =
                    random() % 4 == 0 ? SequenceRow::What::stop : SequenceRow::What::event;
            }
            Sequence q(ends);
            for (const SequenceRow& r : rows)
                q.add(r);
            SCOPED_TRACE("ends " + std::to_string(ends) + ", rows " + std::to_string(count));
            size_t first = std::min(count, ends);
            size_t last = std::min(count - first, ends);
            ASSERT_EQ(q.first().size(), first);
            ASSERT_EQ(q.last().size(), last);
            for (size_t i = 0; i < first; ++i)
                ASSERT_EQ(q.first()[i].event, rows[i].event);
            for (size_t i = 0; i < last; ++i)
                ASSERT_EQ(q.last()[i].event, rows[count - last + i].event);
            uint64_t events = 0, changes = 0;
            for (size_t i = first; i < count - last; ++i)
                (rows[i].what == SequenceRow::What::event ? events : changes)++;
            EXPECT_EQ(q.hidden_events(), events);
            EXPECT_EQ(q.hidden_changes(), changes);
            if (events + changes > 0) {
                EXPECT_EQ(q.hidden_from(), rows[first].micros);
                EXPECT_EQ(q.hidden_to(), rows[count - last - 1].micros);
            }
        }
    }
}

// The data values of an event, against a recount: the first four met with
// their counts (but a count of one), commonest first (ties in the order
// met), then the rest counted, with their least and greatest.
TEST(DataValues, TheFirstFewWithCountsThenTheRestCounted) {
    std::mt19937_64 random(31);
    for (int round = 0; round < 300; ++round) {
        int spread = 1 + round % 9;
        std::vector<int32_t> sent(1 + random() % 40);
        for (int32_t& v : sent)
            v = static_cast<int32_t>(random() % static_cast<uint64_t>(spread)) - 2 +
                (round % 2 == 0 ? 0 : INT32_MIN / 2);
        DataValues values;
        for (int32_t v : sent)
            values.add(v);

        std::vector<std::pair<int32_t, uint64_t>> kept;
        uint64_t others = 0;
        int32_t low = INT32_MAX, high = INT32_MIN;
        for (int32_t v : sent) {
            auto at = std::find_if(kept.begin(), kept.end(), [v](auto& k) { return k.first == v; });
            if (at != kept.end()) {
                ++at->second;
            } else if (kept.size() < DataValues::kept) {
                kept.push_back({v, 1});
            } else {
                ++others;
                low = std::min(low, v);
                high = std::max(high, v);
            }
        }
        std::stable_sort(kept.begin(), kept.end(),
                         [](auto& a, auto& b) { return a.second > b.second; });
        std::string expected;
        if (kept.size() == 1 && others == 0) {
            expected = std::to_string(kept[0].first);
        } else {
            for (size_t i = 0; i < kept.size(); ++i)
                expected += (i > 0 ? ", " : "") + std::to_string(kept[i].first) +
                            (kept[i].second > 1 ? " \u00d7" + std::to_string(kept[i].second) : "");
            if (others > 0)
                expected += ", " + std::to_string(others) + " more from " + std::to_string(low) +
                            " to " + std::to_string(high);
        }
        std::string written;
        values.write(written);
        ASSERT_EQ(written, expected) << "round " << round;
    }
}

// ---- HTML text -----------------------------------------------------------------

std::string html(std::string_view text, size_t most = SIZE_MAX) {
    std::string out;
    append_html(out, text, most);
    return out;
}

TEST(HtmlText, EscapesAndKeepsTheTextReadable) {
    // What HTML gives a meaning to.
    EXPECT_EQ(html("<b>KEY & \"A\" 'B'</b>"),
              "&lt;b&gt;KEY &amp; &quot;A&quot; &#39;B&#39;&lt;/b&gt;");
    // UTF-8 as it is: two, three and four bytes.
    EXPECT_EQ(html("\xc3\xa9\xe2\x80\x93\xf0\x9f\x9b\xa9"), "\xc3\xa9\xe2\x80\x93\xf0\x9f\x9b\xa9");
    // Other bytes as Windows-1252: an aircraft title from the system's code
    // page (E9 before an ASCII letter is no UTF-8), the euro sign, quotes.
    EXPECT_EQ(html("Caf\xe9 \x80 \x93x\x94"), "Caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cx\xe2\x80\x9d");
    // Bytes the code page leaves empty, and control characters: U+FFFD.
    EXPECT_EQ(html("\x81\x01\x7f\tA"), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\tA");
    // No overlong forms, surrogates or sequences cut short pass as UTF-8.
    EXPECT_EQ(html("\xc0\x80"), "\xc3\x80\xe2\x82\xac");
    EXPECT_EQ(html("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xe2\x82\xac");
    EXPECT_EQ(html("\xe2\x80"), "\xc3\xa2\xe2\x82\xac");
    EXPECT_EQ(html("\xf4\x90\x80\x80"), "\xc3\xb4\xef\xbf\xbd\xe2\x82\xac\xe2\x82\xac");
}

TEST(HtmlText, ShortensByCharactersNotBytes) {
    EXPECT_EQ(html("ABCDE", 5), "ABCDE");
    EXPECT_EQ(html("ABCDEF", 5), "ABCDE\xe2\x80\xa6");
    EXPECT_EQ(html("\xc3\xa9\xc3\xa9\xc3\xa9", 2), "\xc3\xa9\xc3\xa9\xe2\x80\xa6");
    EXPECT_EQ(html("<<<", 1), "&lt;\xe2\x80\xa6");
    EXPECT_EQ(html("", 0), "");
}

TEST(HtmlText, NumbersInTenths) {
    auto tenths = [](int64_t n) {
        std::string out;
        append_tenths(out, n);
        return out;
    };
    EXPECT_EQ(tenths(0), "0");
    EXPECT_EQ(tenths(5), "0.5");
    EXPECT_EQ(tenths(-5), "-0.5");
    EXPECT_EQ(tenths(1230), "123");
    EXPECT_EQ(tenths(-1234), "-123.4");
}

} // namespace
} // namespace kwlog
