// run() allocates nothing: a song's notes, controllers and a program change arrive at
// frame offsets while the host moves control ports (Voices and Brightness included)
// between blocks of several lengths. malloc and its kin are counted in this program while
// the plug-in runs (glibc).
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>

#include "Lv2TestHost.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
void note() {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

#if defined(__GLIBC__)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* malloc(std::size_t size) { return note(), __libc_malloc(size); }
void* calloc(std::size_t n, std::size_t size) { return note(), __libc_calloc(n, size); }
void* realloc(void* p, std::size_t size) { return note(), __libc_realloc(p, size); }
}
#endif

namespace {

using lv2test::MidiAt;

TEST(Lv2Realtime, RunAllocatesNothing) {
#if !defined(__GLIBC__)
    GTEST_SKIP() << "SKIP: allocations are counted through glibc's malloc only";
#endif
    lv2test::World world;
    ASSERT_NE(world.plugin, nullptr);
    lv2test::Instance plugin(world, 48000);
    ASSERT_TRUE(plugin.ok());
    // Everything the host side needs is made before counting starts.
    const std::vector<MidiAt> chord = {{0, {0x90, 60, 100}},  {3, {0x90, 64, 100}}, {3, {0x90, 67, 100}},
                                       {40, {0xB0, 64, 127}}, {41, {0xE0, 0, 30}},  {50, {0xB0, 7, 90}},
                                       {60, {0xB0, 96, 40}}};
    const std::vector<MidiAt> release = {
        {0, {0x80, 60, 0}}, {1, {0xB0, 64, 0}}, {2, {0xC0, 4, 0}, 2}, {5, {0x90, 72, 127}}, {9, {0xB0, 123, 0}}};
    const std::vector<MidiAt> none;
    const uint32_t blocks[] = {64, 1, 512, 8192, 333};
    plugin.run(64, chord); // first call outside the count (lazy set-up in the host's libraries)

    counting = true;
    for (int round = 0; round < 20; ++round) {
        plugin.controls[12] = round % 2 ? 0.0f : 1.0f; // Voices: the pool is rebuilt
        plugin.controls[3] = float(round) / 20.0f; // Brightness reaches the sounding voices
        plugin.controls[11] = round % 3 ? 0.5f : 0.0f;
        plugin.controls[5] = round % 4 ? 0.7f : 0.0f;
        for (uint32_t b : blocks) plugin.run(b, round % 2 ? release : (round % 4 ? chord : none));
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
}

} // namespace
