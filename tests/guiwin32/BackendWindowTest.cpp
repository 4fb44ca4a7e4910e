// The panel's child window, input state, line editor and drops of the Windows backend.

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Win32TestSupport.h"
#include "gui/Platform.h"
#include "gui/win32/DropTarget.h"
#include "gui/win32/NativeWindow.h"
#include "gui/win32/Win32Input.h"

namespace vl {
namespace {

using test::pumpMessages;
using test::TopWindow;

class RecordingClient final : public NativeViewClient {
public:
    NativeView* view = nullptr;
    int paints = 0;
    int destroyed = 0;
    std::vector<Point> presses;
    std::vector<ButtonState> pressStates; // buttonState() at the press
    std::vector<ButtonState> afterEvents; // buttonState() after processEvents() inside it
    bool acceptDrops = true;
    std::vector<std::string> dropped;
    int dropKind = -1;
    int dropCount = 0;

    void viewPaint(DrawSurface& surface) override {
        ++paints;
        surface.setBrush(Color{0, 0, 255, 0});
        surface.fillRect(Rect{0, 0, 50, 50});
    }
    void viewMouseDown(Point where) override {
        presses.push_back(where);
        pressStates.push_back(view->buttonState());
        view->processEvents();
        afterEvents.push_back(view->buttonState());
    }
    bool viewWheel(float) override { return false; }
    bool viewDrop(char** items, int32_t count, int32_t kind, Point) override {
        dropKind = kind;
        dropCount = count;
        dropped.clear();
        if (kind == 0) {
            for (int i = 0; i < count; ++i) dropped.emplace_back(items[i]);
        } else {
            dropped.emplace_back(items[0]);
        }
        return acceptDrops;
    }
    void viewDestroyed() override { ++destroyed; }
};

struct ViewFixture : ::testing::Test {
    TopWindow host{400, 300};
    RecordingClient client;
    std::unique_ptr<NativeView> view;
    void SetUp() override {
        view.reset(createNativeView(host.handle(), Rect{0, 0, 200, 100}, &client));
        client.view = view.get();
        pumpMessages();
    }
    HWND hwnd() const { return static_cast<HWND>(view->nativeHandle()); }
};

TEST(NativeViewTest, OneClassPerModuleNamedAfterTheModuleAndCounted) {
    TopWindow host(300, 200);
    RecordingClient a, b;
    EXPECT_EQ(createNativeView(nullptr, Rect{0, 0, 10, 10}, &a), nullptr);
    char expected[32];
    std::snprintf(expected, sizeof expected, "Plugin%08x",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr))));
    std::unique_ptr<NativeView> first(createNativeView(host.handle(), Rect{0, 0, 120, 80}, &a));
    std::unique_ptr<NativeView> second(createNativeView(host.handle(), Rect{0, 0, 60, 40}, &b));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(win32::NativeWindow::registrationCount(), 2);
    char name[64] = {};
    GetClassNameA(static_cast<HWND>(first->nativeHandle()), name, sizeof name);
    EXPECT_STREQ(name, expected);
    WNDCLASSA info{};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), expected, &info));
    EXPECT_EQ(info.style, UINT(CS_GLOBALCLASS));
    HWND child = static_cast<HWND>(first->nativeHandle());
    EXPECT_EQ(GetParent(child), host.handle());
    EXPECT_EQ(GetWindowLongA(child, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
    RECT area;
    GetClientRect(child, &area);
    EXPECT_EQ(area.right, 120);
    EXPECT_EQ(area.bottom, 80);

    first.reset();
    EXPECT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), expected, &info)) << "still used by the second view";
    second.reset();
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), expected, &info));
    EXPECT_EQ(win32::NativeWindow::registrationCount(), 0);
}

TEST_F(ViewFixture, PaintsAndReportsDestructionByTheHost) {
    ASSERT_NE(view, nullptr);
    InvalidateRect(hwnd(), nullptr, FALSE);
    UpdateWindow(hwnd());
    pumpMessages();
    EXPECT_GE(client.paints, 1);
    std::unique_ptr<DrawSurface> surface(view->createSurface());
    ASSERT_NE(surface, nullptr);
    Color pixel;
    ASSERT_TRUE(surface->readPixel(10, 10, &pixel));
    EXPECT_TRUE(pixel.sameRgb(Color{0, 0, 255, 0}));
    surface.reset();
    const Point origin = view->screenOrigin();
    RECT area;
    GetWindowRect(hwnd(), &area);
    EXPECT_EQ(origin.h, area.left);
    EXPECT_EQ(origin.v, area.top);

    DestroyWindow(host.handle());
    EXPECT_EQ(client.destroyed, 1);
    view.reset(); // no call on the destroyed window, no crash
}

