// Files of every size from 0 to 1000 bytes with random content, some with a valid chunk
// id planted where the chunk starts: each load shows exactly the message its size, id and
// version call for, and changes nothing else (a bank read from a file still selects
// program 0).
#include "TestSupport.h"

#include <cstring>
#include <random>

namespace vltest {
namespace {

const std::string kInvalid = errorNotice("Invalid patch/bank format");
const std::string kNewer = errorNotice("This file was created with a more recent version of the program");
const std::string kReading = errorNotice("Error reading file");

struct Expectation {
    bool loads;
    std::string message; // empty when it loads
};

class RandomFiles : public FileTest {
protected:
    std::mt19937 random{20240611u};

    unsigned char byte() { return static_cast<unsigned char>(random() & 0xFF); }

    Bytes randomBytes(std::size_t size) {
        Bytes bytes(size);
        for (auto& b : bytes) b = byte();
        return bytes;
    }

    // Writes a well-formed program (printable name, values inside 0..1) at offset.
    void plantProgram(Bytes& bytes, std::size_t offset) {
        const std::size_t length = random() % 28; // 0..27 characters
        for (std::size_t i = 0; i < 28; ++i)
            bytes[offset + i] = i < length ? static_cast<unsigned char>('a' + random() % 26) : 0;
        for (int p = 0; p < vl::kNumParameters; ++p) {
            const float value = float(random() % 1000001) / 1000000.0f;
            std::memcpy(&bytes[offset + 28 + 4 * std::size_t(p)], &value, 4);
        }
    }

    // Plants the id, a version and (sometimes) well-formed programs where the chunk starts.
    void plantChunk(Bytes& bytes, std::size_t chunkOffset, std::size_t fileSize, int programs) {
        if (bytes.size() < chunkOffset + 8) return;
        std::memcpy(&bytes[chunkOffset], "RMLV", 4);
        static const std::uint32_t versions[] = {0, 1, 2, 0xFFFFFFFFu, 1};
        const std::uint32_t version = versions[random() % 5];
        for (int i = 0; i < 4; ++i)
            bytes[chunkOffset + 4 + std::size_t(i)] = static_cast<unsigned char>(version >> (8 * i));
        if (bytes.size() == fileSize)
            for (int k = 0; k < programs; ++k) plantProgram(bytes, chunkOffset + 8 + 80 * std::size_t(k));
    }

    static Expectation expect(const Bytes& bytes, std::size_t chunkOffset, std::size_t fileSize) {
        if (bytes.empty()) return {false, kReading};
        if (bytes.size() != fileSize || std::memcmp(&bytes[chunkOffset], "RMLV", 4) != 0) return {false, kInvalid};
        const std::uint32_t version = littleEndianAt(bytes, chunkOffset + 4);
        if (version > 1) return {false, kNewer};
        return {true, ""};
    }

    static vl::Program programAt(const Bytes& bytes, std::size_t offset) {
        vl::Program program;
        std::memcpy(&program, &bytes[offset], sizeof program);
        return program;
    }

    // Program 5 current with an unsaved edit, the starting point of every load.
    static void prepare(ProbeInstrument& instrument) {
        instrument.setProgram(5);
        instrument.setParameter(3, 0.0625f);
    }
};

TEST_F(RandomFiles, PatchLoadsOfEverySize) {
    ProbeInstrument instrument;
    const std::string path = pathOf("random.fxp");
    int loaded = 0;
    for (std::size_t size = 0; size <= 1000; ++size) {
        for (int planted = 0; planted < 2; ++planted) {
            Bytes bytes = randomBytes(size);
            if (planted) plantChunk(bytes, 60, 148, 1);
            writeBytes(path, bytes);
            prepare(instrument);
            const State before = stateOf(instrument);
            clearNotices();
            const Expectation expected = expect(bytes, 60, 148);
            const bool result = vl::loadPatchFile(instrument, path.c_str());
            ASSERT_EQ(result, expected.loads) << "size " << size;
            if (!expected.loads) {
                ASSERT_EQ(notices(), std::vector<std::string>{expected.message}) << "size " << size;
                ASSERT_TRUE(sameState(stateOf(instrument), before)) << "size " << size;
                continue;
            }
            ++loaded;
            ASSERT_TRUE(notices().empty()) << "size " << size;
            const vl::Program program = programAt(bytes, 68);
            ASSERT_TRUE(sameProgram(instrument.slot(5), program));
            ASSERT_TRUE(sameProgram(instrument.edit(), program));
            ASSERT_EQ(instrument.getProgram(), 5);
            for (int slot = 0; slot < vl::kNumPrograms; ++slot)
                if (slot != 5) {
                    ASSERT_TRUE(sameProgram(instrument.slot(slot), before.bank[slot]));
                }
        }
    }
    EXPECT_GT(loaded, 0); // the planted 148-byte file with version 0 or 1 loads
}

TEST_F(RandomFiles, BankLoadsOfEverySize) {
    // Larger sizes reach past the bank size too.
    ProbeInstrument instrument;
    const std::string path = pathOf("random.fxb");
    int loaded = 0;
    for (std::size_t size = 0; size <= 1000; ++size) {
        const int variants = size == 812 ? 12 : 2; // several versions at the one valid size
        for (int variant = 0; variant < variants; ++variant) {
            Bytes bytes = randomBytes(size);
            if (variant > 0) plantChunk(bytes, 160, 812, 8);
            writeBytes(path, bytes);
            prepare(instrument);
            const State before = stateOf(instrument);
            clearNotices();
            const Expectation expected = expect(bytes, 160, 812);
            const bool result = vl::loadBankFile(instrument, path.c_str());
            ASSERT_EQ(result, expected.loads) << "size " << size;
            if (size == 0) {
                ASSERT_EQ(notices(), std::vector<std::string>{expected.message});
                ASSERT_TRUE(sameState(stateOf(instrument), before));
                continue;
            }
            // Whatever the chunk held, program 0 is selected from the resulting bank.
            ASSERT_EQ(instrument.getProgram(), 0) << "size " << size;
            ASSERT_TRUE(sameProgram(instrument.edit(), instrument.slot(0))) << "size " << size;
            if (!expected.loads) {
                ASSERT_EQ(notices(), std::vector<std::string>{expected.message}) << "size " << size;
                for (int slot = 0; slot < vl::kNumPrograms; ++slot)
                    ASSERT_TRUE(sameProgram(instrument.slot(slot), before.bank[slot])) << "size " << size;
                continue;
            }
            ++loaded;
            ASSERT_TRUE(notices().empty());
            for (int slot = 0; slot < vl::kNumPrograms; ++slot)
                ASSERT_TRUE(sameProgram(instrument.slot(slot), programAt(bytes, 168 + 80 * std::size_t(slot))))
                    << "slot " << slot;
        }
    }
    EXPECT_GT(loaded, 0);
}

} // namespace
} // namespace vltest
