// The report's views of what the events were (see report_events.h).
#include "report_events.h"
#include "html_text.h"
#include "report.h"
#include "writing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace kwlog {

void Sequence::add(const SequenceRow& row) {
    if (first_.size() < ends_) {
        first_.push_back(row);
        return;
    }
    last_.push_back(row);
    if (last_.size() <= ends_)
        return;
    const SequenceRow& out = last_.front();
    if (hidden_events_ + hidden_changes_ == 0)
        hidden_from_ = out.micros;
    hidden_to_ = out.micros;
    (out.what == SequenceRow::What::event ? hidden_events_ : hidden_changes_)++;
    last_.pop_front();
}

void DataValues::write(std::string& out) const {
    if (size_ == 1 && others_ == 0) {
        append_number(out, values_[0]);
        return;
    }
    // The commonest first; among equals, the first met.
    std::array<size_t, kept> order{};
    std::iota(order.begin(), order.begin() + size_, size_t{0});
    std::stable_sort(order.begin(), order.begin() + size_,
                     [this](size_t a, size_t b) { return counts_[a] > counts_[b]; });
    for (size_t i = 0; i < size_; ++i) {
        if (i > 0)
            out += ", ";
        append_number(out, values_[order[i]]);
        if (counts_[order[i]] > 1) {
            out += " \u00d7";
            append_number(out, counts_[order[i]]);
        }
    }
    if (others_ > 0) {
        out += ", ";
        append_number(out, others_);
        out += " more from ";
        append_number(out, low_);
        out += " to ";
        append_number(out, high_);
    }
}

void SessionEvents::event(uint32_t index, int32_t data, bool user, int64_t micros) {
    if (index >= per_event_.size())
        per_event_.resize(index + 1);
    PerEvent& e = per_event_[index];
    if (e.values.empty())
        e.first = micros;
    e.last = micros;
    e.user = user;
    e.values.add(data);
    sequence_.add(SequenceRow{micros, index, data, SequenceRow::What::event});
}

namespace {

// The events beyond those told apart have no one name or id.
void cell_name(std::string& out, const Session& s, uint32_t event, const EventNames& names) {
    out += "<td class=\"name\">";
    if (event == EventCounts::others)
        append_html(out, others_text());
    else
        append_html(out, names.shown(s.events.id(event), s.events.name(event)), report_text_most);
    out += "</td>";
}

void cell_id(std::string& out, const Session& s, uint32_t event) {
    if (event == EventCounts::others)
        out += "<td class=\"num\">-</td>";
    else
        cell_number(out, s.events.id(event));
}

void put_row(std::string& out, const Session& s, const EventNames& names, const SequenceRow& r,
             bool user) {
    if (r.what != SequenceRow::What::event) {
        out += "<tr class=\"change\">";
        cell_time(out, r.micros);
        out += r.what == SequenceRow::What::stop ? "<td>Logging stopped</td>"
                                                 : "<td>Logging started</td>";
        out += "<td></td><td></td></tr>\n";
        return;
    }
    out += user ? "<tr class=\"user\">" : "<tr>";
    cell_time(out, r.micros);
    cell_name(out, s, r.event, names);
    cell_id(out, s, r.event);
    cell_number(out, r.data);
    out += "</tr>\n";
}

} // namespace

