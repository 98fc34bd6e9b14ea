// Event name patterns, for follow's --only and --hide. A pattern matches
// anywhere in the name, letter case counting: * stands for any text, ? for
// one character, and | separates alternatives ("GEAR|FLAPS", "KEY_AP_*_HOLD").
// Matching takes time linear in the name's length for a given pattern,
// whatever the name holds, and no recursion.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kwlog {

class NamePattern {
  public:
    // The pattern, or nothing with `error` saying what is wrong with it.
    static std::optional<NamePattern> parse(std::string_view text, std::string& error);
    bool matches(std::string_view name) const;

  private:
    // Each alternative is the pieces between its stars, in order; a piece
    // may hold '?'.
    std::vector<std::vector<std::string>> alternatives_;
};

} // namespace kwlog
