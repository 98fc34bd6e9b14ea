// The timeline as SVG, with its table (see report_charts.h).
#include "report_charts.h"
#include "html_text.h"
#include "report.h"
#include "writing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>

namespace kwlog {

void append_event(std::string& out, const Session& s, uint32_t event, const EventNames& names) {
    append_html(out, names.shown(s.events.id(event), s.events.name(event)), report_text_most);
    out += " (id ";
    append_number(out, s.events.id(event));
    out += ')';
}

namespace {

// ---- Shared ----------------------------------------------------------------------

// 1, 2 or 5 times a power of ten: the smallest at least `least`.
uint64_t nice_step(uint64_t least) {
    for (uint64_t power = 1;; power *= 10)
        for (uint64_t m : {1, 2, 5})
            if (m * power >= least)
                return m * power;
}

// An attribute in tenths: ` name="12.3"`.
void attribute(std::string& out, const char* name, int64_t tenths) {
    out += ' ';
    out += name;
    out += "=\"";
    append_tenths(out, tenths);
    out += '"';
}

// ---- The timeline ----------------------------------------------------------------

// The frame, in SVG units; the page scales it to its width.
constexpr int view_width = 960, view_height = 310;
constexpr int plot_left = 84, plot_right = 928;
constexpr int lane_top = 4, lane_height = 18; // logging, bursts, repeats, tug-of-war
constexpr int plot_top = 108, plot_bottom = 268;
constexpr int band_least = 30; // tenths: a band of a few microseconds still shows

class TimelineChart {
  public:
    TimelineChart(std::string& out, const Session& s, const Timeline& t, const EventNames& names)
        : out_(out), s_(s), t_(t), names_(names) {
        if (t.empty())
            return;
        width_ = static_cast<uint64_t>(t.width());
        first_ = static_cast<size_t>(static_cast<uint64_t>(s.lowest_time - t.origin()) / width_);
        first_ = std::min(first_, t.steps() - 1);
        steps_ = t.steps() - first_;
        t0_ = step_start(0);
        span_ = static_cast<uint64_t>(steps_) * width_;
        for (size_t i = 0; i < steps_; ++i)
            most_ = std::max(most_, t.events(first_ + i));
    }

    void write() {
        out_ += "<figure>\n<svg class=\"timeline\" viewBox=\"0 0 ";
        append_number(out_, view_width);
        out_ += ' ';
        append_number(out_, view_height);
        out_ += "\" role=\"img\" aria-label=\"Events over time in session ";
        append_number(out_, s_.number);
        out_ += "; the table below holds the same figures\">\n";
        if (steps_ > 0) {
            y_axis();
            x_axis();
            bars();
            lanes();
            changes();
            beginning();
        }
        out_ += "</svg>\n";
        caption();
        out_ += "</figure>\n";
        table();
    }

  private:
    // The start of the i-th step shown, and its end, as times that fit.
    int64_t step_start(size_t i) const {
        uint64_t t = static_cast<uint64_t>(t_.origin()) + (first_ + i) * width_;
        return static_cast<int64_t>(std::min<uint64_t>(t, INT64_MAX));
    }
    int64_t x_of(int64_t micros) const {
        double share =
            static_cast<double>(static_cast<uint64_t>(micros - t0_)) / static_cast<double>(span_);
        return plot_left * 10 + std::llround(share * (plot_right - plot_left) * 10);
    }
    int64_t y_of(uint64_t count) const {
        return plot_bottom * 10 -
               std::llround(static_cast<double>(count) / static_cast<double>(top_) *
                            (plot_bottom - plot_top) * 10);
    }
    void text(int64_t x10, int64_t y10, const char* css, const std::string& what) {
        out_ += "<text";
        attribute(out_, "x", x10);
        attribute(out_, "y", y10);
        out_ += " class=\"";
        out_ += css;
        out_ += "\">";
        out_ += what;
        out_ += "</text>\n";
    }
    void line(const char* css, int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
        out_ += "<line class=\"";
        out_ += css;
        out_ += '"';
        attribute(out_, "x1", x1);
        attribute(out_, "y1", y1);
        attribute(out_, "x2", x2);
        attribute(out_, "y2", y2);
        out_ += "/>";
    }
    void rect(const char* css, int64_t x, int64_t y, int64_t w, int64_t h) {
        out_ += "<rect";
        if (css != nullptr) {
            out_ += " class=\"";
            out_ += css;
            out_ += '"';
        }
        attribute(out_, "x", x);
        attribute(out_, "y", y);
        attribute(out_, "width", w);
        attribute(out_, "height", h);
        out_ += '>';
    }
    void title_time(int64_t micros) {
        append_time(out_, micros);
        out_ += " s";
    }

