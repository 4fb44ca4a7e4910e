// The Linux fallbacks behind the panel: the file chooser (zenity, else kdialog, else the
// own path dialog) and notices as a modal X11 window while the panel is open. Stand-in
// zenity and kdialog scripts on PATH record how they were asked and answer as told.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "instrument/Instrument.h"
#include "instrument/InstrumentEditor.h"
#include "instrument/PatchFiles.h"
#include "platform/Notice.h"
#include "tests/panel/HostSupport.h"
#include "tests/support/HostRecorder.h"
#include "tests/support/PanelScreen.h"
#include "tests/support/Skip.h"
#include "tests/support/X11Driver.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// A folder of stand-in programs put on PATH for one test.
class FakeTools {
public:
    FakeTools() {
        char pattern[] = "/tmp/vl-tools-XXXXXX";
        dir = mkdtemp(pattern) ? pattern : "";
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", dir.c_str(), 1);
    }
    ~FakeTools() {
        setenv("PATH", oldPath.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    // A program that logs its arguments (one a line) to <name>.log, prints answer and
    // exits with status.
    void add(const std::string& name, const std::string& answer, int status) {
        const std::string path = dir + "/" + name;
        std::ofstream script(path);
        script << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" << dir << "/" << name << ".log'\n"
               << "echo run >> '" << dir << "/" << name << ".count'\n"
               << "printf '%s\\n' '" << answer << "'\nexit " << status << "\n";
        script.close();
        chmod(path.c_str(), 0755);
    }
    std::string log(const std::string& name) { return readAll(dir + "/" + name + ".log"); }
    bool ran(const std::string& name) { return access((dir + "/" + name + ".log").c_str(), F_OK) == 0; }
    int runs(const std::string& name) {
        const std::string count = readAll(dir + "/" + name + ".count");
        return static_cast<int>(std::count(count.begin(), count.end(), '\n'));
    }

    std::string dir;

private:
    std::string oldPath;
};

using vltest::quietHost;

bool haveDisplay() {
    Display* d = vltest::x11::openDisplay();
    if (d) XCloseDisplay(d);
    return d != nullptr;
}

// An instrument whose panel is open in a host window on this thread: only then do the file
// buttons' choosers and the notice windows appear.
class OpenPanel {
public:
    OpenPanel() {
        display = vltest::x11::openDisplay();
        if (!display) return;
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 760, 320, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        for (int attempt = 0; attempt < 20 && !opened && instrument.getPanel(); ++attempt) {
            opened = instrument.getPanel()->open(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))) == 1;
            if (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (opened) instrument.getPanel()->idle();
    }
    ~OpenPanel() {
        if (opened) instrument.getPanel()->close();
        if (display) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }
    vl::Instrument instrument{quietHost};
    Display* display = nullptr;
    Window parent = 0;
    bool opened = false;
};

struct Selection {
    VstFileType type;
    VstFileSelect request;
    Selection(vl::FileKind kind, vl::FileCommand command) { vl::fillFileSelection(request, type, kind, command); }
    ~Selection() { std::free(request.returnPath); }
    std::string chosen() const { return request.returnPath ? request.returnPath : ""; }
};

TEST(FileChooser, NothingWithoutAnOpenPanel) {
    // what reaches the file functions without the panel (a host, a test) chooses nothing
    FakeTools tools;
    tools.add("zenity", "/tmp/a.fxp", 0);
    Selection s(vl::FileKind::patch, vl::FileCommand::load);
    EXPECT_FALSE(vl::chooseFileFallback(&s.request, nullptr));
    EXPECT_FALSE(tools.ran("zenity"));
}

TEST(FileChooser, ZenityThenKdialogThenNothingWithoutADisplay) {
    if (!haveDisplay()) VL_SKIP_UNAVAILABLE("no X display");
    OpenPanel panel;
    ASSERT_TRUE(panel.opened);
    struct Case {
        const char* what;
        int zenityStatus; // -1: not installed
        int kdialogStatus;
        vl::FileCommand command;
        const char* answer;
        bool chosen;
        const char* expected;
        const char* used;
    };
    const Case cases[] = {
        {"zenity chooses a patch to load", 0, 0, vl::FileCommand::load, "/tmp/a.fxp", true, "/tmp/a.fxp", "zenity"},
        {"zenity cancelled: kdialog is not asked", 1, 0, vl::FileCommand::load, "", false, "", "zenity"},
        {"zenity cannot run: kdialog chooses", 255, 0, vl::FileCommand::save, "/tmp/b.fxb", true, "/tmp/b.fxb",
         "kdialog"},
        {"only kdialog", -1, 0, vl::FileCommand::load, "/tmp/c.fxb", true, "/tmp/c.fxb", "kdialog"},
        {"a saved name gets its extension", 0, -1, vl::FileCommand::save, "/tmp/song", true, "/tmp/song.fxp", "zenity"},
        {"kdialog cancelled", -1, 1, vl::FileCommand::save, "", false, "", "kdialog"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTools tools;
        if (c.zenityStatus >= 0) tools.add("zenity", c.answer, c.zenityStatus);
        if (c.kdialogStatus >= 0) tools.add("kdialog", c.answer, c.kdialogStatus);
        const bool bank = std::string(c.answer).find(".fxb") != std::string::npos;
        Selection s(bank ? vl::FileKind::bank : vl::FileKind::patch, c.command);
        EXPECT_EQ(vl::chooseFileFallback(&s.request, nullptr), c.chosen);
        if (c.chosen) {
            EXPECT_EQ(s.chosen(), c.expected);
        }
        EXPECT_TRUE(tools.ran(c.used));
        if (std::string(c.used) == "zenity") {
            EXPECT_FALSE(tools.ran("kdialog"));
        }
        const std::string args = tools.log(c.used);
        const bool save = c.command == vl::FileCommand::save;
        if (std::string(c.used) == "zenity") {
            EXPECT_NE(args.find("--file-selection\n"), std::string::npos) << args;
            EXPECT_EQ(args.find("--save\n--confirm-overwrite\n") != std::string::npos, save) << args;
            EXPECT_NE(args.find(bank ? "--file-filter=FX Banks (*.fxb) | *.fxb\n"
                                     : "--file-filter=FX Patches (*.fxp) | *.fxp\n"),
                      std::string::npos)
                << args;
        } else {
            EXPECT_NE(args.find(save ? "--getsavefilename\n" : "--getopenfilename\n"), std::string::npos) << args;
            EXPECT_NE(args.find(bank ? "*.fxb|FX Banks\n" : "*.fxp|FX Patches\n"), std::string::npos) << args;
        }
    }
    // neither installed and no display: nothing chosen, nothing shown
    FakeTools none;
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    Selection s(vl::FileKind::patch, vl::FileCommand::load);
    EXPECT_FALSE(vl::chooseFileFallback(&s.request, nullptr));
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
}

void typeText(Display* d, const std::string& text) {
    for (char c : text) {
        KeySym sym = NoSymbol;
        bool shift = false;
        if (c == '/') sym = XK_slash;
        else if (c == '.') sym = XK_period;
        else if (c == '-') sym = XK_minus;
        else if (c == '_') {
            sym = XK_minus;
            shift = true;
        } else {
            sym = XStringToKeysym(std::string(1, c).c_str());
            shift = c >= 'A' && c <= 'Z';
        }
        const KeyCode code = XKeysymToKeycode(d, sym);
        if (shift) XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Shift_L), True, 0);
        XTestFakeKeyEvent(d, code, True, 0);
        XTestFakeKeyEvent(d, code, False, 0);
        if (shift) XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Shift_L), False, 0);
        XFlush(d);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

void pressKey(Display* d, KeySym sym) {
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), True, 0);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), False, 0);
    XFlush(d);
}

