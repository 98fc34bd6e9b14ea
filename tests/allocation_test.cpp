// The key-event handler allocates nothing once the log is open: every heap
// allocation of the process is counted around many calls of every event
// class, periodic flushes included.
//
// Counting: on glibc this program defines malloc, calloc, realloc and free
// itself (forwarding to the C library's own allocator), so allocations made
// inside the C library, such as a stream's buffer, are seen as well as the
// program's own and those of operator new, which takes its memory from
// malloc. Under AddressSanitizer, which owns the allocator, its malloc hook
// counts instead.

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "module_state.h"

#if defined(__SANITIZE_ADDRESS__)
#define KEYWATCH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEYWATCH_ASAN 1
#endif
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<size_t> allocations{0};

void note_allocation() {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

// Allocations made while `body` runs.
template <typename Body> size_t allocations_during(Body body) {
    allocations = 0;
    counting = true;
    body();
    counting = false;
    return allocations;
}

} // namespace

// ---- Counting allocator ----------------------------------------------------------

#ifdef KEYWATCH_ASAN

extern "C" void __sanitizer_malloc_hook(const volatile void* /*pointer*/, size_t /*size*/) {
    note_allocation();
}

#else

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);

void* malloc(size_t size) noexcept {
    note_allocation();
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
    note_allocation();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) noexcept {
    note_allocation();
    return __libc_realloc(pointer, size);
}

void free(void* pointer) noexcept {
    __libc_free(pointer);
}
}

#endif

namespace {

// ---- The counter itself ------------------------------------------------------------

// Without this, a counter that never counts would pass every test below.
TEST(AllocationCounter, CountsAllocationsInsideTheRegionOnly) {
    char* volatile copy = nullptr;
    EXPECT_GE(allocations_during([&] { copy = strdup("made inside the C library"); }), 1u);
    free(copy);

    void* volatile block = nullptr;
    EXPECT_EQ(allocations_during([&] { block = malloc(16); }), 1u);
    EXPECT_EQ(allocations_during([&] { block = realloc(block, 4096); }), 1u);
    free(block);
    EXPECT_EQ(allocations_during([&] { block = calloc(4, 8); }), 1u);
    free(block);

    int* volatile number = nullptr;
    EXPECT_EQ(allocations_during([&] { number = new int(5); }), 1u);
    delete number;

    block = malloc(16);
    EXPECT_EQ(allocations_during([&] { free(block); }), 0u);
}

// ---- The handler -------------------------------------------------------------------

using HandlerAllocations = ModuleStateTest;

// One number of every class: below the range, key span with and without a
// row, first and last named rows, the seven axis numbers' edges and the one
// after them, user-defined from its start to the top of the 32-bit range.
const uint32_t event_ids[] = {0x0,     0xFFFF,  0x10000, 0x10002,    0x10006,    0x100E2,
                              0x100E6, 0x100E7, 0x102F3, 0x102F4,    0x107A4,    0x10FFF,
                              0x11000, 0x1FFFF, 0x20000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

// Calls the handler for every number, with both axis settings, and returns
// how many records that should have written.
int32_t send_every_class(uint32_t data) {
    int32_t before = event_count;
    for (int32_t axis = 0; axis <= 1; axis++) {
        axis_events_enabled = axis;
        for (uint32_t id : event_ids)
            on_key_event(id, data, nullptr);
    }
    return event_count - before;
}

TEST_F(HandlerAllocations, NoneOnceTheLogIsOpen) {
    start_clock();
    // The first event opens the log; the first write and flush let the
    // runtime set up the stream's buffer, which is part of opening it.
    on_key_event(0x10022, 0, nullptr);
    ASSERT_NE(log_file, nullptr);
    fflush(nullptr);

    constexpr int rounds = 2000;
    int32_t logged = 0;
    int32_t counted_while_stopped = 0;
    size_t counted = allocations_during([&] {
        for (int round = 0; round < rounds; round++)
            logged += send_every_class((uint32_t)round * 0x9E3779B9u);
        logging_enabled = 0;
        for (int round = 0; round < rounds / 10; round++)
            counted_while_stopped += send_every_class((uint32_t)round);
        logging_enabled = 1;
    });
    EXPECT_EQ(counted, 0u);

    // The calls did their work: every counted event with logging on is in the log.
    EXPECT_GT(logged, rounds * 20);
    EXPECT_GT(counted_while_stopped, 0);
    close_log();
    EXPECT_EQ(mask_times(read_log()).times.size(), (size_t)logged + 1);
}

} // namespace