    // Counts from 0 up, in steps of 1, 2 or 5 times a power of ten.
    void y_axis() {
        uint64_t step = nice_step(std::max<uint64_t>(1, (most_ + 3) / 4));
        top_ = std::max<uint64_t>(1, (most_ + step - 1) / step * step);
        for (uint64_t n = 0; n <= top_; n += step) {
            line("grid", plot_left * 10, y_of(n), plot_right * 10, y_of(n));
            std::string label;
            append_number(label, n);
            text(plot_left * 10 - 60, y_of(n) + 35, "tick end", label);
        }
        text(plot_right * 10, (plot_top - 8) * 10, "axis-title end",
             "events per " + width_text(width_));
    }
    // A step's width in the unit that reads best, to four figures (the
    // table and the titles give the steps' exact bounds): "512 µs",
    // "2.048 ms", "33.55 s".
    static std::string width_text(uint64_t micros) {
        if (micros < 1000)
            return std::to_string(micros) + " \u00b5s";
        bool ms = micros < 1000000;
        double value = static_cast<double>(micros) / (ms ? 1e3 : 1e6);
        char buf[32];
        char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 4).ptr;
        return std::string(buf, end) + (ms ? " ms" : " s");
    }

    // Seconds since the module started, at round times.
    void x_axis() {
        uint64_t step = nice_step(std::max<uint64_t>(1, (span_ + 7) / 8));
        int decimals = 6;
        for (uint64_t s = step; s % 10 == 0 && decimals > 0; s /= 10)
            --decimals;
        uint64_t start = static_cast<uint64_t>(t0_), end = start + span_;
        for (uint64_t tick = (start + step - 1) / step * step; tick <= end && tick <= INT64_MAX;
             tick += step) {
            int64_t x = x_of(static_cast<int64_t>(tick));
            line("axis", x, plot_bottom * 10, x, plot_bottom * 10 + 50);
            std::string label = time_text(static_cast<int64_t>(tick));
            label.resize(label.size() - static_cast<size_t>(6 - decimals) - (decimals == 0));
            text(x, (plot_bottom + 18) * 10, "tick middle", label);
        }
        line("axis", plot_left * 10, plot_bottom * 10, plot_right * 10, plot_bottom * 10);
        text((plot_left + plot_right) * 5, (plot_bottom + 36) * 10, "axis-title middle",
             "seconds since the module started");
    }

    void bars() {
        out_ += "<g class=\"bars\">\n";
        for (size_t i = 0; i < steps_; ++i) {
            uint64_t count = t_.events(first_ + i);
            if (count == 0)
                continue;
            int64_t x = x_of(step_start(i)), end = x_of(step_start(i + 1));
            int64_t y = std::min(y_of(count), int64_t{plot_bottom * 10 - 10});
            rect(nullptr, x, y, std::max<int64_t>(end - x, 1), plot_bottom * 10 - y);
            out_ += "<title>";
            append_time(out_, step_start(i));
            out_ += " to ";
            title_time(step_start(i + 1));
            out_ += ": ";
            append_plural(out_, count, "event", "events");
            out_ += "</title></rect>\n";
        }
        out_ += "</g>\n";
    }