// An open panel, neither zenity nor kdialog on PATH (so the own dialog answers), and a
// folder holding one file, removed at the end.
class OwnDialogScene {
public:
    explicit OwnDialogScene(const char* fileName) {
        char pattern[] = "/tmp/vl-own-XXXXXX";
        if (mkdtemp(pattern)) folder = pattern;
        existing = folder + "/" + fileName;
        std::ofstream(existing) << "x";
    }
    ~OwnDialogScene() {
        std::error_code ignored;
        if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }
    bool ready() const { return panel.opened && !folder.empty(); }

    OpenPanel panel;
    FakeTools none;
    std::string folder;
    std::string existing;
};

TEST(FileChooser, OwnDialogTakesATypedPath) {
    if (!haveDisplay()) VL_SKIP_UNAVAILABLE("no X display");
    OwnDialogScene scene("old.fxb");
    ASSERT_TRUE(scene.ready());
    const std::string& folder = scene.folder;
    const std::string& existing = scene.existing;

    struct Case {
        const char* what;
        vl::FileCommand command;
        std::string typed;
        KeySym finish;
        bool chosen;
        std::string expected;
    };
    const Case cases[] = {
        {"load an existing file", vl::FileCommand::load, existing, XK_Return, true, existing},
        {"escape cancels", vl::FileCommand::load, existing, XK_Escape, false, ""},
        {"save gets the extension", vl::FileCommand::save, folder + "/new", XK_Return, true, folder + "/new.fxb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Selection s(vl::FileKind::bank, c.command);
        const std::string title = s.request.title;
        bool chosen = false;
        {
            WindowDriver driver(title, [&](Display* d, Window w) {
                XSetInputFocus(d, w, RevertToParent, CurrentTime);
                // clear the suggested folder, type the path, finish
                for (int i = 0; i < 200; ++i) pressKey(d, XK_BackSpace);
                typeText(d, c.typed);
                pressKey(d, c.finish);
            });
            chosen = vl::chooseFileFallback(&s.request, nullptr);
            EXPECT_TRUE(driver.found);
        }
        EXPECT_EQ(chosen, c.chosen);
        if (c.chosen) {
            EXPECT_EQ(s.chosen(), c.expected);
        }
    }
}

// Types UTF-8 text: ASCII through typeText, every other character through a spare key
// mapped to it for the press (its Unicode keysym, or the legacy keysym given for it).
void typeUtf8(Display* d, const std::string& text, const std::vector<std::pair<char32_t, KeySym>>& legacy = {}) {
    int minCode = 0, maxCode = 0;
    XDisplayKeycodes(d, &minCode, &maxCode);
    const KeyCode spare = static_cast<KeyCode>(maxCode);
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            typeText(d, std::string(1, text[i]));
            ++i;
            continue;
        }
        const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t c = lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += static_cast<std::size_t>(length);
        KeySym sym = c <= 0xFF ? KeySym(c) : KeySym(0x01000000UL | c);
        for (const auto& [character, symbol] : legacy)
            if (character == c) sym = symbol;
        XChangeKeyboardMapping(d, spare, 1, &sym, 1);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        XTestFakeKeyEvent(d, spare, True, 0);
        XTestFakeKeyEvent(d, spare, False, 0);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(d, spare, 1, &none, 1);
    XSync(d, False);
}

