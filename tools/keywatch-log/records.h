// The records of a keywatch log as keywatch-log reads them: the log
// format's (logformat/log_format.h, whose parser decides what counts as a
// record), with quick paths built on the same formats for the time that
// opens every record and for the common key-event line; and times written
// as the log writes them.
#pragma once

#include "bytes.h"
#include "logformat/log_format.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kwlog {

using logformat::is_event;
using logformat::Kind;
using logformat::kind_name;
using logformat::parse_record;
using logformat::Record;

// The same answers as parse_record, with a quick path for the key-event
// line, by far the most common.
bool parse_record_quickly(std::string_view line, Record& out);

// ---- The fronts the quick paths look for ---------------------------------------------

// Every record opens with `time_label`, a blank after it in the spaced
// formats, and its time is followed by `time_end` or, spaced,
// `spaced_time_end`. Formats that opened otherwise would be read by the
// general parser alone (quick_times false): slowly, but right.
constexpr std::string_view time_label = logformat::format_of(Kind::key).pieces[0].literal;
constexpr char time_end = logformat::format_of(Kind::key).after_time().front();
constexpr char spaced_time_end = logformat::format_of(Kind::user).after_time().front();
consteval bool every_record_opens_so() {
    for (const logformat::Format& f : logformat::formats) {
        std::string_view opening = f.pieces[0].literal;
        bool spaced = opening.size() == time_label.size() + 1 && opening.back() == ' ';
        if (!opening.starts_with(time_label) || (!spaced && opening != time_label) ||
            f.after_time().front() != (spaced ? spaced_time_end : time_end))
            return false;
    }
    return time_end != ' ' && time_end != spaced_time_end;
}
constexpr bool quick_times = every_record_opens_so();

// The eight bytes from a time's point, as one load: the point, six zeros
// and what ends the time.
constexpr uint64_t fraction_front(char end) {
    return 0x003030303030302E | uint64_t{static_cast<unsigned char>(end)} << 56;
}

// The whole seconds of the time read last, so that the next time with the
// same ones (most lines: they change once a second while lines come by the
// thousand) is not converted again.
struct SecondsSeen {
    uint64_t digits = UINT64_MAX; // as digits_on_top() gives them; no digits are so
    int64_t seconds = 0;
};

// The time at the front of a record, read quickly: " Time=SECONDS;" or
// " Time= SECONDS " (time_label and the ends above) with at most seven digits
// before the point. Returns the offset of what ends the time, where the rest
// of the record begins, or 0 when the line does not begin so (the general
// parser then decides).
// With a time so read, the rest alone decides the record's kind and fields.
// Inlined always: it runs for nearly every line, and a call costs a fifth of it.
[[gnu::always_inline]] inline size_t parse_time_quickly(std::string_view line, int64_t& micros,
                                                        SecondsSeen& seen) {
    // Eight-byte loads reach 24 bytes in (the label, a blank, seven digits,
    // eight bytes from the point, and two to spare); the shortest record is
    // longer.
    constexpr size_t reach = time_label.size() + 18;
    if (!quick_times || std::endian::native != std::endian::little || line.size() < reach)
        return 0;
    const char* p = line.data();
    if (std::memcmp(p, time_label.data(), time_label.size()) != 0)
        return 0;
    bool spaced = p[time_label.size()] == ' ';
    const char* digits = p + time_label.size() + spaced;
    uint64_t whole = digit_values(load8(digits));
    int count = digits_in(whole);
    if (count == 0 || count == 8)
        return 0;
    // The point, the six decimals and the time's end in one load: XOR with
    // ".000000;" (or ".000000 ") leaves the decimals their values and the
    // point and the end zero.
    uint64_t fraction = load8(digits + count) ^ fraction_front(spaced ? spaced_time_end : time_end);
    if ((not_digits(fraction) | (fraction & 0xFF000000000000FF)) != 0)
        return 0;
    if (uint64_t top = digits_on_top(whole, count); top != seen.digits) {
        seen.digits = top;
        seen.seconds = number_in_eight(top);
    }
    // Moved up a byte, the point's zero is a leading zero among eight digits.
    micros = seen.seconds * 1000000 + number_in_eight(fraction << 8);
    return static_cast<size_t>(digits - p) + static_cast<size_t>(count) + 7;
}
[[gnu::always_inline]] inline size_t parse_time_quickly(std::string_view line, int64_t& micros) {
    SecondsSeen once;
    return parse_time_quickly(line, micros, once);
}

// A time in microseconds as the log writes it: seconds with six decimals.
// Writes at most max_time_chars characters to buf and returns the count.
constexpr int max_time_chars = 28;
int format_time(char* buf, int64_t micros);

// "00" to "99": two digits at a time, three independent lookups for six
// decimals rather than six divisions in a row.
extern const char digit_pairs[201];
inline void put_six_digits(char* p, uint32_t n) {
    std::memcpy(p, digit_pairs + 2 * (n / 10000), 2);
    std::memcpy(p + 2, digit_pairs + 2 * (n / 100 % 100), 2);
    std::memcpy(p + 4, digit_pairs + 2 * (n % 100), 2);
}

// Writes times as format_time does, remembering the whole seconds of the
// last one: they change once a second while lines come by the thousand, so
// most times cost only their decimals. Needs max_time_chars of room.
class TimeWriter {
  public:
    int write(char* p, int64_t micros) {
        if (micros < 0)
            return format_time(p, micros);
        uint64_t whole = static_cast<uint64_t>(micros) / 1000000;
        if (whole != whole_) {
            whole_ = whole;
            size_ = static_cast<int>(std::to_chars(text_, text_ + sizeof text_, whole).ptr - text_);
            text_[size_] = '.';
        }
        std::memcpy(p, text_, sizeof text_);
        put_six_digits(p + size_ + 1,
                       static_cast<uint32_t>(static_cast<uint64_t>(micros) % 1000000));
        return size_ + 7;
    }

  private:
    uint64_t whole_ = UINT64_MAX;
    char text_[21] = {};
    int size_ = 0;
};
std::string time_text(int64_t micros);

} // namespace kwlog
