// jalv runs the bundle as a JACK client against a dummy JACK server that this test starts
// under a name of its own. The test is a second JACK client: it plays two notes into the
// plug-in's MIDI port and records its two outputs. The recording is silent before the
// first note and carries each note's pitch while it sounds. Skipped when jackd, jalv or
// the server is not available.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <jack/jack.h>
#include <jack/midiport.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/Skip.h"

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 3;

// Notes: key, on and off times in seconds.
struct Note {
    int key;
    double on, off;
};
constexpr Note kNotes[] = {{69, 0.5, 1.3}, {57, 1.6, 2.4}};

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int stdinFd = -1) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    if (stdinFd >= 0) dup2(stdinFd, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool onPath(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

struct Recorder {
    jack_port_t* midi = nullptr;
    jack_port_t* in[2] = {nullptr, nullptr};
    std::vector<float> left = std::vector<float>(std::size_t(kRate) * kSeconds);
    std::atomic<bool> armed{false};
    std::atomic<std::size_t> position{0};
};

int process(jack_nframes_t frames, void* arg) {
    auto* r = static_cast<Recorder*>(arg);
    void* midi = jack_port_get_buffer(r->midi, frames);
    jack_midi_clear_buffer(midi);
    if (!r->armed) return 0;
    const auto* left = static_cast<const float*>(jack_port_get_buffer(r->in[0], frames));
    const std::size_t start = r->position;
    for (jack_nframes_t i = 0; i < frames && start + i < r->left.size(); ++i) {
        const std::size_t now = start + i;
        r->left[now] = left[i];
        for (const Note& n : kNotes) {
            const bool on = now == std::size_t(n.on * kRate), off = now == std::size_t(n.off * kRate);
            if (!on && !off) continue;
            const jack_midi_data_t bytes[3] = {jack_midi_data_t(on ? 0x90 : 0x80), jack_midi_data_t(n.key),
                                               jack_midi_data_t(on ? 100 : 0)};
            jack_midi_event_write(midi, i, bytes, 3);
        }
    }
    r->position = start + frames;
    return 0;
}

// The fundamental of a stretch of sound by autocorrelation, in Hz (searches 80 to 1000 Hz).
double pitch(const std::vector<float>& s, std::size_t from, std::size_t length) {
    int bestLag = 0;
    double best = 0.0;
    double previous = 1.0;
    for (int lag = kRate / 1000; lag <= kRate / 80; ++lag) {
        double sum = 0.0, energyA = 0.0, energyB = 0.0;
        for (std::size_t i = from; i < from + length; ++i) {
            sum += double(s[i]) * s[i + std::size_t(lag)];
            energyA += double(s[i]) * s[i];
            energyB += double(s[i + std::size_t(lag)]) * s[i + std::size_t(lag)];
        }
        const double r = sum / std::sqrt(energyA * energyB + 1e-30);
        // The first strong peak is the period (later ones are its multiples).
        if (r > 0.8 && r > best) {
            best = r;
            bestLag = lag;
        } else if (bestLag && r < previous) {
            break;
        }
        previous = r;
    }
    return bestLag ? double(kRate) / bestLag : 0.0;
}

TEST(Jalv, PlaysNotesFromAJackMidiClient) {
    if (!onPath("jackd") || !onPath("jalv")) VL_SKIP_UNAVAILABLE("jackd or jalv is not installed");
    const std::string server = "vl-lv2-jalv-" + std::to_string(getpid());
    const std::string serverEnv = "JACK_DEFAULT_SERVER=" + server;
    const pid_t jackd =
        spawn({"jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", std::to_string(kRate), "-p", "256"}, {});

    jack_client_t* client = nullptr;
    for (int i = 0; i < 100 && !client; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        client = jack_client_open("vl-lv2-test", jack_options_t(JackNoStartServer | JackServerName), nullptr,
                                  server.c_str());
    }
    if (!client) {
        stop(jackd);
        VL_SKIP_UNAVAILABLE("the JACK dummy server did not start");
    }
    Recorder recorder;
    recorder.midi = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    recorder.in[0] = jack_port_register(client, "in_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    recorder.in[1] = jack_port_register(client, "in_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, process, &recorder);
    ASSERT_EQ(jack_activate(client), 0);

    // jalv reads commands from its standard input: it gets a pipe that stays open.
    int commands[2];
    ASSERT_EQ(pipe(commands), 0);
    const pid_t jalv = spawn({"jalv", "-n", "vljalv", "-x", "-c", "ensemble_amount=0", "-c", "phaser_depth=0", "-c",
                              "reverb_mix=0", "urn:tarlowe:velmorloom"},
                             {serverEnv, std::string("LV2_PATH=") + VL_LV2_PATH}, commands[0]);
    close(commands[0]);

    bool connected = false;
    for (int i = 0; i < 200 && !connected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        connected = jack_connect(client, "vl-lv2-test:midi_out", "vljalv:midi_in") == 0 &&
                    jack_connect(client, "vljalv:out_left", "vl-lv2-test:in_left") == 0 &&
                    jack_connect(client, "vljalv:out_right", "vl-lv2-test:in_right") == 0;
    }
    EXPECT_TRUE(connected) << "jalv's ports vljalv:midi_in, out_left, out_right never appeared";
    if (connected) {
        recorder.armed = true;
        for (int i = 0; i < 400 && recorder.position < recorder.left.size(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    jack_deactivate(client);
    jack_client_close(client);
    close(commands[1]);
    stop(jalv);
    stop(jackd);
    if (!connected) return;
    ASSERT_GE(recorder.position.load(), recorder.left.size());

    const std::vector<float>& s = recorder.left;
    float before = 0.0f;
    for (std::size_t i = 0; i < std::size_t(0.45 * kRate); ++i) before = std::max(before, std::fabs(s[i]));
    EXPECT_EQ(before, 0.0f) << "sound before the first note";
    for (const Note& n : kNotes) {
        const double expected = 440.0 * std::pow(2.0, (n.key - 69) / 12.0);
        const double got = pitch(s, std::size_t((n.on + 0.3) * kRate), 4096);
        EXPECT_NEAR(got, expected, expected * 0.03) << "key " << n.key;
    }
}

} // namespace
