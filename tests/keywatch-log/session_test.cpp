// What summary works out per session, held to plain recomputations from
// whole lists of events: the peak rate, bursts (with the finder tidied as
// blocks begin), steady repeats; and, where the answer is known, the bounds
// of bursts and repeats, and tugs-of-war.
#include "bursts.h"
#include "repeats.h"
#include "session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kwlog {
namespace {

struct Sent {
    uint32_t event;
    int32_t data;
    int64_t micros;
};

// Events of a few kinds: some at short steady gaps, some in bursts, some
// now and then, times now and then going back a little.
std::vector<Sent> random_events(std::mt19937& random, int count) {
    std::vector<Sent> sent;
    int64_t now = 0;
    for (int n = 0; n < count; ++n) {
        now += random() % 4 == 0 ? random() % 400000 : random() % 30000;
        int64_t micros = random() % 200 == 0 ? now - 20000 : now;
        auto event = static_cast<uint32_t>(random() % 12);
        auto data = static_cast<int32_t>(event < 4 ? 0 : random() % (event < 8 ? 3 : 40));
        sent.push_back({event, data, micros});
    }
    return sent;
}

// ---- The peak rate ---------------------------------------------------------------------

// The most events within one second of any stretch whose times do not go
// back (to an earlier millisecond), and the millisecond that ends it: for
// every millisecond m that has events, those of m-999 to m in its stretch.
std::pair<uint64_t, int64_t> reference_peak(const std::vector<int64_t>& times) {
    uint64_t most = 0;
    int64_t end = 0;
    for (size_t begin = 0; begin < times.size();) {
        std::vector<int64_t> ms{times[begin] / 1000};
        size_t next = begin + 1;
        for (; next < times.size() && times[next] / 1000 >= ms.back(); ++next)
            ms.push_back(times[next] / 1000);
        for (int64_t m : ms) {
            auto in = std::upper_bound(ms.begin(), ms.end(), m) -
                      std::upper_bound(ms.begin(), ms.end(), m - 1000);
            if (static_cast<uint64_t>(in) > most) {
                most = static_cast<uint64_t>(in);
                end = m;
            }
        }
        begin = next;
    }
    return {most, end};
}

TEST(PeakRate, IsTheMostEventsInAnySecond) {
    std::mt19937 random(31);
    for (int round = 0; round < 40; ++round) {
        // Odd rounds: sparse; from round 20 on, the time now and then goes
        // back, by less than a millisecond up to several seconds.
        std::vector<int64_t> times;
        int64_t now = 5000000;
        for (int n = 0; n < 3000; ++n) {
            now += random() % (round % 2 == 0 ? 2000 : 900000);
            if (round >= 20 && random() % 300 == 0)
                now = std::max<int64_t>(0, now - static_cast<int64_t>(random() % 4000000));
            times.push_back(now);
        }
        PeakRate peak;
        for (int64_t t : times)
            peak.add(t);
        auto [most, end] = reference_peak(times);
        EXPECT_EQ(peak.peak(), most) << "round " << round;
        EXPECT_EQ(peak.peak_end_ms(), end) << "round " << round;
    }
    // 400 events 0.2 s apart, the time going back once halfway: five in a
    // second, not every later event in one millisecond.
    PeakRate peak;
    for (int n = 0; n < 400; ++n)
        peak.add((n < 200 ? n : n - 150) * int64_t{200000} + 1000);
    EXPECT_EQ(peak.peak(), 5u);
}

// ---- Bursts ----------------------------------------------------------------------------

// Runs of one (event, data), split where the gap is over `gap`; where the
// time goes back, every run ends.
std::vector<Burst> reference_bursts(const std::vector<Sent>& sent, int64_t gap, uint64_t min) {
    std::map<std::pair<uint32_t, int32_t>, Burst> open;
    std::vector<Burst> all;
    int64_t before = INT64_MIN;
    for (const Sent& s : sent) {
        if (s.micros < before) {
            for (auto& [key, run] : open)
                if (run.count >= min)
                    all.push_back(run);
            open.clear();
        }
        before = s.micros;
        auto [at, added] = open.try_emplace({s.event, s.data}, Burst{s.event, s.data, 0, 0, 0});
        Burst& run = at->second;
        if (!added && s.micros >= run.last && s.micros - run.last <= gap) {
            ++run.count;
            run.last = s.micros;
        } else {
            if (run.count >= min)
                all.push_back(run);
            run = Burst{s.event, s.data, 1, s.micros, s.micros};
        }
    }
    for (auto& [key, run] : open)
        if (run.count >= min)
            all.push_back(run);
    return all;
}

auto burst_order(const Burst& b) {
    return std::tuple(-static_cast<int64_t>(b.count), b.start, b.event, b.data, b.last);
}

// The bursts a finder finds as summary feeds it: a slot per (event, data)
// looked up once per block of `block` events, and the finder tidied as each
// block begins.
std::vector<Burst> find_bursts(const std::vector<Sent>& sent, size_t block, size_t keep) {
    BurstFinder finder(50000, 3, keep);
    std::map<std::pair<uint32_t, int32_t>, uint32_t> slots;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (i % block == 0 && finder.tidy(sent[i].micros))
            slots.clear();
        auto [at, added] = slots.try_emplace({sent[i].event, sent[i].data}, 0);
        if (added)
            at->second = finder.slot(sent[i].event, sent[i].data);
        finder.add(at->second, sent[i].micros);
    }
    return finder.finish();
}

