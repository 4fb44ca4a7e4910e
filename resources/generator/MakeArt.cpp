// vl-make-art: draws the panel bitmaps of the instrument and writes them as 8-bit
// (256-colour) Windows bitmaps.
//
// It is run by hand, and its output is committed beside velmorloom.rc:
//     build/linux/resources/vl-make-art resources --icons resources/icons --preview docs/images/panel.png
// The pictures are drawn with cairo, the text with the DejaVu fonts loaded from their
// files with fixed rendering options (grey antialiasing, no hinting), and reduced to a
// palette of at most 256 colours per picture by median cut. The colours that meet
// across picture borders (panel plates, display windows) are kept exact, so a knob or
// a digit blitted opaquely onto the background has no visible edge. Pure white
// (255, 255, 255) is the toolkit's transparent key and never appears in the art.
//
// The output depends only on this program, the cairo and FreeType versions and the font
// files; art-stamp.txt records them so that a test can regenerate and compare. Picture
// ids, files and sizes and the places of the controls come from PanelLayout.h, the
// table the editor builds its panel from.

#include <cairo-ft.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "resources/PanelLayout.h"

#ifndef VL_ART_FONT_DIR
#define VL_ART_FONT_DIR "/usr/share/fonts/truetype/dejavu"
#endif

namespace {

namespace layout = vl::panel;

constexpr double kPi = std::numbers::pi;

// ---------------------------------------------------------------------------------------
// Colours

struct Rgb {
    int r, g, b;
    std::uint32_t packed() const {
        return static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b);
    }
};

// The name field draws (126, 132, 91) text on (186, 195, 137); the panel is an olive
// instrument plate around display windows of that colour.
constexpr Rgb kLcd{layout::kNameBack.red, layout::kNameBack.green, layout::kNameBack.blue};
constexpr Rgb kLcdText{layout::kNameText.red, layout::kNameText.green, layout::kNameText.blue};
constexpr Rgb kDigitInk{44, 50, 26};
constexpr Rgb kDigitGhost{177, 186, 129};
constexpr Rgb kBase{70, 75, 46}; // panel body
constexpr Rgb kPlate{96, 102, 64}; // section plates: knobs sit on this
constexpr Rgb kPlateLight{128, 135, 90};
constexpr Rgb kPlateDark{44, 47, 28};
constexpr Rgb kLabel{232, 226, 192}; // knob names
constexpr Rgb kTitle{196, 204, 146}; // section titles
constexpr Rgb kTick{200, 206, 158};
constexpr Rgb kPointer{240, 232, 204};
constexpr Rgb kLedOn{255, 178, 52};
constexpr Rgb kLedOff{92, 74, 44};

void setColor(cairo_t* cr, Rgb c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, alpha);
}

void addStop(cairo_pattern_t* p, double offset, Rgb c, double alpha = 1.0) {
    cairo_pattern_add_color_stop_rgba(p, offset, c.r / 255.0, c.g / 255.0, c.b / 255.0, alpha);
}

Rgb mix(Rgb a, Rgb b, double t) {
    return {static_cast<int>(std::lround(a.r + (b.r - a.r) * t)), static_cast<int>(std::lround(a.g + (b.g - a.g) * t)),
            static_cast<int>(std::lround(a.b + (b.b - a.b) * t))};
}

// ---------------------------------------------------------------------------------------
// Fonts: loaded from their files, rendered without hinting so that the result does not
// depend on the machine's font configuration.

enum Font { kSansBold, kSansCondensedBold, kSans, kSerifBoldItalic, kMonoBold, kFontCount };

const char* const kFontFiles[kFontCount] = {
    "DejaVuSans-Bold.ttf",        "DejaVuSansCondensed-Bold.ttf", "DejaVuSans.ttf",
    "DejaVuSerif-BoldItalic.ttf", "DejaVuSansMono-Bold.ttf",
};

struct Fonts {
    FT_Library library = nullptr;
    std::array<FT_Face, kFontCount> faces{};
    std::array<cairo_font_face_t*, kFontCount> cairoFaces{};
    cairo_font_options_t* options = nullptr;

    bool load(const std::string& dir) {
        if (FT_Init_FreeType(&library) != 0) return false;
        for (int i = 0; i < kFontCount; ++i) {
            const std::string path = dir + "/" + kFontFiles[i];
            if (FT_New_Face(library, path.c_str(), 0, &faces[i]) != 0) {
                std::fprintf(stderr, "vl-make-art: cannot load font %s\n", path.c_str());
                return false;
            }
            cairoFaces[i] = cairo_ft_font_face_create_for_ft_face(faces[i], 0);
        }
        options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
        return true;
    }

    ~Fonts() {
        if (options) cairo_font_options_destroy(options);
        for (auto* f : cairoFaces)
            if (f) cairo_font_face_destroy(f);
        // The FreeType faces belong to the cairo faces once handed over; cairo may keep
        // them cached until exit, so they are not freed here.
    }
};

Fonts* gFonts = nullptr;

void useFont(cairo_t* cr, Font font, double size) {
    cairo_set_font_face(cr, gFonts->cairoFaces[font]);
    cairo_set_font_size(cr, size);
    cairo_set_font_options(cr, gFonts->options);
}

enum Align { kLeft, kCentre, kRight };

// Text with its baseline at y; letter spacing in pixels between glyphs.
void text(cairo_t* cr, const std::string& s, double x, double y, Align align, double spacing = 0.0) {
    double width = 0.0;
    std::vector<double> advances;
    for (char ch : s) {
        char one[2] = {ch, 0};
        cairo_text_extents_t e;
        cairo_text_extents(cr, one, &e);
        advances.push_back(e.x_advance);
        width += e.x_advance;
    }
    if (!s.empty()) width += spacing * static_cast<double>(s.size() - 1);
    double pen = x;
    if (align == kCentre) pen = x - width / 2.0;
    if (align == kRight) pen = x - width;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char one[2] = {s[i], 0};
        cairo_move_to(cr, pen, y);
        cairo_show_text(cr, one);
        pen += advances[i] + spacing;
    }
}

// Text with a one-pixel dark shadow below it, as if stamped into the plate.
void stampedText(cairo_t* cr, const std::string& s, double x, double y, Align align, Rgb colour, double spacing = 0.0) {
    setColor(cr, kPlateDark, 0.75);
    text(cr, s, x, y + 1.0, align, spacing);
    setColor(cr, colour);
    text(cr, s, x, y, align, spacing);
}

