#include "resources/BitmapResources.h"
#include "resources/BmpReader.h"

namespace vl {

bool decodeBitmapResource(std::int32_t id, std::int32_t* width, std::int32_t* height, std::vector<std::uint8_t>* rgb) {
    if (!width || !height || !rgb) return false;
    std::size_t size = 0;
    const unsigned char* data = findBitmapResource(id, &size);
    BmpImage image;
    if (!data || !readBmp(data, size, image)) return false;
    try {
        std::vector<std::uint8_t> out(image.pixels.size() * 3);
        for (std::size_t i = 0; i < image.pixels.size(); ++i) {
            out[3 * i] = static_cast<std::uint8_t>(image.pixels[i] >> 16);
            out[3 * i + 1] = static_cast<std::uint8_t>(image.pixels[i] >> 8);
            out[3 * i + 2] = static_cast<std::uint8_t>(image.pixels[i]);
        }
        rgb->swap(out);
    } catch (...) {
        return false;
    }
    *width = image.width;
    *height = image.height;
    return true;
}

} // namespace vl
