// The whole program under wine: its windows, a note played through the MIDI input
// handler and recorded through the record switch's file dialog, a clean end on
// WM_CLOSE; and the single-instance rule with the real executable started twice.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "standalone/StandaloneApp.h"
#include "standalone/win32/RegistryStore.h"
#include "standalone/win32/WindowsMidiPorts.h"
#include "standalone/win32/WindowsShell.h"
#include "gui/Controls.h"
#include "instrument/InstrumentEditor.h"
#include "vst/EditorBase.h"
#include "tests/support/Bytes.h"

namespace {

constexpr UINT kActionMessage = WM_APP + 77;

// Work handed to the user-interface thread: a thread message picked up by a hook on
// that thread's message retrieval (also inside modal loops).
std::function<void()> pendingAction;
std::atomic<bool> actionDone{false};

LRESULT CALLBACK messageHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->hwnd == nullptr && message->message == kActionMessage) {
        message->message = WM_NULL;
        std::function<void()> action = std::move(pendingAction);
        pendingAction = nullptr;
        actionDone.store(true);
        if (action) action();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void runOnUiThread(DWORD uiThread, std::function<void()> action) {
    actionDone.store(false);
    pendingAction = std::move(action);
    PostThreadMessageA(uiThread, kActionMessage, 0, 0);
    for (int i = 0; i < 400 && !actionDone.load(); ++i) Sleep(10);
}

template <class Condition>
bool waitFor(Condition condition, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (condition()) return true;
        Sleep(10);
    }
    return condition();
}

// Fills the save dialog with path and confirms it.
bool answerSaveDialog(const std::string& path) {
    HWND dialog = nullptr;
    if (!waitFor([&] { return (dialog = FindWindowA(reinterpret_cast<LPCSTR>(32770), "Save WAV File")) != nullptr; },
                 10000)) {
        return false;
    }
    Sleep(300);
    HWND name = GetDlgItem(dialog, 0x47C); // the file name box
    if (!name) name = GetDlgItem(dialog, 0x480);
    if (!name) return false;
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return waitFor([&] { return !IsWindow(dialog); }, 10000);
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        unsigned char buffer[65536];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
        std::fclose(file);
    }
    return bytes;
}

using vltest::le32;

// Pitch of the left channel by autocorrelation over one stretch, between 100 and 500 Hz:
// the shortest lag whose correlation comes close to the best one (multiples of the
// period correlate as well as the period itself).
double pitchOf(const std::vector<float>& left, std::size_t begin, std::size_t length, int rate) {
    std::vector<double> scores(rate / 100 + 1, 0.0);
    double bestScore = 0;
    for (int lag = rate / 500; lag <= rate / 100; ++lag) {
        double score = 0;
        for (std::size_t i = begin; i < begin + length; ++i) score += double(left[i]) * left[i + lag];
        scores[lag] = score;
        bestScore = std::max(bestScore, score);
    }
    for (int lag = rate / 500 + 1; lag < rate / 100; ++lag) {
        if (scores[lag] >= 0.85 * bestScore && scores[lag] >= scores[lag - 1] && scores[lag] >= scores[lag + 1])
            return double(rate) / lag;
    }
    return 0.0;
}

struct ProgramRun {
    bool windowsFound = false;
    bool innerFound = false;
    int clientWidth = 0;
    int clientHeight = 0;
    int expectedWidth = 0;
    int expectedHeight = 0;
    bool streamRunning = false;
    bool dialogAnswered = false;
    bool recordingStarted = false;
    bool recordingStopped = false;
    bool buttonsInTable = false;
    bool cancelledSwitchOff = false;
    bool pressDidNotOpenSetup = false;
    bool releaseOpenedSetup = false;
    bool reopenedAt48000 = false;
};

// Dismisses the first dialog titled title that appears within timeoutMs with Cancel.
bool cancelDialog(const char* title, int timeoutMs) {
    HWND dialog = nullptr;
    if (!waitFor([&] { return (dialog = FindWindowA(reinterpret_cast<LPCSTR>(32770), title)) != nullptr; }, timeoutMs))
        return false;
    Sleep(200);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return waitFor([&] { return !IsWindow(dialog); }, 10000);
}

