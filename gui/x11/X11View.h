#pragma once
// The X11 native view and its single-line editor: internal to gui/x11. The view is a
// child window of the host's window, or a top-level window (a dialog), on a connection of
// its own (X11Connection.h);
// X11View.cpp handles its window and events, X11LineEditor.cpp the editor,
// X11Drop.cpp the XDND drops.

#include <X11/Xlib.h>

#include <cstdint>
#include <string>

#include "gui/x11/X11Backend.h"
#include "gui/x11/X11Connection.h"

namespace vl::x11 {

// Editing actions, from X key events and from forwarded host keys alike.
enum class EditKey { none, character, backspace, del, left, right, home, end, commit, cancel };

// Virtual key codes of VstKeyCode (forwarded host keys, and the view's own keys as its
// client sees them).
enum VirtualKey : unsigned char {
    vkBack = 1,
    vkTab = 2,
    vkReturn = 4,
    vkEscape = 6,
    vkSpace = 7,
    vkEnd = 9,
    vkHome = 10,
    vkLeft = 11,
    vkRight = 13,
    vkEnter = 19,
    vkDelete = 22,
};

// What makes the view a window of its own on the screen (a dialog) instead of a child
// window: placed in the middle of the screen's width and a third down, of fixed size,
// marked as a modal dialog belonging to owner. The window manager's close button
// destroys it; it takes the keyboard focus when it is mapped (its open line editor gets
// it), and its line editor keeps editing when the focus leaves.
struct TopLevel {
    const char* title = "";
    Window owner = 0; // the window it belongs to (0: none); may be gone or foreign
    // Its text is UTF-8: drawn as it is, typed characters entered as UTF-8, the line
    // editor moving by whole characters. Otherwise (and in every child view) Latin-1.
    bool utf8 = false;
};

class X11View;

// ---- The single-line editor ----

class X11LineEditor final : public LineEditor {
public:
    X11LineEditor(X11View& view, const LineEditorSetup& setup, LineEditorClient* client);
    ~X11LineEditor() override;
    int32_t getText(char* buffer, int32_t size) override;

    bool create();
    Window windowId() const { return window; }
    void paint();
    // Applies one key; may end the editing (the client then usually deletes this editor,
    // so nothing of the object is touched after done()).
    // character is the Unicode code point typed (EditKey::character); a Latin-1 editor
    // takes only those up to 0xFF.
    void key(EditKey action, char32_t character);
    void pressAt(int x);
    void done() { client->lineEditorDone(); }

private:
    void deleteSelection();
    // Where the text starts: as aligned when it fits, else scrolled so that the caret
    // stays in view (the text then starts at the left and moves as the caret does).
    double textX(double advance, double caretAdvance);
    // The character boundaries before and after index (whole UTF-8 sequences, or bytes).
    size_t previousBoundary(size_t index) const;
    size_t nextBoundary(size_t index) const;

    X11View& view;
    LineEditorSetup setup;
    bool utf8 = false; // the text is UTF-8 (else Latin-1)
    LineEditorClient* client;
    std::string initial;
    std::string text;
    size_t caret = 0; // always on a character boundary, as are the selection's ends
    size_t selectionStart = 0, selectionEnd = 0; // all of the text is selected at first
    Window window = 0;
    Window previousFocus = None; // who had the keyboard before the editor took it
    double scroll = 0.0; // pixels of a long text scrolled out on the left
    double origin = 1.0; // where the text started at the last paint
};

// ---- The view ----

class X11View final : public NativeView, public SurfaceSink {
public:
    X11View(NativeViewClient* client) : client(client) {}
    ~X11View() override;
    // A child window of parentWindow, or with topLevel a window of its own (parentWindow
    // is then not used).
    bool create(Window parentWindow, int32_t w, int32_t h, const TopLevel* topLevel = nullptr);
    // Waits until an event is queued, the connection is lost or the time is up.
    void waitForEvents(int milliseconds);

    void* nativeHandle() const override { return reinterpret_cast<void*>(uintptr_t(window)); }
    DrawSurface* createSurface() override;
    Point screenOrigin() override;
    Point cursorScreenPosition() override;
    ButtonState buttonState() override;
    void processEvents() override;
    void dispatchPendingPaint() override;
    void setCursor(int32_t kind) override;
    void* findHostWindow() override;
    bool setDropTarget(bool enable) override;
    LineEditor* createLineEditor(const LineEditorSetup& setup, LineEditorClient* editorClient) override;
    bool forwardKey(const VstKeyCode& key, bool down) override;

    // False once the connection is lost (the panel's client was killed): from then on the
    // view and its line editor make no Xlib call, and the window counts as gone.
    bool connected() {
        if (display && !lost && connectionLost(display)) {
            lost = true;
            alive = false;
        }
        return display && !lost;
    }

    // Copies the part r of a memory image (RGB24) to the view's window.
    void present(cairo_surface_t* image, const Rect& r) override { put(window, image, r); }
    // Copies the part r of image to the window target (the view's or the line editor's).
    void put(Window target, cairo_surface_t* image, const Rect& r);

    // TopLevel::utf8 of the view: how its surfaces and its line editor take text.
    bool textIsUtf8() const { return utf8Text; }

    Display* display = nullptr;
    Window window = 0;
    X11LineEditor* editor = nullptr; // not owned (the text field owns it)

private:
    void handle(XEvent& event);
    void paintNow();
    void paintQueued();
    bool createWindow(Window parentWindow, const TopLevel* topLevel);
    void handleKey(XKeyEvent& event);
    // The Unicode character a key press types in a UTF-8 view (0: none).
    char32_t typedCharacter(XKeyEvent& event, KeySym sym);
    void handleClientMessage(XClientMessageEvent& event);
    void handleSelection(XSelectionEvent& event);
    void finishDrop(bool accepted);
    void replyToSource(Atom type, long l1, long l4);

    NativeViewClient* client;
    cairo_surface_t* backbuffer = nullptr; // what the window shows, drawn in memory
    ImageCopier copier;
    Window parent = 0;
    int32_t width = 0, height = 0;
    bool alive = false; // the window exists
    bool lost = false; // the connection was lost
    bool topLevel = false;
    bool utf8Text = false; // TopLevel::utf8
    XIM inputMethod = nullptr; // with utf8Text: keys to UTF-8 characters through Xlib's tables
    XIC inputContext = nullptr;
    Atom aDeleteWindow = 0;
    int dispatchDepth = 0;
    // The press being handled (viewMouseDown): until the control's first yield the button
    // counts as held at the press's place with the press's modifiers; when its release is
    // already queued, from then on as released where it was released. A press and release
    // that both arrived between two idle calls so act as a click, where it was made.
    bool inPress = false;
    bool pressHeld = false;
    ButtonState pressState = 0;
    Point pressRoot;
    bool releaseQueued = false;
    ButtonState releaseState = 0;
    Point releaseRoot;
    Cursor cursors[7] = {};
    bool cursorSet = false;

    // XDND
    Atom aXdndAware = 0, aXdndEnter = 0, aXdndPosition = 0, aXdndStatus = 0, aXdndLeave = 0, aXdndDrop = 0,
         aXdndFinished = 0, aXdndSelection = 0, aXdndTypeList = 0, aXdndActionCopy = 0, aUriList = 0, aUtf8Text = 0,
         aTextPlain = 0, aUtf8String = 0, aDropData = 0;
    bool dropEnabled = false;
    Window dragSource = 0;
    Atom dragType = 0;
    Point dragWhere;
    bool dropPending = false;
};

} // namespace vl::x11
