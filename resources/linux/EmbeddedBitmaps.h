#pragma once
// The table of bitmaps compiled into the library (generated from velmorloom.rc).

#include <cstddef>

namespace vl {

struct EmbeddedBitmap {
    int id;
    const unsigned char* data;
    std::size_t size;
};

extern const EmbeddedBitmap embeddedBitmaps[];
extern const std::size_t embeddedBitmapCount;

} // namespace vl