struct ButtonCheck {
    int tag;
    vl::Rect place;
    bool toggle;
};

TEST(Program, PlaysARecordedNoteAndQuitsOnClose) {
    RegDeleteTreeA(HKEY_CURRENT_USER, vl::kRegistryKeyPath); // defaults: 44100 Hz, 50 ms
    // The note is recorded after the setup dialog moved the program to 48000 Hz.
    constexpr int kRate = 48000;
    constexpr std::uint32_t kBlockFrames = 2400;
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    const std::string wavPath = std::string(folder) + "velmorloom-program-test.wav";
    DeleteFileA(wavPath.c_str());

    const DWORD uiThread = GetCurrentThreadId();
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, messageHook, nullptr, uiThread);
    ASSERT_NE(hook, nullptr);

    ProgramRun run;
    std::thread driver([&] {
        HWND outer = nullptr;
        run.windowsFound =
            waitFor([&] { return (outer = FindWindowA(vl::kOuterClassName, vl::kWindowTitle)) != nullptr; }, 20000);
        if (!run.windowsFound) return;
        vl::StandaloneApp* app = nullptr;
        waitFor([&] { return (app = vl::theApp.load()) != nullptr; }, 5000);
        HWND inner = nullptr;
        waitFor(
            [&] { return (inner = FindWindowExA(outer, nullptr, vl::kInnerClassName, vl::kWindowTitle)) != nullptr; },
            5000);
        run.innerFound = inner != nullptr && IsWindowVisible(inner) && GetParent(inner) == outer;
        RECT client{};
        GetClientRect(outer, &client);
        run.clientWidth = client.right;
        run.clientHeight = client.bottom;
        run.expectedWidth = 90;
        run.expectedHeight = 90;
        if (app && app->getEditor()) {
            ERect* rectangle = nullptr;
            app->getEditor()->getRect(&rectangle);
            if (rectangle) {
                run.expectedWidth = rectangle->right - rectangle->left;
                run.expectedHeight = rectangle->bottom - rectangle->top;
            }
        }
        run.streamRunning = app && app->audioOutput() && app->audioOutput()->blockFrames() == 2205 &&
                            app->audioOutput()->sampleRate() == 44100;

        if (app && app->getPanel()) {
            // The two buttons sit in the panel's controls table at their places.
            vl::InstrumentEditor* panel = app->getPanel();
            waitFor([&] { return panel->getControl(42) != nullptr; }, 5000); // added after the panel opened
            const ButtonCheck buttons[] = {{41, vl::Rect{618, 268, 661, 293}, false},
                                           {42, vl::Rect{668, 268, 711, 293}, true}};
            run.buttonsInTable = true;
            for (const ButtonCheck& b : buttons) {
                vl::Widget* control = panel->getControl(b.tag);
                const bool kindOk = b.toggle ? dynamic_cast<vl::ToggleButton*>(control) != nullptr
                                             : dynamic_cast<vl::MomentaryButton*>(control) != nullptr;
                const vl::Rect r = control ? control->getSize() : vl::Rect{};
                run.buttonsInTable = run.buttonsInTable && kindOk && r.left == b.place.left && r.top == b.place.top &&
                                     r.right == b.place.right && r.bottom == b.place.bottom;
            }

            // Record switched on, then the file dialog cancelled: no recording, switch off.
            auto* recordSwitch = dynamic_cast<vl::ValueWidget*>(panel->getControl(42));
            std::thread cancel([&] { cancelDialog("Save WAV File", 10000); });
            runOnUiThread(uiThread, [app, recordSwitch] {
                if (recordSwitch) recordSwitch->setValue(1.0f);
                app->panelControlChanged(vl::StandaloneApp::kRecordButtonTag, 1.0f);
            });
            cancel.join();
            waitFor([&] { return actionDone.load(); }, 5000);
            Sleep(200);
            run.cancelledSwitchOff = !app->recording() && recordSwitch && recordSwitch->getValue() == 0.0f;

            // The settings button opens the setup dialog on its release only.
            runOnUiThread(uiThread, [app] { app->panelControlChanged(vl::StandaloneApp::kSettingsButtonTag, 1.0f); });
            Sleep(500);
            run.pressDidNotOpenSetup = FindWindowA(reinterpret_cast<LPCSTR>(32770), "Setup") == nullptr;
            std::thread cancelSetup([&] { run.releaseOpenedSetup = cancelDialog("Setup", 10000); });
            runOnUiThread(uiThread, [app] { app->panelControlChanged(vl::StandaloneApp::kSettingsButtonTag, 0.0f); });
            cancelSetup.join();
        }

        if (app) {
            // The setup dialog's OK with 48000 Hz: the devices are reopened at that rate.
            std::thread chooseRate([&] {
                HWND dialog = nullptr;
                if (!waitFor([&] { return (dialog = FindWindowA(reinterpret_cast<LPCSTR>(32770), "Setup")) != nullptr; },
                             10000))
                    return;
                Sleep(200);
                SendDlgItemMessageA(dialog, 1000, CB_SETCURSEL, 1, 0);
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            });
            runOnUiThread(uiThread, [app] { app->panelControlChanged(vl::StandaloneApp::kSettingsButtonTag, 0.0f); });
            chooseRate.join();
            run.reopenedAt48000 = waitFor(
                [&] {
                    vl::AudioOutput* output = app->audioOutput();
                    return output && output->sampleRate() == 48000 && output->blockFrames() == 2400 &&
                           app->midiPorts() != nullptr;
                },
                5000);
        }

        if (app) {
            // Record switch on: the save dialog asks for the file.
            std::thread answer([&] { run.dialogAnswered = answerSaveDialog(wavPath); });
            runOnUiThread(uiThread, [app] { app->panelControlChanged(vl::StandaloneApp::kRecordButtonTag, 1.0f); });
            answer.join();
            run.recordingStarted = waitFor([&] { return app->recording(); }, 5000);
            Sleep(300);

            // Middle C through the input handler, as the system's MIDI thread delivers it.
            vl::MidiPorts* ports = app->midiPorts();
            const auto port = reinterpret_cast<DWORD_PTR>(ports);
            vl::WindowsMidiInput::inputHandler(nullptr, MIM_OPEN, port, 0, 0);
            const std::uint32_t opened = vl::millisecondClock();
            vl::WindowsMidiInput::inputHandler(nullptr, MIM_DATA, port, 0x7F3C90, vl::millisecondClock() - opened);
            Sleep(1200);
            vl::WindowsMidiInput::inputHandler(nullptr, MIM_DATA, port, 0x003C80, vl::millisecondClock() - opened);
            Sleep(300);

            // Record switch off.
            runOnUiThread(uiThread, [app] { app->panelControlChanged(vl::StandaloneApp::kRecordButtonTag, 0.0f); });
            run.recordingStopped = waitFor([&] { return !app->recording(); }, 5000);
        }
        PostMessageA(outer, WM_CLOSE, 0, 0);
    });
    const int exitCode = vl::runStandaloneProgram(GetModuleHandleA(nullptr));
    driver.join();
    UnhookWindowsHookEx(hook);

    EXPECT_EQ(exitCode, 0);
    ASSERT_TRUE(run.windowsFound);
    EXPECT_TRUE(run.innerFound);
    // A captioned window is at least as wide as the system's minimum (wider than the
    // 90 pixels of the window without a panel).
    const int minimumClient = GetSystemMetrics(SM_CXMINTRACK) - 2 * GetSystemMetrics(SM_CXFIXEDFRAME);
    if (run.expectedWidth >= minimumClient) {
        EXPECT_EQ(run.clientWidth, run.expectedWidth);
    } else {
        EXPECT_GE(run.clientWidth, run.expectedWidth);
    }
    EXPECT_EQ(run.clientHeight, run.expectedHeight);
    EXPECT_TRUE(run.streamRunning);
    EXPECT_TRUE(run.buttonsInTable);
    EXPECT_TRUE(run.cancelledSwitchOff);
    EXPECT_TRUE(run.pressDidNotOpenSetup);
    EXPECT_TRUE(run.releaseOpenedSetup);
    EXPECT_TRUE(run.reopenedAt48000);
    EXPECT_TRUE(run.dialogAnswered);
    EXPECT_TRUE(run.recordingStarted);
    EXPECT_TRUE(run.recordingStopped);
    EXPECT_EQ(vl::theApp.load(), nullptr);

    const std::vector<unsigned char> wav = readFile(wavPath);
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(le32(wav.data() + 24), std::uint32_t(kRate));
    const std::uint32_t dataBytes = le32(wav.data() + 40);
    EXPECT_EQ(dataBytes, wav.size() - 44);
    EXPECT_EQ(le32(wav.data() + 4), dataBytes + 36);
    EXPECT_EQ(dataBytes % (kBlockFrames * 4), 0u) << "whole blocks only";
    const std::size_t frames = dataBytes / 4;
    ASSERT_GT(frames, std::size_t(kRate)) << "about 1.8 s were recorded";

    std::vector<float> left(frames);
    int peak = 0;
    std::size_t firstSound = frames;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<std::int16_t>(wav[44 + 4 * i] | wav[45 + 4 * i] << 8);
        left[i] = sample;
        peak = std::max(peak, std::abs(int(sample)));
        if (firstSound == frames && std::abs(int(sample)) > 200) firstSound = i;
    }
    EXPECT_GT(peak, 2000) << "the note is in the file";
    ASSERT_LT(firstSound + kRate / 2, frames);
    EXPECT_GT(firstSound, kBlockFrames) << "silence before the note";
    const double pitch = pitchOf(left, firstSound + kRate / 10, kRate / 5, kRate);
    EXPECT_NEAR(pitch, 261.63, 261.63 * 0.03);
    DeleteFileA(wavPath.c_str());
}

