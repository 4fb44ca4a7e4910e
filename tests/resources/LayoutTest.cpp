// The panel table (PanelLayout.h) against the figures of the panel's description, against
// the resource script that makes the bitmaps resources, and against the bitmaps themselves.
// Every place the editor, the standalone programs and the art generator use comes from
// this table, so a wrong entry here is a wrong panel everywhere.

#include "resources/BitmapResources.h"
#include "resources/PanelLayout.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace panel = vl::panel;

using Rect = std::array<int, 4>; // left, top, right, bottom

TEST(PanelLayout, KnobsAndDisplaysSitWhereTheDescriptionPlacesThem) {
    struct Expected {
        int parameter;
        bool large;
        Rect knob, display;
    };
    const Expected expected[] = {
        {0, true, {104, 78, 152, 126}, {108, 134, 148, 146}},
        {12, true, {104, 176, 152, 224}, {108, 232, 148, 244}},
        {1, false, {191, 77, 228, 114}, {195, 131, 224, 143}},
        {2, false, {257, 77, 294, 114}, {261, 131, 290, 143}},
        {3, false, {323, 77, 360, 114}, {327, 131, 356, 143}},
        {4, false, {430, 77, 467, 114}, {434, 131, 463, 143}},
        {5, false, {496, 77, 533, 114}, {500, 131, 529, 143}},
        {6, false, {562, 77, 599, 114}, {566, 131, 595, 143}},
        {7, false, {190, 174, 227, 211}, {194, 228, 223, 240}},
        {8, false, {256, 174, 293, 211}, {260, 228, 289, 240}},
        {9, false, {322, 174, 359, 211}, {326, 228, 355, 240}},
        {11, false, {429, 174, 466, 211}, {433, 228, 462, 240}},
        {10, false, {495, 174, 532, 211}, {499, 228, 528, 240}},
    };
    int found = 0;
    for (const panel::KnobPlace& k : panel::kKnobs) {
        SCOPED_TRACE(k.parameter);
        const int size = panel::knobSize(k);
        const Rect knob{k.left, k.top, k.left + size, k.top + size};
        const int displayLeft = panel::displayLeft(k), displayTop = panel::displayTop(k);
        const Rect display{displayLeft, displayTop, k.left + size - panel::kDisplayInset,
                           displayTop + panel::kDisplayHeight};
        for (const Expected& e : expected) {
            if (e.parameter != k.parameter) continue;
            ++found;
            EXPECT_EQ(k.large, e.large);
            EXPECT_EQ(knob, e.knob);
            EXPECT_EQ(display, e.display);
        }
    }
    EXPECT_EQ(found, 13) << "every parameter has exactly one knob";
    // Reverb Mix (11) is built before Reverb Length (10), the large knobs last
    EXPECT_EQ(panel::kKnobs[9].parameter, 11);
    EXPECT_EQ(panel::kKnobs[10].parameter, 10);
    EXPECT_EQ(panel::kKnobs[11].parameter, 0);
    EXPECT_EQ(panel::kKnobs[12].parameter, 12);
    EXPECT_EQ(panel::kDigitCount, 3);
    EXPECT_EQ(panel::kDigitWidth, 10);
    EXPECT_EQ(panel::kDigitHeight, 11);
    EXPECT_EQ(panel::kKnobFrames, 66);
}

