#pragma once
// What the whole-program tests of velmorloom share: starting the program (and jackd) as
// a user does with an environment of the test's own, bounded waits, reading its output
// and recordings, and a JACK server with a MIDI client that plays one note.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <jack/jack.h>
#include <jack/midiport.h>

#include "tests/support/Bytes.h"
#include "tests/support/Skip.h"

extern char** environ;

namespace vl::programtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr const char* kProgram = VELMORLOOM_PATH;

struct Child {
    pid_t pid = -1;
    fs::path out, err;
};

// Starts program with args; env entries NAME=VALUE replace or add to this environment,
// "NAME=" alone removes a variable.
inline Child spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                   const fs::path& dir, const std::string& tag) {
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
inline int waitFor(Child& c, std::chrono::milliseconds limit) {
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

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

using vltest::le32;

// The samples of a finished velmorloom recording; fails the test on a bad header.
inline std::vector<std::int16_t> readWav(const fs::path& p, std::uint32_t expectedRate) {
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
        dir = fs::temp_directory_path() / ("vl-program-" + std::to_string(::getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "run");
        fs::create_directories(dir / "cfg");
        env = {{"XDG_RUNTIME_DIR", (dir / "run").string()},
               {"XDG_CONFIG_HOME", (dir / "cfg").string()},
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

// ---- JACK ----

struct NoteClient {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    std::atomic<int> cycle{-1}; // counts cycles once the connection is up
    std::atomic<bool> done{false};
    std::atomic<int> channel{0}; // of the notes sent, 0..15
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
            const unsigned char on[3] = {static_cast<unsigned char>(0x90 | self->channel.load()), kKey, 100};
            jack_midi_event_write(buffer, kOnFrame, on, 3);
        } else if (c == kOffCycle) {
            const unsigned char off[3] = {static_cast<unsigned char>(0x80 | self->channel.load()), kKey, 0};
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

} // namespace vl::programtest