// ---------------------------------------------------------------------------------------
// Shapes

void roundedRect(cairo_t* cr, double x0, double y0, double x1, double y1, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -kPi / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, kPi / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, kPi / 2, kPi);
    cairo_arc(cr, x0 + r, y0 + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// A raised plate: flat face, light upper-left edge, dark lower-right edge.
void plate(cairo_t* cr, double x0, double y0, double x1, double y1) {
    roundedRect(cr, x0 + 1, y0 + 1, x1 + 1, y1 + 1, 6);
    setColor(cr, kPlateDark, 0.8);
    cairo_fill(cr);
    roundedRect(cr, x0, y0, x1, y1, 6);
    setColor(cr, kPlateLight);
    cairo_fill(cr);
    roundedRect(cr, x0 + 1, y0 + 1, x1, y1, 5.5);
    setColor(cr, mix(kPlate, kPlateDark, 0.45));
    cairo_fill(cr);
    roundedRect(cr, x0 + 1, y0 + 1, x1 - 1, y1 - 1, 5);
    setColor(cr, kPlate);
    cairo_fill(cr);
}

// A recessed window: dark upper-left inner edge, light lower-right edge, filled.
void recess(cairo_t* cr, int x0, int y0, int x1, int y1, Rgb fill) {
    setColor(cr, kPlateDark);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_fill(cr);
    setColor(cr, mix(kPlate, kPlateLight, 0.9));
    cairo_rectangle(cr, x0 + 1, y0 + 1, x1 - x0 - 1, y1 - y0 - 1);
    cairo_fill(cr);
    setColor(cr, mix(fill, kPlateDark, 0.35));
    cairo_rectangle(cr, x0 + 1, y0 + 1, x1 - x0 - 2, y1 - y0 - 2);
    cairo_fill(cr);
    setColor(cr, fill);
    cairo_rectangle(cr, x0 + 2, y0 + 2, x1 - x0 - 3, y1 - y0 - 3);
    cairo_fill(cr);
}

// ---------------------------------------------------------------------------------------
// Knobs: minimum at lower left, sweeping clockwise over the top to lower right (270 degrees).

double knobAngle(double value) {
    return 1.25 * kPi - value * 1.5 * kPi; // mathematical angle, y up
}

struct KnobStyle {
    double size; // picture width and frame height
    double tickInner, tickOuter;
    double skirt, cap; // radii
    double pointerInner, pointerOuter, pointerWidth;
};

constexpr KnobStyle kSmallKnob{layout::picture(vl::kBitmapSmallKnob).width, 15.2, 18.0, 13.2, 9.6, 3.5, 12.2, 2.0};
constexpr KnobStyle kLargeKnob{layout::picture(vl::kBitmapLargeKnob).width, 20.0, 23.5, 17.4, 12.8, 4.5, 16.2, 2.6};

void drawKnob(cairo_t* cr, double x, double y, const KnobStyle& k, double value) {
    const double c = k.size / 2.0;
    const double cx = x + c, cy = y + c;
    // plate under the knob
    setColor(cr, kPlate);
    cairo_rectangle(cr, x, y, k.size, k.size);
    cairo_fill(cr);
    // scale: 11 ticks, the ends a little longer
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int i = 0; i <= 10; ++i) {
        const double a = knobAngle(i / 10.0);
        const double inner = (i == 0 || i == 10 || i == 5) ? k.tickInner - 0.8 : k.tickInner;
        cairo_move_to(cr, cx + std::cos(a) * inner, cy - std::sin(a) * inner);
        cairo_line_to(cr, cx + std::cos(a) * k.tickOuter, cy - std::sin(a) * k.tickOuter);
        setColor(cr, kTick, (i == 0 || i == 10 || i == 5) ? 1.0 : 0.7);
        cairo_set_line_width(cr, 1.1);
        cairo_stroke(cr);
    }
    // soft shadow
    for (int i = 3; i >= 1; --i) {
        cairo_arc(cr, cx + 0.8, cy + 1.4, k.skirt + i * 0.7, 0, 2 * kPi);
        setColor(cr, kPlateDark, 0.18);
        cairo_fill(cr);
    }
    // skirt: dark ring with a grip edge
    {
        cairo_pattern_t* p = cairo_pattern_create_linear(cx - k.skirt, cy - k.skirt, cx + k.skirt, cy + k.skirt);
        addStop(p, 0.0, {88, 88, 80});
        addStop(p, 0.5, {38, 38, 34});
        addStop(p, 1.0, {16, 16, 14});
        cairo_arc(cr, cx, cy, k.skirt, 0, 2 * kPi);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        // knurled rim: fine radial lines that turn with the knob
        const int ridges = k.size > 40 ? 36 : 28;
        const double turn = knobAngle(value);
        for (int i = 0; i < ridges; ++i) {
            const double a = turn + 2 * kPi * i / ridges;
            cairo_move_to(cr, cx + std::cos(a) * (k.cap + 1.2), cy - std::sin(a) * (k.cap + 1.2));
            cairo_line_to(cr, cx + std::cos(a) * (k.skirt - 0.6), cy - std::sin(a) * (k.skirt - 0.6));
        }
        setColor(cr, {10, 10, 8}, 0.55);
        cairo_set_line_width(cr, 0.9);
        cairo_stroke(cr);
    }
    // cap: lit from the upper left
    {
        cairo_pattern_t* p = cairo_pattern_create_radial(cx - k.cap * 0.45, cy - k.cap * 0.55, k.cap * 0.1, cx, cy,
                                                         k.cap * 1.1);
        addStop(p, 0.0, {124, 124, 114});
        addStop(p, 0.55, {62, 62, 56});
        addStop(p, 1.0, {30, 30, 27});
        cairo_arc(cr, cx, cy, k.cap, 0, 2 * kPi);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        cairo_arc(cr, cx, cy, k.cap, 0, 2 * kPi);
        setColor(cr, {12, 12, 10}, 0.8);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
    }
    // pointer: ivory line from near the centre over the rim
    const double a = knobAngle(value);
    const double dx = std::cos(a), dy = -std::sin(a);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, cx + dx * k.pointerInner + 0.5, cy + dy * k.pointerInner + 0.7);
    cairo_line_to(cr, cx + dx * k.pointerOuter + 0.5, cy + dy * k.pointerOuter + 0.7);
    setColor(cr, {8, 8, 6}, 0.6);
    cairo_set_line_width(cr, k.pointerWidth);
    cairo_stroke(cr);
    cairo_move_to(cr, cx + dx * k.pointerInner, cy + dy * k.pointerInner);
    cairo_line_to(cr, cx + dx * k.pointerOuter, cy + dy * k.pointerOuter);
    setColor(cr, kPointer);
    cairo_set_line_width(cr, k.pointerWidth);
    cairo_stroke(cr);
}

