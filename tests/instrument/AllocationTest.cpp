// The render path allocates nothing: processReplacing, process and processEvents, for
// every factory program, while notes start, are stolen and end, and while MIDI program
// changes and controllers arrive. operator new and (on glibc) malloc are replaced in this
// executable and counted while a test measures.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>

#include "TestSupport.h"
#include "tests/LibcAllocator.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

[[maybe_unused]] void noteAllocation() {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

#if !defined(VL_SANITIZED)

#if defined(__GLIBC__)
extern "C" {
void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
    noteAllocation();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
}
#define VL_RAW_ALLOC(size) __libc_malloc(size)
#define VL_RAW_ALIGNED(align, size) __libc_memalign(align, size)
#define VL_RAW_FREE(p) __libc_free(p)
#define VL_RAW_ALIGNED_FREE(p) __libc_free(p)
#elif defined(_WIN32)
#include <malloc.h>
#define VL_RAW_ALLOC(size) std::malloc(size)
#define VL_RAW_ALIGNED(align, size) _aligned_malloc(size, align)
#define VL_RAW_FREE(p) std::free(p)
#define VL_RAW_ALIGNED_FREE(p) _aligned_free(p)
#else
#define VL_RAW_ALLOC(size) std::malloc(size)
#define VL_RAW_ALIGNED(align, size) std::aligned_alloc(align, ((size) + (align)-1) / (align) * (align))
#define VL_RAW_FREE(p) std::free(p)
#define VL_RAW_ALIGNED_FREE(p) std::free(p)
#endif

namespace {
void* countedNew(std::size_t size) {
    noteAllocation();
    if (void* p = VL_RAW_ALLOC(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* countedAlignedNew(std::size_t size, std::align_val_t align) {
    noteAllocation();
    if (void* p = VL_RAW_ALIGNED(static_cast<std::size_t>(align), size ? size : 1)) return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size) { return countedNew(size); }
void* operator new[](std::size_t size) { return countedNew(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    noteAllocation();
    return VL_RAW_ALLOC(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    noteAllocation();
    return VL_RAW_ALLOC(size ? size : 1);
}
void* operator new(std::size_t size, std::align_val_t align) { return countedAlignedNew(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return countedAlignedNew(size, align); }
void operator delete(void* p) noexcept { VL_RAW_FREE(p); }
void operator delete[](void* p) noexcept { VL_RAW_FREE(p); }
void operator delete(void* p, std::size_t) noexcept { VL_RAW_FREE(p); }
void operator delete[](void* p, std::size_t) noexcept { VL_RAW_FREE(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { VL_RAW_FREE(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { VL_RAW_FREE(p); }
void operator delete(void* p, std::align_val_t) noexcept { VL_RAW_ALIGNED_FREE(p); }
void operator delete[](void* p, std::align_val_t) noexcept { VL_RAW_ALIGNED_FREE(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { VL_RAW_ALIGNED_FREE(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { VL_RAW_ALIGNED_FREE(p); }

#endif // !VL_SANITIZED

namespace {

using Events = vltest::EventList<64>;
using vltest::quietHost;

class Measure {
public:
    Measure() {
        allocations = 0;
        counting = true;
    }
    ~Measure() { counting = false; }
    long count() const { return allocations.load(); }
};

} // namespace

TEST(RenderPathAllocation, NothingIsAllocatedWhilePlaying) {
#if defined(VL_SANITIZED)
    GTEST_SKIP() << "allocation counting is replaced by the sanitizer's allocator";
#else
    // The counter itself works.
    {
        Measure m;
        delete new int(5);
        EXPECT_GE(m.count(), 1);
    }
    vl::Instrument instrument(quietHost);
    ASSERT_TRUE(instrument.editorReady);
    static float left[1024], right[1024];
    float* outputs[2] = {left, right};
    static Events events;
    std::mt19937 random(7);

    for (int program = 0; program < vl::kNumPrograms; ++program) {
        SCOPED_TRACE(program);
        instrument.setProgram(program);
        instrument.setParameter(vl::kVoices, 0.25f); // 8 voices: stealing starts early
        Measure m;
        bool finite = true;
        for (int block = 0; block < 40; ++block) {
            events.clear();
            // Chords that exceed the polyphony, then their releases.
            for (int k = 0; k < 6; ++k)
                events.add(k * 37, 0x90, 36 + static_cast<int>(random() % 60), 1 + static_cast<int>(random() % 127));
            if (block % 3 == 0) events.add(200, 0x80, 36 + static_cast<int>(random() % 60), 0);
            if (block % 5 == 1) events.add(300, 0xB0, 7, static_cast<int>(random() % 128));
            if (block % 5 == 2) events.add(310, 0xB0, 96, 40);
            if (block % 5 == 3) events.add(320, 0xB0, 97, 18);
            if (block % 7 == 4) events.add(330, 0xB0, 64, block % 2 ? 127 : 0);
            if (block % 9 == 5) events.add(340, 0xE0, 0, static_cast<int>(random() % 128));
            if (block == 20) events.add(400, 0xC0, program, 0); // MIDI program change
            if (block == 30) events.add(410, 0xB0, 123, 0);
            instrument.processEvents(events.get());
            if (block % 2) instrument.processReplacing(nullptr, outputs, 1024);
            else instrument.process(nullptr, outputs, 1024);
            for (int i = 0; i < 1024; ++i) finite = finite && std::isfinite(left[i]) && std::isfinite(right[i]);
        }
        EXPECT_EQ(m.count(), 0);
        EXPECT_TRUE(finite);
    }
#endif
}
