// The whole velmorloom program, run as a user runs it: against a JACK server of its own
// (the dummy driver, headless) with notes from a JACK MIDI client of the test, and
// against ALSA's null device. Every wait is bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
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

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include "ProgramSupport.h"
#include "engine/Engine.h"
#include "instrument/Instrument.h"
#include "tests/support/Bytes.h"
#include "tests/support/Skip.h"

namespace vl {
namespace {

using namespace programtest;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

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
    EXPECT_NE(slurp(first.err).find("velmorloom: settings: bad value 'fast' for latency, using 50\n"), std::string::npos)
        << slurp(first.err);
    if (!fs::exists("/dev/snd/seq")) {
        EXPECT_NE(slurp(first.err).find("running without MIDI input"), std::string::npos) << slurp(first.err);
    }

    second = spawn(args({"--no-gui", "--audio", "alsa", "--device", "null"}), env, dir, "b");
    EXPECT_EQ(waitFor(second, 10s), 0);
    EXPECT_EQ(slurp(second.out),
              "velmorloom is already running (process " + std::to_string(first.pid) + "); showing its window\n");
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

// The window's class (what desktop entries match with StartupWMClass) and its
// _NET_WM_ICON: the 48 and 128 pixel desktop icons, pixel for pixel as the installed
// PNG files hold them (alpha and straight colour, 0xAARRGGBB).
void expectClassAndIcon(Display* d, Window w) {
    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(d, w, &hint));
    EXPECT_STREQ(hint.res_name, "velmorloom");
    EXPECT_STREQ(hint.res_class, "Velmorloom");
    XFree(hint.res_name);
    XFree(hint.res_class);

    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_ICON", False), 0, 1L << 20, False, XA_CARDINAL, &type,
                                 &format, &items, &after, &data),
              Success);
    ASSERT_NE(data, nullptr) << "no _NET_WM_ICON";
    // 32-bit items come back one to a long, sign-extended on 64-bit systems
    std::vector<unsigned long> icon(reinterpret_cast<unsigned long*>(data),
                                    reinterpret_cast<unsigned long*>(data) + items);
    XFree(data);
    for (unsigned long& item : icon) item &= 0xFFFFFFFFul;
    EXPECT_EQ(format, 32);
    std::size_t at = 0;
    for (int size : {48, 128}) {
        SCOPED_TRACE(size);
        ASSERT_LE(at + 2 + std::size_t(size) * size, icon.size());
        EXPECT_EQ(icon[at], unsigned(size));
        EXPECT_EQ(icon[at + 1], unsigned(size));
        const std::string file = std::string(VL_ICON_DIR) + "/velmorloom-" + std::to_string(size) + ".png";
        cairo_surface_t* png = cairo_image_surface_create_from_png(file.c_str());
        ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS) << file;
        const unsigned char* pixels = cairo_image_surface_get_data(png);
        const int stride = cairo_image_surface_get_stride(png);
        int wrong = 0, transparent = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const std::uint32_t p = reinterpret_cast<const std::uint32_t*>(pixels + y * stride)[x];
                const unsigned long shown = icon[at + 2 + std::size_t(y) * size + x];
                const unsigned alpha = p >> 24;
                if (alpha == 0) ++transparent;
                // cairo's pixels are premultiplied: compare shown colour x alpha with them
                bool same = (shown >> 24) == alpha;
                for (int shift : {16, 8, 0}) {
                    const long premultiplied = long(((shown >> shift) & 0xFF) * alpha + 127) / 255;
                    same = same && std::labs(premultiplied - long((p >> shift) & 0xFF)) <= 1;
                }
                wrong += same ? 0 : 1;
            }
        cairo_surface_destroy(png);
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(transparent, 0) << "the rounded corners are transparent";
        EXPECT_EQ(icon[at + 2] >> 24, 0u) << "top left corner";
        EXPECT_EQ(icon[at + 2 + std::size_t(size / 2) * size + size / 2] >> 24, 255u) << "centre";
        at += 2 + std::size_t(size) * size;
    }
    EXPECT_EQ(at, icon.size());
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
    // The window is found by its title, which it may have before its other properties and
    // its mapping reach the server: it must be shown within a few seconds.
    XWindowAttributes attributes{};
    for (auto shown = std::chrono::steady_clock::now() + 10s; XGetWindowAttributes(d, w, &attributes) &&
                                                              attributes.map_state != IsViewable &&
                                                              std::chrono::steady_clock::now() < shown;)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(XGetWindowAttributes(d, w, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_EQ(attributes.width, 727);
    EXPECT_EQ(attributes.height, 301);
    expectClassAndIcon(d, w);
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
    click(d, dialog.x + 195, dialog.y + 80); // sample rate: 44100 -> 48000
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
        for (std::size_t i = from; i < from + length; ++i)
            sum += double(s[2 * i]) * double(s[2 * (i + std::size_t(lag))]);
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    // Refine between neighbouring lags by a parabola.
    auto at = [&](int lag) {
        double sum = 0.0;
        for (std::size_t i = from; i < from + length; ++i)
            sum += double(s[2 * i]) * double(s[2 * (i + std::size_t(lag))]);
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
    ASSERT_GE(off, 0) << "no note-off at frame 37 of a period explains the recording (released from frame " << release
                      << ", note-on at " << on << ")";

    // Its pitch is A4, and it is loud while held and dies away after the note-off.
    const double pitch = pitchOf(played, std::size_t(on) + 8192, 4096);
    EXPECT_NEAR(pitch, 440.0, 440.0 * 0.02);
    int held = 0;
    for (std::size_t i = std::size_t(on) + 4096; i < std::size_t(off); ++i)
        held = std::max(held, std::abs(int(played[2 * i])));
    EXPECT_GT(held, 1000);
    std::printf("note-on at frame %ld (sound from %zu), note-off at %ld, %zu frames recorded, pitch %.2f Hz, peak %d\n",
                on, firstSound, off, frames, pitch, held);
}

// Takes the program's two outputs, whole periods from the moment both are connected.
struct CaptureClient {
    static constexpr std::size_t kCapacity = 44100 * 20;
    jack_client_t* client = nullptr;
    jack_port_t* in[2] = {};
    std::vector<float> samples[2] = {std::vector<float>(kCapacity), std::vector<float>(kCapacity)};
    std::atomic<std::size_t> frames{0};

    static int process(jack_nframes_t count, void* arg) {
        auto* self = static_cast<CaptureClient*>(arg);
        const std::size_t at = self->frames.load();
        if (jack_port_connected(self->in[0]) == 0 || jack_port_connected(self->in[1]) == 0 || at + count > kCapacity)
            return 0;
        for (int c = 0; c < 2; ++c) {
            const auto* from = static_cast<const float*>(jack_port_get_buffer(self->in[c], count));
            std::copy(from, from + count, self->samples[c].begin() + long(at));
        }
        self->frames.store(at + count);
        return 0;
    }
    bool sounded(std::size_t upTo) const {
        for (std::size_t i = 0; i < upTo; ++i)
            // (silence carries the feedback paths' tiny anti-denormal offsets in float)
            if (std::fabs(samples[0][i]) > 1e-6f || std::fabs(samples[1][i]) > 1e-6f) return true;
        return false;
    }
};

// With the input set to channel 1, a note on channel 2 from a JACK client is not played;
// the same note on channel 1 is. Then the outputs: out_1 carries the left channel of the
// recording and out_2 the right one, sample for sample (as the 16 bits recorded) in
// every period that sounds, and the two differ (the reverb makes them differ).
TEST_F(JackProgramTest, ChannelFilterAndLeftRightOutputs) {
    const fs::path wav = dir / "channels.wav";
    notes.channel = 1; // MIDI channel 2
    first = spawn(args({"--no-gui", "--audio", "jack", "--no-connect", "--midi-in", "vltest:notes", "--midi-channel",
                        "1", "--record", wav.string()}),
                  env, dir, "c");
    ASSERT_TRUE(waitForOutput(first, "playing through JACK", 15s)) << slurp(first.out) << slurp(first.err);

    CaptureClient capture;
    jack_status_t status{};
    capture.client = jack_client_open("vlcapture", jack_options_t(JackNoStartServer | JackServerName), &status,
                                      server.c_str());
    ASSERT_NE(capture.client, nullptr);
    for (int c = 0; c < 2; ++c) {
        capture.in[c] = jack_port_register(capture.client, c == 0 ? "in_1" : "in_2", JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsInput, 0);
        ASSERT_NE(capture.in[c], nullptr);
    }
    jack_set_process_callback(capture.client, &CaptureClient::process, &capture);
    ASSERT_EQ(jack_activate(capture.client), 0);
    for (int c = 0; c < 2; ++c) {
        const char** found = jack_get_ports(capture.client, c == 0 ? ":out_1$" : ":out_2$", JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsOutput);
        ASSERT_NE(found, nullptr);
        const int rc = jack_connect(capture.client, found[0], jack_port_name(capture.in[c]));
        jack_free(found);
        ASSERT_EQ(rc, 0);
    }
    auto playNotes = [&] {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!notes.done.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
        return notes.done.load();
    };
    ASSERT_TRUE(playNotes()) << "the MIDI connection was not made: " << slurp(first.err);
    // the notes again, now that the outputs are captured from the start
    notes.done = false;
    notes.cycle = 0;
    ASSERT_TRUE(playNotes());
    const std::size_t beforeChannelOne = capture.frames.load();
    ASSERT_GT(beforeChannelOne, 0u) << "nothing captured";
    EXPECT_FALSE(capture.sounded(beforeChannelOne)) << "a note on channel 2 was played with the input on channel 1";

    notes.channel = 0;
    notes.done = false;
    notes.cycle = 0;
    ASSERT_TRUE(playNotes());
    std::this_thread::sleep_for(300ms);
    jack_deactivate(capture.client);
    jack_client_close(capture.client);
    ::kill(first.pid, SIGTERM);
    ASSERT_EQ(waitFor(first, 10s), 0) << slurp(first.err);
    const std::size_t captured = capture.frames.load();
    ASSERT_TRUE(capture.sounded(captured)) << "the note on channel 1 was not played";

    // Each sounding captured period is looked up among the recorded periods by its left
    // channel; the right channel must then match the same recorded period.
    const std::vector<std::int16_t> recorded = readWav(wav, 44100);
    const std::size_t recordedFrames = recorded.size() / 2;
    // The recording holds the ports' float samples in 16 bits: nearest of (x * 32767.5 - 0.5),
    // limited to -32767 .. 32767.
    auto to16 = [](float x) { return std::clamp(std::nearbyint(x * 32767.5f - 0.5f), -32767.0f, 32767.0f); };
    auto matches = [&](std::size_t from, std::size_t recordedFrom, int channel) {
        for (std::size_t i = 0; i < 256; ++i) {
            const float expected = float(recorded[2 * (recordedFrom + i) + std::size_t(channel)]);
            if (to16(capture.samples[channel][from + i]) != expected) return false;
        }
        return true;
    };
    int sounding = 0, leftFound = 0, bothFound = 0;
    long differing = 0;
    std::size_t hint = 0;
    for (std::size_t from = 0; from + 256 <= captured; from += 256) {
        bool loud = false;
        for (std::size_t i = from; i < from + 256; ++i) {
            loud = loud || std::fabs(capture.samples[0][i]) > 1e-3f;
            differing += std::fabs(capture.samples[0][i] - capture.samples[1][i]) > 4.0f / 32768.0f;
        }
        if (!loud) continue;
        ++sounding;
        for (std::size_t n = 0; n + 256 <= recordedFrames; n += 256) {
            const std::size_t r = (hint + n) % (recordedFrames / 256 * 256);
            if (!matches(from, r, 0)) continue;
            ++leftFound;
            bothFound += matches(from, r, 1);
            hint = r + 256;
            break;
        }
    }
    ASSERT_GT(sounding, 50);
    EXPECT_GT(differing, 10000) << "left and right hardly differ: this render cannot tell the outputs apart";
    EXPECT_GE(leftFound, sounding * 9 / 10) << "out_1 does not carry the left channel";
    EXPECT_EQ(bothFound, leftFound) << "out_2 does not carry the right channel";
}

} // namespace
} // namespace vl