// ---------------------------------------------------------------------------------------
// Buttons

// A rectangular key of w x h at (x, y); pressed keys sit lower and darker.
void key(cairo_t* cr, double x, double y, double w, double h, bool pressed, Rgb under) {
    setColor(cr, under);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    roundedRect(cr, x + 0.5, y + 0.5, x + w - 0.5, y + h - 0.5, 3);
    setColor(cr, {22, 24, 14});
    cairo_fill(cr);
    const double inset = 1.5;
    const double top = y + inset + (pressed ? 1.0 : 0.0);
    const double bottom = y + h - inset - (pressed ? 0.0 : 1.0);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, top, 0, bottom);
    if (pressed) {
        addStop(p, 0.0, {70, 74, 48});
        addStop(p, 1.0, {92, 97, 64});
    } else {
        addStop(p, 0.0, {150, 156, 112});
        addStop(p, 0.5, {118, 124, 84});
        addStop(p, 1.0, {96, 101, 66});
    }
    roundedRect(cr, x + inset, top, x + w - inset, bottom, 2);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    if (!pressed) {
        // a short light edge along the top
        cairo_move_to(cr, x + inset + 2, top + 0.5);
        cairo_line_to(cr, x + w - inset - 2, top + 0.5);
        setColor(cr, {184, 190, 146}, 0.9);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
}

void led(cairo_t* cr, double cx, double cy, double w, double h, bool on) {
    if (on) {
        cairo_pattern_t* glow = cairo_pattern_create_radial(cx, cy, 0.5, cx, cy, w);
        addStop(glow, 0.0, kLedOn, 0.7);
        addStop(glow, 1.0, kLedOn, 0.0);
        cairo_rectangle(cr, cx - w, cy - w, 2 * w, 2 * w);
        cairo_set_source(cr, glow);
        cairo_fill(cr);
        cairo_pattern_destroy(glow);
    }
    roundedRect(cr, cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2, 1);
    setColor(cr, on ? kLedOn : kLedOff);
    cairo_fill(cr);
    if (on) {
        roundedRect(cr, cx - w / 2 + 1, cy - h / 2 + 0.5, cx + w / 2 - 1, cy, 0.5);
        setColor(cr, {255, 232, 170}, 0.8);
        cairo_fill(cr);
    }
}

// Program button: a small key with an indicator above its face.
void drawProgramButton(cairo_t* cr, double x, double y, bool on) {
    key(cr, x, y, 19, 18, on, kBase);
    led(cr, x + 9.5, y + (on ? 8.5 : 7.5), 9, 4, on);
}

enum class Icon { loadPatch, savePatch, loadBank, saveBank, settings, record };

void drawIcon(cairo_t* cr, double cx, double cy, Icon icon, bool pressed) {
    const Rgb ink = pressed ? kLedOn : Rgb{40, 44, 24};
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    auto card = [&](double x, double y) {
        cairo_rectangle(cr, x, y, 7, 9);
        setColor(cr, pressed ? Rgb{96, 80, 44} : Rgb{200, 204, 160});
        cairo_fill_preserve(cr);
        setColor(cr, ink);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    };
    if (icon == Icon::settings) {
        // gear
        const int teeth = 8;
        cairo_new_path(cr);
        for (int i = 0; i < teeth * 2; ++i) {
            const double a = kPi * i / teeth;
            const double r = (i % 2 == 0) ? 7.0 : 5.2;
            const double a0 = a - kPi / teeth / 2, a1 = a + kPi / teeth / 2;
            cairo_line_to(cr, cx + std::cos(a0) * r, cy + std::sin(a0) * r);
            cairo_line_to(cr, cx + std::cos(a1) * r, cy + std::sin(a1) * r);
        }
        cairo_close_path(cr);
        setColor(cr, ink);
        cairo_fill(cr);
        cairo_arc(cr, cx, cy, 2.2, 0, 2 * kPi);
        setColor(cr, pressed ? Rgb{70, 74, 48} : Rgb{128, 134, 92});
        cairo_fill(cr);
        return;
    }
    if (icon == Icon::record) {
        if (pressed) {
            cairo_pattern_t* glow = cairo_pattern_create_radial(cx, cy, 1, cx, cy, 10);
            addStop(glow, 0.0, {255, 60, 40}, 0.6);
            addStop(glow, 1.0, {255, 60, 40}, 0.0);
            cairo_arc(cr, cx, cy, 10, 0, 2 * kPi);
            cairo_set_source(cr, glow);
            cairo_fill(cr);
            cairo_pattern_destroy(glow);
        }
        cairo_arc(cr, cx, cy, 5.5, 0, 2 * kPi);
        setColor(cr, pressed ? Rgb{250, 52, 36} : Rgb{110, 36, 26});
        cairo_fill_preserve(cr);
        setColor(cr, {30, 10, 8});
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        cairo_arc(cr, cx - 1.6, cy - 1.8, 1.6, 0, 2 * kPi);
        setColor(cr, pressed ? Rgb{255, 190, 170} : Rgb{160, 80, 64}, 0.8);
        cairo_fill(cr);
        return;
    }
    const bool bank = icon == Icon::loadBank || icon == Icon::saveBank;
    const bool load = icon == Icon::loadPatch || icon == Icon::loadBank;
    // cards on the right, an arrow on the left: into the cards to load, out to save
    const double cardX = cx + 2.0, cardY = cy - 4.5; // outlines on whole pixels
    if (bank) {
        card(cardX + 4, cardY - 2);
        card(cardX + 2, cardY - 1);
    }
    card(cardX, cardY);
    const double ax0 = cx - 11, ax1 = cx - 1.5, ay = cy;
    setColor(cr, ink);
    cairo_set_line_width(cr, 1.8);
    if (load) {
        cairo_move_to(cr, ax0, ay);
        cairo_line_to(cr, ax1, ay);
        cairo_stroke(cr);
        cairo_move_to(cr, ax1 - 3.5, ay - 3.5);
        cairo_line_to(cr, ax1, ay);
        cairo_line_to(cr, ax1 - 3.5, ay + 3.5);
        cairo_stroke(cr);
    } else {
        cairo_move_to(cr, ax1, ay);
        cairo_line_to(cr, ax0, ay);
        cairo_stroke(cr);
        cairo_move_to(cr, ax0 + 3.5, ay - 3.5);
        cairo_line_to(cr, ax0, ay);
        cairo_line_to(cr, ax0 + 3.5, ay + 3.5);
        cairo_stroke(cr);
    }
}

