#pragma once
// The top of the widget tree: one native child window inside the host's window, an
// ordered list of widgets, the keyboard focus widget, idle redraw of dirty widgets, and
// dropped files and text.

#include "gui/Platform.h"
#include "gui/Widget.h"

namespace vl {

class Picture;
class ToolkitEditor;

// Sees the keys typed in the root's window before its line editor does (a dialog's Return
// and Escape).
class KeyHandler {
public:
    // True when the key was used.
    virtual bool onKey(const VstKeyCode& key) = 0;

protected:
    ~KeyHandler() = default;
};

class RootView : public Widget, private NativeViewClient {
public:
    // With a parent window a visible child window of the size's width and height is made at
    // (0, 0) and drops are accepted; without one there is no window and the root can only be
    // drawn through canvases made by others.
    RootView(const Rect& size, void* parentWindow, ToolkitEditor* editor);
    // With the view that makeView makes for the root (a top-level window of the backend,
    // say) instead of a child window; no drops. data is passed on to makeView.
    using ViewMaker = NativeView* (*)(const Rect& size, NativeViewClient* client, void* data);
    RootView(const Rect& size, ViewMaker makeView, void* data, ToolkitEditor* editor);
    // setCursor(0), drops off, removeAll(true), background released, window destroyed.
    ~RootView() override;

    // ---- Virtual operations (slots 1-21 as Widget, then 22-25) ----
    // Clears first-draw pending; background at (0, 0); every widget drawn, its dirty flag
    // kept (the next idle pass draws it again).
    void draw(Canvas& canvas) override;
    // The focus widget loses the focus first; the last widget (mouse enabled, size
    // containing where) gets the press.
    void onMouseDown(Canvas& canvas, Point& where) override;
    void update(Canvas& canvas) override;
    bool onDrop(char** items, int32_t count, int32_t kind, Point& where) override;
    // Ignores canvas and where: the widget under the mouse gets the wheel with a canvas on
    // the window and the current mouse location.
    bool onWheel(Canvas& canvas, Point& where, float distance) override;
    // Same, callable without a canvas.
    bool onWheel(Canvas* canvas, Point& where, float distance);
    virtual bool addView(Widget* widget);
    virtual bool removeView(Widget* widget, bool releaseIt = true);
    virtual bool removeAll(bool releaseIt = true);
    virtual bool isChild(Widget* widget);

    // ---- Non-virtual ----
    void setBackground(Picture* picture);
    Picture* getBackground() const { return background; }
    // The widget alone when it is in the list, else the whole root, on a fresh canvas.
    void redraw(Widget* widget = nullptr);
    // Redraws dirty widgets (after the first full draw); on X11 first handles queued events.
    void idle();
    Widget* viewUnderMouse();
    // Mouse position in window coordinates; true.
    bool getMouseLocation(Point& where);
    // Stores the new focus widget, then the previous one gets loseFocus(null).
    void setFocus(Widget* widget);
    Widget* getFocus() const { return focus; }
    // Tell the host that the parameter tag is being edited by the mouse.
    void beginEdit(int32_t tag);
    void endEdit(int32_t tag);
    void setCursor(int32_t kind);
    void* findHostWindow();
    bool setDropTarget(bool enable);
    // Not owned; null: keys go to the line editor alone.
    void setKeyHandler(KeyHandler* handler) { keyHandler = handler; }

    ToolkitEditor* getEditor() const { return editor; }
    NativeView* getView() const { return view; }
    bool isOpen() const { return open; }
    bool isFirstDrawPending() const { return firstDrawPending; }
    int32_t getViewCount() const { return count; }
    Widget* getViewAt(int32_t index) const { return index >= 0 && index < count ? views[index] : nullptr; }

private:
    void viewPaint(DrawSurface& surface) override;
    void viewMouseDown(Point where) override;
    bool viewWheel(float distance) override;
    bool viewDrop(char** items, int32_t count, int32_t kind, Point where) override;
    void viewDestroyed() override;
    bool viewKey(const VstKeyCode& key) override;

    ToolkitEditor* editor; // not owned
    void* parentWindow; // not owned
    Picture* background = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    Widget** views = nullptr; // owned array; the widgets' initial references are the root's
    Widget* focus = nullptr; // not owned
    bool firstDrawPending = true;
    bool open = true;
    bool dropTargetRegistered = false;
    NativeView* view = nullptr; // owned
    KeyHandler* keyHandler = nullptr; // not owned
};

} // namespace vl
