#pragma once
// The small value types of the toolkit: points, rectangles, colours and their
// constants, the font table and the mouse/modifier snapshot.
//
// All coordinates are integer pixels, h growing to the right and v downwards.

#include <cstdint>

namespace vl {

struct Point {
    int32_t h = 0;
    int32_t v = 0;
};

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    // Hit test with both edges inside: left <= h <= right and top <= v <= bottom.
    bool pointInside(const Point& p) const { return p.h >= left && p.h <= right && p.v >= top && p.v <= bottom; }
    // The rectangle moved by (dh, dv).
    Rect offset(int32_t dh, int32_t dv) const { return Rect{left + dh, top + dv, right + dh, bottom + dv}; }
};

struct Color {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t reserved = 0; // 0 in every constant; plays no part in drawing

    // The Windows colour value red | green << 8 | blue << 16.
    uint32_t toWin32() const { return uint32_t(red) | uint32_t(green) << 8 | uint32_t(blue) << 16; }
    // Equal on red, green and blue (the reserved byte is ignored).
    bool sameRgb(const Color& o) const { return red == o.red && green == o.green && blue == o.blue; }
};

// Colour constants. The transparent key is white: every picture pixel that is exactly
// (255, 255, 255) is left out by the transparent blit.
inline constexpr Color kTransparentColor{255, 255, 255, 0};
inline constexpr Color kBlackColor{0, 0, 0, 0};
inline constexpr Color kWhiteColor{255, 255, 255, 0};
inline constexpr Color kGreyColor{127, 127, 127, 0};
inline constexpr Color kRedColor{255, 0, 0, 0};
inline constexpr Color kGreenColor{0, 255, 0, 0};
inline constexpr Color kBlueColor{0, 0, 255, 0};
inline constexpr Color kYellowColor{255, 255, 0, 0};
inline constexpr Color kMagentaColor{255, 0, 255, 0};
inline constexpr Color kCyanColor{0, 255, 255, 0};

// Font table index 0..7; any other value is taken as 0.
using FontId = int32_t;
inline constexpr int kFontCount = 8;

struct FontEntry {
    int32_t height; // pixels (character height)
    const char* face; // "Arial" or "Symbol" (the X11 backend maps these to fontconfig faces)
    int32_t weight; // 400 normal, 700 bold
    uint8_t pitchAndFamily; // 0x22 variable pitch Swiss, 0x50 decorative default pitch
};

inline constexpr FontEntry kFontTable[kFontCount] = {
    {12, "Arial", 700, 0x22}, {18, "Arial", 400, 0x22}, {14, "Arial", 400, 0x22}, {12, "Arial", 400, 0x22},
    {11, "Arial", 400, 0x22}, {10, "Arial", 400, 0x22}, {9, "Arial", 400, 0x22},  {13, "Symbol", 400, 0x50},
};

// The table entry of an id; ids outside 0..7 give entry 0.
inline const FontEntry& fontEntry(FontId id) { return kFontTable[(id >= 0 && id < kFontCount) ? id : 0]; }

// Mouse buttons and modifier keys sampled from the live state (not from a message).
using ButtonState = int32_t;
inline constexpr ButtonState kLeftButton = 1;
inline constexpr ButtonState kMiddleButton = 2;
inline constexpr ButtonState kRightButton = 4;
inline constexpr ButtonState kShift = 8;
inline constexpr ButtonState kControl = 16;
inline constexpr ButtonState kAlt = 32;

} // namespace vl
