// The key-event handler allocates nothing once the log is open: every heap
// allocation of the process is counted around many calls of every event
// class, periodic flushes included.
//
// On glibc this program defines malloc, calloc and realloc itself, forwarding
// to the C library's own allocator, so allocations inside the C library (a
// stream's buffer) are seen as well as the program's and operator new's.
// Under AddressSanitizer, which owns the allocator, its malloc hook counts.

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "module_state.h"

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

#ifdef __SANITIZE_ADDRESS__
extern "C" void __sanitizer_malloc_hook(const volatile void*, size_t) {
    note_allocation();
}
#else
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);

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
}
#endif

namespace {

// Without this, a counter that never counts would pass the test below.
TEST(AllocationCounter, CountsAllocationsInsideTheRegionOnly) {
    char* volatile copy = nullptr;
    EXPECT_GE(allocations_during([&] { copy = strdup("made inside the C library"); }), 1u);
    void* volatile block = nullptr;
    EXPECT_EQ(allocations_during([&] { block = calloc(4, 8); }), 1u);
    EXPECT_EQ(allocations_during([&] { block = realloc(block, 4096); }), 1u);
    int* volatile number = nullptr;
    EXPECT_EQ(allocations_during([&] { number = new int(5); }), 1u);
    EXPECT_EQ(allocations_during([&] { free(copy), free(block), delete number; }), 0u);
}

using HandlerAllocations = ModuleStateTest;

TEST_F(HandlerAllocations, NoneOnceTheLogIsOpen) {
    // Every class: below the range, key span with and without a row, the
    // axis numbers' edges and the one after them, user-defined to the top.
    const uint32_t ids[] = {0x0,
                            KEY_EVENT_BASE - 1,
                            KEY_EVENT_BASE,
                            0x10006, // no row
                            AXIS_EVENT_RUNS[0].first,
                            AXIS_EVENT_RUNS[0].last,
                            AXIS_EVENT_RUNS[0].last + 1,
                            AXIS_EVENT_RUNS[1].last,
                            0x107A4, // the table's last key
                            USER_DEFINED_START - 1,
                            USER_DEFINED_START,
                            0x1FFFF,
                            0x20000,
                            0x7FFFFFFF,
                            0x80000000,
                            0xFFFFFFFF};
    start_clock();
    // The first event opens the log; the first write and flush let the
    // runtime set up the stream's buffer, which is part of opening it.
    on_key_event(0x10022, 0, nullptr);
    ASSERT_NE(log_file, nullptr);
    fflush(nullptr);

    int32_t logged = 0, counted_while_stopped = 0;
    const size_t counted = allocations_during([&] {
        for (int round = 0; round < 2200; round++) {
            logging_enabled = round < 2000 ? 1 : 0;
            const int32_t before = event_count;
            for (int32_t axis = 0; axis <= 1; axis++) {
                axis_events_enabled = axis;
                for (uint32_t id : ids)
                    on_key_event(id, (uint32_t)round * 0x9E3779B9u, nullptr);
            }
            (logging_enabled ? logged : counted_while_stopped) += event_count - before;
        }
        logging_enabled = 1;
    });
    EXPECT_EQ(counted, 0u);

    // The calls did their work: every counted event with logging on is in the log.
    EXPECT_GT(logged, 2000 * 20);
    EXPECT_GT(counted_while_stopped, 0);
    close_log();
    EXPECT_EQ(mask_times(read_log()).times.size(), (size_t)logged + 1);
}

} // namespace
