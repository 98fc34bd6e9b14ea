// Where keywatch-log reads and writes: the log, by name or "-" for standard
// input; standard output; a file given with -o, written whole or not at all
// (atomic_replace.h). Every failure is said once, with the system's reason;
// a reader that has gone away (a closed pipe) ends the output quietly. The
// pieces these stand on, each with its Windows part beside its Linux part:
// messages.h, utf16.h, file_identity.h, atomic_replace.h, signals.h.
#pragma once

#include "atomic_replace.h"
#include "file_identity.h"
#include "messages.h"
#include "utf16.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace kwlog {

class Input {
  public:
    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input();
    // Opens the file, or standard input for "-". When it cannot, error() is
    // the errno, and with `say_why` the message is printed.
    bool open(const std::string& path, bool say_why = true);
    void close();
    std::FILE* file() const {
        return file_;
    }
    // The name for messages: the path, or "(standard input)".
    const std::string& name() const {
        return name_;
    }
    int error() const {
        return error_;
    }

  private:
    std::FILE* file_ = nullptr;
    bool is_stdin_ = false;
    std::string name_;
    int error_ = 0;
};

class Output {
  public:
    Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output(); // what was not closed is discarded

    // Standard output; with `text`, line feeds become CR LF on Windows.
    // Refused (with a message) when standard output is the file being read.
    bool open_stdout(const Input& input, bool text);
    // The file at `path` (none or "-": standard output, as binary). Refused
    // when it is the file being read.
    bool open_file(const std::string& path, const Input& input);

    void put(std::string_view text) {
        if (text.size() > capacity - used_)
            flush();
        if (text.size() <= capacity - used_) {
            std::memcpy(buffer_.get() + used_, text.data(), text.size());
            used_ += text.size();
        } else {
            write_out(text.data(), text.size());
        }
    }
    void put(char c) {
        if (used_ == capacity)
            flush();
        buffer_[used_++] = c;
    }
    void put_int(int64_t value);
    void put_time(int64_t micros);
    // Writing straight into the buffer: room() gives the place for up to
    // `size` bytes (at most a quarter of the buffer), and wrote() takes the
    // end of what was written there.
    char* room(size_t size) {
        if (capacity - used_ < size)
            flush();
        return buffer_.get() + used_;
    }
    void wrote(const char* end) {
        used_ = static_cast<size_t>(end - buffer_.get());
    }
    static constexpr size_t largest_room = 64 * 1024;
    // Writes out what is buffered once it is large; cheap to call often.
    void maybe_flush() {
        if (used_ >= capacity / 2)
            flush();
    }
    // Writes out what is buffered. False once any write has failed.
    bool flush();
    bool failed() const {
        return error_ != 0 || closed_pipe_;
    }
    // Standard output is a pipe whose reader has gone, though nothing was
    // written yet (only where the system can tell).
    bool reader_gone();

    // Writes out the rest, closes a file and renames it into place, and
    // says what failed. Returns `status` when all went well or the reader
    // went away, else 2.
    int close(int status);
    // Drops what is buffered and the temporary file.
    void discard();

  private:
    static constexpr size_t capacity = 256 * 1024;
    void write_out(const char* data, size_t size);
    void note_failure();

    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    std::FILE* file_ = nullptr;
    bool owned_ = false; // a file opened here, closed by close()
    bool to_stdout_ = false;
    std::string name_;         // for messages
    Replacement replacement_;  // with -o, the temporary file written meanwhile
    int error_ = 0;            // the errno of the first failed write
    bool closed_pipe_ = false; // the reader has gone away
};

} // namespace kwlog
