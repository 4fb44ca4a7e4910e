// The whole velmorloom program, run as a user runs it: against a JACK server of its own
// (the dummy driver, headless) with notes from a JACK MIDI client of the test, and
// against ALSA's null device. Every wait is bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include "engine/Engine.h"
#include "instrument/Instrument.h"
#include "tests/support/Bytes.h"
#include "tests/support/Skip.h"

extern char** environ;

namespace vl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kProgram = VELMORLOOM_PATH;

struct Child {
    pid_t pid = -1;
    fs::path out, err;
};

// Starts program with args; env entries NAME=VALUE replace or add to this environment,
// "NAME=" alone removes a variable.
Child spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env, const fs::path& dir,
            const std::string& tag) {
    Child c;
    c.out = dir / (tag + ".out");
    c.err = dir / (tag + ".err");
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
        const std::string s = *e;
        const auto eq = s.find('=');
        if (eq != std::string::npos) all[s.substr(0, eq)] = s.substr(eq + 1);
    }
    for (const auto& [k, v] : env) {
        if (v.empty()) all.erase(k);
        else all[k] = v;
    }
    std::vector<std::string> envText;
    for (const auto& [k, v] : all) envText.push_back(k + "=" + v);
    std::vector<char*> envp, argv;
    for (auto& s : envText) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText(args);
    for (auto& s : argText) argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string outPath = c.out.string(), errPath = c.err.string(), folder = dir.string();
    c.pid = ::fork();
    if (c.pid == 0) {
        if (::chdir(folder.c_str()) != 0) _exit(125);
        if (!std::freopen(outPath.c_str(), "w", stdout) || !std::freopen(errPath.c_str(), "w", stderr)) _exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return c;
}

// The exit status, or -1 when the child did not end within limit (it is killed then).
int waitFor(Child& c, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t r = ::waitpid(c.pid, &status, WNOHANG);
        if (r == c.pid) {
            c.pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    ::kill(c.pid, SIGKILL);
    ::waitpid(c.pid, &status, 0);
    c.pid = -1;
    return -1;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

using vltest::le32;

// The samples of a finished velmorloom recording; fails the test on a bad header.
std::vector<std::int16_t> readWav(const fs::path& p, std::uint32_t expectedRate) {
    const std::string b = slurp(p);
    EXPECT_GE(b.size(), 44u);
    if (b.size() < 44) return {};
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(b, 24), expectedRate);
    EXPECT_EQ(le32(b, 40), b.size() - 44) << "data size";
    EXPECT_EQ(le32(b, 4), b.size() - 8) << "RIFF size";
    std::vector<std::int16_t> s((b.size() - 44) / 2);
    std::memcpy(s.data(), b.data() + 44, s.size() * 2);
    return s;
}

class ProgramTest : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vl-program-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "run");
        fs::create_directories(dir / "cfg");
        env = {{"XDG_RUNTIME_DIR", (dir / "run").string()}, {"XDG_CONFIG_HOME", (dir / "cfg").string()},
               {"HOME", dir.string()}};
    }
    void TearDown() override {
        for (Child* c : {&first, &second})
            if (c->pid > 0) waitFor(*c, 0ms);
        fs::remove_all(dir);
    }
    std::vector<std::string> args(std::initializer_list<std::string> rest) {
        std::vector<std::string> a{kProgram};
        a.insert(a.end(), rest);
        return a;
    }
    // Waits until the child's output holds text.
    bool waitForOutput(const Child& c, const std::string& text, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (slurp(c.out).find(text) != std::string::npos) return true;
            int status = 0;
            if (::waitpid(c.pid, &status, WNOHANG) == c.pid) return false;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    fs::path dir;
    std::map<std::string, std::string> env;
    Child first, second;
};

