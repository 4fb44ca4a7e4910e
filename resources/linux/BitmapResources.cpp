#include "resources/BitmapResources.h"
#include "resources/linux/EmbeddedBitmaps.h"

namespace vl {

const unsigned char* findBitmapResource(int id, std::size_t* size) {
    for (std::size_t i = 0; i < embeddedBitmapCount; ++i) {
        if (embeddedBitmaps[i].id == id) {
            if (size) *size = embeddedBitmaps[i].size;
            return embeddedBitmaps[i].data;
        }
    }
    if (size) *size = 0;
    return nullptr;
}

} // namespace vl