// Runs the process in folder (the own dialog suggests the working folder) for one scope.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : old(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() {
        std::error_code ignored;
        std::filesystem::current_path(old, ignored);
    }

private:
    std::filesystem::path old;
};

TEST(FileChooser, OwnDialogKeepsUtf8AndLongPathsWhole) {
    if (!haveDisplay()) VL_SKIP_UNAVAILABLE("no X display");
    OwnDialogScene scene("old.fxp");
    ASSERT_TRUE(scene.ready());
    // a folder with non-ASCII names, and one nested so deep that its path is over 600 bytes
    const std::string utf8Folder = scene.folder + "/zo\xC3\xAB/Kl\xC3\xA4nge";
    std::string deepFolder = scene.folder;
    while (deepFolder.size() < 600) deepFolder += "/" + std::string(60, 'd');
    for (const std::string& f : {utf8Folder, deepFolder}) {
        std::filesystem::create_directories(f);
        std::ofstream(f + "/pad.fxp") << "x";
    }
    struct Case {
        const char* what;
        std::string workingFolder; // suggested in the field, followed by the caret
        bool clear; // Backspace until the suggestion is gone
        std::string typed; // UTF-8
        std::vector<KeySym> keys; // pressed after typing
        std::string more; // typed after those
        std::string expected;
    };
    const std::string euroFile = utf8Folder + "/\xE2\x82\xAC\xCE\xA9.fxp"; // a euro sign and an omega
    std::ofstream(euroFile) << "x";
    std::ofstream(utf8Folder + "/\xC3\xA4x" + "pad.fxp") << "x";
    const Case cases[] = {
        {"a suggested UTF-8 folder and a typed name", utf8Folder, false, "pad.fxp", {}, "", utf8Folder + "/pad.fxp"},
        {"a UTF-8 path typed whole", "", true, utf8Folder + "/pad.fxp", {}, "", utf8Folder + "/pad.fxp"},
        {"characters beyond Latin-1 typed", "", true, euroFile, {}, "", euroFile},
        {"Backspace takes one whole character",
         "",
         true,
         utf8Folder + "/pad.fxp\xC3\xAB\xE2\x82\xAC",
         {XK_BackSpace, XK_BackSpace},
         "",
         utf8Folder + "/pad.fxp"},
        {"Left and Delete step over whole characters",
         "",
         true,
         utf8Folder + "/\xC3\xA4\xE2\x82\xACpad.fxp",
         {XK_Home, XK_End, XK_Left, XK_Left, XK_Left, XK_Left, XK_Left, XK_Left, XK_Left, XK_Left, XK_Delete, XK_Left,
          XK_Right},
         "x",
         utf8Folder + "/\xC3\xA4x" + "pad.fxp"},
        {"a suggested folder of over 600 bytes", deepFolder, false, "pad.fxp", {}, "", deepFolder + "/pad.fxp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Selection s(vl::FileKind::patch, vl::FileCommand::load);
        bool chosen = false;
        {
            std::unique_ptr<WorkingFolder> inFolder;
            if (!c.workingFolder.empty()) inFolder = std::make_unique<WorkingFolder>(c.workingFolder);
            WindowDriver driver(s.request.title, [&](Display* d, Window w) {
                XSetInputFocus(d, w, RevertToParent, CurrentTime);
                if (c.clear)
                    for (int i = 0; i < 200; ++i) pressKey(d, XK_BackSpace);
                // the euro sign as most layouts type it (a legacy keysym), the rest as Unicode
                typeUtf8(d, c.typed, {{U'\u20AC', XK_EuroSign}});
                for (KeySym key : c.keys) pressKey(d, key);
                typeUtf8(d, c.more);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                pressKey(d, XK_Return);
            });
            chosen = vl::chooseFileFallback(&s.request, nullptr);
            EXPECT_TRUE(driver.found);
        }
        EXPECT_TRUE(chosen);
        EXPECT_EQ(s.chosen(), c.expected);
    }
}

// What a dialog window shows, read back from the server (a 24-bit TrueColor screen).
struct WindowImage {
    int width = 0, height = 0;
    std::vector<unsigned long> pixels;
    unsigned long at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    int red(int x, int y) const { return static_cast<int>(at(x, y) >> 16 & 0xFF); }
    int green(int x, int y) const { return static_cast<int>(at(x, y) >> 8 & 0xFF); }
    int blue(int x, int y) const { return static_cast<int>(at(x, y) & 0xFF); }
};

WindowImage grabWindow(Display* d, Window w) {
    WindowImage shot;
    XSync(d, False);
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a)) return shot;
    XImage* image = XGetImage(d, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height), AllPlanes,
                              ZPixmap);
    if (!image) return shot;
    shot.width = a.width;
    shot.height = a.height;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) shot.pixels.push_back(XGetPixel(image, x, y));
    XDestroyImage(image);
    return shot;
}