void drawWideButton(cairo_t* cr, double x, double y, Icon icon, bool pressed, Rgb under) {
    key(cr, x, y, 43, 25, pressed, under);
    drawIcon(cr, x + 21.5, y + 12.5 + (pressed ? 0.5 : -0.5), icon, pressed);
}

// ---------------------------------------------------------------------------------------
// Digits: seven segments on the display window's colour, unlit segments faintly visible.

void drawDigit(cairo_t* cr, double x, double y, int digit) {
    static const unsigned char segments[10] = {
        // bits: a b c d e f g
        0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B,
    };
    setColor(cr, kLcd);
    cairo_rectangle(cr, x, y, 10, 11);
    cairo_fill(cr);
    // segment end points on a 10 x 11 cell, slightly slanted
    const double l = x + 2.2, r = x + 7.8, t = y + 1.2, m = y + 5.5, b = y + 9.8;
    const double slant = 0.4;
    auto sx = [&](double px, double py) { return px + (m - py) / 4.3 * slant; };
    struct Seg {
        double x0, y0, x1, y1;
    };
    const Seg seg[7] = {
        {l + 0.9, t, r - 0.9, t}, // a
        {r, t + 0.9, r, m - 0.7}, // b
        {r, m + 0.7, r, b - 0.9}, // c
        {l + 0.9, b, r - 0.9, b}, // d
        {l, m + 0.7, l, b - 0.9}, // e
        {l, t + 0.9, l, m - 0.7}, // f
        {l + 0.9, m, r - 0.9, m}, // g
    };
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_width(cr, 1.75);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1 && digit == 1) {
            // The two short right-hand segments of a one, drawn apart, shrink to two
            // dots at this size and read as a colon: the one is a single stroke over
            // the full height of the right-hand side instead.
            cairo_move_to(cr, sx(r, t - 0.2), t - 0.2);
            cairo_line_to(cr, sx(r, b + 0.2), b + 0.2);
            setColor(cr, kDigitInk);
            cairo_stroke(cr);
            continue;
        }
        for (int s = 0; s < 7; ++s) {
            const bool lit = (segments[digit] >> (6 - s)) & 1;
            if ((pass == 0) == lit) continue;
            cairo_move_to(cr, sx(seg[s].x0, seg[s].y0), seg[s].y0);
            cairo_line_to(cr, sx(seg[s].x1, seg[s].y1), seg[s].y1);
            setColor(cr, lit ? kDigitInk : kDigitGhost);
            cairo_stroke(cr);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Panel layout

constexpr int kPanelW = layout::kWidth, kPanelH = layout::kHeight;
constexpr int kNameL = layout::kNameLeft, kNameT = layout::kNameTop, kNameR = layout::kNameRight,
              kNameB = layout::kNameBottom;

// Knob names by parameter.
const char* const kKnobLabels[layout::kParameterCount] = {
    "LEVEL", "Attack Time", "Release Time", "Brightness", "Speed", "Amount", "Feedback",
    "Rate",  "Depth",       "Feedback",     "Length",     "Mix",   "VOICES",
};

// The knobs in drawing order: the large ones first, then the small ones.
std::vector<layout::KnobPlace> knobsInDrawingOrder() {
    std::vector<layout::KnobPlace> knobs;
    for (bool large : {true, false})
        for (const layout::KnobPlace& k : layout::kKnobs)
            if (k.large == large) knobs.push_back(k);
    return knobs;
}

void displayWindow(cairo_t* cr, int x, int y) { recess(cr, x - 3, y - 2, x + 33, y + 14, kLcd); }

void woodCheek(cairo_t* cr, double x0, double x1) {
    cairo_pattern_t* p = cairo_pattern_create_linear(x0, 0, x1, 0);
    addStop(p, 0.0, {58, 34, 20});
    addStop(p, 0.45, {104, 64, 36});
    addStop(p, 1.0, {50, 30, 18});
    cairo_rectangle(cr, x0, 0, x1 - x0, kPanelH);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    // grain: gently wavy darker lines from a fixed sequence
    std::uint32_t seed = static_cast<std::uint32_t>(x0) * 2654435761u + 12345u;
    auto rnd = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0;
    };
    for (int i = 0; i < 7; ++i) {
        const double gx = x0 + 1.0 + (x1 - x0 - 2.0) * rnd();
        const double phase = rnd() * 2 * kPi;
        cairo_move_to(cr, gx, 0);
        for (int yy = 0; yy <= kPanelH; yy += 6) {
            cairo_line_to(cr, gx + 0.9 * std::sin(phase + yy * 0.031), yy);
        }
        setColor(cr, {36, 20, 12}, 0.35 + 0.3 * rnd());
        cairo_set_line_width(cr, 0.7);
        cairo_stroke(cr);
    }
}

