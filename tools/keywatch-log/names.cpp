// Reading names for add-ons' events (see names.h).
#include "names.h"
#include "files.h"
#include "lines.h"
#include "reader.h"
#include "writing.h"

#include "interface/event_numbers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace kwlog {
namespace {

constexpr uint64_t third_party_min = USER_DEFINED_START;
constexpr uint64_t highest_number = 0xFFFFFFFF;

// A cursor over one line, comments already blanked out.
struct Words {
    std::string_view rest;
    std::string too_large; // a number met that is beyond any event's number

    void skip_blanks() {
        while (!rest.empty() && (rest[0] == ' ' || rest[0] == '\t'))
            rest.remove_prefix(1);
    }
    bool take(std::string_view word) {
        skip_blanks();
        if (rest.substr(0, word.size()) != word)
            return false;
        rest.remove_prefix(word.size());
        return true;
    }
    // A C identifier.
    bool take_name(std::string_view& name) {
        skip_blanks();
        size_t n = 0;
        while (n < rest.size() &&
               (std::isalpha(static_cast<unsigned char>(rest[n])) || rest[n] == '_' ||
                (n > 0 && std::isdigit(static_cast<unsigned char>(rest[n])))))
            ++n;
        if (n == 0)
            return false;
        name = rest.substr(0, n);
        rest.remove_prefix(n);
        return true;
    }
    // A number in decimal or, after 0x, hexadecimal, as C writes it (a u or
    // l suffix allowed).
    bool take_number(uint64_t& value) {
        skip_blanks();
        int base = 10;
        if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
            base = 16;
            rest.remove_prefix(2);
        }
        auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value, base);
        if (error == std::errc::result_out_of_range)
            too_large = std::string(rest.data() - (base == 16 ? 2 : 0),
                                    static_cast<size_t>(end - rest.data()) + (base == 16 ? 2 : 0));
        if (error != std::errc{} || end == rest.data())
            return false;
        rest.remove_prefix(static_cast<size_t>(end - rest.data()));
        while (!rest.empty() &&
               (rest[0] == 'u' || rest[0] == 'U' || rest[0] == 'l' || rest[0] == 'L'))
            rest.remove_prefix(1);
        return rest.empty() || rest[0] == ' ' || rest[0] == '\t' || rest[0] == ')' ||
               rest[0] == '+';
    }
    bool at_end() {
        skip_blanks();
        return rest.empty();
    }
};

// "(THIRD_PARTY_EVENT_ID_MIN + N)", the parentheses and "+ N" optional.
bool take_third_party(Words& w, uint64_t& value) {
    bool parenthesis = w.take("(");
    std::string_view base;
    if (!w.take_name(base) || base != "THIRD_PARTY_EVENT_ID_MIN")
        return false;
    uint64_t offset = 0;
    if (w.take("+") && !w.take_number(offset))
        return false;
    if (offset > highest_number - third_party_min) {
        w.too_large = "THIRD_PARTY_EVENT_ID_MIN + " + std::to_string(offset);
        return false;
    }
    if (parenthesis && !w.take(")"))
        return false;
    value = third_party_min + offset;
    return true;
}

// A #define's value that is plainly no event's number: a string or
// character (a version, a title), a number with a fraction, a list in
// braces. Such lines are the header's own business.
bool names_no_event(std::string_view value) {
    size_t at = value.find_first_not_of(" \t");
    value.remove_prefix(std::min(at, value.size()));
    for (std::string_view prefix : {"u8", "L", "u", "U"})
        if (value.starts_with(prefix) && value.size() > prefix.size() &&
            (value[prefix.size()] == '"' || value[prefix.size()] == '\''))
            value.remove_prefix(prefix.size());
    if (value.empty())
        return false;
    if (value[0] == '"' || value[0] == '\'' || value[0] == '{')
        return true;
    size_t digits = 0;
    while (digits < value.size() && std::isdigit(static_cast<unsigned char>(value[digits])))
        ++digits;
    return digits > 0 && digits < value.size() && value[digits] == '.';
}

} // namespace

