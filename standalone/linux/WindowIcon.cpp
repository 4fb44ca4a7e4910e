#include "standalone/linux/WindowIcon.h"

#include <algorithm>
#include <cairo.h>
#include <cstdint>
#include <cstring>

namespace vl::linuxapp {
namespace {

struct PngReader {
    const unsigned char* data;
    std::size_t size;
    std::size_t at = 0;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->at) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->at, length);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
}

// cairo keeps colour premultiplied by alpha; the property wants it straight.
unsigned long unpremultiply(std::uint32_t p) {
    const std::uint32_t a = p >> 24;
    if (a == 0) return 0;
    auto channel = [&](int shift) {
        const std::uint32_t c = (p >> shift) & 0xFF;
        return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a) << shift;
    };
    return (a << 24) | channel(16) | channel(8) | channel(0);
}

} // namespace

std::vector<unsigned long> windowIconProperty() {
    std::vector<unsigned long> property;
    for (std::size_t i = 0; i < embeddedIconCount; ++i) {
        PngReader reader{embeddedIcons[i].data, embeddedIcons[i].size};
        cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readPng, &reader);
        if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS &&
            cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32) {
            const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
            const int stride = cairo_image_surface_get_stride(s);
            const unsigned char* pixels = cairo_image_surface_get_data(s);
            property.push_back(static_cast<unsigned long>(w));
            property.push_back(static_cast<unsigned long>(h));
            for (int y = 0; y < h; ++y) {
                const auto* row = reinterpret_cast<const std::uint32_t*>(pixels + static_cast<std::size_t>(y) * stride);
                for (int x = 0; x < w; ++x) property.push_back(unpremultiply(row[x]));
            }
        }
        cairo_surface_destroy(s);
    }
    return property;
}

} // namespace vl::linuxapp