// A little loom: two posts and beams, warp threads between them, and a woven band of
// weft strips going over and under the warp.
void loomEmblem(cairo_t* cr, double x0, double y0, double x1, double y1) {
    recess(cr, static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1),
           mix(kBase, kPlateDark, 0.5));
    const double l = x0 + 8, r = x1 - 8, t = y0 + 12, b = y1 - 12;
    const int warps = 11;
    const double pitch = (r - l) / warps;
    const double weftH = 4.0;
    const double wovenTop = t + 50;
    // warp threads over the whole height
    for (int i = 0; i < warps; ++i) {
        const double x = l + pitch * (i + 0.5);
        cairo_move_to(cr, x, t);
        cairo_line_to(cr, x, b);
    }
    setColor(cr, kTitle, 0.7);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    // weft strips, each under or over alternate warps
    const Rgb weftColours[6] = {kLabel, kLabel, {204, 150, 70}, kLedOn, {204, 150, 70}, kLabel};
    int row = 0;
    for (double y = wovenTop; y + weftH <= b - 1; y += weftH + 1, ++row) {
        const Rgb c = weftColours[row % 6];
        cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + weftH);
        addStop(p, 0.0, mix(c, {255, 250, 230}, 0.25));
        addStop(p, 0.5, c);
        addStop(p, 1.0, mix(c, kPlateDark, 0.45));
        cairo_rectangle(cr, l, y, r - l, weftH);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        for (int i = 0; i < warps; ++i) {
            if ((i + row) % 2 != 0) continue; // warp on top here
            const double x = l + pitch * i + pitch * 0.5;
            cairo_pattern_t* w = cairo_pattern_create_linear(x - 1.5, 0, x + 1.5, 0);
            addStop(w, 0.0, mix(kTitle, kPlateDark, 0.4));
            addStop(w, 0.5, kTitle);
            addStop(w, 1.0, mix(kTitle, kPlateDark, 0.5));
            cairo_rectangle(cr, x - 1.5, y - 0.5, 3, weftH + 1);
            cairo_set_source(cr, w);
            cairo_fill(cr);
            cairo_pattern_destroy(w);
        }
    }
    // beams and posts
    auto wood = [&](double ax, double ay, double w, double h) {
        cairo_pattern_t* p = cairo_pattern_create_linear(ax, ay, ax + (w < h ? w : 0), ay + (w < h ? 0 : h));
        addStop(p, 0.0, {132, 84, 46});
        addStop(p, 0.5, {104, 64, 36});
        addStop(p, 1.0, {58, 34, 20});
        roundedRect(cr, ax, ay, ax + w, ay + h, 1.5);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
    };
    wood(x0 + 4, y0 + 4, 5, y1 - y0 - 8);
    wood(x1 - 9, y0 + 4, 5, y1 - y0 - 8);
    wood(x0 + 4, t - 6, x1 - x0 - 8, 6);
    wood(x0 + 4, b, x1 - x0 - 8, 6);
}

// The program's icon: the panel's loom emblem on a square with rounded corners, drawn
// in a 128-unit square scaled to the size asked for (outside the corners transparent).
void drawEmblemIcon(cairo_t* cr, double size) {
    constexpr double kUnits = 128.0;
    cairo_save(cr);
    cairo_scale(cr, size / kUnits, size / kUnits);
    roundedRect(cr, 0, 0, kUnits, kUnits, 14);
    cairo_clip(cr);
    setColor(cr, kBase);
    cairo_paint(cr);
    loomEmblem(cr, 0, 0, kUnits, kUnits);
    cairo_restore(cr);
}

void drawBackground(cairo_t* cr) {
    setColor(cr, kBase);
    cairo_paint(cr);
    // a faint light band along the top edge and a dark one along the bottom edge, clear
    // of every button (buttons are drawn on the plain body colour)
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, 0, 0, kPanelH);
    addStop(shade, 0.0, {255, 250, 220}, 0.08);
    addStop(shade, 12.0 / kPanelH, {255, 250, 220}, 0.0);
    addStop(shade, 295.0 / kPanelH, {0, 0, 0}, 0.0);
    addStop(shade, 1.0, {0, 0, 0}, 0.25);
    cairo_rectangle(cr, 0, 0, kPanelW, kPanelH);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);

    woodCheek(cr, 0, 10);
    woodCheek(cr, 717, kPanelW);

    // The loom, in the left column: warp threads on a frame, the lower part woven.
    loomEmblem(cr, 18, 60, 90, 246);
    // Vent slots right of the ensemble section, as on the case of an old string machine.
    for (int i = 0; i < 9; ++i) {
        const double y = 66.5 + i * 9.0;
        roundedRect(cr, 634, y, 708, y + 4, 2);
        setColor(cr, kPlateDark);
        cairo_fill(cr);
        cairo_move_to(cr, 636, y + 4.5);
        cairo_line_to(cr, 706, y + 4.5);
        setColor(cr, kPlateLight, 0.7);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    // Brand, right of the reverb section.
    useFont(cr, kSerifBoldItalic, 27);
    stampedText(cr, "Velmor", 636, 196, kCentre, kLabel);
    stampedText(cr, "Loom", 646, 224, kCentre, kLabel);
    useFont(cr, kSansCondensedBold, 7.5);
    stampedText(cr, "STRING ENSEMBLE", 637, 241, kCentre, kTitle, 1.8);

    // Programs: numbers above the buttons.
    useFont(cr, kSansCondensedBold, 8);
    stampedText(cr, "PROGRAM", 98, 31, kRight, kTitle, 0.8);
    useFont(cr, kSansBold, 9);
    for (int i = 0; i < 8; ++i) {
        stampedText(cr, std::to_string(i + 1), layout::programLeft(i) + 9.5, 14, kCentre, kLabel);
    }
    // Name window under the (transparent) name field.
    recess(cr, kNameL - 4, kNameT - 3, kNameR + 4, kNameB + 3, kLcd);

    // File buttons: group above, action below.
    useFont(cr, kSansCondensedBold, 8);
    const char* groups[2] = {"PATCH", "BANK"};
    for (int g = 0; g < 2; ++g) {
        const double l = layout::kFileButtons[2 * g].left + 2, r = layout::kFileButtons[2 * g + 1].left + 41;
        const double mid = (l + r) / 2.0;
        stampedText(cr, groups[g], mid, 11, kCentre, kTitle, 1.2);
        setColor(cr, kTitle, 0.6);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, l, 11.5);
        cairo_line_to(cr, l, 7.5);
        cairo_line_to(cr, mid - 18, 7.5);
        cairo_move_to(cr, mid + 18, 7.5);
        cairo_line_to(cr, r, 7.5);
        cairo_line_to(cr, r, 11.5);
        cairo_stroke(cr);
    }
    useFont(cr, kSansBold, 8);
    for (int i = 0; i < 4; ++i) {
        stampedText(cr, i % 2 == 0 ? "load" : "save", layout::kFileButtons[i].left + 21.5, 51, kCentre, kLabel);
    }

    // Section plates.
    plate(cr, 96, 56, 160, 250); // level and voices
    plate(cr, 167, 56, 384, 150); // strings
    plate(cr, 406, 56, 623, 150); // ensemble
    plate(cr, 166, 154, 383, 250); // phaser
    plate(cr, 405, 154, 556, 250); // reverb
    useFont(cr, kSansCondensedBold, 9);
    stampedText(cr, "STRINGS", 275.5, 67, kCentre, kTitle, 2.0);
    stampedText(cr, "ENSEMBLE", 514.5, 67, kCentre, kTitle, 2.0);
    stampedText(cr, "PHASER", 274.5, 165, kCentre, kTitle, 2.0);
    stampedText(cr, "REVERB", 480.5, 165, kCentre, kTitle, 2.0);
    // thin rules either side of each title
    auto rules = [&](double l, double r, double mid, double y, double half) {
        setColor(cr, kTitle, 0.45);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, l + 10, y);
        cairo_line_to(cr, mid - half, y);
        cairo_move_to(cr, mid + half, y);
        cairo_line_to(cr, r - 10, y);
        cairo_stroke(cr);
    };
    rules(167, 384, 275.5, 63.5, 30);
    rules(406, 623, 514.5, 63.5, 34);
    rules(166, 383, 274.5, 161.5, 28);
    rules(405, 556, 480.5, 161.5, 27);

    // Knobs, their names and their display windows.
    for (const layout::KnobPlace& k : knobsInDrawingOrder()) {
        const KnobStyle& style = k.large ? kLargeKnob : kSmallKnob;
        drawKnob(cr, k.left, k.top, style, 0.0);
        displayWindow(cr, layout::displayLeft(k), layout::displayTop(k));
        const double cx = k.left + style.size / 2.0;
        const char* label = kKnobLabels[k.parameter];
        if (k.large) {
            useFont(cr, kSansCondensedBold, 9);
            stampedText(cr, label, cx, k.top - 4, kCentre, kLabel, 1.2);
        } else {
            useFont(cr, kSansCondensedBold, 9);
            stampedText(cr, label, cx, k.top + 50, kCentre, kLabel);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Pictures in memory

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb; // 0xRRGGBB
};

Image render(int w, int h, const std::function<void(cairo_t*)>& draw) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    Image img;
    img.width = w;
    img.height = h;
    img.rgb.resize(static_cast<std::size_t>(w) * h);
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = row[x] & 0xFFFFFFu;
            if (p == 0xFFFFFFu) p = 0xFEFEFEu; // white is the transparent key
            img.rgb[static_cast<std::size_t>(y) * w + x] = p;
        }
    }
    cairo_surface_destroy(s);
    return img;
}

