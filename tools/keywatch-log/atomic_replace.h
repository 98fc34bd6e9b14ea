// A file given with -o is written whole or not at all: into a temporary
// file beside it, renamed into place only when all went well, so that a
// failed run leaves an earlier file as it was. Through a symbolic link, the
// file the link names is replaced, not the link. A file the user may not
// write (read-only) is refused, as the shell's > refuses it, though the
// folder would let it be replaced.
#pragma once

#include <cstdio>
#include <string>

namespace kwlog {

// How a path given with -o is written.
enum class Target {
    replace,  // a regular file, or none yet: through a temporary file beside it
    direct,   // a device, a pipe, a dangling link: written as it is
    directory // refused
};
// How `path` is written. A symbolic link is followed: `path` becomes the
// path of the file it names.
Target target_of(std::string& path);

class Replacement {
  public:
    Replacement() = default;
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement() {
        abandon();
    }
    // A new temporary file beside `target`, with the target's permissions,
    // open for writing; null when the target may not be written or no
    // temporary file can be made (errno says why; refused_temp() tells the
    // two apart). A run ended by a signal removes it (signals.h).
    std::FILE* create(const std::string& target);
    // After create() failed: the temporary file that could not be made in
    // a folder that is there, or "" when the cause was the target itself
    // or a folder that is not there.
    const std::string& refused_temp() const {
        return refused_;
    }
    // Renames the temporary file, closed by then, into place. False, with
    // the system's reason, when that fails; the temporary file is then
    // removed.
    bool commit(std::string& reason);
    // Removes the temporary file, if there is one.
    void abandon();
    bool pending() const {
        return !temp_.empty();
    }

  private:
    std::string target_, temp_, refused_;
};

} // namespace kwlog
