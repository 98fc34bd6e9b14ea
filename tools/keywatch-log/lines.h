// Reading a stream as lines, through buffers of fixed size whatever the
// stream's size. The stream is cut into blocks of whole lines, which can be
// split into lines apart from the reading (the log reader parses blocks on
// two threads); the line reader hands the lines out one by one.
//
// A line ends at LF; one CR before it is dropped, so CR LF and LF logs read
// the same. The last line needs no line end. A line that does not fit a
// block (1 MiB with its line end) is overlong: it is skipped to its end, and
// only its place is kept.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace kwlog {

constexpr size_t block_size = size_t{1} << 20;

struct Block {
    std::unique_ptr<char[]> bytes; // block_size of them
    size_t size = 0;               // whole lines; at the stream's end, the last may lack its LF
    uint64_t length = 0;           // the stream's bytes it stands for (an overlong line's all)
    bool overlong = false;         // one line longer than a block, of which nothing is kept
    bool ended = true;             // the last line's LF was read
};

class BlockReader {
  public:
    explicit BlockReader(std::FILE* file, size_t size = block_size);
    // The next block; false at the end of the stream or on a read error.
    bool next(Block& block);
    size_t size() const {
        return size_;
    }
    // The errno of a failed read, 0 if none failed.
    int error() const {
        return error_;
    }

  private:
    size_t read_into(char* to, size_t room);
    std::FILE* file_;
    size_t size_;
    std::unique_ptr<char[]> carry_; // the start of a line the last block cut
    size_t carried_ = 0;
    bool eof_ = false;
    int error_ = 0;
};

struct Line {
    std::string_view text; // without its line end; empty for an overlong line
    uint64_t number = 0;   // counted from 1
    bool overlong = false; // longer than a block; its text is skipped
    bool ended = false;    // its line feed was read (the log's last line has none)
};

class LineReader {
  public:
    explicit LineReader(std::FILE* file, size_t size = block_size);
    // False at the end of the stream or on a read error (see error()).
    bool next(Line& line);
    // The bytes read so far, up to the end of the last line returned.
    uint64_t offset() const {
        return offset_;
    }
    int error() const {
        return blocks_.error();
    }

  private:
    BlockReader blocks_;
    Block block_;
    size_t at_ = 0;
    uint64_t offset_ = 0, lines_ = 0;
};

} // namespace kwlog