    // The logging lane: a thin green strip while logging was on, a thick red
    // one while it was off (the gauge's ON and OFF), told apart by more than
    // their colour. A Reset turns logging on before it writes its "Logging
    // Started", so that line changes nothing; otherwise logging was off
    // before a first start and on before a first stop.
    void logging_strip() {
        bool on = s_.began == Session::Began::reset || t_.first_change() != Timeline::Change::start;
        int64_t from = s_.lowest_time;
        for (size_t i = 0; i < steps_; ++i) {
            const Timeline::Marks& m = t_.marks(first_ + i);
            if (m.last == Timeline::Change::none)
                continue;
            bool now_on = m.last == Timeline::Change::start;
            if (m.stops + m.starts > 1) {
                // One stop and then one start is a plain time off.
                bool plain = m.stops == 1 && m.starts == 1 && on && now_on;
                strip(on, from, m.earliest);
                strip(false, m.earliest, m.latest, plain ? nullptr : &m);
                from = m.latest;
            } else if (now_on != on) {
                strip(on, from, m.earliest);
                from = m.earliest;
            }
            on = now_on;
        }
        strip(on, from, s_.highest_time);
    }
    // A piece of the strip, with its title (`changes`: the stops and starts
    // of one step, drawn as off); none for an empty span.
    void strip(bool on, int64_t from, int64_t to, const Timeline::Marks* changes = nullptr) {
        if (to <= from && changes == nullptr)
            return;
        int top = lane_top + (on ? 7 : 4);
        int64_t x = x_of(from);
        rect(on ? "on" : "off", x, top * 10, std::max<int64_t>(x_of(to) - x, 20),
             (on ? 4 : 10) * 10);
        out_ += "<title>";
        if (changes != nullptr) {
            change_title(*changes);
        } else {
            out_ += on ? "Logging on, " : "Logging off, ";
            span_title(from, to);
        }
        out_ += "</title></rect>\n";
    }
    void change_title(const Timeline::Marks& m) {
        if (m.stops + m.starts == 1) {
            out_ += m.stops == 1 ? "Logging stopped at " : "Logging started at ";
            title_time(m.earliest);
            return;
        }
        out_ += "Logging stopped ";
        append_plural(out_, m.stops, "time", "times");
        out_ += " and started ";
        append_plural(out_, m.starts, "time", "times");
        out_ += ", ";
        span_title(m.earliest, m.latest);
    }

    // Ticks in the logging lane where it was stopped (red) or started (green).
    void changes() {
        for (size_t i = 0; i < steps_; ++i) {
            const Timeline::Marks& m = t_.marks(first_ + i);
            if (m.last == Timeline::Change::none)
                continue;
            out_ += "<g class=\"change\"><title>";
            change_title(m);
            out_ += "</title>";
            int64_t x1 = x_of(m.earliest), x2 = x_of(m.latest);
            if (m.stops > 0)
                line("stop", x1, lane_top * 10, x1, (lane_top + lane_height) * 10);
            if (m.starts > 0)
                line("start", x2, lane_top * 10, x2, (lane_top + lane_height) * 10);
            out_ += "</g>\n";
        }
    }

    // The load or Reset the session began with.
    void beginning() {
        if (s_.began == Session::Began::first_lines)
            return;
        bool reset = s_.began == Session::Began::reset;
        int64_t x = x_of(s_.lowest_time);
        out_ += "<g class=\"began\"><title>";
        out_ += reset ? "Reset at " : "Module loaded at ";
        title_time(s_.lowest_time);
        out_ += "</title>";
        line("began", x, lane_top * 10, x, plot_bottom * 10);
        text(x + 40, (plot_top - 8) * 10, "began-label", reset ? "Reset" : "loaded");
        out_ += "</g>\n";
    }

    // ---- Bands: bursts, steady repeats, tugs-of-war, a lane each.

    void band(const char* css, int lane, int64_t start, int64_t last) {
        int64_t x1 = x_of(start), x2 = x_of(last);
        int64_t w = std::max<int64_t>(x2 - x1, band_least);
        x1 = std::min<int64_t>(x1, plot_right * 10 - w);
        rect(css, x1, (lane_top + lane * lane_height + 4) * 10, w, (lane_height - 8) * 10);
        out_ += "<title>";
    }
    void span_title(int64_t start, int64_t last) {
        append_time(out_, start);
        out_ += " to ";
        title_time(last);
    }

