// What the system says about a file: whether something is at a path, and
// which file an open stream or a path is, so that two names of one file (a
// link, "dir/../file", standard output redirected to it) are known as one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kwlog {

// Whether something (a file, a folder) is at the path, and whether that is
// a file (or a link to one).
bool file_exists(const std::string& path);
bool is_file(const std::string& path);

// Which regular file a stream or a path is: its volume and its number
// there. Not known for anything but a regular file.
struct Identity {
    bool known = false;
    uint64_t volume = 0, index = 0;
    bool same_as(const Identity& other) const {
        return known && other.known && volume == other.volume && index == other.index;
    }
};
Identity identity_of(std::FILE* file);
Identity identity_of(const std::string& path);

} // namespace kwlog
