// The Linux text-mode stream at the edge of its output buffer. Line feeds
// grow by a byte on the way out, so a line feed that lands on the buffer's
// last byte needs room for two. A write one byte past the end would leave
// the file's bytes right: this program is built with AddressSanitizer in
// every Linux build (tests/CMakeLists.txt), which stops it there.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/kit/temporary_directory.h"

namespace {

std::string with_cr_lf(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? "\r\n" : std::string(1, c);
    return out;
}

// Each piece is flushed on its own, so it reaches the stream's writer whole
// and starts at the front of its buffer. Plain runs of every length around
// one and two buffers long, then one or two line feeds, put a line feed on
// each position from a little before the buffer's end to a little after,
// once after plain bytes and once after another line feed.
TEST(TextStream, LineFeedsOnEveryPositionAroundTheBufferEdge) {
    TemporaryDirectory folder("keywatch-text-");
    const std::string path = (folder.path() / "text.log").string();
    FILE* stream = open_text_stream(path.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    std::string written;
    for (size_t around : {2048u, 4096u})
        for (size_t plain = around - 12; plain <= around + 4; ++plain)
            for (const char* tail : {"\n", "\n\n"}) {
                const std::string piece = std::string(plain, 'x') + tail;
                ASSERT_EQ(std::fwrite(piece.data(), 1, piece.size(), stream), piece.size());
                ASSERT_EQ(std::fflush(stream), 0);
                written += piece;
            }
    ASSERT_EQ(std::fclose(stream), 0);
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    EXPECT_TRUE(bytes.str() == with_cr_lf(written)) << "the file's bytes differ";
}

} // namespace
