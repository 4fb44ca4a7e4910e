#pragma once
// The program's icon for its window: the desktop icon files compiled into the program
// and turned into the _NET_WM_ICON property's form.

#include <cstddef>
#include <vector>

namespace vl::linuxapp {

struct EmbeddedIcon {
    const unsigned char* data; // a PNG file
    std::size_t size;
};

extern const EmbeddedIcon embeddedIcons[];
extern const std::size_t embeddedIconCount;

// For each embedded icon: its width, its height, then its pixels row by row as
// non-premultiplied 0xAARRGGBB, one to a long, as _NET_WM_ICON holds them. Icons that do
// not decode are left out.
std::vector<unsigned long> windowIconProperty();

} // namespace vl::linuxapp
