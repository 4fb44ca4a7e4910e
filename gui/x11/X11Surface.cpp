// Cairo drawing for the X11 backend: surfaces on windows and in memory, and pictures.
//
// Drawing follows the device-context rules the toolkit was written for: integer pixels,
// no antialiasing of lines and fills, a line leaves out its end pixel, fillRect paints
// left..right-1 by top..bottom-1, and the transparent blit leaves out exactly the white
// (255, 255, 255) pixels of a picture.
#include <X11/Xutil.h>

#include <cstdlib>
#include <new>

#include "gui/x11/X11Backend.h"
#include "gui/x11/X11Connection.h"
#include "resources/BitmapResources.h"
#include "resources/BmpReader.h"

namespace vl::x11 {

namespace {

double unit(uint8_t c) { return c / 255.0; }

} // namespace

// ---- Fonts and text ----

std::string latin1ToUtf8(const char* text) {
    std::string out;
    if (!text) return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 0x80) {
            out += char(*p);
        } else {
            out += char(0xC0 | (*p >> 6));
            out += char(0x80 | (*p & 0x3F));
        }
    }
    return out;
}

std::string cairoText(const char* text, bool utf8) {
    if (!utf8) return latin1ToUtf8(text);
    return text ? std::string(text) : std::string();
}

void selectFont(cairo_t* cr, FontId id, int32_t size, bool weight400) {
    const FontEntry& entry = fontEntry(id);
    const bool symbol = entry.pitchAndFamily == 0x50;
    // The table names Windows faces; fontconfig picks the installed sans-serif (or symbol)
    // face that matches.
    cairo_select_font_face(cr, symbol ? "Symbol" : "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           (!weight400 && entry.weight >= 700) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size > 0 ? size : entry.height);
}

double textWidth(FontId id, const char* text, bool utf8) {
    cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(probe);
    selectFont(cr, id, fontEntry(id).height);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, cairoText(text, utf8).c_str(), &extents);
    cairo_destroy(cr);
    cairo_surface_destroy(probe);
    return extents.x_advance;
}

// ---- Images ----

CairoImage::CairoImage(int32_t width, int32_t height, const uint8_t* rgb) : w(width), h(height) {
    if (width <= 0 || height <= 0 || !rgb) return;
    opaque = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    keyed = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(opaque) != CAIRO_STATUS_SUCCESS || cairo_surface_status(keyed) != CAIRO_STATUS_SUCCESS)
        return;
    cairo_surface_flush(opaque);
    cairo_surface_flush(keyed);
    unsigned char* od = cairo_image_surface_get_data(opaque);
    unsigned char* kd = cairo_image_surface_get_data(keyed);
    const int os = cairo_image_surface_get_stride(opaque);
    const int ks = cairo_image_surface_get_stride(keyed);
    for (int32_t y = 0; y < height; ++y) {
        uint32_t* orow = reinterpret_cast<uint32_t*>(od + size_t(y) * os);
        uint32_t* krow = reinterpret_cast<uint32_t*>(kd + size_t(y) * ks);
        const uint8_t* src = rgb + size_t(y) * width * 3;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
            const uint32_t pixel = 0xFF000000u | r << 16 | g << 8 | b;
            orow[x] = pixel;
            krow[x] = (r == 255 && g == 255 && b == 255) ? 0u : pixel; // the key colour: fully transparent
        }
    }
    cairo_surface_mark_dirty(opaque);
    cairo_surface_mark_dirty(keyed);
}

CairoImage::~CairoImage() {
    if (opaque) cairo_surface_destroy(opaque);
    if (keyed) cairo_surface_destroy(keyed);
}

} // namespace vl::x11

namespace vl {

PlatformImage* createPlatformImage(int32_t width, int32_t height, const uint8_t* rgb) {
    if (width <= 0 || height <= 0 || !rgb) return nullptr;
    auto* image = new (std::nothrow) x11::CairoImage(width, height, rgb);
    if (image && !image->valid()) {
        delete image;
        return nullptr;
    }
    return image;
}

PlatformImage* loadPlatformImage(int32_t id) {
    int32_t w = 0, h = 0;
    std::vector<uint8_t> rgb;
    try {
        if (!readBitmapFromSource(id, &w, &h, &rgb)) {
            // The bitmaps compiled into the library (8-bit BMP files, decoded here).
            std::size_t size = 0;
            const unsigned char* data = findBitmapResource(id, &size);
            BmpImage image;
            if (!data || !readBmp(data, size, image)) return nullptr;
            w = image.width;
            h = image.height;
            rgb.resize(size_t(w) * size_t(h) * 3);
            for (size_t i = 0; i < image.pixels.size() && i * 3 + 2 < rgb.size(); ++i) {
                const uint32_t p = image.pixels[i];
                rgb[i * 3] = uint8_t(p >> 16);
                rgb[i * 3 + 1] = uint8_t(p >> 8);
                rgb[i * 3 + 2] = uint8_t(p);
            }
        }
    } catch (...) {
        return nullptr;
    }
    return createPlatformImage(w, h, rgb.data());
}

DrawSurface* createOffscreenSurface(NativeView*, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return new (std::nothrow) x11::CairoSurface(s, width, height);
}

} // namespace vl