// ---------------------------------------------------------------------------------------
// Palette by median cut; pinned colours are kept exactly.

struct Box {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> colours; // colour, count
    int channelRange(int shift) const {
        int lo = 255, hi = 0;
        for (auto& [c, n] : colours) {
            const int v = (c >> shift) & 0xFF;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        return hi - lo;
    }
    std::uint64_t weight() const {
        std::uint64_t w = 0;
        for (auto& [c, n] : colours) w += n;
        return w;
    }
};

struct Indexed {
    int width = 0, height = 0;
    std::vector<std::uint32_t> palette;
    std::vector<std::uint8_t> index;
};

Indexed quantize(const Image& img, const std::vector<Rgb>& pinned) {
    std::map<std::uint32_t, std::uint32_t> histogram;
    for (std::uint32_t p : img.rgb) ++histogram[p];
    std::vector<std::uint32_t> palette;
    for (const Rgb& c : pinned) palette.push_back(c.packed());
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());

    std::vector<std::pair<std::uint32_t, std::uint32_t>> rest;
    for (auto& [c, n] : histogram) {
        if (!std::binary_search(palette.begin(), palette.end(), c)) rest.push_back({c, n});
    }
    const std::size_t room = 256 - palette.size();
    if (rest.size() <= room) {
        for (auto& [c, n] : rest) palette.push_back(c);
    } else {
        std::vector<Box> boxes(1);
        boxes[0].colours = rest;
        while (boxes.size() < room) {
            // split the box with the largest weighted extent
            std::size_t best = boxes.size();
            double bestScore = 0;
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                if (boxes[i].colours.size() < 2) continue;
                const int range = std::max(
                    {boxes[i].channelRange(16), boxes[i].channelRange(8), boxes[i].channelRange(0)});
                const double score = static_cast<double>(range) * std::sqrt(static_cast<double>(boxes[i].weight()));
                if (score > bestScore) {
                    bestScore = score;
                    best = i;
                }
            }
            if (best == boxes.size()) break;
            Box& box = boxes[best];
            const int rr = box.channelRange(16), gr = box.channelRange(8), br = box.channelRange(0);
            const int shift = (rr >= gr && rr >= br) ? 16 : (gr >= br ? 8 : 0);
            std::stable_sort(box.colours.begin(), box.colours.end(), [shift](auto& a, auto& b) {
                return ((a.first >> shift) & 0xFF) < ((b.first >> shift) & 0xFF);
            });
            const std::uint64_t total = box.weight();
            std::uint64_t acc = 0;
            std::size_t cut = 1;
            for (std::size_t i = 0; i < box.colours.size() - 1; ++i) {
                acc += box.colours[i].second;
                cut = i + 1;
                if (acc * 2 >= total) break;
            }
            Box other;
            other.colours.assign(box.colours.begin() + static_cast<std::ptrdiff_t>(cut), box.colours.end());
            box.colours.resize(cut);
            boxes.push_back(std::move(other));
        }
        for (const Box& box : boxes) {
            double r = 0, g = 0, b = 0, w = 0;
            for (auto& [c, n] : box.colours) {
                r += ((c >> 16) & 0xFF) * double(n);
                g += ((c >> 8) & 0xFF) * double(n);
                b += (c & 0xFF) * double(n);
                w += n;
            }
            std::uint32_t mean = static_cast<std::uint32_t>(std::lround(r / w)) << 16 |
                                 static_cast<std::uint32_t>(std::lround(g / w)) << 8 |
                                 static_cast<std::uint32_t>(std::lround(b / w));
            if (mean == 0xFFFFFFu) mean = 0xFEFEFEu;
            palette.push_back(mean);
        }
    }
    std::map<std::uint32_t, std::uint8_t> lookup;
    for (auto& [c, n] : histogram) {
        int best = 0;
        long bestD = -1;
        for (std::size_t i = 0; i < palette.size(); ++i) {
            const long dr = long((c >> 16) & 0xFF) - long((palette[i] >> 16) & 0xFF);
            const long dg = long((c >> 8) & 0xFF) - long((palette[i] >> 8) & 0xFF);
            const long db = long(c & 0xFF) - long(palette[i] & 0xFF);
            const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            if (bestD < 0 || d < bestD) {
                bestD = d;
                best = static_cast<int>(i);
            }
        }
        lookup[c] = static_cast<std::uint8_t>(best);
    }
    Indexed out;
    out.width = img.width;
    out.height = img.height;
    out.palette = palette;
    out.index.resize(img.rgb.size());
    for (std::size_t i = 0; i < img.rgb.size(); ++i) out.index[i] = lookup[img.rgb[i]];
    return out;
}