TEST(BurstFinder, FindsTheRunsOfAPlainRecount) {
    std::mt19937 random(37);
    for (int round = 0; round < 10; ++round) {
        std::vector<Sent> sent = random_events(random, 20000);
        std::vector<Burst> expected = reference_bursts(sent, 50000, 3);
        std::sort(expected.begin(), expected.end(),
                  [](const Burst& a, const Burst& b) { return burst_order(a) < burst_order(b); });
        for (size_t keep : {size_t{100000}, size_t{7}}) {
            std::vector<Burst> found = find_bursts(sent, 500, keep);
            ASSERT_EQ(found.size(), std::min(keep, expected.size())) << "keep " << keep;
            for (size_t i = 0; i < found.size(); ++i) {
                // Runs of one length and start may come in either order.
                EXPECT_EQ(found[i].count, expected[i].count) << "keep " << keep << ", " << i;
                EXPECT_EQ(found[i].start, expected[i].start) << "keep " << keep << ", " << i;
            }
            if (keep == 100000) {
                std::sort(found.begin(), found.end(), [](const Burst& a, const Burst& b) {
                    return burst_order(a) < burst_order(b);
                });
                for (size_t i = 0; i < found.size(); ++i)
                    EXPECT_EQ(burst_order(found[i]), burst_order(expected[i])) << i;
            }
        }
    }
}

// Two thousand runs open at once, of one event and as many data values (a
// setting swept through its range, over and over), each event exactly the
// gap after its run's last: every run is its own, the gap itself keeps a
// run going, and tidying as a block begins closes none that can still grow.
TEST(BurstFinder, KeepsManyOpenRunsApart) {
    const int64_t gap = 50000;
    BurstFinder finder(gap, 3, 5000);
    for (int64_t round = 0; round < 3; ++round) {
        if (round == 1) {
            ASSERT_TRUE(finder.tidy(gap)) << "with this many open, it tidies";
        }
        for (int32_t data = 0; data < 2000; ++data)
            finder.add(finder.slot(7, data), round * gap + data);
    }
    std::vector<Burst> found = finder.finish();
    ASSERT_EQ(found.size(), 2000u);
    for (const Burst& b : found)
        EXPECT_EQ(std::tuple(b.count, b.last - b.start), std::tuple(3u, 2 * gap)) << b.data;
}

// The bursts of `sent`, tidied as blocks of each of several sizes begin,
// must be those of the plain recount.
void expect_bursts_whatever_the_blocks(const std::vector<Sent>& sent) {
    std::vector<Burst> expected = reference_bursts(sent, 50000, 3);
    std::sort(expected.begin(), expected.end(),
              [](const Burst& a, const Burst& b) { return burst_order(a) < burst_order(b); });
    for (size_t block : {size_t{1}, size_t{97}, size_t{2000}, size_t{1000000}}) {
        std::vector<Burst> found = find_bursts(sent, block, 100000);
        std::sort(found.begin(), found.end(),
                  [](const Burst& a, const Burst& b) { return burst_order(a) < burst_order(b); });
        ASSERT_EQ(found.size(), expected.size()) << "blocks of " << block;
        for (size_t i = 0; i < found.size(); ++i)
            EXPECT_EQ(burst_order(found[i]), burst_order(expected[i])) << "blocks of " << block;
    }
}