namespace vl::x11 {

// ---- Surfaces ----

CairoSurface::CairoSurface(cairo_surface_t* target, int32_t width, int32_t height, SurfaceSink* sink, Display* display,
                           Window window)
    : surface(target), width(width), height(height), sink(sink), display(display), window(window) {
    cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, 1.0);
    selectFont(cr, 0, kFontTable[0].height);
}

CairoSurface::~CairoSurface() {
    cairo_destroy(cr);
    present();
    cairo_surface_destroy(surface);
}

void CairoSurface::touch(const Rect& r) {
    if (!sink || r.right <= r.left || r.bottom <= r.top) return;
    if (!anyChange) {
        changed = r;
        anyChange = true;
        return;
    }
    if (r.left < changed.left) changed.left = r.left;
    if (r.top < changed.top) changed.top = r.top;
    if (r.right > changed.right) changed.right = r.right;
    if (r.bottom > changed.bottom) changed.bottom = r.bottom;
}

void CairoSurface::present() {
    cairo_surface_flush(surface);
    if (!sink || !anyChange) return;
    Rect r = changed;
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    if (r.right > width) r.right = width;
    if (r.bottom > height) r.bottom = height;
    anyChange = false;
    if (r.right > r.left && r.bottom > r.top) sink->present(surface, r);
}

void CairoSurface::setSource(Color c) { cairo_set_source_rgb(cr, unit(c.red), unit(c.green), unit(c.blue)); }

void CairoSurface::setPen(Color color, int32_t w, int32_t style) {
    penColor = color;
    penWidth = w < 1 ? 1 : w;
    penStyle = style;
}

bool CairoSurface::setBrush(Color color) {
    brushColor = color;
    return true;
}

void CairoSurface::setTextColor(Color color) { textColor = color; }

void CairoSurface::setTextBackground(Color color) { textBackground = color; }

void CairoSurface::setFont(FontId id, int32_t size) {
    fontId = id;
    fontSize = size;
    selectFont(cr, id, size);
}

void CairoSurface::moveTo(int32_t h, int32_t v) { pen = Point{h, v}; }

void CairoSurface::lineTo(int32_t h, int32_t v) {
    line(h, v);
    pen = Point{h, v};
}

void CairoSurface::line(int32_t h1, int32_t v1) {
    // Bresenham from the pen position; the end point is not drawn. A dotted pen draws every
    // other pixel; a wider pen draws squares of its width.
    int32_t h = pen.h, v = pen.v;
    const int32_t dh = std::abs(h1 - h), dv = -std::abs(v1 - v);
    const int32_t sh = h < h1 ? 1 : -1, sv = v < v1 ? 1 : -1;
    int32_t err = dh + dv;
    int32_t step = 0;
    const double half = (penWidth - 1) / 2;
    bool any = false;
    while (h != h1 || v != v1) {
        if (penStyle != 1 || (step & 1) == 0) {
            cairo_rectangle(cr, h - half, v - half, penWidth, penWidth);
            any = true;
        }
        ++step;
        const int32_t e2 = 2 * err;
        if (e2 >= dv) {
            err += dv;
            h += sh;
        }
        if (e2 <= dh) {
            err += dh;
            v += sv;
        }
    }
    if (any) {
        setSource(penColor);
        cairo_fill(cr);
        const int32_t grow = penWidth + 1;
        touch(Rect{(pen.h < h1 ? pen.h : h1) - grow, (pen.v < v1 ? pen.v : v1) - grow, (pen.h > h1 ? pen.h : h1) + grow,
                   (pen.v > v1 ? pen.v : v1) + grow});
    }
}

void CairoSurface::polyline(const Point* points, int32_t count) {
    if (!points || count < 2) return;
    const Point saved = pen;
    pen = points[0];
    for (int32_t i = 1; i < count; ++i) {
        line(points[i].h, points[i].v);
        pen = points[i];
    }
    pen = saved;
}

