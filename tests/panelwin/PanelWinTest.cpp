// The built plug-in DLL's panel in a Windows host window: loaded with LoadLibrary and
// its "main" export, opened into a real top-level window (wine64 under xvfb-run), read
// back through GetDIBits and worked with posted presses, real input (SendInput) and idle
// calls. The pictures to compare with come from the DLL's own resources.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "resources/BmpReader.h"
#include "tests/support/PanelScreen.h"
#include "tests/support/Win32TestSupport.h"
#include "tests/support/PluginHost.h"

using namespace plugtest;

namespace {

constexpr int kWidth = vltest::kPanelWidth;
constexpr int kHeight = vltest::kPanelHeight;

Library& library() {
    static Library lib;
    return lib;
}

// A bitmap of the DLL, decoded from the packed bitmap its resource holds.
vl::BmpImage dllBitmap(int id) {
    vl::BmpImage image;
    HMODULE module = library().handle;
    HRSRC found = module ? FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2) /* RT_BITMAP */) : nullptr;
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes) vl::readBmp(static_cast<const unsigned char*>(bytes), SizeofResource(module, found), image);
    return image;
}

using vltest::kKnobCentre;
using vltest::Pixels;

// With VL_PANEL_SCREENSHOT set, the panel as grabbed goes to that 24-bit .bmp file (to
// look at).
void screenshot(const Pixels& p) {
    const char* path = std::getenv("VL_PANEL_SCREENSHOT");
    if (!path || p.rgb.empty()) return;
    const std::uint32_t rowSize = (3 * kWidth + 3) & ~3u;
    const std::uint32_t imageSize = rowSize * kHeight;
    std::vector<unsigned char> file(54 + imageSize, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight); // bottom-up rows
    file[26] = 1;
    file[28] = 24;
    put32(34, imageSize);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::uint32_t c = p.at(x, kHeight - 1 - y);
            unsigned char* out = &file[54 + static_cast<std::size_t>(y) * rowSize + 3 * static_cast<std::size_t>(x)];
            out[0] = static_cast<unsigned char>(c);
            out[1] = static_cast<unsigned char>(c >> 8);
            out[2] = static_cast<unsigned char>(c >> 16);
        }
    if (std::FILE* f = std::fopen(path, "wb")) {
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }
}

// Dispatches this thread's messages, leaving out the Alt key's own messages: a lone Alt
// press and release would put the host window's system menu into its keyboard mode.
void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if ((message.message == WM_SYSKEYDOWN || message.message == WM_SYSKEYUP) && message.wParam == VK_MENU) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

class PanelWin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(library().handle, nullptr) << VL_PLUGIN_PATH;
        ASSERT_NE(library().pluginMain, nullptr);
        recorder().take();
        effect = library().pluginMain(recordingHost);
        ASSERT_NE(effect, nullptr);
        ASSERT_TRUE(effect->flags & effFlagsHasEditor);
        ASSERT_TRUE(reader.ready());
        SetForegroundWindow(host.handle());
        pump();
    }
    void TearDown() override {
        if (effect) {
            dispatch(effect, effEditClose);
            dispatch(effect, effClose);
        }
        pump();
    }

    VstIntPtr open() {
        const VstIntPtr answer = dispatch(effect, effEditOpen, 0, 0, host.handle());
        settle();
        return answer;
    }
    HWND panel() const { return GetWindow(host.handle(), GW_CHILD); }

    // What a host does between user actions: its message loop and the editor's idle.
    void settle(int times = 5) {
        for (int i = 0; i < times; ++i) {
            pump();
            dispatch(effect, effEditIdle);
            Sleep(10);
        }
    }

    Pixels grab() {
        Pixels p;
        HWND window = panel();
        if (!window) return p;
        HDC dc = GetDC(window);
        vl::test::PixelGrid grid(dc, kWidth, kHeight);
        ReleaseDC(window, dc);
        p.width = kWidth;
        p.height = kHeight;
        p.rgb.reserve(static_cast<std::size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const vl::Color c = grid.at(x, y);
                p.rgb.push_back(std::uint32_t(c.red) << 16 | std::uint32_t(c.green) << 8 | c.blue);
            }
        return p;
    }

    int readDisplay(const Pixels& screen, int parameter) const { return reader.readDisplay(screen, parameter); }
    std::vector<int> readDisplays(const Pixels& screen) const { return reader.readDisplays(screen); }
    std::vector<int> litPrograms(const Pixels& screen) const { return reader.litPrograms(screen); }

    POINT screenPoint(int x, int y) const {
        POINT p{x, y};
        ClientToScreen(panel(), &p);
        return p;
    }
    void postPress(int x, int y, WPARAM keys = MK_LBUTTON) {
        PostMessageA(panel(), WM_LBUTTONDOWN, keys, MAKELPARAM(x, y));
        settle();
    }
    // A press with the Alt key held (real key input, so the key state follows it).
    void altPress(int x, int y) {
        vl::test::sendKey(VK_MENU, true);
        settle(2);
        postPress(x, y);
        vl::test::sendKey(VK_MENU, false);
        settle(2);
    }

    float parameter(int index) { return effect->getParameter(effect, index); }
    int program() { return static_cast<int>(dispatch(effect, effGetProgram)); }
    std::string storedName() {
        void* data = nullptr;
        if (dispatch(effect, effGetChunk, 1, 0, &data) != 88 || !data) return "";
        return std::string(static_cast<const char*>(data) + 8); // after id and version
    }

    vl::test::TopWindow host{780, 380};
    AEffect* effect = nullptr;
    const vltest::PanelReader reader{[](int id) { return vltest::toPixels(dllBitmap(id)); }};
};

