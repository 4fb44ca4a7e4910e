#pragma once
// The platform layer of the toolkit: the only part that knows the window system.
//
// Everything above it (Canvas, Picture, the widgets, the controls and ToolkitEditor) is
// written once against these interfaces. Each backend provides the classes and free
// functions below:
//   gui/win32/  Win32 and GDI (child window, device contexts, bitmap resources, EDIT
//               control, OLE drop target), compiled on WIN32;
//   gui/x11/    Xlib window with its own X connection, cairo drawing, fontconfig fonts,
//               an own single-line editor and XDND, compiled elsewhere.
// gui/Platform.cpp (common to both) holds the hooks: the bitmap source and the native
// view factory.
//
// Threads: every object and function here is used on the user-interface thread that
// created the view (the host's editor thread), never concurrently. Nothing is locked.
// No function here lets an exception out; failures are answered with null/false.

#include <cstdint>
#include <vector>

#include "gui/Types.h"
#include "vst/VstAbi.h"

namespace vl {

// ---------------------------------------------------------------------------------------
// Image store

// A picture's pixels in the form the backend draws fastest (a GDI bitmap with its cached
// one-bit mask; a cairo image surface with the key colour turned transparent).
class PlatformImage {
public:
    virtual ~PlatformImage() = default; // frees the bitmap (and mask)
    virtual int32_t width() const = 0;
    virtual int32_t height() const = 0;
};

// Loads the bitmap with this numeric id. When a bitmap source is installed (below) and it
// delivers the id, the image is made from those pixels; otherwise the backend's own store
// is used (Windows: LoadBitmapA of moduleInstance with the id as integer resource name;
// Linux: the 8-bit BMP files compiled into the library, resources/BitmapResources.h).
// Null when the id cannot be loaded.
PlatformImage* loadPlatformImage(int32_t id);

// Makes an image from width x height RGB pixels (3 bytes per pixel, rows top to bottom,
// no padding). Null for sizes <= 0 or when the image cannot be made.
PlatformImage* createPlatformImage(int32_t width, int32_t height, const uint8_t* rgb);

// A source of decoded bitmaps: fills width, height and rgb (width x height x 3 bytes, rows
// top to bottom) for id and answers true, or answers false when it has no such bitmap.
// The panel's bitmaps come through it on Linux (8-bit BMP data compiled into the library);
// tests install their own pictures through it on every platform.
using BitmapSource = bool (*)(int32_t id, int32_t* width, int32_t* height, std::vector<uint8_t>* rgb);
// Installs a source (null removes it) and answers the previous one.
BitmapSource setBitmapSource(BitmapSource source);
BitmapSource getBitmapSource();
// Runs the installed source; false without one or when it has no bitmap of that id or
// delivers inconsistent sizes.
bool readBitmapFromSource(int32_t id, int32_t* width, int32_t* height, std::vector<uint8_t>* rgb);

// ---------------------------------------------------------------------------------------
// Drawing surface: what the Canvas draws through (one device context on Windows, one
// cairo context on X11). It is stateful like a device context: the pen, brush, text
// colours and font set last stay in effect. Coordinates arrive with the canvas offset
// already added.
class DrawSurface {
public:
    // Windows: reselects the objects that were selected when the surface was made, deletes
    // those it created, releases/deletes its context. X11: flushes and frees the context.
    virtual ~DrawSurface() = default;

    // Pen for lines and outlines: colour, width in pixels, style 0 solid or 1 dotted.
    virtual void setPen(Color color, int32_t width, int32_t style) = 0;
    // Solid brush for fillRect. Answers false (and keeps the previous brush) when the brush
    // cannot be made.
    virtual bool setBrush(Color color) = 0;
    // Glyph colour, and the cell colour behind glyphs drawn opaquely.
    virtual void setTextColor(Color color) = 0;
    virtual void setTextBackground(Color color) = 0;
    // Font of the table entry id (0..7, already checked) with a character height of size
    // pixels (> 0). Windows: CreateFontIndirectA as the font table says; X11: cairo with a
    // fontconfig sans-serif face (a symbol face for the "Symbol" entry).
    virtual void setFont(FontId id, int32_t size) = 0;

