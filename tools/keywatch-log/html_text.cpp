// Log texts and numbers into HTML (see html_text.h).
#include "html_text.h"
#include "records.h"

#include <charconv>

namespace kwlog {
namespace {

// Windows-1252 from 0x80 to 0x9F; 0 where the code page has no character.
// From 0xA0 up it is Latin-1, the same numbers as Unicode.
constexpr uint16_t windows_1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr uint32_t replacement = 0xFFFD;

void append_utf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the valid UTF-8 sequence of two bytes or more at the front
// of `s`, or 0 when it is none.
size_t utf8_length(std::string_view s) {
    auto at = [&](size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
    auto follows = [&](size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return at(i) >= low && at(i) <= high;
    };
    unsigned lead = at(0);
    if (lead >= 0xC2 && lead <= 0xDF)
        return follows(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        // No overlong forms (E0 80..9F) and no surrogates (ED A0..BF).
        bool second = lead == 0xE0   ? follows(1, 0xA0)
                      : lead == 0xED ? follows(1, 0x80, 0x9F)
                                     : follows(1);
        return second && follows(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        bool second = lead == 0xF0   ? follows(1, 0x90)
                      : lead == 0xF4 ? follows(1, 0x80, 0x8F)
                                     : follows(1);
        return second && follows(2) && follows(3) ? 4 : 0;
    }
    return 0;
}

} // namespace

void append_html(std::string& out, std::string_view text, size_t most) {
    size_t shown = 0;
    for (size_t i = 0; i < text.size(); ++shown) {
        if (shown == most) {
            out += "\u2026";
            return;
        }
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (size_t n = c >= 0x80 ? utf8_length(text.substr(i)) : 0; n > 0) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        ++i;
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (c >= 0xA0)
                append_utf8(out, c);
            else if (c >= 0x80)
                append_utf8(out,
                            windows_1252[c - 0x80] != 0 ? windows_1252[c - 0x80] : replacement);
            else if ((c < 0x20 && c != '\t') || c == 0x7F)
                append_utf8(out, replacement);
            else
                out += static_cast<char>(c);
        }
    }
}

void append_number(std::string& out, int64_t value) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

void append_number(std::string& out, uint64_t value) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

void append_tenths(std::string& out, int64_t tenths) {
    if (tenths < 0) {
        out += '-';
        tenths = -tenths;
    }
    append_number(out, tenths / 10);
    if (tenths % 10 != 0) {
        out += '.';
        out += static_cast<char>('0' + tenths % 10);
    }
}

void append_time(std::string& out, int64_t micros) {
    char buf[max_time_chars];
    out.append(buf, static_cast<size_t>(format_time(buf, micros)));
}

} // namespace kwlog
