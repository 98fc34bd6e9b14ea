// Reading and playing scenario scripts. A script is read and checked whole
// first, so a mistake anywhere in it stops it before the module is touched.
#include "sim/scenario.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <thread>

#include "log/event_names.h"
#include "sim/keywatch_face.h"

namespace sim {

namespace {

// ---- Words of a line ------------------------------------------------------------------

struct Token {
    std::string text;
    bool quoted;
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Splits one line into bare words and quoted texts, up to a '#' outside
// quotes. Returns what is wrong, or an empty text.
std::string split_line(std::string_view line, std::vector<Token>& tokens) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && is_blank(line[i]))
            ++i;
        if (i == line.size() || line[i] == '#')
            return {};
        Token token{{}, line[i] == '"'};
        if (token.quoted) {
            ++i;
            while (true) {
                if (i == line.size())
                    return "unterminated quoted text: add the closing \"";
                char c = line[i++];
                if (c == '"')
                    break;
                if (c == '\\') {
                    if (i == line.size())
                        return "unterminated quoted text: add the closing \"";
                    c = line[i++];
                    if (c != '"' && c != '\\')
                        return std::string("unknown escape \\") + c +
                               " in quoted text: only \\\" and \\\\ are escapes";
                }
                token.text += c;
            }
            if (i < line.size() && !is_blank(line[i]) && line[i] != '#')
                return "text right after a closing quote: leave a blank between arguments";
        } else {
            while (i < line.size() && !is_blank(line[i]) && line[i] != '#') {
                if (line[i] == '"')
                    return "quote inside a word: put the whole text in quotes";
                token.text += line[i++];
            }
        }
        tokens.push_back(std::move(token));
    }
}

// ---- Numbers ----------------------------------------------------------------------------

enum class NumberKind { ok, not_a_number, out_of_range };

// A decimal or 0x-hex integer, with a leading '-' when `signed_allowed`.
// Anything past 2^40 is out of range for every caller.
NumberKind parse_integer(std::string_view text, bool signed_allowed, int64_t& value) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        if (!signed_allowed)
            return NumberKind::not_a_number;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return NumberKind::not_a_number;
    uint64_t magnitude = 0;
    bool too_big = false;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return NumberKind::not_a_number;
        if (magnitude > (uint64_t{1} << 40))
            too_big = true;
        else
            magnitude = magnitude * base + digit;
    }
    if (too_big)
        return NumberKind::out_of_range;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return NumberKind::ok;
}

// ---- Commands ---------------------------------------------------------------------------

struct Usage {
    const char* name;
    const char* usage;
};

// One row per command, in the order of the Action alternatives.
constexpr Usage usages[] = {
    {"answer", "answer title|type|model \"TEXT\" or answer title|type|model none"},
    {"start", "start"},
    {"stop", "stop"},
    {"event", "event NAME|NUMBER [DATA] [xN]"},
    {"sleep", "sleep SECONDS"},
    {"place", "place or place \"PARAMETERS\""},
    {"frame", "frame"},
    {"click", "click X Y"},
    {"hover", "hover X Y"},
    {"show", "show"},
    {"face", "face FILE.png"},
};

static_assert(std::size(usages) == std::variant_size_v<Action>);

const char* usage_of(std::string_view name) {
    for (const Usage& usage : usages)
        if (name == usage.name)
            return usage.usage;
    return nullptr;
}

std::string show_token(const Token& token) {
    return token.quoted ? "\"" + token.text + "\"" : "'" + token.text + "'";
}

