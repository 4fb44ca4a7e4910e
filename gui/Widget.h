#pragma once
// The base of every on-screen element, and the interface through which controls report
// their changes.
//
// Widgets are reference counted: count 1 after construction, destroyed when release()
// brings it to 0. A widget added to a RootView hands its reference to the root; a
// GroupView's node takes a reference of its own.

#include "gui/Types.h"

namespace vl {

class Canvas;
class RootView;
class GroupView;

class Widget {
public:
    // Count 1; size and mouse area both r; no root, no group; dirty, mouse enabled, opaque.
    explicit Widget(const Rect& size);
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual ~Widget();
    virtual void draw(Canvas& canvas);
    virtual void onMouseDown(Canvas& canvas, Point& where);
    // If isDirty(): draw, then setDirty(false).
    virtual void update(Canvas& canvas);
    // Drops: kind 0 = count file names in items; kind 1 = text, items[0] the text and count
    // its byte size.
    virtual bool onDrop(char** items, int32_t count, int32_t kind, Point& where);
    virtual bool onWheel(Canvas& canvas, Point& where, float distance);
    virtual void loseFocus(Canvas* canvas);
    virtual void takeFocus(Canvas* canvas);
    virtual bool isDirty();
    virtual void setDirty(bool state = true);
    virtual void setMouseEnabled(bool enabled);
    virtual bool isMouseEnabled();
    virtual void setMouseArea(const Rect& area);
    virtual Rect& getMouseArea(Rect& area);
    virtual void setTransparent(bool state);
    virtual bool isTransparent();
    // Stores the size (the mouse area stays), then setDirty(true).
    virtual void setSize(const Rect& r);
    virtual void setRoot(RootView* newRoot);
    virtual void release();
    virtual void retain();
    virtual int32_t getRefCount();

    // ---- Non-virtual ----
    const Rect& getSize() const { return size; }
    RootView* getRoot() const { return root; }
    GroupView* getParentGroup() const { return parentGroup; }
    void setParentGroup(GroupView* group) { parentGroup = group; }

protected:
    int32_t refCount = 1;
    Rect size;
    Rect mouseArea;
    RootView* root = nullptr; // not owned
    GroupView* parentGroup = nullptr; // not owned
    bool dirty = true;
    bool mouseEnabled = true;
    bool transparent = false;
};

// Implemented by the editor: called by a control after its value changed, with the canvas
// the control was working with.
class ValueListener {
public:
    virtual void valueChanged(Canvas& canvas, Widget* control) = 0;

protected:
    ~ValueListener() = default;
};

} // namespace vl
