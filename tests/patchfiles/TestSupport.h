#pragma once
// Shared pieces of the patch and bank file tests: a scratch folder, captured notices, a
// scripted host and an instrument whose stored programs can be inspected.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "instrument/Instrument.h"
#include "instrument/PatchFiles.h"

namespace vltest {

using Bytes = std::vector<unsigned char>;

// Notices shown since the last clearNotices(); each entry is "caption: text".
std::vector<std::string>& notices();
void clearNotices();
std::string errorNotice(const char* text); // "Velmor Loom Error: <text>"

// What the scripted host answers and what it saw.
struct HostScript {
    bool canOpenFileSelector = false;
    bool chooses = true; // openFileSelector answers 1 with chosenPath
    bool releasesReturnPath = false; // closeFileSelector frees the return path and clears it
    std::string chosenPath;
    int openCalls = 0;
    int closeCalls = 0;
    const VstFileSelect* openedWith = nullptr;
    const VstFileSelect* closedWith = nullptr;
    std::string openedTitle;
    VstInt32 openedCommand = -1;
};
HostScript& host();
VstIntPtr VSTCALLBACK scriptedHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float);

// The instrument with its stored programs readable.
class ProbeInstrument : public vl::Instrument {
public:
    ProbeInstrument() : Instrument(scriptedHost) {}
    const vl::Program& slot(int index) const { return programBank[index]; }
    const vl::Program& edit() const { return editProgram; }
};

// Everything a file load may change.
struct State {
    vl::Program bank[vl::kNumPrograms];
    vl::Program edit;
    VstInt32 current;
};
State stateOf(const ProbeInstrument& instrument);
bool sameProgram(const vl::Program& a, const vl::Program& b); // visible name and values
::testing::AssertionResult sameState(const State& a, const State& b);

Bytes readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const Bytes& bytes);
std::uint32_t bigEndianAt(const Bytes& bytes, std::size_t offset);
std::uint32_t littleEndianAt(const Bytes& bytes, std::size_t offset);
float littleEndianFloatAt(const Bytes& bytes, std::size_t offset);
std::string textAt(const Bytes& bytes, std::size_t offset, std::size_t length);

// Fixture: a fresh scratch folder per test, notices captured, the host script reset.
class FileTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string pathOf(const char* name) const { return (folder / name).string(); }
    // Names in the scratch folder, sorted.
    std::vector<std::string> folderListing() const;
    std::filesystem::path folder;
};

} // namespace vltest
