// Parsing and writing records by their formats' pieces (see log_format.h).
#include "logformat/log_format.h"

#include <charconv>
#include <cstring>

namespace logformat {
namespace {

constexpr size_t none = std::string_view::npos;

bool is_digit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// The digits of `text` from `at`, at most `most` of them: their count (most
// + 1 when there are more), and their value.
size_t digits_at(std::string_view text, size_t at, size_t most, int64_t& value) {
    size_t count = 0;
    value = 0;
    for (; at + count < text.size() && is_digit(text[at + count]); ++count) {
        if (count == most)
            return most + 1;
        value = value * 10 + (text[at + count] - '0');
    }
    return count;
}

// A time as %f prints it, from `at`: digits, a point and six decimals, kept
// as whole microseconds, which must fit 64 bits. Returns where it ends, or
// none.
size_t read_time(std::string_view line, size_t at, int64_t& micros) {
    int64_t whole = 0, fraction = 0;
    size_t digits = digits_at(line, at, 13, whole);
    if (digits == 0 || digits > 13 || whole > (INT64_MAX - 999999) / 1000000)
        return none;
    size_t point = at + digits;
    if (line.size() - point < 7 || line[point] != '.' ||
        digits_at(line, point + 1, 6, fraction) != 6)
        return none;
    micros = whole * 1000000 + fraction;
    return point + 7;
}

// A number as %d prints it, from `at`: an optional minus and at most ten
// digits, within 32 bits. Returns where it ends, or none.
size_t read_number(std::string_view line, size_t at, int32_t& value) {
    size_t sign = at < line.size() && line[at] == '-' ? 1 : 0;
    int64_t v = 0;
    size_t digits = digits_at(line, at + sign, 10, v);
    if (sign == 1)
        v = -v;
    if (digits == 0 || digits > 10 || v < INT32_MIN || v > INT32_MAX)
        return none;
    value = static_cast<int32_t>(v);
    return at + sign + digits;
}

bool literal_at(std::string_view line, size_t at, std::string_view literal) {
    return line.size() - at >= literal.size() &&
           std::memcmp(line.data() + at, literal.data(), literal.size()) == 0;
}

// The last place in [begin, end) where `literal` lies whole, or none.
size_t last_within(std::string_view line, size_t begin, size_t end, std::string_view literal) {
    if (end - begin < literal.size())
        return none;
    for (size_t at = end - literal.size() + 1; at-- > begin;)
        if (line[at] == literal[0] &&
            std::memcmp(line.data() + at, literal.data(), literal.size()) == 0)
            return at;
    return none;
}

// The line after its time, from `at`, as the rest of format `f`. From the
// left up to its first text; then from the right, each field after that
// text running from the last place its literal is found, so that the first
// text takes what is left between.
bool parse_rest(const Format& f, std::string_view line, size_t at, Record& out) {
    size_t i = 1, numbers = 0;
    for (; i < f.count; ++i) {
        const Piece& piece = f.pieces[i];
        if (!literal_at(line, at, piece.literal))
            return false;
        at += piece.literal.size();
        if (piece.field == Field::text)
            break;
        if (piece.field == Field::number &&
            (at = read_number(line, at, out.*f.numbers[numbers++])) == none)
            return false;
    }
    if (i == f.count)
        return at == line.size();
    size_t end = line.size(), number = f.number_count, text = f.text_count;
    for (size_t j = f.count - 1; j > i; --j) {
        const Piece& piece = f.pieces[j];
        if (piece.field == Field::none) {
            if (end - at < piece.literal.size() ||
                !literal_at(line, end - piece.literal.size(), piece.literal))
                return false;
            end -= piece.literal.size();
            continue;
        }
        size_t found = last_within(line, at, end, piece.literal);
        if (found == none)
            return false;
        size_t from = found + piece.literal.size();
        if (piece.field == Field::number) {
            if (read_number(line.substr(0, end), from, out.*f.numbers[--number]) != end)
                return false;
        } else {
            out.*f.texts[--text] = line.substr(from, end - from);
        }
        end = found;
    }
    std::string_view& first = out.*f.texts[--text];
    first = line.substr(at, end - at);
    return !(f.named && first.empty());
}

void append_time(std::string& out, int64_t micros) {
    uint64_t v = static_cast<uint64_t>(micros);
    if (micros < 0) {
        out += '-';
        v = 0 - v;
    }
    char buf[32];
    char* point = std::to_chars(buf, buf + sizeof buf, v / 1000000).ptr;
    // A one and six digits, the one then overwritten by the point.
    char* end = std::to_chars(point, buf + sizeof buf, v % 1000000 + 1000000).ptr;
    *point = '.';
    out.append(buf, end);
}

} // namespace

bool parse_record(std::string_view line, Record& out) {
    // Formats that open with the same literal read the time alike: it is
    // read once for each opening met.
    struct Opening {
        std::string_view literal;
        size_t after; // where the time ends, or none
        int64_t micros;
    };
    Opening read[kind_count];
    size_t openings = 0;
    for (const Format& f : formats) {
        std::string_view literal = f.pieces[0].literal;
        Opening* o = read;
        while (o < read + openings && o->literal != literal)
            ++o;
        if (o == read + openings) {
            *o = Opening{literal, none, 0};
            ++openings;
            if (literal_at(line, 0, literal))
                o->after = read_time(line, literal.size(), o->micros);
        }
        if (o->after != none && parse_rest(f, line, o->after, out)) {
            out.kind = f.kind;
            out.micros = o->micros;
            out.time = line.substr(literal.size(), o->after - literal.size());
            return true;
        }
    }
    return false;
}

std::string record_line(const Record& record) {
    const Format& f = format_of(record.kind);
    std::string line;
    size_t numbers = 0, texts = 0;
    for (size_t i = 0; i < f.count; ++i) {
        line += f.pieces[i].literal;
        switch (f.pieces[i].field) {
        case Field::time:
            append_time(line, record.micros);
            break;
        case Field::number:
            line += std::to_string(record.*f.numbers[numbers++]);
            break;
        case Field::text:
            line += record.*f.texts[texts++];
            break;
        case Field::none:
            break;
        }
    }
    return line;
}

} // namespace logformat