// Reads one command from its words; `error` says what is wrong.
class LineReader {
  public:
    explicit LineReader(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::optional<Action> read(std::string& error) {
        const std::string name = tokens_[0].text;
        usage_ = tokens_[0].quoted ? nullptr : usage_of(name);
        if (usage_ == nullptr) {
            error = "unknown command " + show_token(tokens_[0]);
            return std::nullopt;
        }
        std::optional<Action> action = read_arguments(name);
        if (action && next_ < tokens_.size()) {
            fail("unexpected argument " + show_token(tokens_[next_]));
            action.reset();
        }
        if (!action)
            error = error_;
        return action;
    }

  private:
    std::optional<Action> read_arguments(const std::string& name) {
        using namespace command;
        if (name == "start")
            return Start{};
        if (name == "stop")
            return Stop{};
        if (name == "frame")
            return Frame{};
        if (name == "show")
            return Show{};
        if (name == "answer")
            return read_answer();
        if (name == "event")
            return read_event();
        if (name == "sleep")
            return read_sleep();
        if (name == "place") {
            if (next_ == tokens_.size())
                return Place{std::nullopt};
            if (!tokens_[next_].quoted)
                return fail("the parameter text must be in quotes");
            return Place{tokens_[next_++].text};
        }
        if (name == "click" || name == "hover") {
            int32_t x, y;
            if (!read_coordinate("X", x) || !read_coordinate("Y", y))
                return std::nullopt;
            return name == "click" ? Action{Click{x, y}} : Action{Hover{x, y}};
        }
        // face
        const Token* file = take("FILE.png");
        if (file == nullptr)
            return std::nullopt;
        if (file->text.empty())
            return fail("the file name is empty");
        return Face{file->text};
    }

    std::optional<Action> read_answer() {
        const Token* field = take_bare("title, type or model");
        if (field == nullptr)
            return std::nullopt;
        AircraftField which;
        if (field->text == "title")
            which = AircraftField::title;
        else if (field->text == "type")
            which = AircraftField::type;
        else if (field->text == "model")
            which = AircraftField::model;
        else
            return fail("unknown aircraft field '" + field->text + "': use title, type or model");
        const Token* text = take("\"TEXT\" or none");
        if (text == nullptr)
            return std::nullopt;
        if (text->quoted)
            return command::Answer{which, text->text};
        if (text->text == "none")
            return command::Answer{which, std::nullopt};
        return fail("the answer must be a quoted text or none, not '" + text->text + "'");
    }

    std::optional<Action> read_event() {
        const Token* what = take_bare("NAME|NUMBER");
        if (what == nullptr)
            return std::nullopt;
        command::Event event{0, 0, 1};
        const char first = what->text[0];
        if ((first >= '0' && first <= '9') || first == '-') {
            int64_t id = 0;
            NumberKind kind = parse_integer(what->text, true, id);
            if (kind == NumberKind::not_a_number)
                return fail("'" + what->text + "' is not an event number");
            if (kind == NumberKind::out_of_range || id < 0 || id > 0xFFFFFFFF)
                return fail("event number " + what->text + " is out of range (0 to 0xFFFFFFFF)");
            event.id = static_cast<uint32_t>(id);
        } else {
            const EventNameEntry* row = find_event(what->text);
            if (row == nullptr)
                return fail("unknown event name '" + what->text + "'");
            event.id = row->id;
        }
        if (next_ < tokens_.size() && !tokens_[next_].quoted && tokens_[next_].text[0] != 'x') {
            const std::string& text = tokens_[next_++].text;
            int64_t data = 0;
            NumberKind kind = parse_integer(text, true, data);
            if (kind == NumberKind::not_a_number)
                return fail("event data '" + text + "' is not a number");
            if (kind == NumberKind::out_of_range || data < -2147483648LL || data > 0xFFFFFFFFLL)
                return fail("event data " + text + " is out of range (-2147483648 to 4294967295)");
            event.data = static_cast<uint32_t>(data); // two's complement for negative data
        }
        if (next_ < tokens_.size() && !tokens_[next_].quoted && tokens_[next_].text[0] == 'x') {
            const std::string& text = tokens_[next_++].text;
            const std::string_view digits = std::string_view(text).substr(1);
            int64_t count = 0;
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
                return fail("'" + text + "' is not a repeat count: write xN, N a decimal number");
            if (parse_integer(digits, false, count) != NumberKind::ok || count < 1 ||
                count > max_repeat)
                return fail("repeat count " + text + " is out of range (x1 to x1000000)");
            event.repeat = static_cast<uint32_t>(count);
        }
        return event;
    }

    std::optional<Action> read_sleep() {
        const Token* seconds = take_bare("SECONDS");
        if (seconds == nullptr)
            return std::nullopt;
        const std::string& text = seconds->text;
        const bool digits_and_point = text.find_first_not_of("0123456789.") == std::string::npos &&
                                      text.find_first_of("0123456789") != std::string::npos &&
                                      std::count(text.begin(), text.end(), '.') <= 1;
        double value = 0;
        const char* end = text.data() + text.size();
        std::from_chars_result read{};
        if (digits_and_point)
            read = std::from_chars(text.data(), end, value);
        if (!digits_and_point || read.ec != std::errc{} || read.ptr != end)
            return fail("'" + text + "' is not a number of seconds: write e.g. 2 or 0.25");
        if (value > max_sleep_seconds)
            return fail("sleep of " + text + " seconds is out of range (0 to 3600)");
        return command::Sleep{value};
    }

    bool read_coordinate(const char* what, int32_t& out) {
        const Token* token = take_bare(what);
        if (token == nullptr)
            return false;
        int64_t value = 0;
        NumberKind kind = parse_integer(token->text, true, value);
        if (kind == NumberKind::not_a_number) {
            fail(std::string(what) + " '" + token->text + "' is not a whole number");
            return false;
        }
        if (kind == NumberKind::out_of_range || value < INT32_MIN || value > INT32_MAX) {
            fail(std::string(what) + " " + token->text + " is out of range");
            return false;
        }
        out = static_cast<int32_t>(value);
        return true;
    }

    static const EventNameEntry* find_event(const std::string& name) {
        for (size_t i = 0; i + 1 < event_name_rows; ++i)
            if (name == event_names[i].name)
                return &event_names[i];
        return nullptr;
    }

    // The next argument, quoted or not.
    const Token* take(const char* what) {
        if (next_ == tokens_.size()) {
            fail(std::string("missing ") + what);
            return nullptr;
        }
        return &tokens_[next_++];
    }

    // The next argument, which must be a bare word.
    const Token* take_bare(const char* what) {
        const Token* token = take(what);
        if (token != nullptr && token->quoted) {
            fail(std::string("expected ") + what + ", not quoted text " + show_token(*token));
            return nullptr;
        }
        return token;
    }

    std::nullopt_t fail(const std::string& what) {
        error_ = what + " (usage: " + usage_ + ")";
        return std::nullopt;
    }

    std::vector<Token> tokens_;
    size_t next_ = 1;
    const char* usage_ = nullptr;
    std::string error_;
};

std::string located(const std::string& script, int line, const std::string& what) {
    return script + ":" + std::to_string(line) + ": " + what;
}

} // namespace