// A press message that arrives after its button was released already (a quick click, or
// a message posted without real input) counts as held, with its modifiers, until the
// first processEvents made from inside it.
TEST_F(ViewFixture, APressCountsAsHeldUntilTheFirstEventPass) {
    struct Case {
        UINT message;
        WPARAM keys;
        ButtonState expected;
    };
    const Case cases[] = {
        {WM_LBUTTONDOWN, MK_LBUTTON, kLeftButton},
        {WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT | MK_CONTROL, kLeftButton | kShift | kControl}, // 25
        {WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, kLeftButton | kControl}, // 17
        {WM_RBUTTONDOWN, MK_RBUTTON, kRightButton},
        {WM_MBUTTONDOWN, MK_MBUTTON, kMiddleButton},
    };
    for (const Case& c : cases) {
        client.pressStates.clear();
        client.afterEvents.clear();
        client.presses.clear();
        SendMessageA(hwnd(), c.message, c.keys, MAKELPARAM(12, 34));
        ASSERT_EQ(client.presses.size(), 1u);
        EXPECT_EQ(client.presses[0].h, 12);
        EXPECT_EQ(client.presses[0].v, 34);
        EXPECT_EQ(client.pressStates[0], c.expected);
        EXPECT_EQ(client.afterEvents[0], 0);
    }
    EXPECT_EQ(view->buttonState(), 0);
}

TEST(ButtonStateTest, FollowsThePrimaryButtonWhenTheButtonsAreSwapped) {
    for (const bool swapped : {false, true}) {
        SCOPED_TRACE(swapped);
        SwapMouseButton(swapped);
        if ((GetSystemMetrics(SM_SWAPBUTTON) != 0) != swapped) GTEST_SKIP() << "cannot swap the buttons here";
        // The physical right button is the primary one when swapped.
        const DWORD primaryDown = swapped ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
        const DWORD primaryUp = swapped ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
        test::sendMouseButton(primaryDown);
        test::sendKey(VK_SHIFT, true);
        Sleep(30);
        EXPECT_EQ(win32::liveButtonState(), kLeftButton | kShift);
        test::sendKey(VK_SHIFT, false);
        test::sendMouseButton(primaryUp);
        Sleep(30);
        EXPECT_EQ(win32::liveButtonState(), 0);
        pumpMessages();
    }
    SwapMouseButton(FALSE);
}

// ---------------------------------------------------------------------------------------
// Line editor

class EditClient final : public LineEditorClient {
public:
    std::unique_ptr<LineEditor> editor;
    std::string textAtEnd;
    int done = 0;
    void lineEditorDone() override {
        ++done;
        char text[300];
        editor->getText(text, sizeof text);
        textAtEnd = text;
        editor.reset(); // the client deletes the editor inside the call
    }
};