void CairoSurface::fillRect(const Rect& r) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    setSource(brushColor);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
    touch(r);
}

void CairoSurface::drawText(const char* text, const Rect& r, bool opaque, int32_t alignment) {
    if (!text || r.right <= r.left || r.bottom <= r.top) return;
    const std::string glyphs = cairoText(text, utf8);
    cairo_save(cr);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_clip(cr);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_text_extents_t te;
    cairo_text_extents(cr, glyphs.c_str(), &te);
    double x = r.left;
    if (alignment == 1) x = r.left + ((r.right - r.left) - te.x_advance) / 2.0;
    else if (alignment == 2) x = r.right - te.x_advance;
    x = double(int32_t(x + (x < 0 ? -0.5 : 0.5)));
    const double lineHeight = fe.ascent + fe.descent;
    const double top = double(int32_t(r.top + ((r.bottom - r.top) - lineHeight) / 2.0 + 0.5));
    if (opaque && !glyphs.empty()) {
        setSource(textBackground);
        cairo_rectangle(cr, x, top, te.x_advance, lineHeight);
        cairo_fill(cr);
    }
    // Glyphs keep the font's own smoothing; lines and fills stay sharp.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    setSource(textColor);
    cairo_move_to(cr, x, top + fe.ascent);
    cairo_show_text(cr, glyphs.c_str());
    cairo_restore(cr);
    touch(r);
}

void CairoSurface::drawImage(PlatformImage& image, const Rect& dest, Point source, bool transparent) {
    auto& picture = static_cast<CairoImage&>(image);
    if (dest.right <= dest.left || dest.bottom <= dest.top) return;
    cairo_save(cr);
    cairo_set_source_surface(cr, transparent ? picture.keyed : picture.opaque, dest.left - source.h,
                             dest.top - source.v);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_operator(cr, transparent ? CAIRO_OPERATOR_OVER : CAIRO_OPERATOR_SOURCE);
    // Only the part of the destination that the picture covers is drawn.
    const int32_t left = dest.left > dest.left - source.h ? dest.left : dest.left - source.h;
    const int32_t top = dest.top > dest.top - source.v ? dest.top : dest.top - source.v;
    int32_t right = dest.left - source.h + picture.width();
    int32_t bottom = dest.top - source.v + picture.height();
    if (right > dest.right) right = dest.right;
    if (bottom > dest.bottom) bottom = dest.bottom;
    if (right > left && bottom > top) {
        cairo_rectangle(cr, left, top, right - left, bottom - top);
        cairo_fill(cr);
        touch(Rect{left, top, right, bottom});
    }
    cairo_restore(cr);
}

void CairoSurface::copyFrom(DrawSurface& source, const Rect& dest, Point sourcePoint) {
    auto& from = static_cast<CairoSurface&>(source);
    if (dest.right <= dest.left || dest.bottom <= dest.top) return;
    cairo_surface_flush(from.surface);
    cairo_save(cr);
    cairo_set_source_surface(cr, from.surface, dest.left - sourcePoint.h, dest.top - sourcePoint.v);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_rectangle(cr, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top);
    cairo_fill(cr);
    cairo_restore(cr);
    touch(dest);
}

bool CairoSurface::readPixel(int32_t h, int32_t v, Color* out) {
    if (!out || h < 0 || v < 0 || h >= width || v >= height) return false;
    present(); // what was drawn so far reaches the window first
    if (!display || !window) {
        const unsigned char* data = cairo_image_surface_get_data(surface);
        if (!data) return false;
        const uint32_t pixel = reinterpret_cast<const uint32_t*>(data + size_t(v) *
                                                                            cairo_image_surface_get_stride(surface))[h];
        *out = Color{uint8_t(pixel >> 16), uint8_t(pixel >> 8), uint8_t(pixel), 0};
        return true;
    }
    if (connectionLost(display)) return false;
    XSync(display, False);
    XImage* image = XGetImage(display, window, h, v, 1, 1, AllPlanes, ZPixmap);
    if (!image) return false;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    auto channel = [&](unsigned long mask) -> uint8_t {
        if (!mask) return 0;
        int shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        const unsigned long bits = mask >> shift;
        const unsigned long value = (pixel & mask) >> shift;
        return uint8_t(bits == 255 ? value : value * 255 / bits);
    };
    *out = Color{channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask), 0};
    XDestroyImage(image);
    return true;
}

} // namespace vl::x11