TEST_F(PanelWin, FreshPanelShowsTheFirstProgram) {
    vltest::expectPanelRect(effect);
    ASSERT_EQ(open(), 1);

    // one visible child window of the panel's size at the host window's origin
    HWND window = panel();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetWindow(window, GW_HWNDNEXT), nullptr) << "a single child window";
    EXPECT_TRUE(IsWindowVisible(window));
    RECT area;
    GetWindowRect(window, &area);
    POINT origin{area.left, area.top};
    ScreenToClient(host.handle(), &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(area.right - area.left, kWidth);
    EXPECT_EQ(area.bottom - area.top, kHeight);

    const Pixels screen = grab();
    screenshot(screen);
    reader.expectFreshPanel(screen);
    EXPECT_EQ(storedName(), "String Ensemble");

    dispatch(effect, effEditClose);
    pump();
    EXPECT_EQ(panel(), nullptr) << "close removes the panel's window";
}

// Values set while open and while closed, and a close and reopen: the panel shows them all.
TEST_F(PanelWin, ReopeningKeepsEveryValue) {
    ASSERT_EQ(open(), 1);
    struct Change {
        bool whileOpen;
        int index;
        float value;
        int shown; // on the display afterwards; -1: the panel does not change
    };
    const Change changes[] = {
        {true, 3, 0.7f, 88}, // 0.7 x 127 = 88.9, drawn without the fraction
        {true, 12, 1.0f, 32}, // the voice count, not value x 127
        {true, 40, 1.0f, -1}, // no such parameter: nothing
        {false, 4, 0.2f, 25}, {false, 9, 0.0f, 0},
    };
    std::vector<int> expected(std::begin(vltest::kFreshDisplays), std::end(vltest::kFreshDisplays));
    Pixels before;
    for (const Change& c : changes) {
        SCOPED_TRACE(c.index);
        if (!c.whileOpen && panel()) {
            before = grab();
            dispatch(effect, effEditClose);
            ASSERT_EQ(open(), 1);
            EXPECT_TRUE(grab() == before) << "reopened pixel for pixel";
            dispatch(effect, effEditClose);
        }
        effect->setParameter(effect, c.index, c.value);
        if (c.shown >= 0) expected[static_cast<std::size_t>(c.index)] = c.shown;
        if (c.whileOpen) {
            settle();
            EXPECT_EQ(readDisplays(grab()), expected);
        }
    }
    ASSERT_EQ(open(), 1);
    const Pixels reopened = grab();
    EXPECT_EQ(readDisplays(reopened), expected);
    EXPECT_EQ(litPrograms(reopened), std::vector<int>{0});
    dispatch(effect, effEditClose);
    ASSERT_EQ(open(), 1);
    EXPECT_TRUE(grab() == reopened);
}

