// Program and bank chunks: exact bytes, storing of the edit buffer, every refusal.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "TestSupport.h"

using namespace vl;
using namespace vltest;

namespace {

std::vector<unsigned char> bytesOf(const void* data, int size) {
    const auto* p = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(p, p + size);
}

// Little-endian bytes of a float as the chunk stores them.
void appendFloat(std::vector<unsigned char>& out, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(bits >> (8 * i)));
}

void appendName(std::vector<unsigned char>& out, const char* name) {
    std::size_t length = std::strlen(name);
    for (std::size_t i = 0; i < 28; ++i) out.push_back(i < length ? static_cast<unsigned char>(name[i]) : 0);
}

const unsigned char kHeader[8] = {'R', 'M', 'L', 'V', 1, 0, 0, 0};

class Chunks : public ::testing::Test {
protected:
    CaptureScope capture;
    std::unique_ptr<Instrument> instrument = std::make_unique<Instrument>(recordingHost);

    std::vector<unsigned char> chunk(bool isPreset) {
        void* data = nullptr;
        const VstInt32 size = instrument->getChunk(&data, isPreset);
        EXPECT_NE(data, nullptr);
        return bytesOf(data, size);
    }
};

} // namespace

TEST_F(Chunks, BankChunkOfAFreshInstanceByteForByte) {
    const auto bank = chunk(false);
    ASSERT_EQ(bank.size(), 652u);
    std::vector<unsigned char> expected(kHeader, kHeader + 8);
    appendName(expected, "String Ensemble");
    for (float v : {1.0f, 0.1f, 0.3f, 0.4f, 0.3f, 0.4f, 0.4f, 0.25f, 0.6f, 0.95f, 0.35f, 0.35f, 0.5f})
        appendFloat(expected, v);
    ASSERT_EQ(std::vector<unsigned char>(bank.begin(), bank.begin() + 88), expected);
    // 1.0f little-endian, as a fixed anchor for the byte order.
    EXPECT_EQ(bank[36], 0x00);
    EXPECT_EQ(bank[37], 0x00);
    EXPECT_EQ(bank[38], 0x80);
    EXPECT_EQ(bank[39], 0x3F);
    // Slot 7 at 8 + 7 * 80; current at 648.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bank[568])), "Warm Strings");
    std::vector<unsigned char> current(bank.end() - 4, bank.end());
    EXPECT_EQ(current, (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST_F(Chunks, ProgramChunkCarriesTheEditBuffer) {
    instrument->setProgram(2);
    instrument->setParameter(kLevel, 0.5f);
    const auto preset = chunk(true);
    ASSERT_EQ(preset.size(), 88u);
    std::vector<unsigned char> expected(kHeader, kHeader + 8);
    appendName(expected, "Faraway pad");
    for (float v : {0.5f, 0.425f, 0.52f, 0.535f, 0.365f, 0.37f, 1.0f, 0.56f, 1.0f, 0.695f, 1.0f, 0.815f, 0.5f})
        appendFloat(expected, v);
    EXPECT_EQ(preset, expected);
}

TEST_F(Chunks, GetChunkStoresTheEditIntoTheCurrentSlot) {
    instrument->setProgram(3);
    instrument->setParameter(kReverbMix, 0.9f);
    instrument->setProgramName("Edited Flute");
    const auto bank = chunk(false);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bank[8 + 3 * 80])), "Edited Flute");
    EXPECT_EQ(bank[648], 3);
    char text[32];
    ASSERT_TRUE(instrument->getProgramNameIndexed(0, 3, text));
    EXPECT_STREQ(text, "Edited Flute");
    instrument->setProgram(0);
    instrument->setProgram(3);
    EXPECT_EQ(instrument->getParameter(kReverbMix), 0.9f);
}

TEST_F(Chunks, BankRoundTripIntoAFreshInstanceGivesIdenticalBytes) {
    instrument->setProgram(5);
    instrument->setParameter(kPhaserRate, 0.33f);
    instrument->setProgramName("Round Trip");
    ASSERT_TRUE(instrument->copyProgram(1));
    const auto bank = chunk(false);
    const auto preset = chunk(true);

    Instrument other(recordingHost);
    std::vector<unsigned char> copy = bank;
    EXPECT_EQ(other.setChunk(copy.data(), static_cast<VstInt32>(copy.size()), false), 1);
    EXPECT_EQ(other.getProgram(), 5);
    EXPECT_EQ(other.getParameter(kPhaserRate), 0.33f);
    void* data = nullptr;
    ASSERT_EQ(other.getChunk(&data, false), 652);
    EXPECT_EQ(bytesOf(data, 652), bank);
    ASSERT_EQ(other.getChunk(&data, true), 88);
    EXPECT_EQ(bytesOf(data, 88), preset);
    EXPECT_TRUE(notices().empty());
}

TEST_F(Chunks, ProgramChunkLoadsIntoTheCurrentSlot) {
    instrument->setProgram(1);
    instrument->setParameter(kAttackTime, 0.75f);
    instrument->setProgramName("Slow Lead");
    std::vector<unsigned char> preset = chunk(true);

    Instrument other(recordingHost);
    other.setProgram(6);
    EXPECT_EQ(other.setChunk(preset.data(), 88, true), 1);
    EXPECT_EQ(other.getProgram(), 6);
    EXPECT_EQ(other.getParameter(kAttackTime), 0.75f);
    char text[32];
    other.getProgramName(text);
    EXPECT_STREQ(text, "Slow Lead");
    ASSERT_TRUE(other.getProgramNameIndexed(0, 6, text));
    EXPECT_STREQ(text, "Slow Lead");
    ASSERT_TRUE(other.getProgramNameIndexed(0, 1, text));
    EXPECT_STREQ(text, "Velmor Lead");
}