// Logs whose time goes back by seconds, with so many (event, data) pairs
// under way that tidying frees slots: the bursts found are the same
// wherever the blocks begin.
TEST(BurstFinder, DoesNotDependOnWhereBlocksBegin) {
    // A run of 4 of event 9 just before the time goes back, and 3 more of
    // it within the gap of its last once the time has come round again,
    // among 2000 others of data of their own each time.
    std::vector<Sent> sent;
    int32_t other = 0;
    auto others = [&](int64_t from, int64_t to) {
        for (int64_t t = from; t < to; t += 1000)
            sent.push_back({1, other++, t});
    };
    for (int64_t t : {10000000, 10010000, 10020000, 10030000})
        sent.push_back({9, 7, t});
    others(10031000, 12031000);
    for (int64_t t : {10035000, 10045000, 10055000})
        sent.push_back({9, 7, t});
    others(10056000, 10500000);
    expect_bursts_whatever_the_blocks(sent);

    // At random: bursts of many kinds, the time going back by 1 to 4 s
    // every 2000 events.
    std::mt19937 random(53);
    sent.clear();
    int64_t now = 10000000;
    for (int n = 0; n < 40000; ++n) {
        now += random() % 3 == 0 ? random() % 60000 : random() % 2000;
        if (n % 2000 == 1999)
            now -= 1000000 + static_cast<int64_t>(random() % 3000000);
        auto event = static_cast<uint32_t>(random() % 8);
        auto data = static_cast<int32_t>(event < 4 ? random() % 3 : random() % 3000);
        sent.push_back({event, data, now});
    }
    expect_bursts_whatever_the_blocks(sent);
}

// ---- Steady repeats --------------------------------------------------------------------

struct ExpectedRepeat {
    uint32_t event;
    uint64_t count;
    int64_t start, last;
    std::vector<int64_t> gaps;
    std::set<int32_t> values;
};

std::vector<ExpectedRepeat> reference_repeats(const std::vector<Sent>& sent, int64_t gap,
                                              uint64_t min, int64_t span) {
    std::map<uint32_t, ExpectedRepeat> open;
    std::vector<ExpectedRepeat> all;
    auto close = [&](const ExpectedRepeat& r) {
        if (r.count >= min && r.last - r.start >= span)
            all.push_back(r);
    };
    for (const Sent& s : sent) {
        auto [at, added] = open.try_emplace(s.event);
        ExpectedRepeat& r = at->second;
        if (!added && s.micros >= r.last && s.micros - r.last <= gap) {
            r.gaps.push_back(s.micros - r.last);
            ++r.count;
            r.last = s.micros;
            r.values.insert(s.data);
        } else {
            if (!added)
                close(r);
            r = ExpectedRepeat{s.event, 1, s.micros, s.micros, {}, {s.data}};
        }
    }
    for (auto& [event, r] : open)
        close(r);
    return all;
}

