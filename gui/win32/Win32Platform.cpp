// The toolkit's platform layer on Windows: images from bitmap resources, GDI surfaces,
// the panel's child window with its pointer state, the EDIT control as line editor, OLE
// drops and the clock.

#include "gui/Platform.h"

#include "gui/win32/DropTarget.h"
#include "gui/win32/GdiPicture.h"
#include "gui/win32/GdiSurface.h"
#include "gui/win32/LineEdit.h"
#include "gui/win32/NativeWindow.h"
#include "gui/win32/Win32Input.h"

#include <cstring>
#include <new>

namespace vl {

namespace {

using win32::GdiPicture;
using win32::GdiSurface;

// The EDIT control over a text field. Escape puts the initial text back before the
// client hears that editing ended, so that the field keeps its text.
class Win32LineEditor final : public LineEditor, private win32::LineEditListener {
public:
    explicit Win32LineEditor(LineEditorClient* client) : client_(client) {}
    ~Win32LineEditor() override = default; // the LineEdit member closes the control

    bool open(HWND parent, const LineEditorSetup& setup) {
        const char* text = setup.text ? setup.text : "";
        // The field keeps at most 254 characters; the control starts with no more.
        const int32_t limit = setup.maxLength > 0 && setup.maxLength < 254 ? setup.maxLength : 254;
        lstrcpynA(initial_, text, limit + 1);
        const Rect& frame = setup.frame;
        if (!edit_.open(parent, frame.left, frame.top, frame.width(), frame.height(), setup.alignment, setup.font,
                        fontEntry(setup.font).height, initial_, win32::toColorRef(setup.textColor),
                        win32::toColorRef(setup.backColor), this)) {
            return false;
        }
        SendMessageA(edit_.handle(), EM_SETLIMITTEXT, static_cast<WPARAM>(limit), 0);
        return true;
    }

    int32_t getText(char* buffer, int32_t size) override {
        if (!buffer || size <= 0) return 0;
        return edit_.text(buffer, size);
    }

private:
    void onLineEditDone(bool commit) override {
        if (!commit && edit_.isOpen()) SetWindowTextA(edit_.handle(), initial_);
        // The client normally deletes this editor here; nothing of it is used afterwards.
        if (client_) client_->lineEditorDone();
    }

    LineEditorClient* client_;
    win32::LineEdit edit_;
    char initial_[256] = {};
};

class Win32NativeView final : public NativeView, private win32::NativeWindowHandler, private win32::DropHandler {
public:
    Win32NativeView(HWND parent, const Rect& size, NativeViewClient* client)
        : client_(client), window_(parent, size.width(), size.height(), this) {}

    ~Win32NativeView() override {
        client_ = nullptr;
        drops_.disable();
    }

    bool valid() const { return window_.handle() != nullptr; }

    void* nativeHandle() const override { return window_.handle(); }

    DrawSurface* createSurface() override {
        HWND window = window_.handle();
        if (!window) return nullptr;
        HDC dc = GetDC(window);
        if (!dc) return nullptr;
        auto* surface = new (std::nothrow) GdiSurface(dc, GdiSurface::Context::WindowDc, window);
        if (!surface) ReleaseDC(window, dc);
        return surface;
    }

    Point screenOrigin() override {
        const POINT origin = win32::windowOrigin(window_.handle());
        return Point{origin.x, origin.y};
    }

    Point cursorScreenPosition() override {
        const POINT where = win32::cursorPosition();
        return Point{where.x, where.y};
    }

    ButtonState buttonState() override {
        const ButtonState live = win32::liveButtonState();
        return pressHeld_ ? (live | pressState_) : live;
    }

    // Messages reach the window procedure through the host's own loop; what is left is to
    // end the held state of a press that is being handled.
    void processEvents() override { pressHeld_ = false; }

