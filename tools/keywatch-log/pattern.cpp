// Matching event names against a pattern (see pattern.h).
//
// An alternative is pieces joined by stars, with a star before the first and
// after the last, as it may match anywhere. Such a pattern matches when each
// piece is found after the one before; taking each at its leftmost place
// never loses a match, as it leaves the most room for the pieces after it. So
// one pass from left to right decides, comparing each piece at most once per
// position of the name.
#include "pattern.h"

namespace kwlog {
namespace {

bool allowed(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '*' || c == '?' || c == '|';
}

bool piece_at(std::string_view name, size_t at, const std::string& piece) {
    for (size_t i = 0; i < piece.size(); ++i)
        if (piece[i] != '?' && piece[i] != name[at + i])
            return false;
    return true;
}

// The leftmost place at or after `from` where the piece stands, or npos.
size_t find_piece(std::string_view name, size_t from, const std::string& piece) {
    if (piece.find('?') == std::string::npos)
        return name.find(piece, from);
    for (size_t at = from; at + piece.size() <= name.size(); ++at)
        if (piece_at(name, at, piece))
            return at;
    return std::string_view::npos;
}

} // namespace

std::optional<NamePattern> NamePattern::parse(std::string_view text, std::string& error) {
    for (char c : text) {
        if (!allowed(c)) {
            error = "'" + std::string(text) +
                    "' is not a name pattern: it may hold letters, digits, _ and * ? |";
            return std::nullopt;
        }
    }
    NamePattern pattern;
    size_t begin = 0;
    for (;;) {
        size_t bar = text.find('|', begin);
        std::string_view alternative = text.substr(begin, bar - begin);
        if (alternative.empty()) {
            error =
                "'" + std::string(text) + "' has an empty alternative, which matches every name";
            return std::nullopt;
        }
        std::vector<std::string> pieces;
        size_t from = 0;
        for (;;) {
            size_t star = alternative.find('*', from);
            std::string_view piece = alternative.substr(from, star - from);
            if (!piece.empty())
                pieces.emplace_back(piece);
            if (star == std::string_view::npos)
                break;
            from = star + 1;
        }
        pattern.alternatives_.push_back(std::move(pieces));
        if (bar == std::string_view::npos)
            break;
        begin = bar + 1;
    }
    return pattern;
}

bool NamePattern::matches(std::string_view name) const {
    for (const auto& pieces : alternatives_) {
        size_t at = 0;
        bool found = true;
        for (const std::string& piece : pieces) {
            size_t place = find_piece(name, at, piece);
            if (place == std::string_view::npos) {
                found = false;
                break;
            }
            at = place + piece.size();
        }
        if (found)
            return true;
    }
    return false;
}

} // namespace kwlog
