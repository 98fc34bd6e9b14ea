// The built module file read as the simulator reads it: its exported records
// as raw bytes at the simulator's offsets, written out here rather than taken
// from the module's own declarations (the header and Linkage, the face's
// elements, the mouse list), and its routines and callbacks called through
// the same offsets. Every byte of a record that no row names must be zero.

#include <cstring>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace {

using Bytes = uint8_t*;

template <typename T> T get(const void* record, size_t at) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(record) + at, sizeof value);
    return value;
}
template <typename T> void put(void* record, size_t at, T value) {
    std::memcpy(static_cast<uint8_t*>(record) + at, &value, sizeof value);
}
Bytes ptr(const void* record, size_t at) {
    return get<Bytes>(record, at);
}

// One field: its little-endian bytes, or (empty) any non-null pointer.
struct Field {
    size_t at;
    std::string bytes;
};
template <typename T> std::string le(T value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}
const std::string P;
std::string pair(int32_t a, int32_t b) {
    return le(a) + le(b);
}

void check(const char* what, const void* record, size_t size, const std::vector<Field>& fields) {
    ASSERT_NE(record, nullptr) << what;
    const auto* bytes = static_cast<const uint8_t*>(record);
    std::vector<bool> named(size);
    for (const Field& f : fields) {
        const size_t n = f.bytes.empty() ? 8 : f.bytes.size();
        if (f.bytes.empty())
            EXPECT_NE(ptr(record, f.at), nullptr) << what << " pointer at " << f.at;
        else
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + f.at), n), f.bytes)
                << what << " at " << f.at;
        std::fill_n(named.begin() + std::ptrdiff_t(f.at), n, true);
    }
    for (size_t i = 0; i < size; ++i)
        EXPECT_TRUE(named[i] || bytes[i] == 0) << what << " byte " << i << " is not zero";
}

// ---- The fake simulator's services: each remembers the root it was given ----

Bytes roots[7];
uintptr_t extras[7];
template <int N> int32_t service(Bytes root) {
    roots[N] = root;
    return N + 10;
}
template <int N, typename Extra> int32_t service2(Bytes root, Extra extra) {
    extras[N] = uintptr_t(extra);
    return service<N>(root);
}
int32_t (*handler)(uint32_t, uint32_t, void*);
void register_handler(decltype(handler) h, void*) {
    handler = h;
}
void unregister_handler(decltype(handler), void*) {
    handler = nullptr;
}
int32_t calculator(const char*, double*, int32_t*, const char**) {
    return 0;
}

// The module file loaded afresh for each test, by the platform's own loader,
// and the records reached from its two exported symbols. The fixture owns
// the loaded file, so that it goes whichever assertion ends a test: a test
// that fails leaves the next one a fresh module, not its count and texts.
class RecordsTest : public WorkingDirectoryTest {
  protected:
    void SetUp() override {
        WorkingDirectoryTest::SetUp();
        handler = nullptr; // what an earlier test registered went with its module
        module_.emplace(KEYWATCH_MODULE_FILE);
        linkage_ = Bytes(module_->symbol("Linkage"));
        import_ = Bytes(module_->symbol("ImportTable"));
        ASSERT_NE(linkage_, nullptr);
        ASSERT_NE(import_, nullptr);
    }

    void TearDown() override {
        module_.reset(); // before the working directory goes: it may hold the log open
        WorkingDirectoryTest::TearDown();
    }

    // The records, each reached the way the simulator reaches it; null where
    // a pointer on the way is.
    Bytes header() const {
        return ptr(linkage_, 32);
    }
    Bytes background() const {
        return header() == nullptr || ptr(header(), 12) == nullptr ? nullptr
                                                                   : ptr(ptr(header(), 12), 0);
    }
    static Bytes next(Bytes element) {
        return element == nullptr || ptr(element, 48) == nullptr ? nullptr
                                                                 : ptr(ptr(element, 48), 0);
    }
    Bytes icon() const {
        return next(background());
    }
    Bytes counter() const {
        return next(icon());
    }
    Bytes mouse() const {
        return header() == nullptr ? nullptr : ptr(header(), 132);
    }
    // The argument list of mouse entry `index` (from 0): the Activate
    // tooltip's is entry 5, the counter's entry 8.
    Bytes tooltip_args(size_t index = 8) const {
        return mouse() == nullptr ? nullptr : ptr(mouse() + 52 * index, 44);
    }

    std::optional<sim::LoadedModule> module_;
    Bytes linkage_ = nullptr;
    Bytes import_ = nullptr;
};

TEST_F(RecordsTest, LinkageImportTableAndGaugeHeader) {
    check("Linkage", linkage_, 48, {{0, le(0x13)}, {4, P}, {12, P}, {28, le(0x900)}, {32, P}});
    check("ImportTable", import_, 24, {{0, le(0xF)}});
    ASSERT_NE(header(), nullptr);
    // clang-format off
    check("gauge header", header(), 352,
          {{0, le(800)}, {4, P}, {12, P}, {20, P}, {28, P}, {36, P}, {44, P}, {52, P},
           {60, P}, {68, P}, {84, le(150)}, {132, P}, {140, P}});
    // clang-format on
    EXPECT_STREQ(reinterpret_cast<const char*>(ptr(header(), 4)), "keywatch");
}