TEST_F(PanelWin, DraggingAKnobAutomatesItsParameter) {
    ASSERT_EQ(open(), 1);
    const float start = parameter(3);
    recorder().take();
    const POINT centre = screenPoint(kKnobCentre[3].x, kKnobCentre[3].y);
    SetCursorPos(centre.x, centre.y);
    settle(2);
    // 40 pixels up: + 40/200 in linear mode
    vl::test::dragUp(
        centre, [&] { return recorder().count(effect, audioMasterBeginEdit) > 0; },
        [&] {
            vl::test::pumpMessages();
            dispatch(effect, effEditIdle);
        });
    settle();
    EXPECT_NEAR(parameter(3), start + 0.2f, 0.03f);
    vltest::expectOneDrag(recorder().take(), effect, 3);
    EXPECT_EQ(readDisplay(grab(), 3), static_cast<int>(parameter(3) * 127.0f));
}

TEST_F(PanelWin, ProgramButtonsSelectAndAltClickStores) {
    ASSERT_EQ(open(), 1);
    const auto [bx, by] = vltest::programButtonCentre(5);
    postPress(bx, by); // posted: the press is over before it is handled
    EXPECT_EQ(program(), 5);
    EXPECT_EQ(litPrograms(grab()), std::vector<int>{5});
    const float factory = parameter(3);

    struct Case {
        const char* name;
        bool alt;
        float kept; // Brightness after the click
    };
    const Case cases[] = {
        {"a plain click discards the edit", false, factory},
        {"Alt-click stores the edit", true, 0.9f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        effect->setParameter(effect, 3, 0.9f);
        settle();
        if (c.alt) altPress(bx, by);
        else postPress(bx, by);
        EXPECT_EQ(program(), 5);
        EXPECT_EQ(parameter(3), c.kept);
        EXPECT_EQ(litPrograms(grab()), std::vector<int>{5});
    }
    // the stored sound is program 5's from now on
    dispatch(effect, effSetProgram, 0, 0);
    dispatch(effect, effSetProgram, 0, 5);
    EXPECT_EQ(parameter(3), 0.9f);
    settle();
    EXPECT_EQ(litPrograms(grab()), std::vector<int>{5});
    // a real click on program button 1 selects it
    const POINT p = screenPoint(vltest::programButtonCentre(1).x, by);
    SetCursorPos(p.x, p.y);
    vl::test::sendMouseButton(MOUSEEVENTF_LEFTDOWN);
    vl::test::sendMouseButton(MOUSEEVENTF_LEFTUP);
    Sleep(20);
    settle();
    EXPECT_EQ(program(), 1);
    EXPECT_EQ(litPrograms(grab()), std::vector<int>{1});
}

TEST_F(PanelWin, TypedNameKeepsTwentyFourCharacters) {
    ASSERT_EQ(open(), 1);
    const std::string typed = "abcdefghijklmnopqrstuvwxyz0123"; // 30 characters
    postPress(vltest::kNameFieldPoint.x, vltest::kNameFieldPoint.y);
    HWND edit = GetFocus();
    ASSERT_NE(edit, nullptr);
    ASSERT_EQ(GetParent(edit), panel()) << "the name field's edit control has the focus";
    for (char c : typed) {
        const WORD key = static_cast<WORD>(c >= 'a' ? c - 'a' + 'A' : c);
        vl::test::sendKey(key, true);
        vl::test::sendKey(key, false);
        pump();
    }
    vl::test::sendKey(VK_RETURN, true);
    vl::test::sendKey(VK_RETURN, false);
    for (int i = 0; i < 50 && IsWindow(edit); ++i) settle(1);
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(storedName(), typed.substr(0, 24));
}

TEST_F(PanelWin, WheelChangesNothing) {
    ASSERT_EQ(open(), 1);
    float before[13];
    for (int p = 0; p < 13; ++p) before[p] = parameter(p);
    const Pixels screen = grab();
    recorder().take();
    struct Place {
        const char* name;
        int x, y;
    };
    const Place places[] = {
        {"Level", kKnobCentre[0].x, kKnobCentre[0].y},
        {"Brightness", kKnobCentre[3].x, kKnobCentre[3].y},
        {"Voices", kKnobCentre[12].x, kKnobCentre[12].y},
        {"program button 1", vltest::programButtonCentre(0).x, vltest::programButtonCentre(0).y},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(place.name);
        const POINT p = screenPoint(place.x, place.y);
        SetCursorPos(p.x, p.y);
        for (int notches : {1, -2, 1}) {
            // the message as the system sends it, and the real wheel
            SendMessageA(panel(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(notches * WHEEL_DELTA)),
                         MAKELPARAM(p.x, p.y));
            INPUT input{};
            input.type = INPUT_MOUSE;
            input.mi.dwFlags = MOUSEEVENTF_WHEEL;
            input.mi.mouseData = static_cast<DWORD>(notches * WHEEL_DELTA);
            SendInput(1, &input, sizeof input);
            settle(2);
        }
    }
    for (int p = 0; p < 13; ++p) EXPECT_EQ(parameter(p), before[p]) << p;
    EXPECT_EQ(program(), 0);
    for (const HostCall& c : recorder().take())
        EXPECT_TRUE(c.opcode != audioMasterAutomate && c.opcode != audioMasterBeginEdit) << c.opcode;
    EXPECT_TRUE(grab() == screen);
}

// Collects the visible dialog windows of this process, with their owners.
BOOL CALLBACK collectDialog(HWND window, LPARAM list) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::string(name) == "#32770")
        reinterpret_cast<std::vector<std::pair<HWND, HWND>>*>(list)->emplace_back(window, GetWindow(window, GW_OWNER));
    return TRUE;
}