// ---- One instance only ----

// The command line that starts the program: its path on wine's Z: drive, quoted.
std::string programCommandLine() {
    std::string line = "\"Z:";
    line.append(VL_STANDALONE_EXE);
    line.push_back('"');
    for (char& c : line)
        if (c == '/') c = '\\';
    return line;
}

PROCESS_INFORMATION startProgram() {
    std::string commandLine = programCommandLine();
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        process.hProcess = nullptr;
    return process;
}

int countMainWindows() {
    int count = 0;
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, vl::kOuterClassName, vl::kWindowTitle)) != nullptr) ++count;
    return count;
}

TEST(Program, SecondStartRaisesTheFirstWindowAndExitsZero) {
    PROCESS_INFORMATION first = startProgram();
    ASSERT_NE(first.hProcess, nullptr);
    HWND window = nullptr;
    ASSERT_TRUE(
        waitFor([&] { return (window = FindWindowA(vl::kOuterClassName, vl::kWindowTitle)) != nullptr; }, 30000));
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(waitFor([&] { return IsIconic(window) != FALSE; }, 5000));

    PROCESS_INFORMATION second = startProgram();
    ASSERT_NE(second.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(second.hProcess, 30000), WAIT_OBJECT_0);
    DWORD secondExit = 1234;
    GetExitCodeProcess(second.hProcess, &secondExit);
    EXPECT_EQ(secondExit, 0u);
    EXPECT_TRUE(waitFor([&] { return IsIconic(window) == FALSE; }, 5000)) << "the first window was restored";
    EXPECT_EQ(countMainWindows(), 1);

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(first.hProcess, 30000), WAIT_OBJECT_0);
    DWORD firstExit = 1234;
    GetExitCodeProcess(first.hProcess, &firstExit);
    EXPECT_EQ(firstExit, 0u);
    EXPECT_EQ(countMainWindows(), 0);
    for (PROCESS_INFORMATION* p : {&first, &second}) {
        CloseHandle(p->hThread);
        CloseHandle(p->hProcess);
    }
}

} // namespace