int64_t median(std::vector<int64_t> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

TEST(RepeatFinder, FindsTheRepeatsOfAPlainRecount) {
    std::mt19937 random(41);
    for (int round = 0; round < 10; ++round) {
        std::vector<Sent> sent = random_events(random, 20000);
        // And one long repeat, of many more gaps than are kept, at 100 ms
        // give or take 2, with 50 data values.
        int64_t t = sent.back().micros;
        for (int n = 0; n < 3000; ++n) {
            t += 100000 + static_cast<int64_t>(random() % 2001) - 1000;
            sent.push_back({20, static_cast<int32_t>(n % 50), t});
        }
        std::vector<ExpectedRepeat> expected = reference_repeats(sent, 500000, 10, 2000000);
        ASSERT_GT(expected.size(), 3u);
        RepeatFinder finder(500000, 10, 2000000, 100000);
        for (const Sent& s : sent) {
            finder.make_room(s.event);
            finder.add(s.event, s.data, s.micros);
        }
        std::vector<Repeat> found = finder.finish();
        ASSERT_EQ(found.size(), expected.size());
        std::map<std::pair<uint32_t, int64_t>, const ExpectedRepeat*> by_start;
        for (const ExpectedRepeat& e : expected)
            by_start[{e.event, e.start}] = &e;
        for (size_t i = 0; i < found.size(); ++i) {
            const Repeat& r = found[i];
            if (i > 0) {
                EXPECT_GE(found[i - 1].count, r.count) << "most sends first";
            }
            auto at = by_start.find({r.event, r.start});
            ASSERT_NE(at, by_start.end()) << "event " << r.event << " at " << r.start;
            const ExpectedRepeat& e = *at->second;
            EXPECT_EQ(r.count, e.count);
            EXPECT_EQ(r.last, e.last);
            EXPECT_EQ(r.values, std::min<size_t>(e.values.size(), Repeat::most_values));
            EXPECT_EQ(r.more_values, e.values.size() > Repeat::most_values);
            EXPECT_EQ(r.median_gap, median(e.gaps)) << "event " << r.event << " at " << r.start;
        }
    }
}

// What the recount's random times seldom meet: a run of exactly the
// shortest time is a repeat, and a time that goes back ends one.
TEST(RepeatFinder, ExactlyTheShortestTimeAndATimeThatGoesBack) {
    RepeatFinder finder(500000, 10, 2000000, 10);
    finder.make_room(1);
    for (int64_t n = 0; n <= 20; ++n)
        finder.add(0, 5, n * 100000); // 21 sends over 2 s
    for (int64_t n = 0; n < 25; ++n)
        finder.add(1, 5, n * 100000); // 25 over 2.4 s, then back 100 ms
    for (int64_t n = 0; n < 25; ++n)
        finder.add(1, 5, 2300000 + n * 100000);
    std::vector<std::tuple<uint32_t, uint64_t, int64_t, int64_t>> found,
        expected{{1, 25, 0, 2400000}, {1, 25, 2300000, 4700000}, {0, 21, 0, 2000000}};
    for (const Repeat& r : finder.finish())
        found.emplace_back(r.event, r.count, r.start, r.last);
    EXPECT_EQ(found, expected);
}

// The median of every gap, however the gaps fall: a pattern that a sample
// taken every 2^k-th gap would lock onto, and runs of more distinct gap
// lengths than are kept to the microsecond.
TEST(RepeatFinder, MedianGapIsOfEveryGap) {
    auto median_of = [](const std::vector<int64_t>& gaps) {
        RepeatFinder finder(500000, 10, 2000000, 10);
        finder.make_room(0);
        int64_t t = 1000000;
        finder.add(0, 1, t);
        for (int64_t gap : gaps)
            finder.add(0, 1, t += gap);
        std::vector<Repeat> found = finder.finish();
        return found.size() == 1 ? found[0].median_gap : -1;
    };
    // 201 sends, gaps of 400, 100, 100, 100 ms again and again.
    std::vector<int64_t> gaps;
    for (int n = 0; n < 200; ++n)
        gaps.push_back(n % 4 == 0 ? 400000 : 100000);
    EXPECT_EQ(median_of(gaps), 100000);
    // The same over a long run, and with the long gap every eighth.
    for (int n = 0; n < 20000; ++n)
        gaps.push_back(n % 4 == 0 ? 400000 : 100000);
    EXPECT_EQ(median_of(gaps), 100000);
    gaps.clear();
    for (int n = 0; n < 5000; ++n)
        gaps.push_back(n % 8 < 5 ? 300000 : 100000 + n % 8);
    EXPECT_EQ(median_of(gaps), 300000);

    // Far more distinct lengths than are kept to the microsecond: the
    // median to within the few microseconds they are then kept to.
    std::mt19937 random(43);
    for (int round = 0; round < 3; ++round) {
        gaps.clear();
        for (int n = 0; n < 60000; ++n)
            gaps.push_back(100000 + static_cast<int64_t>(random() % (round == 0 ? 30000 : 400000)));
        EXPECT_NEAR(static_cast<double>(median_of(gaps)), static_cast<double>(median(gaps)), 64.0)
            << "round " << round;
    }
}

// Many steady repeats under way at once, each of many distinct gaps: their
// medians stay close while the gap counts all together keep within bounds.
TEST(RepeatFinder, ManyRunsAtOnceStayBounded) {
    std::mt19937 random(47);
    constexpr uint32_t runs = 300;
    RepeatFinder finder(500000, 10, 2000000, runs);
    finder.make_room(runs - 1);
    std::vector<std::vector<int64_t>> gaps(runs);
    std::vector<int64_t> last(runs, 0);
    for (int64_t t = 1; t < 5000; ++t)
        for (uint32_t e = 0; e < runs; ++e) {
            int64_t now = t * 300000 + static_cast<int64_t>(random() % 200000);
            if (t > 1)
                gaps[e].push_back(now - last[e]);
            last[e] = now;
            finder.add(e, 0, now);
        }
    EXPECT_LE(finder.gap_bins(), GapCounts::all_bins + 16 * runs);
    std::vector<Repeat> found = finder.finish();
    ASSERT_EQ(found.size(), runs);
    for (const Repeat& r : found)
        EXPECT_NEAR(static_cast<double>(r.median_gap), static_cast<double>(median(gaps[r.event])),
                    2048.0)
            << "event " << r.event;
}

// ---- Past the events told apart ----------------------------------------------------

// Events beyond the first EventCounts::most_events are counted together,
// ranked with none of the others, and make no burst, repeat or tug-of-war
// between them (they are many events, not one).
TEST(SessionAnalyzer, CountsEventsBeyondThoseToldApartTogether) {
    SessionAnalyzer analyzer(AnalysisOptions{}, 1, 1, Session::Began::load);
    Record r;
    r.kind = Kind::user;
    r.name = "User_Defined_Event";
    int64_t t = 1000000;
    auto send = [&](int32_t id, int32_t data, int64_t gap) {
        r.id = id;
        r.data = data;
        r.micros = t += gap;
        analyzer.add_event(r, 1, false);
    };
    for (int32_t id = 0; id < static_cast<int32_t>(EventCounts::most_events); ++id)
        send(5000 + id, 0, 1000);
    send(5007, 1, 1000);
    send(5007, 2, 1000);
    // Each beyond them once: 20 of one data 1 ms apart (a burst, were they
    // one event), then 30 of data going back and forth 100 ms apart (a
    // steady repeat and a tug-of-war).
    for (int32_t id = 0; id < 20; ++id)
        send(20000 + id, 0, 1000);
    for (int32_t id = 0; id < 30; ++id)
        send(30000 + id, 1 + id % 2, 100000);
    // Events known already are still told apart.
    send(5007, 3, 1000);
    send(5007, 4, 1000);
    analyzer.finish(0);
    const Session& s = analyzer.session();
    EXPECT_EQ(s.events.size(), EventCounts::most_events);
    EXPECT_EQ(s.events.others_count(), 50u);
    EXPECT_EQ(s.events.total(), EventCounts::most_events + 4 + 50);
    std::vector<uint32_t> busiest = s.events.busiest(3);
    ASSERT_EQ(busiest.size(), 3u);
    EXPECT_EQ(s.events.id(busiest[0]), 5007);
    EXPECT_EQ(s.events.count(busiest[0]), 5u);
    for (uint32_t event : s.events.busiest(EventCounts::most_events + 10))
        EXPECT_NE(event, EventCounts::others);
    EXPECT_TRUE(s.bursts.empty());
    EXPECT_TRUE(s.repeats.empty());
    EXPECT_TRUE(s.tugs.empty());
}

// ---- Tug-of-war -------------------------------------------------------------------------

std::vector<Tug> tugs_of(const std::vector<int32_t>& data, uint32_t event = 0) {
    TugFinder finder(3, 10);
    finder.make_room(event);
    for (size_t i = 0; i < data.size(); ++i)
        finder.add(event, data[i], static_cast<int64_t>(i) * 1000);
    return finder.finish();
}

std::vector<int32_t> values_of(const Tug& t) {
    return std::vector<int32_t>(t.values.values, t.values.values + t.values.count);
}

TEST(TugFinder, CountsChangesBackToAValueJustHad) {
    // Two senders: A, B, A, B, A; repeats of a value change nothing.
    std::vector<Tug> tugs = tugs_of({7, 7, 9, 9, 7, 9, 7, 7});
    ASSERT_EQ(tugs.size(), 1u);
    EXPECT_EQ(tugs[0].reversals, 3u);
    EXPECT_EQ(tugs[0].start, 2000) << "from the change the first reversal undid";
    EXPECT_EQ(tugs[0].last, 6000);
    EXPECT_EQ(values_of(tugs[0]), (std::vector<int32_t>{7, 9}));

    // Three values in turn: A, B, C, A, B, C.
    tugs = tugs_of({1, 2, 3, 1, 2, 3, 1});
    ASSERT_EQ(tugs.size(), 1u);
    EXPECT_EQ(tugs[0].reversals, 4u);
    EXPECT_EQ(tugs[0].start, 2000);
    EXPECT_EQ(values_of(tugs[0]), (std::vector<int32_t>{1, 2, 3}));

    // One sender keeps setting it back while the other moves it on.
    tugs = tugs_of({5, 6, 5, 7, 5, 8, 5});
    ASSERT_EQ(tugs.size(), 1u);
    EXPECT_EQ(tugs[0].reversals, 3u);
    EXPECT_EQ(values_of(tugs[0]), (std::vector<int32_t>{5, 6, 7, 8}));

    // A knob turned up and back once is no fight; nor are two reversals.
    EXPECT_TRUE(tugs_of({1, 2, 3, 4, 5, 4, 3, 2, 1}).empty());
    EXPECT_TRUE(tugs_of({1, 2, 1, 2}).empty());

    // Three changes without a reversal end one; the next is counted apart,
    // and most reversals come first.
    tugs = tugs_of({1, 2, 1, 2, 1, 3, 4, 5, 6, 5, 6, 5, 6});
    ASSERT_EQ(tugs.size(), 2u);
    EXPECT_EQ(tugs[0].reversals, 4u);
    EXPECT_EQ(values_of(tugs[0]), (std::vector<int32_t>{5, 6}));
    EXPECT_EQ(tugs[1].reversals, 3u);
    EXPECT_EQ(values_of(tugs[1]), (std::vector<int32_t>{1, 2}));
    // The third ends it: a reversal right after it begins the next.
    tugs = tugs_of({1, 2, 1, 2, 1, 3, 4, 5, 4, 5, 4});
    ASSERT_EQ(tugs.size(), 2u);
    EXPECT_EQ(values_of(tugs[1]), (std::vector<int32_t>{4, 5}));

    // More values than are shown, and as they are shown.
    tugs = tugs_of({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0});
    ASSERT_EQ(tugs.size(), 1u);
    EXPECT_EQ(tugs[0].values.count, Tug::most_values);
    EXPECT_TRUE(tugs[0].values.more);
    std::string shown;
    append_values(shown, tugs[0]);
    EXPECT_EQ(shown, "0, 1, 2, 3, 4, 5, ...");

    // Zero is a value like any other, the first one too; and no value came
    // before the first, to go back to.
    tugs = tugs_of({0, 5, 0, 5, 0});
    ASSERT_EQ(tugs.size(), 1u);
    EXPECT_EQ(tugs[0].reversals, 3u);
    EXPECT_EQ(tugs[0].start, 1000);
    EXPECT_TRUE(tugs_of({1, 2, 0, 3, 0, 4, 0}).empty()) << "two reversals, to 0";
}

TEST(TugFinder, KeepsEventsApart) {
    TugFinder finder(3, 10);
    finder.make_room(1);
    // Two events, each of one value, interleaved: no tug-of-war.
    for (int i = 0; i < 20; ++i)
        finder.add(static_cast<uint32_t>(i % 2), i % 2 == 0 ? 100 : 200, i * 1000);
    EXPECT_TRUE(finder.finish().empty());
}

} // namespace
} // namespace kwlog
