// The platform layer's hooks, common to every backend: the bitmap source and the native
// view factory.
#include "gui/Platform.h"

namespace vl {

namespace {
BitmapSource bitmapSource = nullptr;
NativeViewFactory viewFactory = nullptr;
} // namespace

BitmapSource setBitmapSource(BitmapSource source) {
    BitmapSource previous = bitmapSource;
    bitmapSource = source;
    return previous;
}

BitmapSource getBitmapSource() { return bitmapSource; }

bool readBitmapFromSource(int32_t id, int32_t* width, int32_t* height, std::vector<uint8_t>* rgb) {
    if (!bitmapSource || !width || !height || !rgb) return false;
    int32_t w = 0, h = 0;
    rgb->clear();
    try {
        if (!bitmapSource(id, &w, &h, rgb)) return false;
    } catch (...) {
        return false;
    }
    if (w <= 0 || h <= 0 || w > 32768 || h > 32768) return false;
    if (rgb->size() != size_t(w) * size_t(h) * 3) return false;
    *width = w;
    *height = h;
    return true;
}

NativeViewFactory setNativeViewFactory(NativeViewFactory factory) {
    NativeViewFactory previous = viewFactory;
    viewFactory = factory;
    return previous;
}

NativeView* makeNativeView(void* parentWindow, const Rect& size, NativeViewClient* client) {
    if (viewFactory) return viewFactory(parentWindow, size, client);
    return createNativeView(parentWindow, size, client);
}

} // namespace vl