// ---------------------------------------------------------------------------------------
// 8-bit Windows bitmap: file header, BITMAPINFOHEADER, 256-entry palette, bottom-up rows.

void put16(std::vector<unsigned char>& v, unsigned x) {
    v.push_back(x & 0xFF);
    v.push_back((x >> 8) & 0xFF);
}
void put32(std::vector<unsigned char>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back((x >> (8 * i)) & 0xFF);
}

std::vector<unsigned char> encodeBmp(const Indexed& img) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(img.width) + 3) & ~3u;
    const std::uint32_t pixelBytes = stride * static_cast<std::uint32_t>(img.height);
    const std::uint32_t offset = 14 + 40 + 256 * 4;
    std::vector<unsigned char> v;
    v.push_back('B');
    v.push_back('M');
    put32(v, offset + pixelBytes);
    put32(v, 0);
    put32(v, offset);
    put32(v, 40);
    put32(v, static_cast<std::uint32_t>(img.width));
    put32(v, static_cast<std::uint32_t>(img.height));
    put16(v, 1);
    put16(v, 8);
    put32(v, 0); // BI_RGB
    put32(v, pixelBytes);
    put32(v, 2835); // 72 dpi
    put32(v, 2835);
    put32(v, 256);
    put32(v, 0);
    for (std::size_t i = 0; i < 256; ++i) {
        const std::uint32_t c = i < img.palette.size() ? img.palette[i] : 0x000000u;
        v.push_back(c & 0xFF);
        v.push_back((c >> 8) & 0xFF);
        v.push_back((c >> 16) & 0xFF);
        v.push_back(0);
    }
    for (int y = img.height - 1; y >= 0; --y) {
        const std::uint8_t* row = img.index.data() + static_cast<std::size_t>(y) * img.width;
        v.insert(v.end(), row, row + img.width);
        for (std::uint32_t p = static_cast<std::uint32_t>(img.width); p < stride; ++p) v.push_back(0);
    }
    return v;
}