TEST_F(ProgramTest, UsageErrorsAndMissingServer) {
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* text;
    };
    const Row rows[] = {
        {{"--bogus"}, 2, "velmorloom: unknown option '--bogus' (see --help)\n"},
        {{"--midi-channel", "0"}, 2, "velmorloom: invalid value '0' for --midi-channel"},
        {{"--latency"}, 2, "velmorloom: option --latency needs a value"},
        {{"--audio", "jack", "--no-gui"}, 1, "velmorloom: no JACK server is running"},
        {{"--version"}, 0, ""},
    };
    int n = 0;
    for (const Row& r : rows) {
        std::vector<std::string> a{kProgram};
        a.insert(a.end(), r.args.begin(), r.args.end());
        auto e = env;
        e["JACK_DEFAULT_SERVER"] = "vl-none-" + std::to_string(::getpid());
        Child c = spawn(a, e, dir, "u" + std::to_string(n++));
        EXPECT_EQ(waitFor(c, 10s), r.status) << r.args[0];
        const std::string err = slurp(c.err);
        EXPECT_EQ(err.rfind(r.text, 0), 0u) << err;
        if (r.status == 2) {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        }
    }
    Child v = spawn(args({"--version"}), env, dir, "v");
    EXPECT_EQ(waitFor(v, 10s), 0);
    EXPECT_EQ(slurp(v.out), "velmorloom 1.0.0\n");
}

// ALSA's null device: the program plays in real time (the device itself takes data at
// any speed), records, and a second start leaves it running. A bad stored value gives a
// warning and its default; SIGHUP applies an edited file.
TEST_F(ProgramTest, AlsaNullDeviceSingleInstanceAndSettings) {
    fs::create_directories(dir / "cfg" / "velmorloom");
    std::ofstream(dir / "cfg" / "velmorloom" / "settings") << "latency=fast\nsampleRate=48000\n";
    const fs::path wav = dir / "alsa.wav";
    const auto started = std::chrono::steady_clock::now();
    first = spawn(args({"--no-gui", "--audio", "alsa", "--device", "null", "--record", wav.string()}), env, dir, "a");
    ASSERT_TRUE(waitForOutput(first, "playing through ALSA device null at 48000 Hz, 2400 frames", 10s))
        << slurp(first.out) << slurp(first.err);
    EXPECT_NE(slurp(first.err).find("velmorloom: settings: bad value 'fast' for latency, using 50\n"),
              std::string::npos)
        << slurp(first.err);
    if (!fs::exists("/dev/snd/seq")) {
        EXPECT_NE(slurp(first.err).find("running without MIDI input"), std::string::npos) << slurp(first.err);
    }

    second = spawn(args({"--no-gui", "--audio", "alsa", "--device", "null"}), env, dir, "b");
    EXPECT_EQ(waitFor(second, 10s), 0);
    EXPECT_EQ(slurp(second.out), "velmorloom is already running (process " + std::to_string(first.pid) +
                                     "); showing its window\n");
    std::this_thread::sleep_for(700ms);
    ASSERT_EQ(::kill(first.pid, 0), 0) << "the first instance must still run";

    // SIGHUP reads the file again and reopens the device; the recording goes on.
    std::ofstream(dir / "cfg" / "velmorloom" / "settings") << "latency=20\nsampleRate=48000\n";
    ::kill(first.pid, SIGHUP);
    EXPECT_TRUE(waitForOutput(first, "playing through ALSA device null at 48000 Hz, 960 frames", 10s))
        << slurp(first.out) << slurp(first.err);
    std::this_thread::sleep_for(700ms);
    ::kill(first.pid, SIGTERM);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(waitFor(first, 10s), 0) << slurp(first.err);

    const std::vector<std::int16_t> samples = readWav(wav, 48000);
    const double seconds = double(samples.size() / 2) / 48000.0;
    EXPECT_EQ(samples.size() % (2 * 480), 0u) << "whole blocks of 2400 and 960 frames";
    EXPECT_GT(seconds, 0.5);
    EXPECT_LT(seconds, elapsed + 0.5) << "the null device must not run ahead of time";
    // The stored file keeps what the user wrote.
    EXPECT_EQ(slurp(dir / "cfg" / "velmorloom" / "settings"), "latency=20\nsampleRate=48000\n");
}