    // Line drawing as GDI does it: the pen position moves to the end point; the end pixel
    // itself is not drawn.
    virtual void moveTo(int32_t h, int32_t v) = 0;
    virtual void lineTo(int32_t h, int32_t v) = 0;
    // One connected outline through count points (Polyline).
    virtual void polyline(const Point* points, int32_t count) = 0;
    // Fills the pixels left..right-1 by top..bottom-1 with the brush; draws no outline.
    virtual void fillRect(const Rect& r) = 0;
    // One line of zero-terminated text (bytes of the Windows ANSI code page; Latin-1 on X11)
    // in r: vertically centred, alignment 0 left, 1 centre, 2 right, clipped to r, no prefix
    // processing. opaque paints the text cell with the text background first.
    virtual void drawText(const char* text, const Rect& r, bool opaque, int32_t alignment) = 0;
    // Copies dest.width() x dest.height() pixels of image from source to dest's top-left.
    // transparent leaves out every image pixel that is exactly the key colour (255, 255,
    // 255), so that what is on the surface shows there. The image's pixels never change.
    virtual void drawImage(PlatformImage& image, const Rect& dest, Point source, bool transparent) = 0;
    // Copies dest.width() x dest.height() pixels from source (an offscreen surface of the
    // same backend) at sourcePoint to dest's top-left.
    virtual void copyFrom(DrawSurface& source, const Rect& dest, Point sourcePoint) = 0;
    // Reads back one pixel (tests): false outside the surface or when it cannot be read.
    virtual bool readPixel(int32_t h, int32_t v, Color* out) = 0;
};

// A memory surface of width x height pixels compatible with the reference view's window
// (null: with the screen). Its contents are undefined until drawn. Null on failure.
DrawSurface* createOffscreenSurface(class NativeView* reference, int32_t width, int32_t height);

// ---------------------------------------------------------------------------------------
// Single-line text editor over a text field while it is being edited (the EDIT control on
// Windows; an own editor on X11: caret, typing, Backspace/Delete, Home/End, Return commits,
// Escape cancels, focus loss commits).

struct LineEditorSetup {
    Rect frame; // in the view's window coordinates; its width and height are the editor's
    FontId font = 3; // font table entry; the editor uses its height and face at weight 400
    Color textColor; // the field's font colour
    Color backColor; // the field's background colour
    int32_t alignment = 1; // 0 left, 1 centre, 2 right
    const char* text = ""; // initial text, all of it selected
    int32_t maxLength = 254; // characters the user can enter
};

class LineEditorClient {
public:
    // Editing ends: Return was pressed or the editor lost the keyboard focus (on X11 also
    // Escape, after the editor put its initial text back). The client reads the text and
    // normally deletes the editor inside this call: after calling it the backend must not
    // touch the editor object again.
    virtual void lineEditorDone() = 0;

protected:
    ~LineEditorClient() = default;
};

class LineEditor {
public:
    // Destroys the native editor, its font and brush; no client call happens afterwards.
    virtual ~LineEditor() = default;
    // Copies the current text into buffer (size bytes including the terminating zero; at
    // most size - 1 characters) and answers its length. Nothing happens for a null buffer or
    // size <= 0 (answer 0).
    virtual int32_t getText(char* buffer, int32_t size) = 0;
};

// ---------------------------------------------------------------------------------------
// Native view: the child window of the root view inside the host's (or the standalone
// program's) parent window.

// What the view reports to its owner (the RootView).
class NativeViewClient {
public:
    // The whole view must be drawn now with this surface (WM_PAINT with a non-empty update
    // region; every X11 Expose).
    virtual void viewPaint(DrawSurface& surface) = 0;
    // A mouse button was pressed at where (window coordinates). While this call runs,
    // buttonState() and cursorScreenPosition() report the press as held at its place (with
    // its modifiers) until the first processEvents() made from inside it, even when the
    // release came already, and after that, when the release was already queued, the state
    // and place of that release; so a press and release that both arrive between two idle
    // calls still act as a click where it was made. (Windows: the live state.)
    virtual void viewMouseDown(Point where) = 0;
    // Wheel: +1 per notch up (X11 button 4) or right (7), -1 down (5) or left (6).
    virtual bool viewWheel(float distance) = 0;
    // Dropped items: kind 0 = count file names (items[i] zero-terminated paths), kind 1 =
    // text (items[0] points to the text, count is its byte size). where is in window
    // coordinates. Answers whether a widget took the drop.
    virtual bool viewDrop(char** items, int32_t count, int32_t kind, Point where) = 0;
    // The native window is gone (WM_DESTROY, or the X window destroyed from outside).
    virtual void viewDestroyed() = 0;
    // A key pressed in the window (X11), offered before the open line editor gets it.
    // Answers true when the key was used; the editor then does not see it.
    virtual bool viewKey(const VstKeyCode& key) {
        (void)key;
        return false;
    }

protected:
    ~NativeViewClient() = default;
};

class NativeView {
public:
    // Destroys the native window (Windows: DestroyWindow, counted unregistration of the
    // "Plugin%08x" class; X11: destroys the window and closes the view's own connection).
    virtual ~NativeView() = default;

