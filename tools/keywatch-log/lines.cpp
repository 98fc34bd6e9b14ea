// Reading a stream as blocks of whole lines and as lines (see lines.h).
#include "lines.h"

#include <cerrno>

namespace kwlog {

// ---- Blocks -----------------------------------------------------------------------

BlockReader::BlockReader(std::FILE* file, size_t size)
    : file_(file), size_(size), carry_(new char[size]) {}

// Reads until `room` is full or the stream ends.
size_t BlockReader::read_into(char* to, size_t room) {
    size_t got = 0;
    while (got < room && !eof_) {
        size_t n = std::fread(to + got, 1, room - got, file_);
        if (n == 0) {
            // Once at the end, never read again: a terminal would wait for more.
            eof_ = true;
            if (std::ferror(file_))
                error_ = errno != 0 ? errno : EIO;
        }
        got += n;
    }
    return got;
}

bool BlockReader::next(Block& block) {
    if (!block.bytes)
        block.bytes.reset(new char[size_]);
    block.overlong = false;
    block.ended = true;
    std::memcpy(block.bytes.get(), carry_.get(), carried_);
    size_t size = carried_ + read_into(block.bytes.get() + carried_, size_ - carried_);
    carried_ = 0;
    if (error_ != 0 || size == 0)
        return false;
    // Whole lines: up to the last LF; the rest is carried to the next block.
    const char* bytes = block.bytes.get();
    size_t end = size;
    while (end > 0 && bytes[end - 1] != '\n')
        --end;
    if (end > 0 || size < size_) {
        if (end == 0) { // the stream's last line, without a line end
            end = size;
            block.ended = false;
        }
        carried_ = size - end;
        std::memcpy(carry_.get(), bytes + end, carried_);
        block.size = block.length = end;
        return true;
    }
    // A full block and no line end: a line too long to keep. Read on to its
    // end, and carry what follows it.
    block.size = 0;
    block.length = size;
    block.overlong = true;
    block.ended = false;
    for (;;) {
        size = read_into(block.bytes.get(), size_);
        const auto* lf = static_cast<const char*>(std::memchr(bytes, '\n', size));
        if (lf != nullptr) {
            size_t line_end = static_cast<size_t>(lf - bytes) + 1;
            block.length += line_end;
            block.ended = true;
            carried_ = size - line_end;
            std::memcpy(carry_.get(), bytes + line_end, carried_);
            return true;
        }
        block.length += size;
        if (size < size_)
            return error_ == 0;
    }
}

// ---- Lines ------------------------------------------------------------------------

LineReader::LineReader(std::FILE* file, size_t size) : blocks_(file, size) {}

bool LineReader::next(Line& line) {
    while (at_ >= block_.size) {
        if (!blocks_.next(block_))
            return false;
        at_ = 0;
        if (block_.overlong) {
            offset_ += block_.length;
            line = Line{{}, ++lines_, true, block_.ended};
            return true;
        }
    }
    const char* start = block_.bytes.get() + at_;
    size_t rest = block_.size - at_;
    const auto* lf = static_cast<const char*>(std::memchr(start, '\n', rest));
    size_t length = lf != nullptr ? static_cast<size_t>(lf - start) : rest;
    size_t taken = lf != nullptr ? length + 1 : length;
    at_ += taken;
    offset_ += taken;
    if (length > 0 && start[length - 1] == '\r')
        --length;
    line = Line{std::string_view(start, length), ++lines_, false, lf != nullptr};
    return true;
}

} // namespace kwlog