TEST_F(ViewFixture, LineEditorEndsOnReturnEscapeAndFocusLossAndIsColoured) {
    enum class End { Return, Escape, FocusLoss };
    for (const End end : {End::Return, End::Escape, End::FocusLoss}) {
        SCOPED_TRACE(int(end));
        EditClient edit;
        LineEditorSetup setup;
        setup.frame = Rect{10, 10, 110, 30};
        setup.font = 3;
        setup.textColor = Color{255, 255, 0, 0};
        setup.backColor = Color{0, 0, 128, 0};
        setup.alignment = 2;
        setup.text = "before";
        SetFocus(host.handle());
        edit.editor.reset(view->createLineEditor(setup, &edit));
        ASSERT_NE(edit.editor, nullptr);
        HWND control = GetFocus();
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetParent(control), hwnd());
        char className[16] = {};
        GetClassNameA(control, className, sizeof className);
        EXPECT_STREQ(className, "Edit") << "the native edit control";
        EXPECT_EQ(GetWindowLongA(control, GWL_STYLE) & 0xFFFF00FF, 0x50000082 & 0xFFFF00FF);
        RECT area;
        GetWindowRect(control, &area);
        EXPECT_EQ(area.right - area.left, 100);
        EXPECT_EQ(area.bottom - area.top, 20);
        // The whole text is selected: typing replaces it.
        DWORD from = 1, to = 0;
        SendMessageA(control, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
        EXPECT_EQ(from, 0u);
        EXPECT_EQ(to, 6u);
        // The panel window answers the control's colour request with the field's colours.
        HDC dc = GetDC(control);
        const LRESULT brush = SendMessageA(hwnd(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                           reinterpret_cast<LPARAM>(control));
        EXPECT_NE(brush, 0);
        EXPECT_EQ(GetTextColor(dc), RGB(255, 255, 0));
        EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 128));
        ReleaseDC(control, dc);

        SetWindowTextA(control, "after");
        switch (end) {
        case End::Return:
            SendMessageA(control, WM_KEYDOWN, VK_RETURN, 0);
            break;
        case End::Escape:
            SendMessageA(control, WM_KEYDOWN, VK_ESCAPE, 0);
            break;
        case End::FocusLoss:
            SetFocus(host.handle());
            break;
        }
        pumpMessages();
        EXPECT_EQ(edit.done, 1);
        EXPECT_EQ(edit.textAtEnd, end == End::Escape ? "before" : "after");
        EXPECT_EQ(edit.editor, nullptr);
        EXPECT_FALSE(IsWindow(control)) << "the control is gone with the editor";
        EXPECT_EQ(GetFocus(), host.handle()) << "the keyboard is back where it was";
    }
}

TEST_F(ViewFixture, LineEditorSurvivesTheHostDestroyingItsWindow) {
    EditClient edit;
    LineEditorSetup setup;
    setup.frame = Rect{0, 0, 80, 20};
    setup.text = std::string(300, 'x').c_str();
    const std::string longText(300, 'x');
    setup.text = longText.c_str();
    edit.editor.reset(view->createLineEditor(setup, &edit));
    ASSERT_NE(edit.editor, nullptr);
    char text[400];
    EXPECT_EQ(edit.editor->getText(text, sizeof text), 254) << "at most 254 characters";
    EXPECT_EQ(edit.editor->getText(text, 5), 4);
    EXPECT_STREQ(text, "xxxx");
    EXPECT_EQ(edit.editor->getText(nullptr, 5), 0);
    DestroyWindow(host.handle());
    pumpMessages();
    if (edit.editor) {
        // Still owned by its field: asking for the text is harmless and gives nothing new.
        edit.editor->getText(text, sizeof text);
        edit.editor.reset();
    }
    view.reset();
    SUCCEED();
}

// ---------------------------------------------------------------------------------------
// Drops

