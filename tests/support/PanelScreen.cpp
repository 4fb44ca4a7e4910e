#include "tests/support/PanelScreen.h"

#include <gtest/gtest.h>

#include "resources/BitmapResources.h"

namespace vltest {

Pixels toPixels(const vl::BmpImage& image) { return Pixels{image.width, image.height, image.pixels}; }

Pixels resourcePicture(int id) {
    Pixels p;
    std::vector<std::uint8_t> bytes;
    if (!vl::decodeBitmapResource(id, &p.width, &p.height, &bytes)) return Pixels{};
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3)
        p.rgb.push_back(std::uint32_t(bytes[i]) << 16 | std::uint32_t(bytes[i + 1]) << 8 | bytes[i + 2]);
    return p;
}

void expectOneDrag(const std::vector<HostCall>& calls, AEffect* effect, int parameter) {
    int automated = 0, begins = 0, ends = 0, firstBegin = -1, lastAutomate = -1, lastEnd = -1;
    for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
        const HostCall& c = calls[static_cast<std::size_t>(i)];
        if (c.effect != effect || c.index != parameter) continue;
        if (c.opcode == audioMasterAutomate) {
            ++automated;
            lastAutomate = i;
        }
        if (c.opcode == audioMasterBeginEdit && begins++ == 0) firstBegin = i;
        if (c.opcode == audioMasterEndEdit) {
            ++ends;
            lastEnd = i;
        }
    }
    EXPECT_GT(automated, 1);
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_LT(firstBegin, lastAutomate);
    EXPECT_LT(lastAutomate, lastEnd);
}

void expectPanelRect(AEffect* effect) {
    ERect* rect = nullptr;
    ASSERT_EQ(effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, kPanelHeight);
    EXPECT_EQ(rect->right, kPanelWidth);
}

PanelReader::PanelReader(const std::function<Pixels(int id)>& picture) : digits(picture(168)), largeKnob(picture(165)) {
    for (int i = 0; i < 8; ++i) programs[i] = picture(157 + i);
}

int PanelReader::readDisplay(const Pixels& screen, int parameter) const {
    const PanelPoint place = kDisplayPlace[parameter];
    int number = 0;
    for (int d = 0; d < 3; ++d) {
        int found = -1;
        for (int glyph = 0; glyph < 10 && found < 0; ++glyph) {
            bool same = true;
            for (int y = 0; y < 11 && same; ++y)
                for (int x = 0; x < 10 && same; ++x)
                    same = screen.at(place.x + 10 * d + x, place.y + y) == digits.at(x, glyph * 11 + y);
            if (same) found = glyph;
        }
        if (found < 0) return -1;
        number = number * 10 + found;
    }
    return number;
}

std::vector<int> PanelReader::readDisplays(const Pixels& screen) const {
    std::vector<int> shown;
    for (int p = 0; p < 13; ++p) shown.push_back(readDisplay(screen, p));
    return shown;
}

std::vector<int> PanelReader::litPrograms(const Pixels& screen) const {
    std::vector<int> lit;
    for (int i = 0; i < 8; ++i) {
        const Pixels& button = programs[i];
        bool on = button.height == 36;
        for (int y = 0; y < 18 && on; ++y)
            for (int x = 0; x < 19 && on; ++x) on = screen.at(105 + 27 * i + x, 19 + y) == button.at(x, 18 + y);
        if (on) lit.push_back(i);
    }
    return lit;
}

void PanelReader::expectFreshPanel(const Pixels& screen) const {
    ASSERT_EQ(screen.width, kPanelWidth);
    ASSERT_EQ(screen.height, kPanelHeight);
    EXPECT_EQ(readDisplays(screen), std::vector<int>(std::begin(kFreshDisplays), std::end(kFreshDisplays)));
    EXPECT_EQ(litPrograms(screen), std::vector<int>{0});
    // the name is drawn: the field holds pixels other than its background colour
    int textPixels = 0;
    for (int y = 20; y < 36; ++y)
        for (int x = 334; x < 494; ++x) textPixels += screen.at(x, y) != 0xBAC389u;
    EXPECT_GT(textPixels, 60);
    // Level at its maximum shows the last frame of the large knob
    ASSERT_EQ(largeKnob.height, 66 * 48);
    int differing = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) differing += screen.at(104 + x, 78 + y) != largeKnob.at(x, 65 * 48 + y);
    EXPECT_EQ(differing, 0);
}

} // namespace vltest
