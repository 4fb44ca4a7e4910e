#pragma once
// Internal classes of the X11 backend: cairo drawing surfaces and images. Only files in
// gui/x11 include this.

#include <X11/Xlib.h>
#include <cairo.h>

#include <string>

#include "gui/Platform.h"

namespace vl::x11 {

// A picture as two cairo image surfaces made once: opaque (RGB24) for plain blits and
// keyed (ARGB32, the white key colour fully transparent) for transparent blits.
class CairoImage final : public PlatformImage {
public:
    CairoImage(int32_t width, int32_t height, const uint8_t* rgb);
    ~CairoImage() override;
    int32_t width() const override { return w; }
    int32_t height() const override { return h; }
    bool valid() const { return opaque && keyed; }

    cairo_surface_t* opaque = nullptr;
    cairo_surface_t* keyed = nullptr;

private:
    int32_t w, h;
};

// Where a window surface's drawing goes when the surface is done: the view copies the
// changed part of its memory image to the window.
class SurfaceSink {
public:
    virtual void present(cairo_surface_t* image, const Rect& changed) = 0;

protected:
    ~SurfaceSink() = default;
};

// A drawing surface over a cairo image surface: an offscreen canvas's own memory, or the
// memory image behind an X window, which the sink copies to the window (only the part
// that was drawn) when the surface is destroyed. Cairo is used on memory only, so no
// cairo state is tied to an X connection.
class CairoSurface final : public DrawSurface {
public:
    // Takes over one reference to target. For window surfaces, sink receives the drawn part
    // and display/window are used to read pixels back from the window itself.
    CairoSurface(cairo_surface_t* target, int32_t width, int32_t height, SurfaceSink* sink = nullptr,
                 Display* display = nullptr, Window window = 0);
    ~CairoSurface() override;

    void setPen(Color color, int32_t width, int32_t style) override;
    bool setBrush(Color color) override;
    void setTextColor(Color color) override;
    void setTextBackground(Color color) override;
    void setFont(FontId id, int32_t size) override;
    void moveTo(int32_t h, int32_t v) override;
    void lineTo(int32_t h, int32_t v) override;
    void polyline(const Point* points, int32_t count) override;
    void fillRect(const Rect& r) override;
    void drawText(const char* text, const Rect& r, bool opaque, int32_t alignment) override;
    void drawImage(PlatformImage& image, const Rect& dest, Point source, bool transparent) override;
    void copyFrom(DrawSurface& source, const Rect& dest, Point sourcePoint) override;
    bool readPixel(int32_t h, int32_t v, Color* out) override;

    cairo_surface_t* target() const { return surface; }
    // Text drawn afterwards is UTF-8 (else Latin-1).
    void setUtf8(bool on) { utf8 = on; }

private:
    // One GDI-style line from the pen position to (h, v), end pixel left out.
    void line(int32_t h, int32_t v);
    void setSource(Color c);
    // Adds r to the part drawn since the last present.
    void touch(const Rect& r);
    void present();

    cairo_surface_t* surface;
    cairo_t* cr;
    int32_t width, height;
    SurfaceSink* sink;
    Display* display;
    Window window;
    Rect changed;
    bool anyChange = false;
    bool utf8 = false; // the text's encoding (else Latin-1)
    Point pen;
    Color penColor{255, 255, 255, 0};
    int32_t penWidth = 1;
    int32_t penStyle = 0;
    Color brushColor{0, 0, 0, 0};
    Color textColor{0, 0, 0, 0};
    Color textBackground{255, 255, 255, 0};
    FontId fontId = 0;
    int32_t fontSize = 12;
};

// Copies parts of cairo RGB24 memory images to the windows of one visual: as they are
// when the windows store 32-bit pixels 0x00RRGGBB in this machine's byte order, else each
// pixel converted through the visual's masks.
class ImageCopier {
public:
    // Makes the GC for window (of visual and depth); false when it could not be made.
    bool create(Display* display, Window window, Visual* visual, int depth);
    // Frees the GC (kept allocated when the connection was lost).
    void destroy();
    // Copies the part r of image to target (a window of the same visual).
    void put(Window target, cairo_surface_t* image, const Rect& r);

private:
    Display* display = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc = nullptr;
    bool directCopy = false;
};

// Sets the font of the table entry id at size pixels on cr (a sans-serif face through
// fontconfig; a symbol face for the symbol entry). weight400 ignores the bold weight.
void selectFont(cairo_t* cr, FontId id, int32_t size, bool weight400 = false);
// Latin-1 bytes to UTF-8 for cairo.
std::string latin1ToUtf8(const char* text);
// Text as cairo takes it: UTF-8 text unchanged, Latin-1 text converted.
std::string cairoText(const char* text, bool utf8);
// The advance in pixels of one line of text (Latin-1, or UTF-8 with utf8) in the table
// font id at its table height, as the surfaces draw it.
double textWidth(FontId id, const char* text, bool utf8 = false);

} // namespace vl::x11