// ---- Reading a script ---------------------------------------------------------------------

ParseResult parse_scenario(std::string_view text, std::string_view script_name) {
    ParseResult result;
    result.script.name = script_name;
    const std::string& name = result.script.name;
    bool placed = false; // a place line came before
    bool framed = false; // a frame line came before
    int line_number = 0;
    while (!text.empty()) {
        ++line_number;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        std::vector<Token> tokens;
        std::string error = split_line(line, tokens);
        if (error.empty() && tokens.empty())
            continue;
        std::optional<Action> action;
        if (error.empty())
            action = LineReader(std::move(tokens)).read(error);
        if (action) {
            // The gauge commands need what earlier lines set up.
            const bool needs_gauge = std::holds_alternative<command::Click>(*action) ||
                                     std::holds_alternative<command::Hover>(*action) ||
                                     std::holds_alternative<command::Frame>(*action);
            const bool needs_frame = std::holds_alternative<command::Show>(*action) ||
                                     std::holds_alternative<command::Face>(*action);
            const char* command = usages[action->index()].name;
            if (needs_gauge && !placed)
                error =
                    std::string(command) + " needs a placed gauge: add a 'place' line before it";
            else if (needs_frame && !framed)
                error = std::string(command) + " needs a drawn frame: add a 'frame' line before it";
            placed = placed || std::holds_alternative<command::Place>(*action);
            framed = framed || std::holds_alternative<command::Frame>(*action);
        }
        if (!error.empty()) {
            result.error = located(name, line_number, error);
            result.script.commands.clear();
            return result;
        }
        result.script.commands.push_back({line_number, std::move(*action)});
    }
    return result;
}