    // HWND on Windows, the X Window id on X11.
    virtual void* nativeHandle() const = 0;
    // A surface drawing into the window (GetDC; deleting it releases the context). Null on
    // failure.
    virtual DrawSurface* createSurface() = 0;
    // Screen position of the window's top-left corner (left/top of GetWindowRect).
    virtual Point screenOrigin() = 0;
    // Screen position of the mouse pointer (GetCursorPos).
    virtual Point cursorScreenPosition() = 0;
    // Live mouse buttons and modifiers (kLeftButton ... kAlt); see viewMouseDown for the
    // press that is being handled.
    virtual ButtonState buttonState() = 0;
    // Handles what the window system queued for the view. Windows: nothing (messages reach
    // the window procedure through the host's loop). X11: reads the queued events and
    // reports them to the client. Called from inside a mouse press (a drag loop's idle) it
    // ends the press's held state and only repaints; presses and keys then wait.
    virtual void processEvents() = 0;
    // During a drag: lets one pending paint through (Windows: one WM_PAINT of the thread
    // removed and dispatched; X11: the queued Expose events).
    virtual void dispatchPendingPaint() = 0;
    // Cursor kinds: 0 the cursor current before the first call, 1 wait, 2 size west-east,
    // 3 size north-south, 4 size all, 5 size north-east/south-west, 6 size north-west/
    // south-east; other kinds do nothing.
    virtual void setCursor(int32_t kind) = 0;
    // The window to own dialogs opened from the panel (a window of the host);
    // null when none is found.
    virtual void* findHostWindow() = 0;
    // Accepts (true) or stops accepting (false) drops on the window. Answers false when it
    // cannot (no window, registration failed).
    virtual bool setDropTarget(bool enable) = 0;
    // Opens a line editor over frame and gives it the keyboard focus. Only one editor is
    // open per view at a time. Null on failure.
    virtual LineEditor* createLineEditor(const LineEditorSetup& setup, LineEditorClient* client) = 0;
    // A key the host forwarded (effEditKeyDown/effEditKeyUp) because its own window kept the
    // keyboard focus. Answers true when the open line editor used it. Windows: false (the
    // EDIT control gets its keys from the system).
    virtual bool forwardKey(const VstKeyCode& key, bool down) = 0;
};

// Creates the view as a visible child window of parentWindow at (0, 0) with the size's
// width and height, reporting to client. Null on failure.
NativeView* createNativeView(void* parentWindow, const Rect& size, NativeViewClient* client);

// Test hook: while a factory is installed, RootView makes its views through it instead of
// createNativeView (a scripted view without a window system). Answers the previous one.
using NativeViewFactory = NativeView* (*)(void* parentWindow, const Rect& size, NativeViewClient* client);
NativeViewFactory setNativeViewFactory(NativeViewFactory factory);
// The installed factory, else createNativeView.
NativeView* makeNativeView(void* parentWindow, const Rect& size, NativeViewClient* client);

// ---------------------------------------------------------------------------------------
// Clock and thread set-up

// Milliseconds of a monotonic clock (GetTickCount); wraps around.
uint32_t tickCount();
// Sleeps the calling thread (Sleep).
void sleepMilliseconds(uint32_t milliseconds);
// The system's double-click time in milliseconds (GetDoubleClickTime; 400 on X11).
uint32_t doubleClickTime();

// Prepares the calling thread for the toolkit (Windows: OleInitialize for the drop target
// and shortcut resolution). Answers a token for detachUiThread, null when it failed.
void* attachUiThread();
// Undoes a successful attachUiThread (Windows: OleUninitialize, only on the thread that
// initialised). A null token does nothing.
void detachUiThread(void* token);

} // namespace vl
