// keywatch-sim: plays a scenario script against a keywatch module file, the
// way the simulator would load and drive it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>

#include "sim/host.h"
#include "sim/scenario.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* default_module_name = "keywatch_x64.dll";
#else
constexpr const char* default_module_name = "keywatch_x64.so";
#endif

constexpr const char* usage_text = R"(usage: keywatch-sim [--module FILE] [--dir DIR] SCENARIO
       keywatch-sim --help

Loads a keywatch module file as the simulator does and plays SCENARIO
(a file, or - for standard input) against it.

  --module FILE  the module file (default: keywatch_x64.so on Linux,
                 keywatch_x64.dll on Windows, beside this program)
  --dir DIR      working directory of the simulator, where the module
                 writes Key_Events_Sent.log (default: the current directory;
                 created if missing)

)";

constexpr const char* usage_tail = R"(
The whole script is checked before anything runs: a bad line is reported
as SCENARIO:LINE and nothing is loaded. A module still started at the end
is stopped as the simulator stops it when it exits: the stop routine first,
then DLLStop.

Exit status: 0 done; 1 the module could not be loaded or a command failed;
2 bad usage or a bad script.
)";

int usage_error(const std::string& what) {
    std::cerr << "keywatch-sim: " << what << "\n(keywatch-sim --help shows the usage)\n";
    return 2;
}

fs::path program_directory() {
#ifdef _WIN32
    char path[MAX_PATH * 4] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return fs::current_path();
    return fs::path(path).parent_path();
#else
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path() : self.parent_path();
#endif
}

bool read_script(const std::string& name, std::string& text) {
    if (name == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        text = all.str();
        return !std::cin.bad();
    }
    std::ifstream file(name, std::ios::binary);
    if (!file)
        return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Output lines end in LF on both targets.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    std::string module_file, directory, scenario;
    bool have_scenario = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << usage_text << sim::scenario_help() << usage_tail;
            return 0;
        }
        if (arg == "--module" || arg == "--dir") {
            if (i + 1 == argc)
                return usage_error(arg + " needs a value");
            (arg == "--module" ? module_file : directory) = argv[++i];
            if ((arg == "--module" ? module_file : directory).empty())
                return usage_error(arg + " needs a non-empty value");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option " + arg);
        } else if (have_scenario) {
            return usage_error("one scenario at a time (got " + scenario + " and " + arg + ")");
        } else {
            scenario = arg;
            have_scenario = true;
        }
    }
    if (!have_scenario)
        return usage_error("no scenario given");

    std::string text;
    if (!read_script(scenario, text)) {
        std::cerr << "keywatch-sim: cannot read " << scenario << '\n';
        return 2;
    }
    const std::string script_name = scenario == "-" ? "stdin" : scenario;
    sim::ParseResult parsed = sim::parse_scenario(text, script_name);
    if (!parsed.ok()) {
        std::cerr << "keywatch-sim: " << parsed.error << '\n';
        return 2;
    }

    std::error_code error;
    const fs::path start_directory = fs::current_path();
    const fs::path module_path =
        module_file.empty() ? program_directory() / default_module_name : fs::absolute(module_file);
    if (!directory.empty()) {
        fs::create_directories(directory, error);
        if (!error)
            fs::current_path(directory, error);
        if (error) {
            std::cerr << "keywatch-sim: cannot work in " << directory << ": " << error.message()
                      << '\n';
            return 1;
        }
    }

    try {
        sim::Host host(module_path.string());
        sim::RunOptions options{start_directory.string()};
        int status = sim::run_scenario(host, parsed.script, options, std::cout, std::cerr);
        std::cout.flush();
        return status;
    } catch (const sim::HostError& failure) {
        std::cerr << "keywatch-sim: " << failure.what() << '\n';
        return 1;
    }
}