// The tree: background -> icon -> counter, each list ended by null, each
// element pointing back at the header.
TEST_F(RecordsTest, FaceElements) {
    ASSERT_NE(counter(), nullptr) << "the tree is broken before the counter";
    EXPECT_EQ(ptr(ptr(background(), 48), 8), nullptr);
    EXPECT_EQ(ptr(ptr(icon(), 48), 8), nullptr);
    const std::string to_header = le(header());
    check("background", background(), 148,
          {{4, le(256)}, {32, to_header}, {48, P}, {64, le(0x83)}});
    // clang-format off
    check("icon", icon(), 176,
          {{0, le(4)}, {4, le(512)}, {8, pair(0, 21)}, {32, to_header}, {48, P},
           {64, le(0x83)}, {116, le(3)}, {136, le(2)}, {164, P}});
    check("counter", counter(), 420,
          {{0, le(2)}, {4, le(-1)}, {8, pair(12, 55)}, {32, to_header}, {64, le(0x87)},
           {244, pair(110, 20)}, {268, le(0xFFFFFF)}, {336, "Glass Gauge"}, {368, le(500)},
           {372, le(uint8_t(1))}, {376, le(0x11)}, {380, le(uint16_t(21))}, {404, P}});
    // clang-format on
}

// The mouse list: type, box, cursor, flags, argument count or event, text;
// entries with a text or click function have a pointer at 36, the
// Activate and counter tooltips an argument list at 44.
TEST_F(RecordsTest, MouseListAndTooltipArgument) {
    ASSERT_NE(mouse(), nullptr);
    struct Entry {
        int32_t type, x, y, w, h, cursor;
        uint32_t flags, count;
        const char* text;
    };
    const Entry entries[14] = {
        {1, 0, 0, 0, 0, -1, 0, 0, nullptr},      {1, 72, 10, 55, 43, -1, 0, 0, nullptr},
        {4, 0, 0, 0, 0, -1, 0, 0, "Reset"},      {3, 0, 0, 0, 0, -1, 0, 0, nullptr},
        {1, 5, 10, 61, 43, -1, 0, 0, nullptr},   {4, 0, 0, 0, 0, -1, 0, 1, "Activate%1!s!"},
        {3, 0, 0, 0, 0, -1, 0, 0, nullptr},      {1, 1, 55, 128, 24, -1, 0, 0, nullptr},
        {4, 0, 0, 0, 0, -1, 0, 1, "%1!s!"},      {3, 0, 0, 0, 0, -1, 0, 0, nullptr},
        {2, 72, 20, 55, 33, 5, 1u << 29, 0, ""}, {2, 5, 20, 61, 33, 5, 1u << 29, 0, ""},
        {3, 0, 0, 0, 0, -1, 0, 0, nullptr},      {0, 0, 0, 0, 0, -1, 0, 0, nullptr},
    };
    for (size_t i = 0; i < 14; ++i) {
        const Entry& e = entries[i];
        const Bytes entry = mouse() + 52 * i;
        std::vector<Field> fields = {{0, le(e.type)},    {4, pair(e.x, e.y)}, {12, pair(e.w, e.h)},
                                     {20, le(e.cursor)}, {28, le(e.flags)},   {32, le(e.count)}};
        if (e.text != nullptr)
            fields.push_back({36, P});
        if (e.count != 0)
            fields.push_back({44, P});
        check(("mouse entry " + std::to_string(i + 1)).c_str(), entry, 52, fields);
        if (e.text != nullptr && e.type == 4) {
            EXPECT_STREQ(reinterpret_cast<const char*>(ptr(entry, 36)), e.text);
        }
    }
    check("Activate's tooltip argument", tooltip_args(5), 100, {{92, P}});
    check("the counter's tooltip argument", tooltip_args(8), 100, {{92, P}});
}

