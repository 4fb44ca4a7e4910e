// The audio callback waits for nothing: while renderBlock runs on the audio thread, this
// program's own malloc, free, mutex lock and file-write functions (which take the place
// of the C library's in this executable) note every call made from that thread. The
// callback runs block after block while a recording goes to disk, a MIDI thread plays
// notes, and the user-interface thread changes parameters and programs and handles the
// notices. Only the engine's own per-segment lock (a recursive mutex) may be taken.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <pthread.h>
#include <string>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "standalone/StandaloneApp.h"
#include "tests/LibcAllocator.h"

namespace {

// Set on the audio thread while renderBlock runs.
thread_local bool inCallback = false;
std::atomic<long> allocations{0}, releases{0}, locks{0}, writes{0};

[[maybe_unused]] void note(std::atomic<long>& counter) {
    if (inCallback) counter.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

#if !defined(VL_SANITIZED) && defined(__GLIBC__)
#define VL_GUARD_ACTIVE 1
extern "C" {
void* malloc(std::size_t size) {
    note(allocations);
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
    note(allocations);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    note(allocations);
    return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t align, std::size_t size) {
    note(allocations);
    return __libc_memalign(align, size);
}
void* memalign(std::size_t align, std::size_t size) {
    note(allocations);
    return __libc_memalign(align, size);
}
int posix_memalign(void** out, std::size_t align, std::size_t size) {
    note(allocations);
    void* p = __libc_memalign(align, size);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void free(void* p) {
    if (p) note(releases);
    __libc_free(p);
}

// The next definitions of the lock and write functions, found before main runs.
using LockFn = int (*)(pthread_mutex_t*);
using WriteFn = ssize_t (*)(int, const void*, std::size_t);
using PwriteFn = ssize_t (*)(int, const void*, std::size_t, off_t);
using WritevFn = ssize_t (*)(int, const iovec*, int);
using FwriteFn = std::size_t (*)(const void*, std::size_t, std::size_t, FILE*);
using FflushFn = int (*)(FILE*);
LockFn nextLock = nullptr;
WriteFn nextWrite = nullptr;
PwriteFn nextPwrite = nullptr;
WritevFn nextWritev = nullptr;
FwriteFn nextFwrite = nullptr;
FflushFn nextFflush = nullptr;

int pthread_mutex_lock(pthread_mutex_t* m) {
    // The engine's per-segment lock is recursive; every other mutex counts.
    if (inCallback && (m->__data.__kind & 3) != PTHREAD_MUTEX_RECURSIVE_NP) note(locks);
    return nextLock(m);
}
ssize_t write(int fd, const void* data, std::size_t size) {
    note(writes);
    return nextWrite(fd, data, size);
}
ssize_t pwrite(int fd, const void* data, std::size_t size, off_t at) {
    note(writes);
    return nextPwrite(fd, data, size, at);
}
ssize_t writev(int fd, const iovec* parts, int count) {
    note(writes);
    return nextWritev(fd, parts, count);
}
std::size_t fwrite(const void* data, std::size_t size, std::size_t count, FILE* file) {
    note(writes);
    return nextFwrite(data, size, count, file);
}
int fflush(FILE* file) {
    note(writes);
    return nextFflush(file);
}
}

namespace {
template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
// Resolved at load time, before any test thread runs.
const bool resolved = [] {
    nextLock = next<LockFn>("pthread_mutex_lock");
    nextWrite = next<WriteFn>("write");
    nextPwrite = next<PwriteFn>("pwrite");
    nextWritev = next<WritevFn>("writev");
    nextFwrite = next<FwriteFn>("fwrite");
    nextFflush = next<FflushFn>("fflush");
    return nextLock && nextWrite && nextPwrite && nextWritev && nextFwrite && nextFflush;
}();
} // namespace
#endif

namespace vl {
namespace {

namespace fs = std::filesystem;

class QuietShell : public AppShell {
public:
    std::atomic<int> posted{0};
    void postUiNotice() override { posted.fetch_add(1, std::memory_order_relaxed); }
    bool chooseFile(VstFileSelect*) override { return false; }
    bool runSetupDialog(SettingsValues&) override { return false; }
    void openDevices(StandaloneApp&) override {}
};

class NullOutput : public AudioOutput {
public:
    bool start() override { return true; }
    void stop() override {}
    int sampleRate() const override { return 44100; }
    int blockFrames() const override { return 256; }
};

struct Counts {
    long allocations, releases, locks, writes;
};

[[maybe_unused]] Counts counted() { return {allocations.load(), releases.load(), locks.load(), writes.load()}; }

[[maybe_unused]] void reset() {
    allocations = 0;
    releases = 0;
    locks = 0;
    writes = 0;
}

TEST(CallbackGuard, NothingWaitsInTheAudioCallback) {
#if !defined(VL_GUARD_ACTIVE)
    GTEST_SKIP() << "the guard replaces the C library's functions, which the sanitizers replace themselves";
#else
    ASSERT_TRUE(resolved);
    // The guard itself sees what it looks for.
    {
        reset();
        inCallback = true;
        void* p = std::malloc(16);
        std::free(p);
        pthread_mutex_t plain = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock(&plain);
        pthread_mutex_unlock(&plain);
        std::fflush(stdout);
        inCallback = false;
        const Counts c = counted();
        EXPECT_EQ(c.allocations, 1);
        EXPECT_EQ(c.releases, 1);
        EXPECT_EQ(c.locks, 1);
        EXPECT_EQ(c.writes, 1);
    }

    const fs::path wav = fs::temp_directory_path() / ("vl-guard-" + std::to_string(::getpid()) + ".wav");
    for (SampleFormat format : {SampleFormat::Pcm16, SampleFormat::Float32}) {
        SCOPED_TRACE(format == SampleFormat::Pcm16 ? "16-bit" : "float");
        QuietShell shell;
        auto app = std::make_unique<StandaloneApp>(shell, SettingsValues{});
        app->installDevices(std::make_unique<NullOutput>(), std::make_unique<MidiPorts>(-1, -1, 44100, 256), nullptr);
        ASSERT_TRUE(app->startDevices());
        theApp.store(app.get());
        app->recordFormat = format;
        ASSERT_TRUE(app->startRecording(wav.string()));

        std::atomic<bool> stop{false};
        std::atomic<long> blocks{0};
        reset();
        std::thread audio([&] {
            std::vector<std::int16_t> pcm(2 * 256);
            std::vector<float> left(256), right(256);
            while (!stop.load()) {
                inCallback = true;
                if (blocks.load() % 2 == 0) renderBlock(pcm.data(), 256);
                else renderBlock(left.data(), right.data(), 256);
                inCallback = false;
                blocks.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        std::thread midi([&] {
            MidiPorts* ports = app->midiPorts();
            for (int i = 0; !stop.load(); ++i) {
                const std::uint32_t key = 40 + std::uint32_t(i % 40);
                ports->receive(0x90u | key << 8 | 100u << 16, millisecondClock());
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ports->receive(0xE0u | std::uint32_t(i % 128) << 16, millisecondClock());
                if (i % 3 == 0) ports->receive(0x80u | key << 8, millisecondClock());
            }
        });
        // The user-interface thread: parameters, programs, notices.
        for (int i = 0; blocks.load() < 600; ++i) {
            app->setParameter(i % 13, float(i % 10) / 10.0f);
            if (i % 50 == 0) app->setProgram(i / 50 % 8);
            if (shell.posted.load() > 0) app->handleUiNotice();
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        stop.store(true);
        audio.join();
        midi.join();
        const Counts c = counted();
        EXPECT_EQ(c.allocations, 0) << "allocations in the audio callback";
        EXPECT_EQ(c.releases, 0) << "memory released in the audio callback";
        EXPECT_EQ(c.locks, 0) << "mutexes other than the engine's taken in the audio callback";
        EXPECT_EQ(c.writes, 0) << "file writes in the audio callback";
        EXPECT_TRUE(app->finishRecording());
        app.reset();
        theApp.store(nullptr);
        EXPECT_GT(fs::file_size(wav), 44u + 4u * 256u * 300u) << "the recording went to disk";
        fs::remove(wav);
    }
#endif
}

} // namespace
} // namespace vl
