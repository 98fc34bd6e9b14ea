// Names for add-ons' own events (--names FILE). The module writes every
// add-on event as User_Defined_Event with its number, so the number is all
// a log tells of it; an add-on's published header names them. A names file
// holds, one a line:
//
//   NAME NUMBER
//   #define NAME NUMBER
//   #define NAME (THIRD_PARTY_EVENT_ID_MIN + N)     THIRD_PARTY_EVENT_ID_MIN is 0x11000
//
// with numbers in decimal or hexadecimal (0x...). Blank lines, comments and
// the header's other preprocessor lines (#ifndef, #define GUARD, #endif)
// are passed over; any other line is bad, reported as FILE:LINE and
// skipped. A named event shows as "NAME (User_Defined_Event)", so the log's
// own name stays in sight.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace kwlog {

class LineNotes;

class EventNames {
  public:
    // Reads a names file, reporting its bad lines on standard error. False
    // (with a message) when it cannot be read.
    bool read(const std::string& path);
    // Reads names from text, for `read` and tests; `file` names it in messages.
    void read_text(std::string_view text, const std::string& file);
    // The name to show for an event: "NAME (User_Defined_Event)" for an
    // add-on event named here, else the log's own.
    std::string_view shown(int32_t id, std::string_view name) const {
        if (names_.empty() || name != user_defined)
            return name;
        auto found = names_.find(id);
        return found != names_.end() ? std::string_view(found->second.shown) : name;
    }
    // The name the file gives an add-on event, or nullptr.
    const std::string* name_of(int32_t id) const {
        auto found = names_.find(id);
        return found != names_.end() ? &found->second.name : nullptr;
    }
    size_t size() const {
        return names_.size();
    }
    static constexpr std::string_view user_defined = "User_Defined_Event";

  private:
    void read_line(std::string_view text, uint64_t number, LineNotes& bad);
    void say_skipped(const std::string& file, const LineNotes& bad) const;

    struct Named {
        Named(std::string name, uint64_t line)
            : name(std::move(name)), shown(this->name + " (User_Defined_Event)"), line(line) {}
        std::string name;
        std::string shown; // NAME (User_Defined_Event)
        uint64_t line;     // where it was named
    };
    // By the id the log writes: the event's number minus 0x10000.
    std::unordered_map<int32_t, Named> names_;
    bool in_comment_ = false; // within /* ... */ at the line's start
};

} // namespace kwlog
