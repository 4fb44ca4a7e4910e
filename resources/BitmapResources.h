#pragma once
// The panel's bitmaps, found by their numeric resource id.
//
// Linux: the .bmp files of this folder are compiled into the library as byte arrays
// (the table is generated from velmorloom.rc at build time); the answer is the whole file.
// Windows: the bitmaps are resources of the module that holds this code (the plug-in
// DLL, the standalone program or a test program), compiled from velmorloom.rc; the
// answer is the packed bitmap that the resource holds (info header, palette, pixels).
// readBmp (BmpReader.h) decodes either form.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "resources/PanelLayout.h" // the ids (BitmapId)

namespace vl {

// The bytes of bitmap id and their count in *size (when size is not null); null and 0
// for an id without a bitmap. The bytes stay valid for the life of the process.
const unsigned char* findBitmapResource(int id, std::size_t* size);

// Bitmap id decoded to RGB: width x height x 3 bytes, rows from the top. False (and
// nothing changed) when there is no such bitmap or it cannot be decoded. The signature
// is that of the toolkit's bitmap source, which takes the panel's pictures from here.
bool decodeBitmapResource(std::int32_t id, std::int32_t* width, std::int32_t* height, std::vector<std::uint8_t>* rgb);

} // namespace vl
