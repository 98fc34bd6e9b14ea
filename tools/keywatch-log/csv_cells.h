// Text cells of keywatch-log's CSV (csv, diff --csv) that a spreadsheet
// would run. A spreadsheet reads a cell that begins with =, +, - or @ as a
// formula (and one that begins with a tab or CR, once it has dropped
// them), and a formula can fetch from the network or start programs; the
// texts of a log (an event's name, an aircraft's title, a path) are
// anyone's to write. Such a cell is written with a single quote before
// its text, inside its double quotes, the usual mark of text that is not a
// formula. Numbers (the data, -1 among them) are written as they are.
#pragma once

#include <string_view>

namespace kwlog {

inline bool runs_as_formula(std::string_view text) {
    if (text.empty())
        return false;
    char c = text[0];
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

} // namespace kwlog