// Finds a top-level window by its title; 0 when there is none.
Window findWindow(Display* d, const char* title) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name) {
            if (std::strcmp(name, title) == 0) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

// A click with the left button at (x, y) of the screen, held long enough for the
// panel's polled mouse tracking to see it.
void click(Display* d, int x, int y) {
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XFlush(d);
    std::this_thread::sleep_for(100ms);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XFlush(d);
    std::this_thread::sleep_for(150ms);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XFlush(d);
    std::this_thread::sleep_for(150ms);
}

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The window "Velmor Loom" opens on the X display with the panel and the two buttons.
// The record switch records to a chosen file and finishes it; the settings button opens the
// setup dialog, whose OK stores the settings and reopens the devices; a second start
// leaves the window there; closing it through the window manager's protocol ends the
// program with status 0.
TEST_F(ProgramTest, PanelWindowWithSettingsAndRecordButtons) {
    if (!std::getenv("DISPLAY")) VL_SKIP_UNAVAILABLE("no X display (the suites run under xvfb-run)");
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(findWindow(d, "Velmor Loom"), 0u) << "another program's window is in the way";
    // No --audio and no JACK server: the program falls back to ALSA.
    auto e = env;
    e["JACK_DEFAULT_SERVER"] = "vl-none-" + std::to_string(::getpid());
    fs::create_directories(dir / "bin");
    std::ofstream(dir / "bin" / "zenity") << "#!/bin/sh\necho '" << (dir / "take.wav").string() << "'\n";
    fs::permissions(dir / "bin" / "zenity", fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    e["PATH"] = (dir / "bin").string() + ":" + (path ? path : "/usr/bin:/bin");
    fs::create_directories(dir / "cfg" / "velmorloom");
    std::ofstream(dir / "cfg" / "velmorloom" / "settings") << "latency=20\n";
    first = spawn(args({"--device", "null"}), e, dir, "w");
    Window w = 0;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!w && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        w = findWindow(d, "Velmor Loom");
    }
    ASSERT_NE(w, 0u) << slurp(first.err);
    EXPECT_TRUE(waitForOutput(first, "playing through ALSA device null at 44100 Hz, 882 frames", 5s))
        << slurp(first.out);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(d, w, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_EQ(attributes.width, 727);
    EXPECT_EQ(attributes.height, 301);
    std::this_thread::sleep_for(500ms); // the panel draws itself on its idle calls

    // The record switch at (668, 268), 43 x 25: on, then off again. The file is chosen
    // through the chooser the panel finds first on the PATH: a stand-in for zenity.
    click(d, attributes.x + 689, attributes.y + 280);
    ASSERT_TRUE(waitForOutput(first, "velmorloom: recording to " + (dir / "take.wav").string() + "\n", 5s))
        << slurp(first.out) << slurp(first.err);
    std::this_thread::sleep_for(400ms);
    click(d, attributes.x + 689, attributes.y + 280);
    std::this_thread::sleep_for(300ms);
    const auto samples = readWav(dir / "take.wav", 44100);
    EXPECT_GT(samples.size(), 2u * 882u);
    EXPECT_EQ(samples.size() % (2 * 882), 0u);

    // The settings button at (618, 268) opens the setup dialog. One click on the sample
    // rate shows the next rate; OK stores the settings and reopens the devices with them.
    click(d, attributes.x + 639, attributes.y + 280);
    Window setup = 0;
    const auto shown = std::chrono::steady_clock::now() + 5s;
    while (!setup && std::chrono::steady_clock::now() < shown) {
        std::this_thread::sleep_for(50ms);
        setup = findWindow(d, "Setup");
    }
    ASSERT_NE(setup, 0u) << "no setup dialog: " << slurp(first.err);
    XWindowAttributes dialog{};
    ASSERT_TRUE(XGetWindowAttributes(d, setup, &dialog));
    EXPECT_EQ(dialog.width, 400);
    EXPECT_EQ(dialog.height, 246);
    std::this_thread::sleep_for(300ms);
    click(d, dialog.x + 195, dialog.y + 80);  // sample rate: 44100 -> 48000
    click(d, dialog.x + 341, dialog.y + 219); // OK
    EXPECT_TRUE(waitForOutput(first, "playing through ALSA device null at 48000 Hz, 960 frames", 5s))
        << slurp(first.out) << slurp(first.err);
    XSync(d, False);
    EXPECT_EQ(findWindow(d, "Setup"), 0u);
    const std::string stored = slurp(dir / "cfg" / "velmorloom" / "settings");
    EXPECT_NE(stored.find("\nsampleRate=48000\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\nlatency=20\n"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\naudio=auto\n"), std::string::npos) << stored;

    second = spawn(args({"--device", "null"}), e, dir, "w2");
    EXPECT_EQ(waitFor(second, 10s), 0);
    EXPECT_NE(slurp(second.out).find("already running"), std::string::npos);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(findWindow(d, "Velmor Loom"), w);

    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = w;
    close.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &close);
    XFlush(d);
    EXPECT_EQ(waitFor(first, 10s), 0) << slurp(first.err);
    XSync(d, False);
    EXPECT_EQ(findWindow(d, "Velmor Loom"), 0u);
    // Nothing went wrong but the missing sequencer, once for each opening of the devices.
    const std::string err = slurp(first.err);
    EXPECT_EQ(count(err, "\n"), count(err, "velmorloom: running without MIDI input")) << err;
    XCloseDisplay(d);
}

// ---- JACK ----

struct NoteClient {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    std::atomic<int> cycle{-1}; // counts cycles once the connection is up
    std::atomic<bool> done{false};
    static constexpr int kOnCycle = 20, kOffCycle = 120, kEndCycle = 300;
    static constexpr int kOnFrame = 100, kOffFrame = 37;
    static constexpr int kKey = 69; // A4, 440 Hz

    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<NoteClient*>(arg);
        void* buffer = jack_port_get_buffer(self->port, frames);
        jack_midi_clear_buffer(buffer);
        if (self->cycle.load() < 0) {
            if (jack_port_connected(self->port) > 0) self->cycle.store(0);
            return 0;
        }
        const int c = self->cycle.fetch_add(1);
        if (c == kOnCycle) {
            const unsigned char on[3] = {0x90, kKey, 100};
            jack_midi_event_write(buffer, kOnFrame, on, 3);
        } else if (c == kOffCycle) {
            const unsigned char off[3] = {0x80, kKey, 0};
            jack_midi_event_write(buffer, kOffFrame, off, 3);
        } else if (c == kEndCycle) {
            self->done.store(true);
        }
        return 0;
    }
};

class JackProgramTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (::access("/usr/bin/jackd", X_OK) != 0) VL_SKIP_UNAVAILABLE("no JACK server (jackd) installed");
        server = "vl-test-" + std::to_string(::getpid());
        env["JACK_DEFAULT_SERVER"] = server;
        env["JACK_NO_AUDIO_RESERVATION"] = "1";
        jackd = spawn({"/usr/bin/jackd", "-n", server, "-r", "-d", "dummy", "-r", "44100", "-p", "256"}, env, dir,
                      "jackd");
        jack_set_error_function(+[](const char*) {});
        jack_set_info_function(+[](const char*) {});
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (!notes.client && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(100ms);
            jack_status_t status{};
            notes.client = jack_client_open("vltest", jack_options_t(JackNoStartServer | JackServerName), &status,
                                            server.c_str());
        }
        ASSERT_NE(notes.client, nullptr) << "the JACK server did not start: " << slurp(jackd.err);
        notes.port = jack_port_register(notes.client, "notes", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        ASSERT_NE(notes.port, nullptr);
        jack_set_process_callback(notes.client, &NoteClient::process, &notes);
        ASSERT_EQ(jack_activate(notes.client), 0);
    }
    void TearDown() override {
        if (notes.client) jack_client_close(notes.client);
        if (jackd.pid > 0) {
            ::kill(jackd.pid, SIGTERM);
            waitFor(jackd, 10s);
        }
        ProgramTest::TearDown();
    }
    std::string server;
    Child jackd;
    NoteClient notes;
};

// The server stops under the running program: it says so, finishes the recording and
// ends with status 1.
TEST_F(JackProgramTest, ServerGoingAwayEndsTheProgramWithItsRecordingFinished) {
    const fs::path wav = dir / "gone.wav";
    first = spawn(args({"--no-gui", "--no-connect", "--record", wav.string()}), env, dir, "g");
    ASSERT_TRUE(waitForOutput(first, "playing through JACK", 15s)) << slurp(first.out) << slurp(first.err);
    std::this_thread::sleep_for(300ms);
    jack_client_close(notes.client);
    notes.client = nullptr;
    ::kill(jackd.pid, SIGTERM);
    EXPECT_NE(waitFor(jackd, 10s), -1);
    EXPECT_EQ(waitFor(first, 10s), 1);
    EXPECT_NE(slurp(first.err).find("velmorloom: the JACK server stopped\n"), std::string::npos) << slurp(first.err);
    const auto samples = readWav(wav, 44100);
    EXPECT_GT(samples.size(), 0u);
    EXPECT_EQ(samples.size() % 512, 0u);
}

// Renders what velmorloom plays from its first block on: 256-frame blocks at 44100 Hz,
// note on at frame on, note off at frame off, frames in all.
std::vector<std::int16_t> renderReference(long on, long off, std::size_t frames) {
    testhooks::setNoiseSeed(1000); // the generator's state at the start of a process
    Instrument instrument(+[](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr { return 1; });
    instrument.setProgram(0);
    instrument.setSampleRate(44100.0f);
    std::vector<std::int16_t> out(frames * 2);
    for (std::size_t start = 0; start + 256 <= frames; start += 256) {
        VstMidiEvent event{};
        event.type = kVstMidiType;
        event.byteSize = sizeof event;
        VstEvents list{};
        for (long at : {on, off}) {
            if (at >= long(start) && at < long(start + 256)) {
                event.deltaFrames = VstInt32(at - long(start));
                event.midiData[0] = char(at == on ? 0x90 : 0x80);
                event.midiData[1] = NoteClient::kKey;
                event.midiData[2] = at == on ? 100 : 0;
                list.numEvents = 1;
                list.events[0] = reinterpret_cast<VstEvent*>(&event);
            }
        }
        instrument.processEvents(&list);
        instrument.processInterleaved16(out.data() + 2 * start, 256);
    }
    return out;
}

// Frequency of the strongest period between 300 and 700 Hz (autocorrelation).
double pitchOf(const std::vector<std::int16_t>& s, std::size_t from, std::size_t length) {
    double best = -1.0;
    int bestLag = 0;
    for (int lag = 44100 / 700; lag <= 44100 / 300; ++lag) {
        double sum = 0.0;
        for (std::size_t i = from; i < from + length; ++i) sum += double(s[2 * i]) * double(s[2 * (i + std::size_t(lag))]);
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    // Refine between neighbouring lags by a parabola.
    auto at = [&](int lag) {
        double sum = 0.0;
        for (std::size_t i = from; i < from + length; ++i) sum += double(s[2 * i]) * double(s[2 * (i + std::size_t(lag))]);
        return sum;
    };
    const double a = at(bestLag - 1), b = at(bestLag), c = at(bestLag + 1);
    const double shift = (a - c) / (2.0 * (a - 2.0 * b + c));
    return 44100.0 / (bestLag + (std::isfinite(shift) ? shift : 0.0));
}

TEST_F(JackProgramTest, NoteFromAJackClientIsPlayedAndRecorded) {
    const fs::path wav = dir / "jack.wav";
    first = spawn(args({"--no-gui", "--audio", "jack", "--no-connect", "--midi-in", "vltest:notes", "--record",
                        wav.string()}),
                  env, dir, "p");
    ASSERT_TRUE(waitForOutput(first, "playing through JACK at 44100 Hz, 256 frames per period", 15s))
        << slurp(first.out) << slurp(first.err);
    // --midi-in connected our port; the notes go out once the connection is seen.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!notes.done.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(notes.done.load()) << "the MIDI connection was not made: " << slurp(first.err);
    std::this_thread::sleep_for(200ms);
    ::kill(first.pid, SIGTERM);
    ASSERT_EQ(waitFor(first, 10s), 0) << slurp(first.err);
    EXPECT_EQ(slurp(first.err), "");

    const std::vector<std::int16_t> played = readWav(wav, 44100);
    const std::size_t frames = played.size() / 2;
    ASSERT_EQ(frames % 256, 0u) << "whole periods";
    std::size_t firstSound = 0;
    while (firstSound < frames && played[2 * firstSound] == 0 && played[2 * firstSound + 1] == 0) ++firstSound;
    ASSERT_LT(firstSound, frames) << "nothing sounded";

    // The note-on must sit at frame 100 of some period: find the period whose rendering
    // matches the recording, then compare the whole file.
    long on = -1;
    for (long k = long(firstSound - 100) / 256; k >= 0 && on < 0; --k) {
        const long candidate = k * 256 + NoteClient::kOnFrame;
        if (candidate > long(firstSound)) continue;
        const long off = candidate - NoteClient::kOnFrame + 100 * 256 + NoteClient::kOffFrame;
        const std::size_t prefix = std::min(frames, std::size_t(candidate) + 4096);
        const auto reference = renderReference(candidate, off, (prefix + 255) / 256 * 256);
        if (std::equal(played.begin(), played.begin() + long(2 * prefix), reference.begin())) on = candidate;
        if (firstSound - std::size_t(candidate) > 44100) break;
    }
    ASSERT_GE(on, 0) << "no note-on at frame 100 of a period explains the recording (sound from frame " << firstSound
                     << ")";
    // The note-off was sent 100 periods later at frame 37 of its period. On a loaded
    // machine the server may skip the program's cycles, which moves the note-off by whole
    // periods in the program's own count. The recording follows the rendering without a
    // note-off up to the note-off at least: it must be at frame 37 of a period at or
    // before the first difference.
    const auto sustained = renderReference(on, std::numeric_limits<long>::max(), frames);
    const std::size_t release =
        std::size_t(std::mismatch(played.begin(), played.end(), sustained.begin()).first - played.begin()) / 2;
    ASSERT_LT(release, frames) << "the note was never released";
    long off = -1;
    for (long candidate = long(release) / 256 * 256 + NoteClient::kOffFrame;
         candidate > on && long(release) - candidate < 8 * 256 && off < 0; candidate -= 256) {
        if (candidate > long(release)) continue;
        const auto reference = renderReference(on, candidate, frames);
        if (std::equal(played.begin(), played.end(), reference.begin())) off = candidate;
    }
    const long sentAfter = (off - on + NoteClient::kOnFrame - NoteClient::kOffFrame) / 256;
    EXPECT_NEAR(double(sentAfter), 100.0, 30.0) << "periods between note-on and note-off";
    ASSERT_GE(off, 0) << "no note-off at frame 37 of a period explains the recording (released from frame "
                      << release << ", note-on at " << on << ")";

    // Its pitch is A4, and it is loud while held and dies away after the note-off.
    const double pitch = pitchOf(played, std::size_t(on) + 8192, 4096);
    EXPECT_NEAR(pitch, 440.0, 440.0 * 0.02);
    int held = 0;
    for (std::size_t i = std::size_t(on) + 4096; i < std::size_t(off); ++i) held = std::max(held, std::abs(int(played[2 * i])));
    EXPECT_GT(held, 1000);
    std::printf("note-on at frame %ld (sound from %zu), note-off at %ld, %zu frames recorded, pitch %.2f Hz, peak %d\n",
                on, firstSound, off, frames, pitch, held);
}

} // namespace
} // namespace vl
