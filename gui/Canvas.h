#pragma once
// The drawing context every widget draws through, and its offscreen variant.
//
// A Canvas is made for one piece of work (a paint, a press, an idle pass) and destroyed
// right after it. It adds its offset to every coordinate, keeps the current colours, line
// style and font, and passes the drawing to the platform's DrawSurface.

#include "gui/Platform.h"
#include "gui/Types.h"

namespace vl {

class RootView;

class Canvas {
public:
    // surface: where the drawing goes (may be null: then nothing is drawn); ownsSurface
    // deletes it with the canvas. view: the window the canvas belongs to (may be null), whose
    // screen position is the window origin and which answers the pointer and button state.
    // Applies the frame colour, line style, fill colour and font colour to the surface.
    Canvas(RootView* root, DrawSurface* surface, NativeView* view, bool ownsSurface = false);
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    virtual ~Canvas();

    void moveTo(const Point& p);
    void lineTo(const Point& p);
    // Outline (left, top) -> (right, top) -> (right, bottom) -> (left, bottom) -> (left, top).
    void drawRect(const Rect& r);
    // Fills (left + 1, top + 1, right, bottom): the outline row and column stay.
    void fillRect(const Rect& r);
    void setFrameColor(const Color& c);
    void setLineStyle(int32_t style); // 0 solid, 1 dotted
    void setFillColor(const Color& c); // brush and text background
    void setFontColor(const Color& c);
    // id outside 0..7 becomes 0; size 0 means the table height of the id.
    void setFont(FontId id, int32_t size = 0);
    // alignment 0 left (one pixel in from the left edge), 1 centre, 2 right.
    void drawString(const char* text, const Rect& r, bool opaque = false, int32_t alignment = 1);
    ButtonState getButtonState();
    // Mouse position relative to the window origin.
    void getMouseLocation(Point& where);

    // Fields read and moved by the widgets.
    Point windowOrigin;
    Point offset;
    DrawSurface* surface; // the device context
    NativeView* view; // the window; may be null
    RootView* root; // may be null
    int32_t fontSize = 0;
    Color fontColor = kWhiteColor;
    int32_t lineWidth = 1;
    Color frameColor = kWhiteColor;
    Color fillColor = kBlackColor;
    int32_t lineStyle = 0;

protected:
    bool ownsSurface;
};

// A canvas drawing into a memory surface of its own, filled with the background colour.
class OffscreenCanvas : public Canvas {
public:
    OffscreenCanvas(RootView* root, int32_t width, int32_t height, const Color& background);
    ~OffscreenCanvas() override;

    // Copies destination-size pixels from source in this buffer to the destination's
    // top-left plus the target's offset.
    void copyTo(Canvas& target, const Rect& destination, const Point& source);

    int32_t height;
    int32_t width;
    Color background;
};

} // namespace vl