// ---- Playing a script -------------------------------------------------------------------------

namespace {

class Player {
  public:
    Player(Host& host, const Script& script, const RunOptions& options, std::ostream& out,
           std::ostream& err)
        : host_(host), script_(script), options_(options), out_(out), err_(err) {}

    int play() {
        for (const Command& command : script_.commands) {
            line_ = command.line;
            try {
                int status =
                    std::visit([this](const auto& action) { return run(action); }, command.action);
                if (status != 0)
                    return status;
            } catch (const HostError& error) {
                return fail(1, error.what());
            }
        }
        return 0;
    }

  private:
    int fail(int status, const std::string& what) {
        out_.flush();
        err_ << "keywatch-sim: " << located(script_.name, line_, what) << '\n';
        return status;
    }

    int run(const command::Answer& answer) {
        host_.set_answer(answer.field, answer.text);
        return 0;
    }
    int run(const command::Start&) {
        host_.start();
        return 0;
    }
    int run(const command::Stop&) {
        host_.stop();
        return 0;
    }
    int run(const command::Event& event) {
        for (uint32_t i = 0; i < event.repeat; ++i)
            host_.send_event(event.id, event.data);
        return 0;
    }
    int run(const command::Sleep& sleep) {
        std::this_thread::sleep_for(std::chrono::duration<double>(sleep.seconds));
        return 0;
    }
    int run(const command::Place& place) {
        host_.place(place.parameters);
        return 0;
    }
    int run(const command::Frame&) {
        if (!host_.placed())
            return fail(2, "frame needs a placed gauge: add a 'place' line before it");
        host_.frame();
        return 0;
    }
    int run(const command::Click& click) {
        if (!host_.placed())
            return fail(2, "click needs a placed gauge: add a 'place' line before it");
        host_.click(click.x, click.y);
        return 0;
    }
    int run(const command::Hover& hover) {
        if (!host_.placed())
            return fail(2, "hover needs a placed gauge: add a 'place' line before it");
        std::optional<std::string> tooltip = host_.hover(hover.x, hover.y);
        out_ << "tooltip: " << (tooltip ? *tooltip : "none") << '\n';
        return 0;
    }
    int run(const command::Show&) {
        if (!host_.panel().drawn())
            return fail(2, "show needs a drawn frame: add a 'frame' line before it");
        out_ << describe(read_keywatch_face(host_.panel()));
        return 0;
    }
    int run(const command::Face& face) {
        if (!host_.panel().drawn())
            return fail(2, "face needs a drawn frame: add a 'frame' line before it");
        std::filesystem::path path = face.path;
        if (path.is_relative() && !options_.face_directory.empty())
            path = std::filesystem::path(options_.face_directory) / path;
        std::string error;
        if (!host_.panel().write_png(path.string(), error))
            return fail(1, "cannot write " + path.string() + ": " + error);
        return 0;
    }

    Host& host_;
    const Script& script_;
    const RunOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    int line_ = 0;
};

} // namespace

int run_scenario(Host& host, const Script& script, const RunOptions& options, std::ostream& out,
                 std::ostream& err) {
    return Player(host, script, options, out, err).play();
}

} // namespace sim
