// log-mask: a keywatch log as the checkers compare it, for the checkers
// that are not C++ (the scenarios' golden-file check and the comparison of
// the two targets' logs).
//
//   log-mask [--module NAME] FILE
//
// Prints FILE with each time masked as T (and, with --module, each module
// path as MODULE, which must name the module file NAME) and each CR LF line
// break as LF. Exits 1, naming each fault on standard error, when a time or
// path is not what a record puts there or a line break is not CR LF; 2 when
// the command line is wrong or FILE cannot be read.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "tests/kit/log_mask.h"

int main(int argc, char** argv) {
    std::optional<std::string_view> module_file;
    const char* file = nullptr;
    bool usage_ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--module" && i + 1 < argc) {
            module_file = argv[++i];
        } else if (file == nullptr && !arg.starts_with("-")) {
            file = argv[i];
        } else {
            usage_ok = false;
        }
    }
    if (!usage_ok || file == nullptr) {
        std::cerr << "usage: log-mask [--module NAME] FILE\n";
        return 2;
    }
    std::error_code error;
    std::ifstream in(file, std::ios::binary);
    if (!std::filesystem::is_regular_file(file, error) || !in) {
        std::cerr << "log-mask: cannot read " << file << "\n";
        return 2;
    }
    const std::string log{std::istreambuf_iterator<char>(in), {}};

    MaskedLog masked = mask_log(log, module_file);
    // Every line break of the log is CR LF; no other CR or LF stands alone.
    size_t line = 1;
    std::string folded;
    folded.reserve(masked.text.size());
    for (size_t i = 0; i < masked.text.size(); ++i) {
        const char c = masked.text[i];
        const bool pair = c == '\r' && i + 1 < masked.text.size() && masked.text[i + 1] == '\n';
        if (c == '\n' || (c == '\r' && !pair))
            masked.faults.push_back("line " + std::to_string(line) + ": a " +
                                    (c == '\n' ? "line feed" : "carriage return") +
                                    " outside a CR LF pair");
        if (pair)
            ++i;
        if (pair || c == '\n')
            ++line;
        folded += pair ? '\n' : c;
    }

#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // the LFs as they are, not CR LF again
#endif
    std::fwrite(folded.data(), 1, folded.size(), stdout);
    std::fflush(stdout);
    for (const std::string& fault : masked.faults)
        std::cerr << file << ": " << fault << "\n";
    return masked.faults.empty() ? 0 : 1;
}