TEST_F(Chunks, RefusalsShowTheirMessageAndChangeNothing) {
    instrument->setProgram(4);
    instrument->setParameter(kLevel, 0.6f);
    const auto before = chunk(false); // stores the edit; the refusals below must keep it
    auto attempt = [&](std::vector<unsigned char> bytes, VstInt32 size, bool isPreset) {
        notices().clear();
        const VstInt32 answer = instrument->setChunk(bytes.data(), size, isPreset);
        EXPECT_EQ(chunk(false), before);
        return answer;
    };
    const std::string invalid = errorNotice("Invalid patch/bank format");
    const std::string newer = errorNotice("This file was created with a more recent version of the program");

    std::vector<unsigned char> bank = before;
    std::vector<unsigned char> preset(before.begin(), before.begin() + 88);

    // Preset path given a bank-sized buffer, and every wrong size.
    EXPECT_EQ(attempt(bank, 652, true), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});
    EXPECT_EQ(attempt(preset, 88, false), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});
    EXPECT_EQ(attempt(preset, 87, true), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});
    EXPECT_EQ(attempt(bank, 653, false), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});
    EXPECT_EQ(attempt(bank, 0, false), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});
    EXPECT_EQ(attempt(bank, -652, false), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});

    // Wrong id: the characters in the wrong order.
    std::vector<unsigned char> wrongId = bank;
    wrongId[0] = 'V';
    wrongId[3] = 'R';
    EXPECT_EQ(attempt(wrongId, 652, false), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});
    std::vector<unsigned char> wrongPresetId = preset;
    wrongPresetId[2] = 'X';
    EXPECT_EQ(attempt(wrongPresetId, 88, true), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});

    // Newer versions, read as unsigned: 2 and 0x80000000.
    std::vector<unsigned char> v2 = bank;
    v2[4] = 2;
    EXPECT_EQ(attempt(v2, 652, false), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{newer});
    std::vector<unsigned char> vHigh = preset;
    vHigh[7] = 0x80;
    EXPECT_EQ(attempt(vHigh, 88, true), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{newer});

    // A null buffer is refused like a wrong size.
    notices().clear();
    EXPECT_EQ(instrument->setChunk(nullptr, 652, false), 0);
    EXPECT_EQ(notices(), std::vector<std::string>{invalid});
}

TEST_F(Chunks, VersionZeroIsAccepted) {
    auto bank = chunk(false);
    bank[4] = 0;
    bank[8 + 2 * 80] = 'Z'; // rename slot 2
    EXPECT_EQ(instrument->setChunk(bank.data(), 652, false), 1);
    EXPECT_TRUE(notices().empty());
    char text[32];
    ASSERT_TRUE(instrument->getProgramNameIndexed(0, 2, text));
    EXPECT_STREQ(text, "Zaraway pad");
}

TEST_F(Chunks, BankWithCurrentOutsideTheBankKeepsTheSelection) {
    instrument->setProgram(2);
    instrument->setParameter(kLevel, 0.2f); // unsaved edit, still live afterwards
    Instrument source(recordingHost);
    void* data = nullptr;
    ASSERT_EQ(source.getChunk(&data, false), 652);
    std::vector<unsigned char> bank = bytesOf(data, 652);
    bank[8 + 2 * 80] = 'Q';
    for (std::int32_t current : {8, -1, 1000}) {
        std::memcpy(&bank[648], &current, 4);
        EXPECT_EQ(instrument->setChunk(bank.data(), 652, false), 1);
        EXPECT_EQ(instrument->getProgram(), 2);
        EXPECT_EQ(instrument->getParameter(kLevel), 0.2f);
        char text[32];
        instrument->getProgramName(text);
        EXPECT_STREQ(text, "Faraway pad");
        ASSERT_TRUE(instrument->getProgramNameIndexed(0, 2, text));
        EXPECT_STREQ(text, "Qaraway pad");
    }
}

TEST_F(Chunks, ChunkNamesWithoutTerminatorAndStrayValuesAreMadeSafe) {
    auto preset = chunk(true);
    for (int i = 0; i < 28; ++i) preset[8 + i] = static_cast<unsigned char>('a' + i % 26);
    const float stray[] = {std::numeric_limits<float>::quiet_NaN(), 7.0f, -3.0f};
    for (int i = 0; i < 3; ++i) std::memcpy(&preset[36 + 4 * i], &stray[i], 4);
    EXPECT_EQ(instrument->setChunk(preset.data(), 88, true), 1);
    char text[64];
    std::memset(text, 'x', sizeof text);
    instrument->getProgramName(text);
    EXPECT_STREQ(text, "abcdefghijklmnopqrstuvw");
    EXPECT_EQ(instrument->getParameter(0), 0.0f);
    EXPECT_EQ(instrument->getParameter(1), 1.0f);
    EXPECT_EQ(instrument->getParameter(2), 0.0f);
    const auto stored = chunk(true);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&stored[8])), "abcdefghijklmnopqrstuvwxyza");
}

TEST_F(Chunks, GetChunkWithoutAPlaceForTheAddressAnswersZero) {
    EXPECT_EQ(instrument->getChunk(nullptr, false), 0);
    EXPECT_EQ(instrument->getChunk(nullptr, true), 0);
}