TEST(PanelLayout, ButtonsFieldAndTagsSitWhereTheDescriptionPlacesThem) {
    auto place = [](const panel::ButtonPlace& b) {
        const panel::PictureInfo& p = panel::picture(b.picture);
        return Rect{b.left, b.top, b.left + p.width, b.top + p.height / p.frames};
    };
    const std::pair<int, Rect> files[4] = {
        {145, {514, 16, 557, 41}}, {146, {566, 16, 609, 41}}, {151, {618, 16, 661, 41}}, {152, {670, 16, 713, 41}}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(panel::kFileButtons[i].tag, 28 + i);
        EXPECT_EQ(panel::kFileButtons[i].picture, files[i].first);
        EXPECT_EQ(place(panel::kFileButtons[i]), files[i].second);
    }
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const panel::PictureInfo& p = panel::picture(vl::kBitmapProgram1 + i);
        EXPECT_EQ(p.id, 157 + i);
        const Rect r{panel::programLeft(i), panel::kProgramTop, panel::programLeft(i) + p.width,
                     panel::kProgramTop + p.height / p.frames};
        EXPECT_EQ(r, (Rect{105 + 27 * i, 19, 124 + 27 * i, 37}));
    }
    EXPECT_EQ((Rect{panel::kNameLeft, panel::kNameTop, panel::kNameRight, panel::kNameBottom}),
              (Rect{334, 20, 494, 36}));
    EXPECT_EQ((std::array<int, 3>{panel::kNameText.red, panel::kNameText.green, panel::kNameText.blue}),
              (std::array<int, 3>{126, 132, 91}));
    EXPECT_EQ((std::array<int, 3>{panel::kNameBack.red, panel::kNameBack.green, panel::kNameBack.blue}),
              (std::array<int, 3>{186, 195, 137}));
    // the standalone program's settings button and record switch
    EXPECT_EQ(panel::kStandaloneButtons[0].tag, 41);
    EXPECT_EQ(panel::kStandaloneButtons[0].picture, 149);
    EXPECT_EQ(place(panel::kStandaloneButtons[0]), (Rect{618, 268, 661, 293}));
    EXPECT_EQ(panel::kStandaloneButtons[1].tag, 42);
    EXPECT_EQ(panel::kStandaloneButtons[1].picture, 150);
    EXPECT_EQ(place(panel::kStandaloneButtons[1]), (Rect{668, 268, 711, 293}));
    EXPECT_EQ(panel::kNameTag, 27);
    EXPECT_EQ(panel::kDisplayTagOffset, 13);
    EXPECT_EQ(panel::kControlCount, 44);
}

TEST(PanelLayout, SlotsHoldTheDescriptionsPictures) {
    const int ids[16] = {134, 166, 165, 145, 146, 151, 152, 157, 158, 159, 160, 161, 162, 163, 164, 168};
    for (int slot = 0; slot < 16; ++slot) EXPECT_EQ(panel::kSlotPictures[slot], ids[slot]) << slot;
    EXPECT_EQ(panel::kSlotPictures[panel::kBackgroundSlot], 134);
    EXPECT_EQ(panel::kSlotPictures[panel::kSmallKnobSlot], 166);
    EXPECT_EQ(panel::kSlotPictures[panel::kLargeKnobSlot], 165);
    EXPECT_EQ(panel::kSlotPictures[panel::kFirstFileSlot], 145);
    EXPECT_EQ(panel::kSlotPictures[panel::kFirstProgramSlot], 157);
    EXPECT_EQ(panel::kSlotPictures[panel::kDigitSlot], 168);
    EXPECT_EQ(panel::kWidth, 727);
    EXPECT_EQ(panel::kHeight, 301);
}

// The bitmaps the library holds have the sizes the table gives them.
TEST(PanelLayout, BitmapsHaveTheTablesSizes) {
    for (const panel::PictureInfo& p : panel::kPictures) {
        SCOPED_TRACE(p.file);
        std::int32_t width = 0, height = 0;
        std::vector<std::uint8_t> rgb;
        ASSERT_TRUE(vl::decodeBitmapResource(p.id, &width, &height, &rgb));
        EXPECT_EQ(width, p.width);
        EXPECT_EQ(height, p.height);
        EXPECT_EQ(p.height % p.frames, 0);
    }
}

std::string sourcePath(std::string path) {
#if defined(_WIN32)
    // a path of the build machine, reached through wine's drive Z:
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
    return path;
}

// The resource script names exactly the table's pictures, by the same ids and files, in
// the table's order (on Linux the build embeds the files it names).
TEST(PanelLayout, ResourceScriptNamesTheTablesPictures) {
    std::ifstream rc(sourcePath(VL_RESOURCE_SCRIPT));
    ASSERT_TRUE(rc.is_open()) << VL_RESOURCE_SCRIPT;
    // lines "<id> BITMAP "<file>""
    std::vector<std::pair<int, std::string>> named;
    std::string line;
    while (std::getline(rc, line)) {
        std::istringstream words(line);
        int id = 0;
        std::string kind, file;
        if (!(words >> id >> kind >> file) || kind != "BITMAP") continue;
        if (file.size() < 2 || file.front() != '"' || file.back() != '"') continue;
        named.emplace_back(id, file.substr(1, file.size() - 2));
    }
    std::vector<std::pair<int, std::string>> table;
    for (const panel::PictureInfo& p : panel::kPictures) table.emplace_back(p.id, p.file);
    EXPECT_EQ(named, table);
}

} // namespace
