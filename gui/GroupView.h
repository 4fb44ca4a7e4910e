#pragma once
// A widget holding its own ordered children, composed in an offscreen buffer and copied to
// the screen in one piece.

#include "gui/Widget.h"

namespace vl {

class OffscreenCanvas;
class Picture;

class GroupView : public Widget {
public:
    GroupView(const Rect& size, RootView* root, Picture* background);
    ~GroupView() override;

    // ---- Virtual operations (slots 1-21 as Widget, then 22-32) ----
    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point& where) override;
    // Mode 0: everything when dirty. Mode 1: everything when the group itself is dirty,
    // otherwise the children's updates and a copy of the whole buffer, every call.
    void update(Canvas& canvas) override;
    bool onDrop(char** items, int32_t count, int32_t kind, Point& where) override;
    bool onWheel(Canvas& canvas, Point& where, float distance) override;
    void loseFocus(Canvas* canvas) override;
    void takeFocus(Canvas* canvas) override;
    bool isDirty() override;
    void setSize(const Rect& r) override;
    // Also hands the new root to every child, so that no child keeps a root that is gone.
    void setRoot(RootView* newRoot) override;
    virtual void addView(Widget* widget, const Rect& mouseArea, bool mouseEnabled);
    // The node takes a reference of its own (retain). Removing with releaseIt releases the
    // widget once more: the creator's reference, which the group then holds for it.
    virtual void addView(Widget* widget);
    virtual void removeView(Widget* widget, bool releaseIt = true);
    virtual void removeAll(bool releaseIt = true);
    virtual bool isChild(Widget* widget);
    virtual void setBackgroundColor(const Color& c);
    virtual void setBackground(Picture* picture);
    virtual Picture* getBackground();
    virtual void setBackgroundOffset(const Point& p);
    virtual void setMode(int32_t newMode);
    virtual int32_t getMode();

    OffscreenCanvas* getBuffer() const { return buffer; }

private:
    struct Node {
        Widget* widget; // one reference held by the node
        Node* next;
        Node* previous;
    };
    // Re-bases canvas (origin and offset) on the group's top-left for a child's event.
    void rebase(Canvas& canvas);

    Node* first = nullptr;
    Node* last = nullptr;
    Picture* background = nullptr;
    int32_t mode = 0;
    OffscreenCanvas* buffer = nullptr; // owned
    Color backgroundColor = kBlackColor;
    Point backgroundOffset;
};

} // namespace vl