// The seven routines through a service table of our own, then the module
// started so that key events reach it, and its callbacks called through the
// records' offsets as the simulator calls them.
TEST_F(RecordsTest, RoutinesAndCallbacksThroughTheOffsets) {
    ASSERT_NE(counter(), nullptr);
    ASSERT_NE(tooltip_args(), nullptr);
    std::vector<uint8_t> table(0x280);
    const size_t slots[7] = {0xB0, 0xB8, 0xC0, 0xC8, 0xD0, 0xD8, 0xE8};
    put(table.data(), slots[0], &service<0>);
    put(table.data(), slots[1], &service2<1, void*>);
    put(table.data(), slots[2], &service<2>);
    put(table.data(), slots[3], &service<3>);
    put(table.data(), slots[4], &service2<4, uint32_t>);
    put(table.data(), slots[5], &service<5>);
    put(table.data(), slots[6], &service<6>);
    put(table.data(), 0x218, &calculator);
    put(table.data(), 0x270, &register_handler);
    put(table.data(), 0x278, &unregister_handler);
    put(import_, 4, table.data());
    const Bytes header = this->header();
    for (int i = 0; i < 7; ++i) {
        const Bytes routine = ptr(header, 20 + 8 * size_t(i));
        int32_t result = i == 1   ? reinterpret_cast<int32_t (*)(void*)>(routine)(module_->handle())
                         : i == 4 ? reinterpret_cast<int32_t (*)(uint32_t)>(routine)(3)
                                  : reinterpret_cast<int32_t (*)()>(routine)();
        EXPECT_EQ(result, i + 10) << "routine " << i;
        EXPECT_EQ(roots[i], background()) << "routine " << i;
    }
    EXPECT_EQ(extras[1], uintptr_t(module_->handle()));
    EXPECT_EQ(extras[4], 3u);

    reinterpret_cast<void (*)()>(ptr(linkage_, 4))();
    ASSERT_NE(handler, nullptr);
    const Bytes icon = this->icon(), counter = this->counter();
    auto icon_value = [&] { return reinterpret_cast<double (*)(Bytes)>(ptr(icon, 164))(icon); };
    // A tooltip argument's text, as the simulator asks for it.
    auto argument_text = [&](Bytes args) {
        return std::string(
            reinterpret_cast<const char* (*)(double, int32_t, const char*, void*, void*)>(
                ptr(args, 92))(0, 0, nullptr, args, header));
    };
    auto tooltip = [&] { return argument_text(tooltip_args(8)); };
    // The counter's text, written into a copy of its record whose buffer is
    // `length` bytes followed by guard bytes.
    auto counter_text = [&](uint16_t length) {
        std::vector<uint8_t> copy(counter, counter + 420);
        std::vector<char> buffer(length + 8u, char(0xA5));
        put(copy.data(), 228, buffer.data());
        put(copy.data(), 380, length);
        reinterpret_cast<double (*)(Bytes)>(ptr(counter, 404))(copy.data());
        EXPECT_EQ(std::string(buffer.begin() + length, buffer.end()), std::string(8, char(0xA5)));
        return std::string(buffer.data(), strnlen(buffer.data(), length));
    };
    auto click = [&](size_t entry) {
        int32_t point[2] = {0, 0};
        reinterpret_cast<int32_t (*)(int32_t*, uint32_t)>(ptr(mouse() + 52 * entry, 36))(point,
                                                                                         1u << 29);
    };
    EXPECT_EQ(icon_value(), 1.0);
    EXPECT_EQ(tooltip(), "(null)");
    EXPECT_EQ(argument_text(tooltip_args(5)), ""); // the log opened in the working folder
    EXPECT_EQ(counter_text(21), "Events = 00000");
    EXPECT_EQ(counter_text(10), "Events = ");
    EXPECT_EQ(counter_text(1), "");

    // An axis event counts once the service callback has read a parameter
    // string at byte 156 of the header it is given.
    handler(0x100E2, 0, nullptr);
    EXPECT_EQ(counter_text(21), "Events = 00000");
    std::vector<uint8_t> instance(header, header + 352);
    put(instance.data(), 156, "on");
    reinterpret_cast<void (*)(Bytes, int32_t, uintptr_t)>(ptr(header, 140))(instance.data(), 6, 0);
    handler(0x100E2, 0, nullptr);
    EXPECT_EQ(counter_text(21), "Events = 00001");
    EXPECT_EQ(tooltip(), "KEY_AXIS_ELEVATOR_SET");

    click(11); // Activate: logging off
    EXPECT_EQ(icon_value(), 0.0);
    click(10); // Reset: a fresh log, logging on, the counter zeroed
    EXPECT_EQ(icon_value(), 1.0);
    EXPECT_EQ(counter_text(21), "Events = 00000");

    reinterpret_cast<void (*)()>(ptr(linkage_, 12))();
    EXPECT_EQ(handler, nullptr);
}

// The stand-in simulator refuses an element kind it does not draw, by name,
// rather than reading its record as another kind's.
using StandInElements = WorkingDirectoryTest;

TEST_F(StandInElements, RefusesANeedle) {
    sim::Host host(KEYWATCH_MODULE_FILE);
    ELEMENT_HEADER needle{.element_type = ELEMENT_TYPE_NEEDLE, .resource_id = 600};
    ELEMENT_HEADER* next[] = {&needle, nullptr};
    ELEMENT_STATIC_IMAGE root{
        {.element_type = ELEMENT_TYPE_STATIC_IMAGE, .resource_id = 256, .next_element = next}};
    EXPECT_EQ(host.panel().install(&root.header, nullptr), 0);
    EXPECT_NE(host.panel().error().find("element 1 of the tree (resource 600) has type 1 (needle)"),
              std::string::npos)
        << host.panel().error();
}

} // namespace