std::vector<std::pair<HWND, HWND>> dialogs() {
    std::vector<std::pair<HWND, HWND>> found;
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Without a host file selector each file button opens the system's file dialog: exactly
// one, on the release over the button, owned by the host's window; cancelled, nothing
// changes.
TEST_F(PanelWin, FileButtonsOpenOneDialogOnTheRelease) {
    ASSERT_EQ(open(), 1);
    for (int button = 0; button < 4; ++button) {
        SCOPED_TRACE(button);
        const POINT p = screenPoint(vltest::fileButtonCentre(button).x, vltest::fileButtonCentre(button).y);
        SetCursorPos(p.x, p.y);
        settle(2);
        std::atomic<bool> done{false};
        std::atomic<int> duringPress{-1}, shown{0};
        HWND owner = nullptr;
        std::thread hand([&] {
            Sleep(300);
            duringPress = static_cast<int>(dialogs().size());
            vl::test::sendMouseButton(MOUSEEVENTF_LEFTUP);
            std::vector<std::pair<HWND, HWND>> open;
            for (int i = 0; i < 1000 && open.empty(); ++i) {
                Sleep(10);
                open = dialogs();
            }
            Sleep(200);
            open = dialogs();
            shown = static_cast<int>(open.size());
            for (const auto& dialog : open) {
                owner = dialog.second;
                PostMessageA(dialog.first, WM_COMMAND, IDCANCEL, 0);
            }
            for (int i = 0; i < 500 && !dialogs().empty(); ++i) Sleep(10);
            done = true;
        });
        vl::test::sendMouseButton(MOUSEEVENTF_LEFTDOWN);
        while (!done) {
            pump();
            dispatch(effect, effEditIdle);
            Sleep(5);
        }
        hand.join();
        settle();
        EXPECT_EQ(duringPress, 0) << "nothing opens on the press";
        EXPECT_EQ(shown, 1);
        EXPECT_EQ(owner, host.handle());
        EXPECT_TRUE(dialogs().empty());
        EXPECT_EQ(program(), 0);
        EXPECT_EQ(storedName(), "String Ensemble");
    }
}

// Hosts open and close the panel all the time: nothing may be left behind.
TEST_F(PanelWin, ManyOpenAndCloseCyclesLeakNoGdiObject) {
    ASSERT_EQ(open(), 1); // the first opening and drawing make what is kept for the process
    dispatch(effect, effEditClose);
    pump();
    const long before = vl::test::gdiObjectCount();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(dispatch(effect, effEditOpen, 0, 0, host.handle()), 1);
        effect->setParameter(effect, i % 13, (i % 7) / 6.0f);
        pump();
        dispatch(effect, effEditIdle);
        dispatch(effect, effEditClose);
        pump();
    }
    EXPECT_EQ(vl::test::gdiObjectCount(), before);
    // and a second instance, with pictures shared, opened and ended
    AEffect* second = library().pluginMain(recordingHost);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(dispatch(second, effEditOpen, 0, 0, host.handle()), 1);
    settle();
    dispatch(second, effEditClose);
    dispatch(second, effClose);
    pump();
    EXPECT_EQ(vl::test::gdiObjectCount(), before);
}

} // namespace
