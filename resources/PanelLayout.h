#pragma once
// The instrument panel in one place: the bitmaps (resource id, file, size, images stacked
// in each), the control tags, and where every control of the panel and of the standalone
// program's two buttons sits. The editor builds its widgets from it, vl-make-art draws the
// bitmaps to these sizes and places, the standalone programs place their buttons by it,
// and velmorloom.rc must name the same ids and files (a test compares them).
//
// Plain constant data without any platform or toolkit header, so that the art generator,
// a tool of its own, can include it too. Rectangles are left, top, right, bottom in
// panel pixels, right and bottom exclusive.

namespace vl {

// Resource ids of the pictures.
enum BitmapId : int {
    kBitmapBackground = 134,
    kBitmapFileLoadPatch = 145,
    kBitmapFileSavePatch = 146,
    kBitmapSettings = 149,
    kBitmapRecord = 150,
    kBitmapFileLoadBank = 151,
    kBitmapFileSaveBank = 152,
    kBitmapProgram1 = 157, // .. 164 for program 8
    kBitmapLargeKnob = 165,
    kBitmapSmallKnob = 166,
    kBitmapDigits = 168,
};

namespace panel {

// ---- Pictures ----------------------------------------------------------------------------

struct PictureInfo {
    int id;
    const char* file; // beside velmorloom.rc
    int width, height;
    int frames; // images of height / frames stacked from the top
};

inline constexpr PictureInfo kPictures[] = {
    {kBitmapBackground, "background.bmp", 727, 301, 1},
    {kBitmapFileLoadPatch, "file_load_patch.bmp", 43, 50, 2},
    {kBitmapFileSavePatch, "file_save_patch.bmp", 43, 50, 2},
    {kBitmapSettings, "settings.bmp", 43, 50, 2},
    {kBitmapRecord, "record.bmp", 43, 50, 2},
    {kBitmapFileLoadBank, "file_load_bank.bmp", 43, 50, 2},
    {kBitmapFileSaveBank, "file_save_bank.bmp", 43, 50, 2},
    {kBitmapProgram1, "program_1.bmp", 19, 36, 2},
    {kBitmapProgram1 + 1, "program_2.bmp", 19, 36, 2},
    {kBitmapProgram1 + 2, "program_3.bmp", 19, 36, 2},
    {kBitmapProgram1 + 3, "program_4.bmp", 19, 36, 2},
    {kBitmapProgram1 + 4, "program_5.bmp", 19, 36, 2},
    {kBitmapProgram1 + 5, "program_6.bmp", 19, 36, 2},
    {kBitmapProgram1 + 6, "program_7.bmp", 19, 36, 2},
    {kBitmapProgram1 + 7, "program_8.bmp", 19, 36, 2},
    {kBitmapLargeKnob, "knob_large.bmp", 48, 3168, 66},
    {kBitmapSmallKnob, "knob_small.bmp", 37, 2442, 66},
    {kBitmapDigits, "digits.bmp", 10, 110, 10},
};

// The entry of an id; the background's for an id without a picture.
constexpr const PictureInfo& picture(int id) {
    for (const PictureInfo& p : kPictures)
        if (p.id == id) return p;
    return kPictures[0];
}
// Height of one image of a picture.
constexpr int imageHeight(int id) { return picture(id).height / picture(id).frames; }

inline constexpr int kWidth = picture(kBitmapBackground).width;
inline constexpr int kHeight = picture(kBitmapBackground).height;

// The editor's 16 shared pictures by slot.
// clang-format off
inline constexpr int kSlotCount = 16;
inline constexpr int kBackgroundSlot = 0;
inline constexpr int kSmallKnobSlot = 1;
inline constexpr int kLargeKnobSlot = 2;
inline constexpr int kFirstFileSlot = 3;    // 4 file buttons
inline constexpr int kFirstProgramSlot = 7; // 8 program buttons
inline constexpr int kDigitSlot = 15;
inline constexpr int kSlotPictures[kSlotCount] = {
    kBitmapBackground,    kBitmapSmallKnob,    kBitmapLargeKnob,    kBitmapFileLoadPatch,
    kBitmapFileSavePatch, kBitmapFileLoadBank, kBitmapFileSaveBank, kBitmapProgram1,
    kBitmapProgram1 + 1,  kBitmapProgram1 + 2, kBitmapProgram1 + 3, kBitmapProgram1 + 4,
    kBitmapProgram1 + 5,  kBitmapProgram1 + 6, kBitmapProgram1 + 7, kBitmapDigits,
};
// clang-format on

// ---- Tags --------------------------------------------------------------------------------

// clang-format off
inline constexpr int kParameterCount = 13;   // tags 0..12: the knobs
inline constexpr int kDisplayTagOffset = 13; // tags 13..25: their number displays
inline constexpr int kNameTag = 27;
inline constexpr int kFirstFileTag = 28;     // load patch, save patch, load bank, save bank
inline constexpr int kFileButtonCount = 4;
inline constexpr int kFirstProgramTag = 32;  // 8 program buttons
inline constexpr int kProgramButtonCount = 8;
inline constexpr int kSettingsButtonTag = 41; // standalone program only
inline constexpr int kRecordButtonTag = 42;   // standalone program only
inline constexpr int kControlCount = 44;
// clang-format on

// ---- Knobs and their number displays -----------------------------------------------------

struct KnobPlace {
    int parameter;
    bool large;
    int left, top;
};

// In the order the editor builds them: the small knobs of parameters 1..9, 11, 10 (Reverb
// Mix sits left of Reverb Length), then the large knobs of 0 and 12.
// clang-format off
inline constexpr KnobPlace kKnobs[kParameterCount] = {
    {1, false, 191, 77},  {2, false, 257, 77},  {3, false, 323, 77},  {4, false, 430, 77},
    {5, false, 496, 77},  {6, false, 562, 77},  {7, false, 190, 174}, {8, false, 256, 174},
    {9, false, 322, 174}, {11, false, 429, 174}, {10, false, 495, 174}, {0, true, 104, 78},
    {12, true, 104, 176},
};
// clang-format on

inline constexpr int kKnobFrames = picture(kBitmapSmallKnob).frames;
constexpr int knobPicture(const KnobPlace& k) { return k.large ? kBitmapLargeKnob : kBitmapSmallKnob; }
// Side of the square knob image.
constexpr int knobSize(const KnobPlace& k) { return picture(knobPicture(k)).width; }

// A display's rectangle sits under its knob: inset 4 pixels from the knob's sides, this
// far below its bottom, 12 pixels high; its 3 digits stand side by side at its top left.
inline constexpr int kDisplayInset = 4;
inline constexpr int kSmallDisplayGap = 17;
inline constexpr int kLargeDisplayGap = 8;
inline constexpr int kDisplayHeight = 12;
inline constexpr int kDigitCount = 3;
inline constexpr int kDigitWidth = picture(kBitmapDigits).width;
inline constexpr int kDigitHeight = imageHeight(kBitmapDigits);
constexpr int displayGap(const KnobPlace& k) { return k.large ? kLargeDisplayGap : kSmallDisplayGap; }
constexpr int displayLeft(const KnobPlace& k) { return k.left + kDisplayInset; }
constexpr int displayTop(const KnobPlace& k) { return k.top + knobSize(k) + displayGap(k); }

// ---- Buttons and the name field ----------------------------------------------------------

struct ButtonPlace {
    int picture;
    int tag;
    int left, top;
};

inline constexpr ButtonPlace kFileButtons[kFileButtonCount] = {
    {kBitmapFileLoadPatch, kFirstFileTag, 514, 16},
    {kBitmapFileSavePatch, kFirstFileTag + 1, 566, 16},
    {kBitmapFileLoadBank, kFirstFileTag + 2, 618, 16},
    {kBitmapFileSaveBank, kFirstFileTag + 3, 670, 16},
};

// Program button i (0..7): picture kBitmapProgram1 + i, tag kFirstProgramTag + i.
inline constexpr int kProgramLeft = 105;
inline constexpr int kProgramStep = 27;
inline constexpr int kProgramTop = 19;
constexpr int programLeft(int i) { return kProgramLeft + kProgramStep * i; }

// The standalone program's settings button and record switch, at the bottom right.
inline constexpr ButtonPlace kStandaloneButtons[2] = {
    {kBitmapSettings, kSettingsButtonTag, 618, 268},
    {kBitmapRecord, kRecordButtonTag, 668, 268},
};

struct Rgb {
    int red, green, blue;
};

// The program name field (transparent) and its window drawn into the background.
inline constexpr int kNameLeft = 334, kNameTop = 20, kNameRight = 494, kNameBottom = 36;
inline constexpr Rgb kNameText{126, 132, 91};
inline constexpr Rgb kNameBack{186, 195, 137};

} // namespace panel
} // namespace vl
