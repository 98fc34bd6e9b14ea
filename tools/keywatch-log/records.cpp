// The quick path for the key-event line, and times written as the log
// writes them (see records.h).
#include "records.h"
#include "bytes.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace kwlog {
namespace {

// The key-event format, whose fields the quick path reads where the format
// puts them: after the time, ID_LABEL N NAME_LABEL NAME DATA_LABEL N. A
// format of another shape would leave the line to the general parser.
constexpr const logformat::Format& key_format = logformat::format_of(Kind::key);
constexpr std::string_view id_label = key_format.pieces[1].literal;   // "; id="
constexpr std::string_view name_label = key_format.pieces[2].literal; // "; event_in="
constexpr std::string_view data_label = key_format.pieces[3].literal; // "; evdata="
constexpr bool quick_keys = key_format.count == 4 &&
                            key_format.pieces[1].field == logformat::Field::number &&
                            key_format.pieces[2].field == logformat::Field::text &&
                            key_format.pieces[3].field == logformat::Field::number;

// The key-event line, by far the most common, read with eight-byte loads
// at the places the format puts its fields. It answers only when sure: a
// line it does not take (a short one, a number of eight digits or more, any
// other kind) goes to the general parser, which gives the same answers.
//
// After the time, from the ';' that ends it: "; id=N; event_in=NAME; evdata=N"
// (id_label, name_label and data_label above).
bool quick_rest(std::string_view line, size_t at, Record& out) {
    const char* p = line.data() + at;
    const char* end = line.data() + line.size();
    if (std::memcmp(p, id_label.data(), id_label.size()) != 0)
        return false;
    p += id_label.size();
    bool negative = *p == '-';
    p += negative;
    uint64_t values = digit_values(load8(p));
    int digits = digits_in(values);
    if (digits == 0 || digits == 8)
        return false;
    int64_t id = number_in_top(values, digits);
    p += digits;
    // Room for "; event_in=", a name, "; evdata=" and a digit.
    constexpr ptrdiff_t room = static_cast<ptrdiff_t>(name_label.size() + data_label.size()) + 2;
    if (end - p < room || std::memcmp(p, name_label.data(), name_label.size()) != 0)
        return false;
    const char* name = p + name_label.size();
    // The data runs to the end: the digits in the last eight bytes, after
    // their last byte that is no digit.
    values = digit_values(load8(end - 8));
    uint64_t stop = not_digits(values);
    if (stop == 0)
        return false;
    int last_other = (63 - std::countl_zero(stop)) / 8;
    digits = 7 - last_other;
    if (digits == 0)
        return false;
    int64_t data = number_in_top(values >> (8 * (last_other + 1)), digits);
    const char* separator = end - digits - static_cast<ptrdiff_t>(data_label.size());
    if (end[-digits - 1] == '-') {
        data = -data;
        --separator;
    }
    if (separator <= name || std::memcmp(separator, data_label.data(), data_label.size()) != 0)
        return false;
    out.kind = Kind::key;
    out.id = static_cast<int32_t>(negative ? -id : id);
    out.data = static_cast<int32_t>(data);
    out.name = std::string_view(name, static_cast<size_t>(separator - name));
    return true;
}

bool parse_key_quickly(std::string_view line, Record& out) {
    int64_t micros = 0;
    // " Time=0.000000; id=0; event_in=X; evdata=0" is the shortest.
    size_t at =
        quick_keys && line.size() >= key_format.shortest() ? parse_time_quickly(line, micros) : 0;
    if (at == 0 || !quick_rest(line, at, out))
        return false;
    out.micros = micros;
    out.time = line.substr(time_label.size(), at - time_label.size());
    return true;
}

} // namespace

bool parse_record_quickly(std::string_view line, Record& out) {
    return parse_key_quickly(line, out) || parse_record(line, out);
}

const char digit_pairs[201] = "0001020304050607080910111213141516171819"
                              "2021222324252627282930313233343536373839"
                              "4041424344454647484950515253545556575859"
                              "6061626364656667686970717273747576777879"
                              "8081828384858687888990919293949596979899";

int format_time(char* buf, int64_t micros) {
    char* p = buf;
    uint64_t v = static_cast<uint64_t>(micros);
    if (micros < 0) {
        *p++ = '-';
        v = 0 - v;
    }
    p = std::to_chars(p, buf + max_time_chars, v / 1000000).ptr;
    *p = '.';
    put_six_digits(p + 1, static_cast<uint32_t>(v % 1000000));
    return static_cast<int>(p + 7 - buf);
}

std::string time_text(int64_t micros) {
    char buf[max_time_chars];
    return std::string(buf, static_cast<size_t>(format_time(buf, micros)));
}

} // namespace kwlog