bool EventNames::read(const std::string& path) {
    Input input;
    if (!input.open(path))
        return false;
    LineReader reader(input.file());
    LineNotes bad(input.name(), "");
    in_comment_ = false;
    Line line;
    while (reader.next(line)) {
        if (line.overlong)
            bad.add(line.number, "not a name: a line of over 1 MiB");
        else
            read_line(line.text, line.number, bad);
    }
    if (reader.error() != 0) {
        complain("cannot read %s: %s", input.name().c_str(), std::strerror(reader.error()));
        return false;
    }
    say_skipped(input.name(), bad);
    return true;
}

void EventNames::read_text(std::string_view text, const std::string& file) {
    LineNotes bad(file, "");
    in_comment_ = false;
    uint64_t number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        read_line(line, ++number, bad);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    say_skipped(file, bad);
}

void EventNames::say_skipped(const std::string& file, const LineNotes& bad) const {
    if (bad.count() > 0)
        note("%s: %llu %s skipped; %llu %s read", file.c_str(),
             static_cast<unsigned long long>(bad.count()), plural(bad.count(), "line", "lines"),
             static_cast<unsigned long long>(names_.size()),
             plural(names_.size(), "name", "names"));
}

void EventNames::read_line(std::string_view text, uint64_t number, LineNotes& bad) {
    // A byte-order mark, as some editors save UTF-8, is no part of the first line.
    if (number == 1 && text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    // Comments blanked out: /* ... */, which may run over lines, and // ...
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (in_comment_) {
            if (text.compare(i, 2, "*/") == 0) {
                in_comment_ = false;
                ++i;
            }
        } else if (text.compare(i, 2, "/*") == 0) {
            in_comment_ = true;
            line += ' ';
            ++i;
        } else if (text.compare(i, 2, "//") == 0) {
            break;
        } else {
            line += text[i];
        }
    }
    Words w{line, {}};
    if (w.at_end())
        return;
    std::string_view name;
    uint64_t value = 0;
    bool named;
    std::string too_large;
    if (w.take("#")) {
        // Other preprocessor lines, and a #define without a value (a header's
        // guard), are passed over.
        if (!w.take("define") || !w.take_name(name) || w.at_end() || names_no_event(w.rest))
            return;
        Words as_number = w, as_offset = w;
        named = (as_number.take_number(value) && as_number.at_end()) ||
                (take_third_party(as_offset, value) && as_offset.at_end());
        too_large = !as_number.too_large.empty() ? as_number.too_large : as_offset.too_large;
    } else {
        named = w.take_name(name) && w.take_number(value) && w.at_end();
        too_large = w.too_large;
    }
    if (name == "THIRD_PARTY_EVENT_ID_MIN" || name == "THIRD_PARTY_EVENT_ID_MAX")
        return; // the bounds, which headers define for their names' sake
    std::string said = std::string(name) + ": ";
    if (named && value > highest_number) {
        named = false;
        too_large = std::to_string(value);
    }
    if (!named && !too_large.empty()) {
        bad.add(number, said + too_large +
                            " is too large for an add-on event's number (0x11000 to 0xFFFFFFFF)");
        return;
    }
    if (!named) {
        bad.add(number, "not a name: NAME NUMBER, #define NAME NUMBER or #define NAME "
                        "(THIRD_PARTY_EVENT_ID_MIN + N)");
        return;
    }
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%llX", static_cast<unsigned long long>(value));
    if (value < third_party_min) {
        std::string why = said + std::to_string(value) +
                          " is not an add-on event's number (0x11000 to 0xFFFFFFFF)";
        // The log shows an add-on event's number less 0x10000.
        if (value >= third_party_min - KEY_EVENT_BASE && value < third_party_min) {
            std::snprintf(hex, sizeof hex, "0x%llX",
                          static_cast<unsigned long long>(value + KEY_EVENT_BASE));
            why += std::string("; the log's id ") + std::to_string(value) + " is the number " + hex;
        }
        bad.add(number, why);
        return;
    }
    // The id the module writes: the number minus 0x10000, as signed 32 bits.
    auto id = static_cast<int32_t>(static_cast<uint32_t>(value - KEY_EVENT_BASE));
    auto [at, added] = names_.emplace(id, Named{std::string(name), number});
    if (!added && at->second.name != name)
        bad.add(number, said + hex + " is named " + at->second.name + " already, on line " +
                            std::to_string(at->second.line));
}

} // namespace kwlog
