// keywatch-log's messages, on standard error: complain() begins with the
// program's name, note() does not (messages about a file's lines begin with
// the file's name). Text is UTF-8 within the program; on a Windows console
// it is written as UTF-16, so that a name in any language shows as it
// should.
#pragma once

namespace kwlog {

#ifdef __GNUC__
#define KWLOG_PRINTF __attribute__((format(printf, 1, 2)))
#else
#define KWLOG_PRINTF
#endif

void complain(const char* format, ...) KWLOG_PRINTF;
void note(const char* format, ...) KWLOG_PRINTF;

} // namespace kwlog
