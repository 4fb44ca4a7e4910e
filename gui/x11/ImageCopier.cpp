// Memory images to X windows, for the view, its line editor and the dialogs.
#include <X11/Xutil.h>

#include <cstdlib>

#include "gui/x11/X11Backend.h"
#include "gui/x11/X11Connection.h"

namespace vl::x11 {

bool ImageCopier::create(Display* d, Window window, Visual* v, int windowDepth) {
    display = d;
    visual = v;
    depth = windowDepth;
    gc = XCreateGC(display, window, 0, nullptr);
    // Cairo's RGB24 pixels can go to the window as they are when the window stores 32-bit
    // pixels 0x00RRGGBB in this machine's byte order.
    const uint16_t probe = 1;
    const int hostOrder = *reinterpret_cast<const uint8_t*>(&probe) ? LSBFirst : MSBFirst;
    XImage* test = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr, 1, 1, 32, 0);
    directCopy = test && test->bits_per_pixel == 32 && test->byte_order == hostOrder && visual->red_mask == 0xFF0000 &&
                 visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
    if (test) XDestroyImage(test);
    return gc != nullptr;
}

void ImageCopier::destroy() {
    if (gc && connectionLost(display)) keepAfterLoss(gc);
    else if (gc) XFreeGC(display, gc);
    gc = nullptr;
}

void ImageCopier::put(Window target, cairo_surface_t* image, const Rect& r) {
    if (!gc || !target || r.right <= r.left || r.bottom <= r.top) return;
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
    if (!data) return;
    if (directCopy) {
        XImage* xi = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, reinterpret_cast<char*>(data),
                                  unsigned(w), unsigned(h), 32, stride);
        if (!xi) return;
        XPutImage(display, target, gc, xi, r.left, r.top, r.left, r.top, unsigned(r.width()), unsigned(r.height()));
        xi->data = nullptr; // cairo's memory
        XDestroyImage(xi);
    } else {
        // Any other visual: each pixel converted through the visual's masks.
        XImage* xi = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr, unsigned(r.width()),
                                  unsigned(r.height()), 32, 0);
        if (!xi) return;
        xi->data = static_cast<char*>(std::malloc(size_t(xi->bytes_per_line) * size_t(r.height())));
        if (!xi->data) {
            XDestroyImage(xi);
            return;
        }
        auto scale = [](unsigned long mask, unsigned value) -> unsigned long {
            if (!mask) return 0;
            int shift = 0;
            while (!((mask >> shift) & 1)) ++shift;
            const unsigned long bits = mask >> shift;
            return ((value * bits + 127) / 255) << shift;
        };
        for (int y = 0; y < r.height(); ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(data + size_t(r.top + y) * stride);
            for (int x = 0; x < r.width(); ++x) {
                const uint32_t p = row[r.left + x];
                XPutPixel(xi, x, y,
                          scale(visual->red_mask, (p >> 16) & 0xFF) | scale(visual->green_mask, (p >> 8) & 0xFF) |
                              scale(visual->blue_mask, p & 0xFF));
            }
        }
        XPutImage(display, target, gc, xi, 0, 0, r.left, r.top, unsigned(r.width()), unsigned(r.height()));
        XDestroyImage(xi); // frees the pixels too
    }
    XFlush(display);
}

} // namespace vl::x11
