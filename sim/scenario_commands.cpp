// The scenario commands: for each, its name, the ways to write it, what an
// earlier line must have done, how its arguments are read and what it does.
// The table at the end is the only list of them.
#include "sim/scenario_commands.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "log/event_names.h"
#include "sim/keywatch_face.h"

namespace sim {

namespace {

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

std::string show_token(const Token& token) {
    return token.quoted ? "\"" + token.text + "\"" : "'" + token.text + "'";
}

} // namespace

// ---- Arguments --------------------------------------------------------------------------

// The words after a command's name, read one by one. What is wrong is said
// with the command's usage.
class Arguments {
  public:
    // `name_words` of the words are the command's name.
    Arguments(std::vector<Token> words, size_t name_words, const CommandRow& row)
        : words_(std::move(words)), next_(name_words), row_(row) {}

    // The next argument, if there is one, without taking it.
    const Token* peek() const {
        return next_ < words_.size() ? &words_[next_] : nullptr;
    }

    // The next argument, quoted or not.
    const Token* take(const char* what) {
        if (next_ == words_.size()) {
            fail(std::string("missing ") + what);
            return nullptr;
        }
        return &words_[next_++];
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

    // A whole number that fits a gauge pixel coordinate.
    std::optional<int32_t> coordinate(const char* what) {
        const Token* token = take_bare(what);
        if (token == nullptr)
            return std::nullopt;
        int64_t value = 0;
        NumberKind kind = parse_integer(token->text, true, value);
        if (kind == NumberKind::not_a_number)
            return fail(std::string(what) + " '" + token->text + "' is not a whole number");
        if (kind == NumberKind::out_of_range || value < INT32_MIN || value > INT32_MAX)
            return fail(std::string(what) + " " + token->text + " is out of range");
        return static_cast<int32_t>(value);
    }

    std::nullopt_t fail(const std::string& what) {
        error_ = what + " (usage: " + row_.usage() + ")";
        return std::nullopt;
    }
    const std::string& error() const {
        return error_;
    }

  private:
    std::vector<Token> words_;
    size_t next_; // the first argument
    const CommandRow& row_;
    std::string error_;
};

namespace {

// ---- Reading each command ---------------------------------------------------------------

template <class T> std::optional<T> read_nothing(Arguments&) {
    return T{};
}

std::optional<command::Answer> read_answer(Arguments& args) {
    const Token* field = args.take_bare("title, type or model");
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
        return args.fail("unknown aircraft field '" + field->text + "': use title, type or model");
    const Token* text = args.take("\"TEXT\" or none");
    if (text == nullptr)
        return std::nullopt;
    if (text->quoted)
        return command::Answer{which, text->text};
    if (text->text == "none")
        return command::Answer{which, std::nullopt};
    return args.fail("the answer must be a quoted text or none, not '" + text->text + "'");
}

std::optional<command::ComponentStart> read_component_start(Arguments& args) {
    const Token* which = args.peek();
    if (which == nullptr)
        return command::ComponentStart{true};
    if (which->quoted || which->text != "no-panels")
        return args.fail("unknown argument " + show_token(*which) + ": only no-panels");
    args.take("no-panels");
    return command::ComponentStart{false};
}

const EventNameEntry* find_event(const std::string& name) {
    for (size_t i = 0; i + 1 < event_name_rows; ++i)
        if (name == event_names[i].name)
            return &event_names[i];
    return nullptr;
}

std::optional<command::Event> read_event(Arguments& args) {
    const Token* what = args.take_bare("NAME|NUMBER");
    if (what == nullptr)
        return std::nullopt;
    command::Event event{0, 0, 1};
    const char first = what->text[0];
    if ((first >= '0' && first <= '9') || first == '-') {
        int64_t id = 0;
        NumberKind kind = parse_integer(what->text, true, id);
        if (kind == NumberKind::not_a_number)
            return args.fail("'" + what->text + "' is not an event number");
        if (kind == NumberKind::out_of_range || id < 0 || id > 0xFFFFFFFF)
            return args.fail("event number " + what->text + " is out of range (0 to 0xFFFFFFFF)");
        event.id = static_cast<uint32_t>(id);
    } else {
        const EventNameEntry* row = find_event(what->text);
        if (row == nullptr)
            return args.fail("unknown event name '" + what->text + "'");
        event.id = row->id;
    }
    // DATA, then xN, each optional; a repeat count is told by its x.
    const Token* next = args.peek();
    if (next != nullptr && !next->quoted && next->text[0] != 'x') {
        const std::string& text = args.take("DATA")->text;
        int64_t data = 0;
        NumberKind kind = parse_integer(text, true, data);
        if (kind == NumberKind::not_a_number)
            return args.fail("event data '" + text + "' is not a number");
        if (kind == NumberKind::out_of_range || data < -2147483648LL || data > 0xFFFFFFFFLL)
            return args.fail("event data " + text + " is out of range (-2147483648 to 4294967295)");
        event.data = static_cast<uint32_t>(data); // two's complement for negative data
    }
    next = args.peek();
    if (next != nullptr && !next->quoted && next->text[0] == 'x') {
        const std::string& text = args.take("xN")->text;
        const std::string_view digits = std::string_view(text).substr(1);
        int64_t count = 0;
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
            return args.fail("'" + text + "' is not a repeat count: write xN, N a decimal number");
        if (parse_integer(digits, false, count) != NumberKind::ok || count < 1 ||
            count > max_repeat)
            return args.fail("repeat count " + text + " is out of range (x1 to x1000000)");
        event.repeat = static_cast<uint32_t>(count);
    }
    return event;
}

std::optional<command::Sleep> read_sleep(Arguments& args) {
    const Token* seconds = args.take_bare("SECONDS");
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
        return args.fail("'" + text + "' is not a number of seconds: write e.g. 2 or 0.25");
    if (value > max_sleep_seconds)
        return args.fail("sleep of " + text + " seconds is out of range (0 to 3600)");
    return command::Sleep{value};
}

std::optional<command::Place> read_place(Arguments& args) {
    const Token* parameters = args.peek();
    if (parameters == nullptr)
        return command::Place{std::nullopt};
    if (!parameters->quoted)
        return args.fail("the parameter text must be in quotes");
    return command::Place{args.take("\"PARAMETERS\"")->text};
}

template <class T> std::optional<T> read_point(Arguments& args) {
    const std::optional<int32_t> x = args.coordinate("X");
    if (!x)
        return std::nullopt;
    const std::optional<int32_t> y = args.coordinate("Y");
    if (!y)
        return std::nullopt;
    return T{*x, *y};
}

std::optional<command::Face> read_face(Arguments& args) {
    const Token* file = args.take("FILE.png");
    if (file == nullptr)
        return std::nullopt;
    if (file->text.empty())
        return args.fail("the file name is empty");
    return command::Face{file->text};
}

// ---- Playing each command ---------------------------------------------------------------

void play_answer(const command::Answer& answer, Stage& stage) {
    stage.host.set_answer(answer.field, answer.text);
}

void play_start(const command::Start&, Stage& stage) {
    stage.host.start();
}

void play_stop(const command::Stop&, Stage& stage) {
    stage.host.stop();
}

void play_component_start(const command::ComponentStart& start, Stage& stage) {
    stage.host.start_component(start.with_services);
}

void play_component_stop(const command::ComponentStop&, Stage& stage) {
    stage.host.stop_component();
}

void play_event(const command::Event& event, Stage& stage) {
    for (uint32_t i = 0; i < event.repeat; ++i)
        stage.host.send_event(event.id, event.data);
}

void play_sleep(const command::Sleep& sleep, Stage&) {
    std::this_thread::sleep_for(std::chrono::duration<double>(sleep.seconds));
}

void play_place(const command::Place& place, Stage& stage) {
    stage.host.place(place.parameters);
}

void play_frame(const command::Frame&, Stage& stage) {
    stage.host.frame();
}

void play_click(const command::Click& click, Stage& stage) {
    stage.host.click(click.x, click.y);
}

void play_hover(const command::Hover& hover, Stage& stage) {
    std::optional<std::string> tooltip = stage.host.hover(hover.x, hover.y);
    stage.out << "tooltip: " << (tooltip ? *tooltip : "none") << '\n';
}

void play_show(const command::Show&, Stage& stage) {
    stage.out << describe(read_keywatch_face(stage.host.panel()));
}

void play_face(const command::Face& face, Stage& stage) {
    std::filesystem::path path = face.path;
    if (path.is_relative() && !stage.options.face_directory.empty())
        path = std::filesystem::path(stage.options.face_directory) / path;
    std::string error;
    if (!stage.host.panel().write_png(path.string(), error))
        throw std::runtime_error("cannot write " + path.string() + ": " + error);
}

// ---- The table ----------------------------------------------------------------------------

template <class T, size_t I = 0> consteval size_t alternative_of() {
    if constexpr (std::is_same_v<std::variant_alternative_t<I, Action>, T>)
        return I;
    else
        return alternative_of<T, I + 1>();
}

// A row whose reader gives a T and whose player takes one.
template <class T, std::optional<T> (*Read)(Arguments&), void (*Play)(const T&, Stage&)>
constexpr CommandRow row(std::string_view name, Needs needs, CommandForm form,
                         CommandForm other = {}) {
    return {name,
            needs,
            {form, other},
            alternative_of<T>(),
            [](Arguments& args) -> std::optional<Action> {
                std::optional<T> command = Read(args);
                if (!command)
                    return std::nullopt;
                return Action{std::move(*command)};
            },
            [](const Action& action, Stage& stage) { Play(std::get<T>(action), stage); }};
}

constexpr CommandRow table[] = {
    row<command::Answer, read_answer, play_answer>(
        "answer", Needs::nothing,
        {"title|type|model \"TEXT\"", "what the aircraft queries answer from now on"},
        {"title|type|model none", "leave that query unanswered (the default)"}),
    row<command::Start, read_nothing<command::Start>, play_start>(
        "start", Needs::nothing,
        {"", "the start routine, as the simulator calls\nit when a panel that names the gauge is\n"
             "built"}),
    row<command::Stop, read_nothing<command::Stop>, play_stop>(
        "stop", Needs::nothing,
        {"", "the stop routine, as when that panel goes\n(the gauge is killed first)"}),
    row<command::ComponentStart, read_component_start, play_component_start>(
        "component start", Needs::nothing,
        {"", "load the module as a DLL component: the\nservice table into Panels, then DLLStart"},
        {"no-panels", "DLLStart with Panels left null (a host\nthat offers no service table)"}),
    row<command::ComponentStop, read_nothing<command::ComponentStop>, play_component_stop>(
        "component stop", Needs::nothing, {"", "DLLStop, as at the simulator's exit"}),
    row<command::Event, read_event, play_event>("event", Needs::nothing,
                                                {"NAME|NUMBER [DATA] [xN]",
                                                 "a key event to every registered handler;\n"
                                                 "NUMBER up to 0xFFFFFFFF, DATA from\n"
                                                 "-2147483648 to 4294967295 (default 0),\n"
                                                 "xN repeats it N times (1 to 1000000)"}),
    row<command::Sleep, read_sleep, play_sleep>("sleep", Needs::nothing,
                                                {"SECONDS", "wait, e.g. 0.25 (up to 3600)"}),
    row<command::Place, read_place, play_place>(
        "place", Needs::nothing, {"", "place the gauge, with no parameter string"},
        {"\"PARAMETERS\"", "place the gauge with that parameter string\n(\"\" is an empty one)"}),
    row<command::Frame, read_nothing<command::Frame>, play_frame>(
        "frame", Needs::placed_gauge, {"", "pre-update, update and draw every gauge"}),
    row<command::Click, read_point<command::Click>, play_click>(
        "click", Needs::placed_gauge, {"X Y", "left click on the first gauge (gauge pixels)"}),
    row<command::Hover, read_point<command::Hover>, play_hover>(
        "hover", Needs::placed_gauge, {"X Y", "print \"tooltip: TEXT\" or \"tooltip: none\""}),
    row<command::Show, read_nothing<command::Show>, play_show>(
        "show", Needs::drawn_frame,
        {"", "print \"icon: ON|OFF\" and \"counter: TEXT\"\nas last drawn"}),
    row<command::Face, read_face, play_face>("face", Needs::drawn_frame,
                                             {"FILE.png",
                                              "write the face as last drawn; a relative\n"
                                              "FILE is taken from the directory the\n"
                                              "program was started in, not from DIR"}),
};

static_assert(std::size(table) == std::variant_size_v<Action>);
consteval bool in_action_order() {
    for (size_t i = 0; i < std::size(table); ++i)
        if (table[i].alternative != i)
            return false;
    return true;
}
static_assert(in_action_order(), "the rows must be in the order of the Action alternatives");

} // namespace

std::string CommandRow::written(size_t i) const {
    std::string text(name);
    if (!forms[i].arguments.empty())
        text += " " + std::string(forms[i].arguments);
    return text;
}

std::string CommandRow::usage() const {
    std::string usage = written(0);
    if (form_count() == 2)
        usage += " or " + written(1);
    return usage;
}

std::span<const CommandRow> command_table() {
    return table;
}

namespace {

// How many words a command's name has when `words` begin with it; 0 when
// they do not.
size_t name_words(std::string_view name, const std::vector<Token>& words) {
    size_t count = 0;
    for (bool more = true; more; ++count) {
        const size_t blank = name.find(' ');
        more = blank != std::string_view::npos;
        if (count == words.size() || words[count].quoted ||
            words[count].text != name.substr(0, blank))
            return 0;
        name.remove_prefix(more ? blank + 1 : name.size());
    }
    return count;
}

// A line whose words begin no command's name; its first word may be the
// first of some.
std::string unknown_command(const std::vector<Token>& words) {
    std::vector<std::string_view> names;
    for (const CommandRow& row : table)
        if (!words[0].quoted && row.name.starts_with(words[0].text + " "))
            names.push_back(row.name);
    if (names.empty())
        return "unknown command " + show_token(words[0]);
    std::string error = words.size() == 1
                            ? "incomplete command " + show_token(words[0])
                            : "unknown command '" + words[0].text + " " + words[1].text + "'";
    for (size_t i = 0; i < names.size(); ++i)
        error += (i == 0 ? ": use " : i + 1 < names.size() ? ", " : " or ") + std::string(names[i]);
    return error;
}

} // namespace

std::optional<Action> read_command(std::vector<Token> words, std::string& error) {
    size_t taken = 0;
    const auto command = std::find_if(std::begin(table), std::end(table), [&](const CommandRow& c) {
        taken = name_words(c.name, words);
        return taken > 0;
    });
    if (command == std::end(table)) {
        error = unknown_command(words);
        return std::nullopt;
    }
    Arguments args(std::move(words), taken, *command);
    std::optional<Action> action = command->read(args);
    if (action && args.peek() != nullptr) {
        args.fail("unexpected argument " + show_token(*args.peek()));
        action.reset();
    }
    if (!action)
        error = args.error();
    return action;
}

} // namespace sim
