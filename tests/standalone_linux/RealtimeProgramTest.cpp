// velmorloom against a JACK server of the test's own, for what a live player relies on:
// the outputs carry the instrument's float samples (not 16-bit ones), a float recording
// holds exactly what was sent, and a disk that stalls on every write makes the program
// miss no period.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ProgramSupport.h"
#include "platform/WavFormat.h"

namespace vl {
namespace {

using namespace programtest;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A JACK client "vlcap" with inputs in_1 and in_2 that keeps what arrives once both are
// connected, and counts the server's xruns.
struct CaptureClient {
    static constexpr std::size_t kCapacity = 44100 * 40;
    jack_client_t* client = nullptr;
    jack_port_t* in[2] = {nullptr, nullptr};
    std::vector<float> left = std::vector<float>(kCapacity), right = std::vector<float>(kCapacity);
    std::atomic<std::size_t> frames{0};
    std::atomic<int> xruns{0};

    bool open(const std::string& server) {
        jack_status_t status{};
        client = jack_client_open("vlcap", jack_options_t(JackNoStartServer | JackServerName), &status, server.c_str());
        if (!client) return false;
        in[0] = jack_port_register(client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        in[1] = jack_port_register(client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client, &CaptureClient::process, this);
        jack_set_xrun_callback(client, &CaptureClient::xrun, this);
        return in[0] && in[1] && jack_activate(client) == 0;
    }
    ~CaptureClient() {
        if (client) jack_client_close(client);
    }
    bool connect() {
        return jack_connect(client, "velmorloom:out_1", "vlcap:in_1") == 0 &&
               jack_connect(client, "velmorloom:out_2", "vlcap:in_2") == 0;
    }
    static int process(jack_nframes_t n, void* arg) {
        auto* self = static_cast<CaptureClient*>(arg);
        if (jack_port_connected(self->in[0]) == 0 || jack_port_connected(self->in[1]) == 0) return 0;
        const auto* l = static_cast<const float*>(jack_port_get_buffer(self->in[0], n));
        const auto* r = static_cast<const float*>(jack_port_get_buffer(self->in[1], n));
        const std::size_t at = self->frames.load();
        const std::size_t count = std::min<std::size_t>(n, kCapacity - at);
        std::copy(l, l + count, self->left.begin() + long(at));
        std::copy(r, r + count, self->right.begin() + long(at));
        self->frames.store(at + count);
        return 0;
    }
    static int xrun(void* arg) {
        static_cast<CaptureClient*>(arg)->xruns.fetch_add(1);
        return 0;
    }
};

class RealtimeProgramTest : public JackProgramTest {
protected:
    void SetUp() override {
        JackProgramTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(capture.open(server)) << "cannot open the capture client";
    }
    // Starts the program with the test's MIDI client as its source and the capture
    // client on its outputs; plays the note and stops the program with SIGTERM. Answers
    // the xruns while the note played (the program's start and end left out), and in
    // seconds how long the note's 300 periods took.
    struct Pace {
        int xruns;
        double seconds;
        std::size_t captured; // frames captured until SIGTERM
    };
    Pace playTheNote(const std::vector<std::string>& extra, const std::map<std::string, std::string>& moreEnv = {}) {
        std::vector<std::string> a = args({"--no-gui", "--audio", "jack", "--no-connect", "--midi-in", "vltest:notes"});
        a.insert(a.end(), extra.begin(), extra.end());
        auto e = env;
        for (const auto& [k, v] : moreEnv) e[k] = v;
        first = spawn(a, e, dir, "rt" + std::to_string(++runs));
        EXPECT_TRUE(waitForOutput(first, "playing through JACK", 15s)) << slurp(first.out) << slurp(first.err);
        EXPECT_TRUE(capture.connect());
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (notes.cycle.load() < 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
        const int before = capture.xruns.load();
        const auto start = std::chrono::steady_clock::now();
        while (!notes.done.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
        Pace pace{capture.xruns.load() - before,
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0};
        EXPECT_TRUE(notes.done.load()) << "the MIDI connection was not made: " << slurp(first.err);
        std::this_thread::sleep_for(200ms);
        pace.captured = capture.frames.load();
        ::kill(first.pid, SIGTERM);
        // The writer empties its ring before the program ends.
        EXPECT_EQ(waitFor(first, 60s), 0) << slurp(first.err);
        return pace;
    }
    CaptureClient capture;
    int runs = 0;
};

// The samples on out_1 and out_2 are the instrument's float output: most sounding ones
// lie between the 16-bit steps. The float recording is the renderer's float WAV and holds
// sample for sample what the outputs carried.
TEST_F(RealtimeProgramTest, FloatOutputAndFloatRecording) {
    const fs::path wav = dir / "float.wav";
    playTheNote({"--record-format", "float", "--record", wav.string()});
    if (HasFailure()) return;
    EXPECT_EQ(slurp(first.err), "");
    const std::size_t captured = capture.frames.load();
    ASSERT_GT(captured, 44100u);
    std::size_t sounding = 0, offGrid = 0;
    for (std::size_t i = 0; i < captured; ++i) {
        for (float x : {capture.left[i], capture.right[i]}) {
            if (x == 0.0f) continue;
            ++sounding;
            offGrid += std::nearbyint(x * 32768.0f) != x * 32768.0f;
        }
    }
    ASSERT_GT(sounding, 10000u) << "the note did not sound";
    EXPECT_GT(offGrid, sounding / 2) << "the outputs carry 16-bit samples";

    const std::string bytes = slurp(wav);
    ASSERT_GE(bytes.size(), kFloat32HeaderSize);
    const std::size_t recorded = (bytes.size() - kFloat32HeaderSize) / 8;
    const std::vector<std::uint8_t> header = wavHeader(SampleFormat::Float32, 44100, std::uint32_t(recorded));
    ASSERT_EQ(bytes.size(), kFloat32HeaderSize + 8 * recorded);
    EXPECT_EQ(std::memcmp(bytes.data(), header.data(), header.size()), 0) << "float WAV header";
    std::vector<float> file(2 * recorded);
    std::memcpy(file.data(), bytes.data() + kFloat32HeaderSize, file.size() * 4);
    // The recording began before the capture: the captured frames stand later in the
    // file. Where: the one place where the first 256 captured frames match.
    ASSERT_GE(recorded, captured);
    std::size_t shift = recorded;
    for (std::size_t s = 0; s + captured <= recorded + 4096 && shift == recorded; ++s) {
        bool same = s + 256 <= recorded;
        for (std::size_t i = 0; i < 256 && same; ++i)
            same = file[2 * (s + i)] == capture.left[i] && file[2 * (s + i) + 1] == capture.right[i];
        if (same) shift = s;
    }
    ASSERT_LT(shift, recorded) << "the captured samples are nowhere in the recording";
    const std::size_t overlap = std::min(captured, recorded - shift);
    EXPECT_GT(overlap, captured - 4096) << "the recording ends early";
    std::size_t differing = 0;
    for (std::size_t i = 0; i < overlap; ++i)
        differing += file[2 * (i + shift)] != capture.left[i] || file[2 * (i + shift) + 1] != capture.right[i];
    EXPECT_EQ(differing, 0u) << "of " << overlap << " frames";
    std::printf("captured %zu frames (%zu of %zu sounding samples between 16-bit steps), recorded %zu\n", captured,
                offGrid, sounding, recorded);
}

// Every write to the recording stalls for 150 ms (and the file's header write too). The
// audio callback never writes, so the program misses no period of the server's; it ends
// with status 0 and a complete 16-bit WAV, and says nothing of lost frames (the ring of
// ten seconds holds what the disk is behind).
TEST_F(RealtimeProgramTest, StallingDiskMissesNoPeriod) {
#if defined(VL_SLOW_WRITE_LIBRARY)
    const Pace without = playTheNote({});
    // A second run, with a fresh note and a fresh capture.
    notes.done.store(false);
    notes.cycle.store(-1);
    capture.frames.store(0);

    const fs::path wav = dir / "slow.wav";
    const Pace with = playTheNote({"--record", wav.string()}, {{"LD_PRELOAD", VL_SLOW_WRITE_LIBRARY},
                                                               {"VL_SLOW_WRITE_PATH", wav.string()},
                                                               {"VL_SLOW_WRITE_MS", "150"}});
    // The dummy driver on a machine busy with other work reports xruns of its own, many
    // or few from one run to the next, so their counts are shown, not compared. What an
    // xrun of the program's own does is measured instead: the server does not wait for a
    // late client, and a callback held up by the disk (150 ms for 5.8 ms of audio) misses
    // periods, which are then neither played nor recorded. The recording, begun before
    // the capture, holds at least every period the capture client saw.
    const std::size_t captured = with.captured;
    EXPECT_EQ(slurp(first.err).find("Recording lost"), std::string::npos) << slurp(first.err);
    const auto samples = readWav(wav, 44100);
    EXPECT_GE(samples.size() / 2, captured) << "periods were missed while recording";
    EXPECT_GT(captured, 300u * 256u);
    std::printf("300 periods: %.2f s with %d xruns without recording, %.2f s with %d xruns recording to a disk "
                "stalling 150 ms per write; %zu frames recorded\n",
                without.seconds, without.xruns, with.seconds, with.xruns, samples.size() / 2);
#else
    VL_SKIP_UNAVAILABLE("the stalling disk is a preloaded library, which the sanitizers' run-time does not allow");
#endif
}

} // namespace
} // namespace vl