    void lanes() {
        const char* names[] = {"logging", "bursts", "repeats", "tug-of-war"};
        for (int lane = 0; lane < 4; ++lane) {
            int top = lane_top + lane * lane_height;
            line("lane", plot_left * 10, (top + lane_height / 2) * 10, plot_right * 10,
                 (top + lane_height / 2) * 10);
            text(plot_left * 10 - 60, (top + 13) * 10, "lane-label end", names[lane]);
        }
        logging_strip();
        for (const Burst& b : s_.bursts) {
            band("burst", 1, b.start, b.last);
            out_ += "Burst: ";
            append_plural(out_, b.count, "event", "events");
            out_ += " of ";
            append_event(out_, s_, b.event, names_);
            out_ += " with data ";
            append_number(out_, b.data);
            out_ += ", ";
            span_title(b.start, b.last);
            out_ += "</title></rect>\n";
        }
        for (const Repeat& r : s_.repeats) {
            band("repeat", 2, r.start, r.last);
            out_ += "Steady repeat: ";
            append_plural(out_, r.count, "send", "sends");
            out_ += " of ";
            append_event(out_, s_, r.event, names_);
            out_ += ", median gap ";
            title_time(r.median_gap);
            out_ += ", ";
            span_title(r.start, r.last);
            out_ += "</title></rect>\n";
        }
        for (const Tug& g : s_.tugs) {
            band("tug", 3, g.start, g.last);
            out_ += "Tug-of-war: ";
            append_event(out_, s_, g.event, names_);
            out_ += " went back ";
            append_plural(out_, g.reversals, "time", "times");
            out_ += " among ";
            append_values(out_, g);
            out_ += "; ";
            span_title(g.start, g.last);
            out_ += "</title></rect>\n";
        }
    }

    void caption() {
        out_ += "<figcaption>Events per time step. Logging: <span class=\"key start\"></span>"
                "on (a thin strip), <span class=\"key stop\"></span>off (a thick one), with "
                "a tick where it was stopped or started";
        if (s_.began != Session::Began::first_lines)
            out_ += s_.began == Session::Began::reset ? ", <span class=\"key began\"></span>Reset"
                                                      : ", <span class=\"key began\"></span>"
                                                        "module loaded";
        out_ += ". Bands: <span class=\"key burst\"></span>bursts, <span class=\"key "
                "repeat\"></span>steady repeats, <span class=\"key tug\"></span>tug-of-war "
                "(tables below). Hover for the figures.</figcaption>\n";
    }

    // Every step with events or a stop or start, with the same figures.
    void table() {
        out_ += "<details><summary>The timeline as a table</summary>\n<table class=\"steps\">"
                "<thead><tr><th class=\"num\">from (s)</th><th class=\"num\">to (s)</th>"
                "<th class=\"num\">events</th><th>logging</th></tr></thead><tbody>\n";
        for (size_t i = 0; i < steps_; ++i) {
            uint64_t count = t_.events(first_ + i);
            const Timeline::Marks& m = t_.marks(first_ + i);
            if (count == 0 && m.last == Timeline::Change::none)
                continue;
            out_ += "<tr><td class=\"num\">";
            append_time(out_, step_start(i));
            out_ += "</td><td class=\"num\">";
            append_time(out_, step_start(i + 1));
            out_ += "</td><td class=\"num\">";
            append_number(out_, count);
            out_ += "</td><td>";
            if (m.stops > 0) {
                out_ += "stopped";
                if (m.stops > 1) {
                    out_ += " \u00d7";
                    append_number(out_, m.stops);
                }
            }
            if (m.starts > 0) {
                out_ += m.stops > 0 ? ", started" : "started";
                if (m.starts > 1) {
                    out_ += " \u00d7";
                    append_number(out_, m.starts);
                }
            }
            out_ += "</td></tr>\n";
        }
        out_ += "</tbody></table></details>\n";
    }

    std::string& out_;
    const Session& s_;
    const Timeline& t_;
    const EventNames& names_;
    uint64_t width_ = 1, span_ = 1, most_ = 0, top_ = 1;
    size_t first_ = 0, steps_ = 0;
    int64_t t0_ = 0;
};

} // namespace

void put_timeline(std::string& out, const Session& s, const Timeline& t, const EventNames& names) {
    TimelineChart(out, s, t, names).write();
}

} // namespace kwlog