void SessionEvents::put_sequence(std::string& out, const Session& s,
                                 const EventNames& names) const {
    const Sequence& q = sequence_;
    uint64_t events = s.key_events + s.user_events;
    out += "<h3>Events in order <span class=\"muted\">(";
    if (q.hidden_events() + q.hidden_changes() == 0) {
        if (events <= 2) {
            out += events == 1 ? "the one event" : "both events";
        } else {
            out += "all ";
            append_number(out, events);
        }
    } else {
        out += "the first ";
        append_number(out, q.first().size());
        out += " and the last ";
        append_number(out, q.last().size());
        out += " lines of ";
        append_plural(out, events, "event", "events");
    }
    out += ", and where logging stopped and started; the browser's Find (Ctrl+F) "
           "finds a name)</span></h3>\n<div class=\"scroll\"><table class=\"sequence\"><thead><tr>"
           "<th class=\"num\">time (s)</th><th>event</th><th class=\"num\">id</th>"
           "<th class=\"num\">data</th></tr></thead><tbody>\n";
    auto user = [this](const SequenceRow& r) {
        return r.what == SequenceRow::What::event && per_event_[r.event].user;
    };
    for (const SequenceRow& r : q.first())
        put_row(out, s, names, r, user(r));
    if (q.hidden_events() + q.hidden_changes() > 0) {
        out += "<tr class=\"gap\"><td colspan=\"4\">\u2026 ";
        append_plural(out, q.hidden_events(), "event", "events");
        if (q.hidden_changes() > 0) {
            out += " and ";
            append_plural(out, q.hidden_changes(), "logging stop or start",
                          "logging stops and starts");
        }
        out += " between ";
        append_time(out, q.hidden_from());
        out += " s and ";
        append_time(out, q.hidden_to());
        out += " s not shown</td></tr>\n";
    }
    for (const SequenceRow& r : q.last())
        put_row(out, s, names, r, user(r));
    out += "</tbody></table></div>\n";
}

void SessionEvents::put_addons(std::string& out, const Session& s, const EventNames& names,
                               size_t most) const {
    if (s.user_events == 0)
        return;
    uint64_t distinct = 0; // of those told apart (see EventCounts)
    for (size_t i = 0; i < per_event_.size() && i < s.events.size(); ++i)
        distinct += per_event_[i].user;
    out += "<h3>Add-on events <span class=\"muted\">(";
    append_number(out, distinct);
    out += " user-defined, ";
    append_plural(out, s.user_events, "send", "sends");
    out += "; in the order first sent)</span></h3>\n<table class=\"addons\"><thead><tr>"
           "<th class=\"num\">id</th><th>event</th><th class=\"num\">sends</th>"
           "<th class=\"num\">first (s)</th><th class=\"num\">last (s)</th><th>data</th>"
           "</tr></thead><tbody>\n";
    uint64_t shown = 0, left_out = 0, left_sends = 0;
    for (uint32_t i = 0; i < per_event_.size() && i < s.events.size(); ++i) {
        const PerEvent& e = per_event_[i];
        if (!e.user)
            continue;
        if (shown == most) {
            ++left_out;
            left_sends += s.events.count(i);
            continue;
        }
        ++shown;
        out += "<tr>";
        cell_number(out, s.events.id(i));
        cell_name(out, s, i, names);
        cell_number(out, s.events.count(i));
        cell_time(out, e.first);
        cell_time(out, e.last);
        out += "<td>";
        e.values.write(out);
        out += "</td></tr>\n";
    }
    if (left_out > 0) {
        out += "<tr class=\"gap\"><td colspan=\"6\">\u2026 ";
        append_plural(out, left_out, "more add-on event", "more add-on events");
        out += ", ";
        append_plural(out, left_sends, "send", "sends");
        out += ", not listed</td></tr>\n";
    }
    out += "</tbody></table>\n";
}

void SessionEvents::put_busiest(std::string& out, const Session& s, const EventNames& names,
                                size_t most) const {
    std::vector<uint32_t> busiest = s.events.busiest(most);
    if (busiest.empty())
        return;
    uint64_t total = s.events.total(), top = s.events.count(busiest.front());
    out += "<table class=\"busiest\"><thead><tr><th class=\"num\">count</th>"
           "<th class=\"num\">share</th><th></th><th class=\"num\">id</th><th>event</th>"
           "<th>data</th></tr></thead><tbody>\n";
    for (uint32_t event : busiest) {
        uint64_t count = s.events.count(event);
        out += "<tr>";
        cell_number(out, count);
        out += "<td class=\"num\">";
        append_share(out, count, total);
        // The bar's length against the busiest, in tenths of a per cent.
        out += "</td><td class=\"bar\"><span style=\"width:";
        append_tenths(out, std::max<int64_t>(5, std::llround(static_cast<double>(count) * 1000.0 /
                                                             static_cast<double>(top))));
        out += "%\"></span></td>";
        cell_number(out, s.events.id(event));
        cell_name(out, s, event, names);
        out += "<td>";
        if (event < per_event_.size())
            per_event_[event].values.write(out);
        out += "</td></tr>\n";
    }
    out += "</tbody></table>\n";
}

} // namespace kwlog