// A data object holding either text or a file list in global memory.
class DataObject final : public IDataObject {
public:
    static DataObject* text(const char* text) { return ofFormat(CF_TEXT, text); }
    static DataObject* ofFormat(CLIPFORMAT format, const char* text) {
        auto* d = new DataObject(format);
        const size_t size = std::strlen(text) + 1;
        d->memory_ = GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(GlobalLock(d->memory_), text, size);
        GlobalUnlock(d->memory_);
        return d;
    }
    static DataObject* files(const std::vector<std::string>& names) {
        auto* d = new DataObject(CF_HDROP);
        size_t size = sizeof(DROPFILES) + 1;
        for (const auto& n : names) size += n.size() + 1;
        d->memory_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        auto* header = static_cast<DROPFILES*>(GlobalLock(d->memory_));
        header->pFiles = sizeof(DROPFILES);
        char* p = reinterpret_cast<char*>(header + 1);
        for (const auto& n : names) {
            std::memcpy(p, n.c_str(), n.size() + 1);
            p += n.size() + 1;
        }
        GlobalUnlock(d->memory_);
        return d;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != format_ || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        // A copy that the receiver frees (no release object).
        const SIZE_T size = GlobalSize(memory_);
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(GlobalLock(copy), GlobalLock(memory_), size);
        GlobalUnlock(copy);
        GlobalUnlock(memory_);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format->cfFormat == format_ && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    explicit DataObject(CLIPFORMAT format) : format_(format) {}
    ~DataObject() { GlobalFree(memory_); }
    CLIPFORMAT format_;
    HGLOBAL memory_ = nullptr;
    ULONG references_ = 1;
};

class RecordingDrops final : public win32::DropHandler {
public:
    bool accept = true;
    int calls = 0;
    int kind = -1;
    int count = 0;
    std::vector<std::string> items;
    bool onNativeDrop(char** list, int n, int k, POINT) override {
        ++calls;
        kind = k;
        count = n;
        items.clear();
        if (k == 0) {
            for (int i = 0; i < n; ++i) items.emplace_back(list[i]);
        } else {
            items.emplace_back(list[0]);
        }
        return accept;
    }
};

struct OleFixture : ::testing::Test {
    void* token = nullptr;
    void SetUp() override {
        token = attachUiThread();
        ASSERT_NE(token, nullptr);
    }
    void TearDown() override { detachUiThread(token); }
};

TEST_F(OleFixture, DropEffectsAreCopyOrNoneNeverMove) {
    struct Case {
        const char* name;
        bool text;
        bool accept;
        DWORD keys;
        DWORD expectedOver;
        DWORD expectedDrop;
    };
    const Case cases[] = {
        {"text taken", true, true, 0, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {"text taken with Control", true, true, MK_CONTROL, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {"text refused", true, false, 0, DROPEFFECT_COPY, DROPEFFECT_NONE},
        {"files taken", false, true, 0, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {"files refused", false, false, MK_CONTROL, DROPEFFECT_COPY, DROPEFFECT_NONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingDrops drops;
        drops.accept = c.accept;
        auto* target = new win32::FileDropTarget(nullptr, &drops);
        target->AddRef();
        IDataObject* data = c.text ? DataObject::text("dropped words") : DataObject::files({"C:\\a.fxp"});
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        EXPECT_EQ(target->DragEnter(data, c.keys, POINTL{0, 0}, &effect), S_OK);
        EXPECT_EQ(effect, c.expectedOver);
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(target->DragOver(c.keys, POINTL{0, 0}, &effect), S_OK);
        EXPECT_EQ(effect, c.expectedOver);
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(target->Drop(data, c.keys, POINTL{0, 0}, &effect), S_OK);
        EXPECT_EQ(effect, c.expectedDrop);
        EXPECT_EQ(drops.calls, 1);
        EXPECT_EQ(drops.kind, c.text ? 1 : 0);
        if (c.text) {
            EXPECT_EQ(drops.items[0], "dropped words");
            EXPECT_EQ(drops.count, 14) << "the byte size of the text block";
        } else {
            EXPECT_EQ(drops.count, 1);
            EXPECT_EQ(drops.items[0], "C:\\a.fxp");
        }
        data->Release();
        target->Release();
    }
    // Data of neither kind is refused and never reaches the handler.
    RecordingDrops drops;
    auto* target = new win32::FileDropTarget(nullptr, &drops);
    target->AddRef();
    IDataObject* other = DataObject::ofFormat(CF_DIB, "not a name");
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(other, 0, POINTL{0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(other, 0, POINTL{0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(drops.calls, 0);
    target->Release();
    other->Release();
}

std::string tempFolder() {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::string folder = std::string(path) + "vltoolkitdrop";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool makeShortcut(const std::string& shortcut, const std::string& target) {
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return false;
    }
    link->SetPath(target.c_str());
    IPersistFile* file = nullptr;
    bool saved = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, shortcut.c_str(), -1, wide, MAX_PATH);
        saved = SUCCEEDED(file->Save(wide, TRUE));
        file->Release();
    }
    link->Release();
    return saved;
}

TEST_F(OleFixture, ShortcutsResolveToTheShortPathOfTheirTarget) {
    const std::string folder = tempFolder();
    const std::string target = folder + "\\a long patch name.fxp";
    FILE* f = std::fopen(target.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("patch", f);
    std::fclose(f);
    char shortTarget[1024];
    ASSERT_GT(GetShortPathNameA(target.c_str(), shortTarget, sizeof shortTarget), 0u);
    ASSERT_TRUE(makeShortcut(folder + "\\patch.lnk", target));
    ASSERT_TRUE(makeShortcut(folder + "\\CAPS.LNK", target));
    ASSERT_TRUE(CopyFileA((folder + "\\patch.lnk").c_str(), (folder + "\\patch.lnk.txt").c_str(), FALSE));

    RecordingDrops drops;
    auto* dropTarget = new win32::FileDropTarget(nullptr, &drops);
    dropTarget->AddRef();
    IDataObject* data = DataObject::files(
        {folder + "\\patch.lnk", folder + "\\CAPS.LNK", folder + "\\patch.lnk.txt", target});
    DWORD effect = DROPEFFECT_COPY;
    dropTarget->DragEnter(data, 0, POINTL{0, 0}, &effect);
    dropTarget->Drop(data, 0, POINTL{0, 0}, &effect);
    ASSERT_EQ(drops.count, 4);
    // The target, in its short form (where the file system has one).
    for (int i = 0; i < 2; ++i) {
        char resolved[1024] = {};
        GetShortPathNameA(drops.items[i].c_str(), resolved, sizeof resolved);
        EXPECT_STRCASEEQ(resolved, shortTarget) << drops.items[i];
    }
    EXPECT_EQ(drops.items[2], folder + "\\patch.lnk.txt") << "not a shortcut by its last extension";
    EXPECT_EQ(drops.items[3], target);
    data->Release();
    dropTarget->Release();

    char name[1024] = "C:\\no such folder\\gone.lnk";
    EXPECT_FALSE(win32::resolveShortcut(name, sizeof name));
    EXPECT_STREQ(name, "C:\\no such folder\\gone.lnk") << "an unresolvable name stays as it was";
}

TEST_F(ViewFixture, FailedDropRegistrationFreesItsTargetAndIsReported) {
    void* token = attachUiThread();
    ASSERT_NE(token, nullptr);
    // Someone else holds the window's registration: ours is refused.
    auto* other = new win32::FileDropTarget(hwnd(), nullptr);
    other->AddRef();
    ASSERT_EQ(RegisterDragDrop(hwnd(), other), S_OK);
    EXPECT_FALSE(view->setDropTarget(true));
    EXPECT_EQ(win32::FileDropTarget::liveCount(), 1) << "the refused target is freed";
    RevokeDragDrop(hwnd());
    other->Release();
    EXPECT_EQ(win32::FileDropTarget::liveCount(), 0);

    EXPECT_TRUE(view->setDropTarget(true));
    EXPECT_TRUE(view->setDropTarget(true)) << "already registered";
    auto* second = new win32::FileDropTarget(hwnd(), nullptr);
    second->AddRef();
    EXPECT_EQ(RegisterDragDrop(hwnd(), second), DRAGDROP_E_ALREADYREGISTERED);
    second->Release();
    EXPECT_TRUE(view->setDropTarget(false));
    EXPECT_EQ(win32::FileDropTarget::liveCount(), 0) << "revoked and released";
    view.reset();
    detachUiThread(token);
}

// The owner of the panel's file dialogs: the nearest window with a caption, unless a
// window on the way is much larger than the panel (then the window before it).
TEST(NativeViewTest, FindsTheHostWindowForDialogs) {
    struct Case {
        int hostWidth, hostHeight;
        bool expectHost;
    };
    for (const Case& c : {Case{320, 240, true}, Case{800, 600, false}, Case{300, 400, false}}) {
        SCOPED_TRACE(testing::Message() << c.hostWidth << "x" << c.hostHeight);
        TopWindow host(c.hostWidth, c.hostHeight);
        RecordingClient client;
        std::unique_ptr<NativeView> view(createNativeView(host.handle(), Rect{0, 0, 300, 200}, &client));
        ASSERT_NE(view, nullptr);
        void* expected = c.expectHost ? static_cast<void*>(host.handle()) : view->nativeHandle();
        EXPECT_EQ(view->findHostWindow(), expected);
    }
}

TEST(OleSessionTest, UninitialisesOnlyWhatItInitialised) {
    void* outer = attachUiThread();
    ASSERT_NE(outer, nullptr);
    void* inner = attachUiThread(); // S_FALSE: counted, undone by its own detach
    ASSERT_NE(inner, nullptr);
    detachUiThread(inner);
    // OLE is still initialised for the outer token: a clipboard call works.
    EXPECT_EQ(OleIsCurrentClipboard(nullptr), S_FALSE);
    // A detach on another thread must not undo this thread's initialisation.
    void* third = attachUiThread();
    std::thread other([third] { detachUiThread(third); });
    other.join();
    EXPECT_EQ(OleIsCurrentClipboard(nullptr), S_FALSE);
    detachUiThread(outer);
    detachUiThread(nullptr);
}

} // namespace
} // namespace vl