Image expand(const Indexed& img) {
    Image out;
    out.width = img.width;
    out.height = img.height;
    out.rgb.resize(img.index.size());
    for (std::size_t i = 0; i < img.index.size(); ++i) out.rgb[i] = img.palette[img.index[i]];
    return out;
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f) {
        std::fprintf(stderr, "vl-make-art: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

struct Output {
    int id;
    std::string file;
    Indexed picture;
};

// Copies src (from row srcY, h rows) to dst at (x, y).
void blit(Image& dst, const Image& src, int x, int y, int srcY, int w, int h) {
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            dst.rgb[static_cast<std::size_t>(y + row) * dst.width + x + col] =
                src.rgb[static_cast<std::size_t>(srcY + row) * src.width + col];
}

// The desktop icons: PNG files of 48 and 128 pixels and a scalable SVG, all of the
// same drawing.
bool writeIcons(const std::string& dir) {
    for (int size : {48, 128}) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
        cairo_t* cr = cairo_create(s);
        drawEmblemIcon(cr, size);
        cairo_destroy(cr);
        const std::string path = dir + "/velmorloom-" + std::to_string(size) + ".png";
        const cairo_status_t status = cairo_surface_write_to_png(s, path.c_str());
        cairo_surface_destroy(s);
        if (status != CAIRO_STATUS_SUCCESS) {
            std::fprintf(stderr, "vl-make-art: cannot write %s\n", path.c_str());
            return false;
        }
    }
    const std::string svg = dir + "/velmorloom.svg";
    cairo_surface_t* s = cairo_svg_surface_create(svg.c_str(), 128, 128);
    cairo_t* cr = cairo_create(s);
    drawEmblemIcon(cr, 128);
    cairo_destroy(cr);
    cairo_surface_finish(s);
    const cairo_status_t status = cairo_surface_status(s);
    cairo_surface_destroy(s);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "vl-make-art: cannot write %s\n", svg.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: vl-make-art OUTPUT-FOLDER [--preview PANEL.png] [--icons FOLDER] [--fonts FOLDER]\n");
        return 2;
    }
    const std::string outDir = argv[1];
    std::string preview;
    std::string iconDir;
    std::string fontDir = VL_ART_FONT_DIR;
    int zoom = 1;
    int region[4] = {0, 0, kPanelW, kPanelH};
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--preview") == 0) preview = argv[i + 1];
        else if (std::strcmp(argv[i], "--fonts") == 0) fontDir = argv[i + 1];
        else if (std::strcmp(argv[i], "--icons") == 0) iconDir = argv[i + 1];
        else if (std::strcmp(argv[i], "--zoom") == 0) zoom = std::clamp(std::atoi(argv[i + 1]), 1, 8);
        else if (std::strcmp(argv[i], "--region") == 0)
            std::sscanf(argv[i + 1], "%d,%d,%d,%d", &region[0], &region[1], &region[2], &region[3]);
    }
    Fonts fonts;
    if (!fonts.load(fontDir)) return 1;
    gFonts = &fonts;

    const std::vector<Rgb> plateColours = {kPlate, kBase, kLcd};
    std::vector<Output> outputs;

    auto add = [&](int id, const std::function<void(cairo_t*)>& draw) {
        const layout::PictureInfo& p = layout::picture(id);
        outputs.push_back({id, p.file, quantize(render(p.width, p.height, draw), plateColours)});
    };
    add(vl::kBitmapBackground, drawBackground);
    auto knobStrip = [&](const KnobStyle& k) {
        return [&k](cairo_t* cr) {
            const int size = static_cast<int>(k.size);
            for (int f = 0; f < layout::kKnobFrames; ++f)
                drawKnob(cr, 0, f * size, k, f / double(layout::kKnobFrames - 1));
        };
    };
    add(vl::kBitmapSmallKnob, knobStrip(kSmallKnob));
    add(vl::kBitmapLargeKnob, knobStrip(kLargeKnob));
    const struct {
        int id;
        Icon icon;
    } wide[6] = {
        {vl::kBitmapFileLoadPatch, Icon::loadPatch}, {vl::kBitmapFileSavePatch, Icon::savePatch},
        {vl::kBitmapFileLoadBank, Icon::loadBank},   {vl::kBitmapFileSaveBank, Icon::saveBank},
        {vl::kBitmapSettings, Icon::settings},       {vl::kBitmapRecord, Icon::record},
    };
    for (const auto& w : wide) {
        add(w.id, [&](cairo_t* cr) {
            drawWideButton(cr, 0, 0, w.icon, false, kBase);
            drawWideButton(cr, 0, layout::imageHeight(w.id), w.icon, true, kBase);
        });
    }
    for (int i = 0; i < layout::kProgramButtonCount; ++i) {
        add(vl::kBitmapProgram1 + i, [](cairo_t* cr) {
            drawProgramButton(cr, 0, 0, false);
            drawProgramButton(cr, 0, layout::imageHeight(vl::kBitmapProgram1), true);
        });
    }
    add(vl::kBitmapDigits, [](cairo_t* cr) {
        for (int d = 0; d < 10; ++d) drawDigit(cr, 0, d * layout::kDigitHeight, d);
    });

    for (const Output& o : outputs) {
        if (!writeFile(outDir + "/" + o.file, encodeBmp(o.picture))) return 1;
    }
    {
        std::ofstream stamp(outDir + "/art-stamp.txt");
        stamp << "cairo " << cairo_version_string() << "\n";
        FT_Int major = 0, minor = 0, patch = 0;
        FT_Library_Version(fonts.library, &major, &minor, &patch);
        stamp << "freetype " << major << "." << minor << "." << patch << "\n";
        for (int i = 0; i < kFontCount; ++i) {
            std::ifstream f(fontDir + "/" + kFontFiles[i], std::ios::binary | std::ios::ate);
            stamp << "font " << kFontFiles[i] << " " << static_cast<long long>(f.tellg()) << "\n";
        }
    }

    if (!iconDir.empty() && !writeIcons(iconDir)) return 1;

    if (!preview.empty()) {
        // The whole panel as the editor shows it: knobs at the values of the first
        // program, program 1 lit, one file button pressed, the standalone's two buttons.
        auto find = [&](int id) -> const Indexed& {
            for (const Output& o : outputs)
                if (o.id == id) return o.picture;
            return outputs[0].picture;
        };
        Image panel = expand(find(vl::kBitmapBackground));
        const Image small = expand(find(vl::kBitmapSmallKnob)), large = expand(find(vl::kBitmapLargeKnob)),
                    digits = expand(find(vl::kBitmapDigits));
        const int dw = layout::kDigitWidth, dh = layout::kDigitHeight;
        const float values[13] = {1.0f, 0.1f, 0.3f, 0.4f, 0.3f, 0.4f, 0.4f, 0.25f, 0.6f, 0.95f, 0.35f, 0.35f, 0.5f};
        for (const layout::KnobPlace& k : knobsInDrawingOrder()) {
            const Image& strip = k.large ? large : small;
            const int size = strip.width;
            const int frame = static_cast<int>(values[k.parameter] * float(layout::kKnobFrames - 1) + 0.5f);
            blit(panel, strip, k.left, k.top, frame * size, size, size);
            int shown = k.parameter == 12 ? 16 : static_cast<int>(values[k.parameter] * 127.0f);
            const int ds[3] = {shown / 100, shown / 10 % 10, shown % 10};
            for (int i = 0; i < layout::kDigitCount; ++i)
                blit(panel, digits, layout::displayLeft(k) + dw * i, layout::displayTop(k), ds[i] * dh, dw, dh);
        }
        // a button's released image, or its pressed one below it
        auto button = [&](int id, int left, int top, bool pressed) {
            const int h = layout::imageHeight(id);
            blit(panel, expand(find(id)), left, top, pressed ? h : 0, layout::picture(id).width, h);
        };
        for (int i = 0; i < layout::kProgramButtonCount; ++i)
            button(vl::kBitmapProgram1 + i, layout::programLeft(i), layout::kProgramTop, i == 0);
        for (int i = 0; i < layout::kFileButtonCount; ++i) {
            const layout::ButtonPlace& b = layout::kFileButtons[i];
            button(b.picture, b.left, b.top, i == 3);
        }
        for (const layout::ButtonPlace& b : layout::kStandaloneButtons)
            button(b.picture, b.left, b.top, b.picture == vl::kBitmapRecord);
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPanelW, kPanelH);
        unsigned char* data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < kPanelH; ++y)
            std::memcpy(data + static_cast<std::size_t>(y) * stride,
                        panel.rgb.data() + static_cast<std::size_t>(y) * kPanelW, kPanelW * 4);
        cairo_surface_mark_dirty(s);
        cairo_t* cr = cairo_create(s);
        useFont(cr, kSans, 12);
        setColor(cr, kLcdText);
        cairo_move_to(cr, kNameL + 2, kNameB - 4);
        cairo_show_text(cr, "String Ensemble");
        cairo_destroy(cr);
        // an enlarged copy with square pixels, for looking at details
        cairo_surface_t* big = cairo_image_surface_create(CAIRO_FORMAT_RGB24, region[2] * zoom, region[3] * zoom);
        cairo_t* bc = cairo_create(big);
        cairo_scale(bc, zoom, zoom);
        cairo_set_source_surface(bc, s, -region[0], -region[1]);
        cairo_pattern_set_filter(cairo_get_source(bc), CAIRO_FILTER_NEAREST);
        cairo_paint(bc);
        cairo_destroy(bc);
        cairo_surface_write_to_png(big, preview.c_str());
        cairo_surface_destroy(big);
        cairo_surface_destroy(s);
    }
    return 0;
}