    void dispatchPendingPaint() override {
        MSG message;
        if (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
    }

    void setCursor(int32_t kind) override { win32::setCursorKind(kind); }

    void* findHostWindow() override {
        HWND root = window_.handle();
        if (!root) return nullptr;
        RECT rootArea;
        GetWindowRect(root, &rootArea);
        const LONG rootWidth = rootArea.right - rootArea.left;
        const LONG rootHeight = rootArea.bottom - rootArea.top;
        for (HWND current = root; current;) {
            if (GetWindowLongA(current, GWL_STYLE) & WS_CAPTION) return current;
            HWND parent = GetParent(current);
            if (!parent) return current;
            RECT area;
            GetWindowRect(parent, &area);
            const LONG width = area.right - area.left;
            const LONG height = area.bottom - area.top;
            if (width - rootWidth > 60 || rootWidth - width > 60 || height - rootHeight > 60 ||
                rootHeight - height > 60) {
                return current;
            }
            current = parent;
        }
        return nullptr;
    }

    bool setDropTarget(bool enable) override {
        if (!enable) {
            drops_.disable();
            return true;
        }
        if (!window_.handle()) return false;
        return drops_.enable(window_.handle(), this);
    }

    LineEditor* createLineEditor(const LineEditorSetup& setup, LineEditorClient* client) override {
        if (!window_.handle()) return nullptr;
        auto* editor = new (std::nothrow) Win32LineEditor(client);
        if (!editor) return nullptr;
        if (!editor->open(window_.handle(), setup)) {
            delete editor;
            return nullptr;
        }
        return editor;
    }

    bool forwardKey(const VstKeyCode&, bool) override { return false; }

private:
    void onNativePaint(HDC dc) override {
        if (!client_) return;
        GdiSurface surface(dc, GdiSurface::Context::Borrowed);
        client_->viewPaint(surface);
    }

    void onNativeMouseDown(int x, int y, ButtonState press) override {
        if (!client_) return;
        // While the press is handled it counts as held, with the modifiers it came with,
        // until the first idle pass made from inside it: a click that was already over
        // when its message arrived still acts as a click.
        const bool outerHeld = pressHeld_;
        const ButtonState outerState = pressState_;
        pressHeld_ = true;
        pressState_ = press;
        client_->viewMouseDown(Point{x, y});
        pressHeld_ = outerHeld;
        pressState_ = outerState;
    }

    bool onNativeWheel(float distance) override { return client_ && client_->viewWheel(distance); }

    void onNativeDestroy() override {
        drops_.disable();
        if (client_) client_->viewDestroyed();
    }

    bool onNativeDrop(char** items, int count, int kind, POINT where) override {
        if (!client_) return false;
        return client_->viewDrop(items, count, kind, Point{where.x, where.y});
    }

    NativeViewClient* client_;
    win32::NativeWindow window_;
    win32::DropRegistration drops_;
    bool pressHeld_ = false;
    ButtonState pressState_ = 0;
};

} // namespace

PlatformImage* loadPlatformImage(int32_t id) {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
    if (readBitmapFromSource(id, &width, &height, &rgb)) return createPlatformImage(width, height, rgb.data());
    auto* picture = new (std::nothrow) GdiPicture(static_cast<int>(id));
    if (picture && !picture->handle()) {
        delete picture;
        picture = nullptr;
    }
    return picture;
}

PlatformImage* createPlatformImage(int32_t width, int32_t height, const uint8_t* rgb) {
    if (width <= 0 || height <= 0 || !rgb) return nullptr;
    auto* picture = new (std::nothrow) GdiPicture(width, height, rgb);
    if (picture && !picture->handle()) {
        delete picture;
        picture = nullptr;
    }
    return picture;
}

DrawSurface* createOffscreenSurface(NativeView* reference, int32_t width, int32_t height) {
    HWND window = reference ? static_cast<HWND>(reference->nativeHandle()) : nullptr;
    return GdiSurface::createMemory(window, width, height);
}

NativeView* createNativeView(void* parentWindow, const Rect& size, NativeViewClient* client) {
    if (!parentWindow) return nullptr;
    auto* view = new (std::nothrow) Win32NativeView(static_cast<HWND>(parentWindow), size, client);
    if (view && !view->valid()) {
        delete view;
        view = nullptr;
    }
    return view;
}

// Milliseconds of the performance counter, wrapping like GetTickCount. GetTickCount
// itself advances in steps of 10 to 16 ms, too coarse for the 4 ms steps of the drag
// pacing and for measuring them.
uint32_t tickCount() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 0;
    }();
    LARGE_INTEGER counter;
    if (frequency == 0 || !QueryPerformanceCounter(&counter)) return GetTickCount();
    const LONGLONG seconds = counter.QuadPart / frequency;
    const LONGLONG rest = counter.QuadPart % frequency;
    return static_cast<uint32_t>(seconds * 1000 + rest * 1000 / frequency);
}

void sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t doubleClickTime() { return GetDoubleClickTime(); }

void* attachUiThread() {
    auto* session = new (std::nothrow) win32::OleSession();
    if (session && !session->initialized()) {
        delete session;
        session = nullptr;
    }
    return session;
}

void detachUiThread(void* token) { delete static_cast<win32::OleSession*>(token); }

} // namespace vl
