#pragma once
// Reading the instrument panel back from a screen grab, shared by the panel tests on X11
// (tests/panel) and on GDI (tests/panelwin): the displays' numbers digit by digit, the lit
// program button, a knob's frame. The places are written out as figures of the panel's
// description, not taken from PanelLayout.h, so that a wrong table fails these tests.
#include <cstdint>
#include <functional>
#include <vector>

#include "resources/BmpReader.h"
#include "tests/support/HostRecorder.h"
#include "vst/VstAbi.h"

namespace vltest {

// Pixels as 0xRRGGBB, rows from the top.
struct Pixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;
    std::uint32_t at(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Pixels& o) const { return width == o.width && height == o.height && rgb == o.rgb; }
};

Pixels toPixels(const vl::BmpImage& image);
// A bitmap of this program's resources (decodeBitmapResource); empty when there is none.
Pixels resourcePicture(int id);

struct PanelPoint {
    int x, y;
};

inline constexpr int kPanelWidth = 727;
inline constexpr int kPanelHeight = 301;
// Top left of the three digits of each parameter's display, by parameter index.
inline constexpr PanelPoint kDisplayPlace[13] = {
    {108, 134}, {195, 131}, {261, 131}, {327, 131}, {434, 131}, {500, 131}, {566, 131},
    {194, 228}, {260, 228}, {326, 228}, {499, 228}, {433, 228}, {108, 232},
};
// Knob centres by parameter index.
inline constexpr PanelPoint kKnobCentre[13] = {
    {128, 102}, {209, 95},  {275, 95},  {341, 95},  {448, 95},  {514, 95},  {580, 95},
    {208, 192}, {274, 192}, {340, 192}, {513, 192}, {447, 192}, {128, 200},
};
// What the displays show for the first factory program.
inline constexpr int kFreshDisplays[13] = {127, 12, 38, 50, 38, 50, 50, 31, 76, 120, 44, 44, 16};
constexpr PanelPoint programButtonCentre(int i) { return {105 + 27 * i + 9, 28}; }
constexpr PanelPoint fileButtonCentre(int i) { return {514 + 52 * i + 21, 28}; }
inline constexpr PanelPoint kNameFieldPoint{400, 28};

// What a host sees of one drag of a knob: for parameter, one begin edit, more than one
// automation and one end edit, in that order, all from effect.
void expectOneDrag(const std::vector<HostCall>& calls, AEffect* effect, int parameter);

// The plug-in's answer to effEditGetRect: the panel's size at the origin.
void expectPanelRect(AEffect* effect);

class PanelReader {
public:
    // picture(id) answers the bitmaps the panel is drawn from (the digits, the program
    // buttons, the large knob), as the plug-in under test holds them.
    explicit PanelReader(const std::function<Pixels(int id)>& picture);

    bool ready() const { return digits.height == 110; }
    // The number a display shows, read digit by digit against the digit picture; -1 when
    // a place matches no digit.
    int readDisplay(const Pixels& screen, int parameter) const;
    std::vector<int> readDisplays(const Pixels& screen) const;
    // Which program buttons show their lit (lower) image.
    std::vector<int> litPrograms(const Pixels& screen) const;

    // Checks a panel just opened on the first factory program: every display's number, the
    // lit program button, text in the name field and Level's knob at its last frame.
    void expectFreshPanel(const Pixels& screen) const;

private:
    Pixels digits;
    Pixels programs[8];
    Pixels largeKnob;
};

} // namespace vltest