// The dialog's buttons are the cells of the panel's olive (118, 124, 84): the first one
// found from the left is the default, the last one on the right the other.
struct Buttons {
    int row = -1, first = -1, last = -1;
};

Buttons findButtons(const WindowImage& shot) {
    Buttons b;
    for (int y = shot.height - 1; y >= 0 && b.row < 0; --y)
        for (int x = 0; x < shot.width && b.row < 0; ++x)
            if (shot.at(x, y) == 0x767C54UL) b.row = y - 4; // inside the cells, above their lower edges
    for (int x = 0; b.row >= 0 && x < shot.width; ++x)
        if (shot.at(x, b.row) == 0x767C54UL) {
            if (b.first < 0) b.first = x;
            b.last = x;
        }
    return b;
}

// Pixels of text in a colour far redder than anything else in the dialog (the hint).
int redTextPixels(const WindowImage& shot) {
    int count = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            if (shot.red(x, y) > shot.green(x, y) + 50) ++count;
    return count;
}

// Pixels of dark text (the olive ink on khaki) above the buttons.
int inkPixels(const WindowImage& shot, int aboveRow) {
    int count = 0;
    for (int y = 0; y < aboveRow && y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            if (shot.red(x, y) < 100 && shot.green(x, y) < 100 && shot.blue(x, y) < 100) ++count;
    return count;
}

void clickAt(Display* d, Window w, int x, int y) {
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(d, -1, rootX, rootY, 0);
    XFlush(d);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    XTestFakeButtonEvent(d, 1, True, 0);
    XFlush(d);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    XTestFakeButtonEvent(d, 1, False, 0);
    XFlush(d);
}

// Whether the top-level window w goes away within a second (answered, not left to the
// driver, which destroys it only later).
bool closesSoon(Display* d, Window w) {
    for (int i = 0; i < 50; ++i) {
        const std::vector<Window> top = childWindows(d, DefaultRootWindow(d));
        if (std::find(top.begin(), top.end(), w) == top.end()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(FileChooser, OwnDialogAnswersItsButtons) {
    if (!haveDisplay()) VL_SKIP_UNAVAILABLE("no X display");
    OwnDialogScene scene("old.fxp");
    ASSERT_TRUE(scene.ready());
    struct Case {
        const char* what;
        std::string typed;
        bool refused; // OK shows a hint and the dialog stays; then Cancel
        bool chosen;
    };
    const Case cases[] = {
        {"OK takes the typed path", scene.existing, false, true},
        {"a missing file is refused on OK, then cancelled", scene.folder + "/none.fxp", true, false},
        {"a missing folder is refused on OK, then cancelled", "/vl-no-such-folder/a.fxp", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Selection s(vl::FileKind::patch, vl::FileCommand::load);
        Buttons buttons;
        int hintBefore = -1, hintAfter = -1;
        bool chosen = false, closed = false;
        {
            WindowDriver driver(s.request.title, [&](Display* d, Window w) {
                XSetInputFocus(d, w, RevertToParent, CurrentTime);
                for (int i = 0; i < 200; ++i) pressKey(d, XK_BackSpace);
                typeText(d, c.typed);
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                const WindowImage shot = grabWindow(d, w);
                buttons = findButtons(shot);
                hintBefore = redTextPixels(shot);
                if (buttons.row < 0) return;
                clickAt(d, w, buttons.first + 10, buttons.row);
                if (c.refused) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    hintAfter = redTextPixels(grabWindow(d, w));
                    clickAt(d, w, buttons.last - 10, buttons.row);
                }
                closed = closesSoon(d, w);
            });
            chosen = vl::chooseFileFallback(&s.request, nullptr);
            EXPECT_TRUE(driver.found);
        }
        ASSERT_GE(buttons.row, 0) << "no buttons seen";
        EXPECT_GT(buttons.last - buttons.first, 150) << "OK and Cancel side by side";
        EXPECT_EQ(hintBefore, 0);
        if (c.refused) {
            EXPECT_GT(hintAfter, 20) << "the refusal is shown in the dialog";
        }
        EXPECT_TRUE(closed) << "answered by the click";
        EXPECT_EQ(chosen, c.chosen);
        if (c.chosen) {
            EXPECT_EQ(s.chosen(), c.typed);
        }
    }
}

TEST(Notices, ShowTheirTextAndCloseOnOK) {
    if (!haveDisplay()) VL_SKIP_UNAVAILABLE("no X display");
    OpenPanel panel;
    ASSERT_TRUE(panel.opened);
    Buttons buttons;
    int ink = -1;
    bool closed = false;
    {
        WindowDriver driver("Velmor Loom Error", [&](Display* d, Window w) {
            const WindowImage shot = grabWindow(d, w);
            buttons = findButtons(shot);
            ink = inkPixels(shot, buttons.row - 10);
            if (buttons.row < 0) return;
            clickAt(d, w, (buttons.first + buttons.last) / 2, buttons.row);
            closed = closesSoon(d, w);
        });
        unsigned char garbage[88] = {};
        EXPECT_EQ(panel.instrument.setChunk(garbage, sizeof garbage, true), 0);
        EXPECT_TRUE(driver.found);
    }
    ASSERT_GE(buttons.row, 0) << "no OK button seen";
    EXPECT_LT(buttons.last - buttons.first, 100) << "one button";
    EXPECT_GT(ink, 200) << "the message is drawn";
    EXPECT_TRUE(closed) << "answered by the click";
}

// Columns from the leftmost to the rightmost pixel of dark text above the buttons.
int inkSpan(const WindowImage& shot, int aboveRow) {
    int left = shot.width, right = -1;
    for (int y = 0; y < aboveRow && y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            if (shot.red(x, y) < 100 && shot.green(x, y) < 100 && shot.blue(x, y) < 100) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return right - left + 1;
}

TEST(Notices, DrawUtf8TextAsItsCharacters) {
    if (!haveDisplay()) VL_SKIP_UNAVAILABLE("no X display");
    OpenPanel panel;
    ASSERT_TRUE(panel.opened);
    // An e with acute is as wide as an e; its two UTF-8 bytes read as Latin-1 would be
    // two glyphs, an A with tilde and a copyright sign.
    const char* messages[] = {"eeeeeeeeeeee", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                              "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"};
    int spans[2] = {-1, -1};
    for (int i = 0; i < 2; ++i) {
        WindowDriver driver("Velmor Loom Test", [&](Display* d, Window w) {
            const WindowImage shot = grabWindow(d, w);
            const Buttons buttons = findButtons(shot);
            if (buttons.row < 0) return;
            spans[i] = inkSpan(shot, buttons.row - 30); // above the buttons' frames
            clickAt(d, w, (buttons.first + buttons.last) / 2, buttons.row);
            closesSoon(d, w);
        });
        vl::showNotice("Velmor Loom Test", messages[i]);
        EXPECT_TRUE(driver.found);
    }
    ASSERT_GT(spans[0], 40) << "the message is drawn";
    EXPECT_NEAR(spans[1], spans[0], 2) << "one glyph for each character";
}

TEST(Notices, ModalWindowWhileThePanelIsOpen) {
    if (!haveDisplay()) VL_SKIP_UNAVAILABLE("no X display");
    OpenPanel panel;
    ASSERT_TRUE(panel.opened);
    vl::Instrument& instrument = panel.instrument;
    {
        // a refused chunk while the panel is open: the error window, dismissed with Return
        WindowDriver driver("Velmor Loom Error", [](Display* d, Window w) {
            XSetInputFocus(d, w, RevertToParent, CurrentTime);
            pressKey(d, XK_Return);
        });
        unsigned char garbage[88] = {};
        EXPECT_EQ(instrument.setChunk(garbage, sizeof garbage, true), 0);
        EXPECT_TRUE(driver.found);
    }
    {
        // from another thread (as from the audio thread) it stays a stderr line
        std::thread other([] { vl::showError(vl::ErrorCode::readFailed); });
        other.join();
    }
}

// Input on a connection of its own while this thread keeps idling the panel.
void withIdle(vl::InstrumentEditor* panel, const std::function<void(Display*)>& input) {
    std::atomic<bool> done{false};
    std::thread actor([&] {
        if (Display* d = XOpenDisplay(nullptr)) {
            input(d);
            XSync(d, False);
            XCloseDisplay(d);
        }
        done = true;
    });
    while (!done) {
        panel->idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    actor.join();
    for (int i = 0; i < 5; ++i) {
        panel->idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void step(Display* d, int x, int y, int button = 0, bool down = false) {
    if (button) XTestFakeButtonEvent(d, static_cast<unsigned>(button), down, 0);
    else XTestFakeMotionEvent(d, -1, x, y, 0);
    XFlush(d);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST(FileButtons, ActOnceOnTheReleaseOverTheButton) {
    if (!haveDisplay()) VL_SKIP_UNAVAILABLE("no X display");
    OpenPanel panel;
    ASSERT_TRUE(panel.opened);
    FakeTools tools;
    tools.add("zenity", "", 1); // the user cancels
    vl::InstrumentEditor* editor = panel.instrument.getPanel();
    const auto [x, y] = vltest::fileButtonCentre(3); // save bank
    // pressed and released over the button: one chooser, after the release
    withIdle(editor, [&](Display* d) {
        step(d, x, y);
        step(d, 0, 0, 1, true);
        step(d, x + 3, y + 2);
        step(d, 0, 0, 1, false);
    });
    EXPECT_EQ(tools.runs("zenity"), 1);
    EXPECT_NE(tools.log("zenity").find("--save\n"), std::string::npos);
    // pressed, then released away from the button: nothing
    withIdle(editor, [&](Display* d) {
        step(d, x, y);
        step(d, 0, 0, 1, true);
        step(d, x, y + 60);
        step(d, x, y + 90);
        step(d, 0, 0, 1, false);
    });
    EXPECT_EQ(tools.runs("zenity"), 1);
    // a quick click on load patch: one chooser for loading
    XTestFakeMotionEvent(panel.display, -1, vltest::fileButtonCentre(0).x, vltest::fileButtonCentre(0).y, 0);
    XTestFakeButtonEvent(panel.display, 1, True, 0);
    XTestFakeButtonEvent(panel.display, 1, False, 0);
    XSync(panel.display, False);
    for (int i = 0; i < 10; ++i) {
        editor->idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(tools.runs("zenity"), 2);
    EXPECT_EQ(tools.log("zenity").find("--save\n"), std::string::npos);
}

} // namespace
