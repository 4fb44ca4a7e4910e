// Patch and bank files: byte layouts, round trips through fresh instances, refused and
// broken files, saves that fail, and the choice of a file through the host.
#include "TestSupport.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vltest {
namespace {

namespace fs = std::filesystem;
using vl::kNumParameters;
using vl::kNumPrograms;

const char* const kFactoryNames[kNumPrograms] = {"String Ensemble", "Velmor Lead", "Faraway pad",  "Velmor Flute",
                                                 "Pad Lead",        "Soft Pad",    "Solo Strings", "Warm Strings"};
const float kStringEnsemble[kNumParameters] = {1.0f,  0.1f, 0.3f,  0.4f,  0.3f,  0.4f, 0.4f,
                                               0.25f, 0.6f, 0.95f, 0.35f, 0.35f, 0.5f};
const float kWarmStrings[kNumParameters] = {1.0f, 0.205f, 0.61f,  0.19f,  0.335f, 0.65f, 0.44f,
                                            0.0f, 0.6f,   0.365f, 0.505f, 0.485f, 0.5f};

const char* const kInvalid = "Invalid patch/bank format";
const char* const kNewer = "This file was created with a more recent version of the program";
const char* const kOpening = "Error opening file";
const char* const kReading = "Error reading file";
const char* const kWriting = "Error writing file";

std::vector<std::string> one(const char* text) { return {errorNotice(text)}; }

// Gives every slot its own name and values, then selects `current`.
void fillDistinctBank(ProbeInstrument& instrument, int current) {
    for (int slot = 0; slot < kNumPrograms; ++slot) {
        instrument.setProgram(slot);
        for (int p = 0; p < kNumParameters; ++p)
            instrument.setParameter(p, float(slot * kNumParameters + p + 1) / 128.0f + 1e-7f * float(p));
        const std::string name = "Slot " + std::to_string(slot) + " of a test bank";
        instrument.setProgramName(name.c_str());
        instrument.storeProgram(slot);
    }
    instrument.setProgram(current);
}

// ---- Byte layouts ----

using PatchLayout = FileTest;

TEST_F(PatchLayout, FreshPatchHasTheDocumentedBytes) {
    ProbeInstrument instrument;
    const std::string path = pathOf("fresh.fxp");
    ASSERT_TRUE(vl::savePatchFile(instrument, path.c_str()));
    EXPECT_TRUE(notices().empty());
    const Bytes file = readBytes(path);
    ASSERT_EQ(file.size(), 148u);
    EXPECT_EQ(textAt(file, 0, 4), "CcnK");
    EXPECT_EQ(bigEndianAt(file, 4), 0u);
    EXPECT_EQ(textAt(file, 8, 4), "FPCh");
    EXPECT_EQ(bigEndianAt(file, 12), 1u);
    EXPECT_EQ(textAt(file, 16, 4), "VLMR");
    EXPECT_EQ(bigEndianAt(file, 20), 1u);
    EXPECT_EQ(bigEndianAt(file, 24), 13u);
    EXPECT_EQ(textAt(file, 28, 15), "String Ensemble");
    EXPECT_EQ(file[43], 0);
    EXPECT_EQ(bigEndianAt(file, 52), 0u);
    EXPECT_EQ((Bytes{file[56], file[57], file[58], file[59]}), (Bytes{0, 0, 0, 88}));
    EXPECT_EQ(textAt(file, 60, 4), "RMLV");
    EXPECT_EQ(littleEndianAt(file, 64), 1u);
    EXPECT_EQ(textAt(file, 68, 16), std::string("String Ensemble", 16));
    for (int p = 0; p < kNumParameters; ++p)
        EXPECT_EQ(littleEndianFloatAt(file, 96 + 4 * p), kStringEnsemble[p]) << "parameter " << p;
}

TEST_F(PatchLayout, FreshBankHasTheDocumentedBytes) {
    ProbeInstrument instrument;
    instrument.setProgram(5);
    const std::string path = pathOf("fresh.fxb");
    ASSERT_TRUE(vl::saveBankFile(instrument, path.c_str()));
    EXPECT_TRUE(notices().empty());
    const Bytes file = readBytes(path);
    ASSERT_EQ(file.size(), 812u);
    EXPECT_EQ(textAt(file, 0, 4), "CcnK");
    EXPECT_EQ(bigEndianAt(file, 4), 0u);
    EXPECT_EQ(textAt(file, 8, 4), "FBCh");
    EXPECT_EQ(bigEndianAt(file, 12), 1u);
    EXPECT_EQ(textAt(file, 16, 4), "VLMR");
    EXPECT_EQ(bigEndianAt(file, 20), 1u);
    EXPECT_EQ((Bytes{file[24], file[25], file[26], file[27]}), (Bytes{0, 0, 0, 8}));
    EXPECT_EQ(Bytes(file.begin() + 28, file.begin() + 156), Bytes(128, 0));
    EXPECT_EQ((Bytes{file[156], file[157], file[158], file[159]}), (Bytes{0, 0, 2, 140}));
    EXPECT_EQ(textAt(file, 160, 4), "RMLV");
    EXPECT_EQ(littleEndianAt(file, 164), 1u);
    for (int slot = 0; slot < kNumPrograms; ++slot) {
        const std::size_t at = 168 + 80 * std::size_t(slot);
        EXPECT_STREQ(reinterpret_cast<const char*>(&file[at]), kFactoryNames[slot]);
    }
    for (int p = 0; p < kNumParameters; ++p)
        EXPECT_EQ(littleEndianFloatAt(file, 168 + 80 * 7 + 28 + 4 * p), kWarmStrings[p]) << "parameter " << p;
    EXPECT_EQ((Bytes(file.end() - 4, file.end())), (Bytes{5, 0, 0, 0}));
}

TEST_F(PatchLayout, LongNamesAreCutInTheHeaderButWholeInTheChunk) {
    ProbeInstrument instrument;
    instrument.setProgramName("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"); // 30 characters, 27 are kept
    const std::string path = pathOf("long.fxp");
    ASSERT_TRUE(vl::savePatchFile(instrument, path.c_str()));
    const Bytes file = readBytes(path);
    ASSERT_EQ(file.size(), 148u);
    EXPECT_EQ(textAt(file, 28, 24), "ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_EQ(bigEndianAt(file, 52), 0u);
    EXPECT_EQ(textAt(file, 68, 28), std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ0\0", 28));
    // The save stored the edit buffer, name included, into the current slot.
    EXPECT_STREQ(instrument.slot(0).name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0");
}

TEST_F(PatchLayout, SavingStoresTheEditBufferFirst) {
    ProbeInstrument instrument;
    instrument.setProgram(3);
    instrument.setParameter(0, 0.25f);
    const std::string path = pathOf("edited.fxp");
    ASSERT_TRUE(vl::savePatchFile(instrument, path.c_str()));
    const Bytes file = readBytes(path);
    EXPECT_EQ(textAt(file, 28, 13), std::string("Velmor Flute\0", 13));
    EXPECT_EQ(littleEndianFloatAt(file, 96), 0.25f);
    EXPECT_EQ(instrument.slot(3).values[0], 0.25f);
}

// ---- Round trips ----

using RoundTrip = FileTest;

TEST_F(RoundTrip, PatchRestoresNameAndValuesInAFreshInstance) {
    const std::string path = pathOf("trip.fxp");
    vl::Program saved{};
    {
        ProbeInstrument source;
        source.setProgram(2);
        const float odd[kNumParameters] = {0.0f, 1.0f, 1e-7f, 0.333333343f, 0.5f,   0.999999940f, 0.1f,
                                           0.2f, 0.3f, 0.7f,  0.123456791f, 0.875f, 0.75f};
        for (int p = 0; p < kNumParameters; ++p) source.setParameter(p, odd[p]);
        source.setProgramName("Round trip patch");
        ASSERT_TRUE(vl::savePatchFile(source, path.c_str()));
        saved = source.slot(2);
    }
    ProbeInstrument target;
    target.setProgram(6);
    const State before = stateOf(target);
    ASSERT_TRUE(vl::loadPatchFile(target, path.c_str()));
    EXPECT_TRUE(notices().empty());
    EXPECT_EQ(target.getProgram(), 6);
    EXPECT_STREQ(target.slot(6).name, "Round trip patch");
    EXPECT_TRUE(sameProgram(target.slot(6), saved));
    EXPECT_TRUE(sameProgram(target.edit(), saved));
    for (int p = 0; p < kNumParameters; ++p) EXPECT_EQ(target.getParameter(p), saved.values[p]) << p;
    for (int slot = 0; slot < kNumPrograms; ++slot)
        if (slot != 6) {
            EXPECT_TRUE(sameProgram(target.slot(slot), before.bank[slot])) << slot;
        }
}

TEST_F(RoundTrip, BankRestoresEveryProgramAndSelectsProgramZero) {
    const std::string path = pathOf("trip.fxb");
    State saved{};
    {
        ProbeInstrument source;
        fillDistinctBank(source, 4);
        ASSERT_TRUE(vl::saveBankFile(source, path.c_str()));
        saved = stateOf(source);
        const Bytes file = readBytes(path);
        ASSERT_EQ(file.size(), 812u);
        EXPECT_EQ((Bytes(file.end() - 4, file.end())), (Bytes{4, 0, 0, 0}));
    }
    ProbeInstrument target;
    target.setProgram(7);
    ASSERT_TRUE(vl::loadBankFile(target, path.c_str()));
    EXPECT_TRUE(notices().empty());
    for (int slot = 0; slot < kNumPrograms; ++slot)
        EXPECT_TRUE(sameProgram(target.slot(slot), saved.bank[slot])) << slot;
    // The stored current index (4) is overridden by the selection of program 0.
    EXPECT_EQ(target.getProgram(), 0);
    EXPECT_TRUE(sameProgram(target.edit(), saved.bank[0]));
}

TEST_F(RoundTrip, SavingOverAnExistingFileReplacesItAndLeavesNothingBehind) {
    const std::string bank = pathOf("over.fxb");
    const std::string patch = pathOf("over.fxp");
    ProbeInstrument instrument;
    ASSERT_TRUE(vl::saveBankFile(instrument, bank.c_str()));
    ASSERT_TRUE(vl::savePatchFile(instrument, patch.c_str()));
    instrument.setProgram(1);
    instrument.setProgramName("Second save");
    ASSERT_TRUE(vl::saveBankFile(instrument, bank.c_str()));
    ASSERT_TRUE(vl::savePatchFile(instrument, patch.c_str()));
    EXPECT_TRUE(notices().empty());
    const Bytes bankFile = readBytes(bank);
    ASSERT_EQ(bankFile.size(), 812u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&bankFile[168 + 80]), "Second save");
    EXPECT_EQ((Bytes(bankFile.end() - 4, bankFile.end())), (Bytes{1, 0, 0, 0}));
    const Bytes patchFile = readBytes(patch);
    ASSERT_EQ(patchFile.size(), 148u);
    EXPECT_EQ(textAt(patchFile, 28, 12), std::string("Second save\0", 12));
    EXPECT_EQ(folderListing(), (std::vector<std::string>{"over.fxb", "over.fxp"}));
}

TEST_F(RoundTrip, ReadOnlyFilesLoad) {
    const std::string patch = pathOf("locked.fxp");
    const std::string bank = pathOf("locked.fxb");
    {
        ProbeInstrument source;
        source.setProgramName("Locked");
        ASSERT_TRUE(vl::savePatchFile(source, patch.c_str()));
        ASSERT_TRUE(vl::saveBankFile(source, bank.c_str()));
    }
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(patch, readOnly);
    fs::permissions(bank, readOnly);
    ProbeInstrument target;
    target.setProgram(2);
    EXPECT_TRUE(vl::loadPatchFile(target, patch.c_str()));
    EXPECT_STREQ(target.slot(2).name, "Locked");
    EXPECT_TRUE(vl::loadBankFile(target, bank.c_str()));
    EXPECT_STREQ(target.slot(0).name, "Locked");
    EXPECT_TRUE(notices().empty());
    fs::permissions(patch, fs::perms::owner_write, fs::perm_options::add);
    fs::permissions(bank, fs::perms::owner_write, fs::perm_options::add);
}

// ---- Files that are refused ----

class BadFile : public FileTest {
protected:
    // A valid patch and bank of a distinct source instance.
    void SetUp() override {
        FileTest::SetUp();
        ProbeInstrument source;
        fillDistinctBank(source, 3);
        ASSERT_TRUE(vl::savePatchFile(source, pathOf("good.fxp").c_str()));
        ASSERT_TRUE(vl::saveBankFile(source, pathOf("good.fxb").c_str()));
        goodPatch = readBytes(pathOf("good.fxp"));
        goodBank = readBytes(pathOf("good.fxb"));
        ASSERT_EQ(goodPatch.size(), 148u);
        ASSERT_EQ(goodBank.size(), 812u);
        sourceBank = stateOf(source);
        clearNotices();
    }
    // An instrument with program 5 current and an unsaved edit.
    void prepare(ProbeInstrument& instrument) {
        instrument.setProgram(5);
        instrument.setParameter(3, 0.0625f);
    }
    Bytes goodPatch, goodBank;
    State sourceBank{};
};

TEST_F(BadFile, EmptyFileIsAReadErrorAndChangesNothing) {
    const std::string path = pathOf("empty.fxb");
    writeBytes(path, {});
    ProbeInstrument instrument;
    prepare(instrument);
    const State before = stateOf(instrument);
    EXPECT_FALSE(vl::loadPatchFile(instrument, path.c_str()));
    EXPECT_EQ(notices(), one(kReading));
    clearNotices();
    EXPECT_FALSE(vl::loadBankFile(instrument, path.c_str()));
    EXPECT_EQ(notices(), one(kReading));
    EXPECT_TRUE(sameState(stateOf(instrument), before)); // not even program 0 selected
}

TEST_F(BadFile, MissingFileAndFolderAreOpenErrorsAndChangeNothing) {
    ProbeInstrument instrument;
    prepare(instrument);
    const State before = stateOf(instrument);
    const std::string missing = pathOf("missing.fxb");
    const std::string folderPath = folder.string();
    for (const std::string& path : {missing, folderPath}) {
        clearNotices();
        EXPECT_FALSE(vl::loadPatchFile(instrument, path.c_str())) << path;
        EXPECT_EQ(notices(), one(kOpening)) << path;
        clearNotices();
        EXPECT_FALSE(vl::loadBankFile(instrument, path.c_str())) << path;
        EXPECT_EQ(notices(), one(kOpening)) << path;
        EXPECT_TRUE(sameState(stateOf(instrument), before)) << path;
    }
    clearNotices();
    EXPECT_FALSE(vl::loadPatchFile(instrument, ""));
    EXPECT_EQ(notices(), one(kOpening));
    clearNotices();
    EXPECT_FALSE(vl::loadBankFile(instrument, nullptr));
    EXPECT_EQ(notices(), one(kOpening));
    EXPECT_TRUE(sameState(stateOf(instrument), before));
}

TEST_F(BadFile, PatchWithOneByteAppendedIsRefused) {
    Bytes longer = goodPatch;
    longer.push_back(0);
    const std::string path = pathOf("long.fxp");
    writeBytes(path, longer);
    ProbeInstrument instrument;
    prepare(instrument);
    const State before = stateOf(instrument);
    EXPECT_FALSE(vl::loadPatchFile(instrument, path.c_str()));
    EXPECT_EQ(notices(), one(kInvalid));
    EXPECT_TRUE(sameState(stateOf(instrument), before));
}

TEST_F(BadFile, BankWithOneByteAppendedIsRefusedAndSelectsProgramZero) {
    Bytes longer = goodBank;
    longer.push_back(0);
    const std::string path = pathOf("long.fxb");
    writeBytes(path, longer);
    ProbeInstrument instrument;
    prepare(instrument);
    const State before = stateOf(instrument);
    EXPECT_FALSE(vl::loadBankFile(instrument, path.c_str()));
    EXPECT_EQ(notices(), one(kInvalid));
    for (int slot = 0; slot < kNumPrograms; ++slot) EXPECT_TRUE(sameProgram(instrument.slot(slot), before.bank[slot]));
    EXPECT_EQ(instrument.getProgram(), 0);
    EXPECT_TRUE(sameProgram(instrument.edit(), before.bank[0]));
}

TEST_F(BadFile, GarbageHeadersAroundValidChunksLoad) {
    Bytes patch = goodPatch;
    Bytes bank = goodBank;
    for (std::size_t i = 0; i < 60; ++i) patch[i] = static_cast<unsigned char>(0xA5 ^ i);
    for (std::size_t i = 0; i < 160; ++i) bank[i] = static_cast<unsigned char>(0x5A ^ (i * 7));
    writeBytes(pathOf("garbage.fxp"), patch);
    writeBytes(pathOf("garbage.fxb"), bank);
    ProbeInstrument instrument;
    instrument.setProgram(6);
    ASSERT_TRUE(vl::loadPatchFile(instrument, pathOf("garbage.fxp").c_str()));
    EXPECT_TRUE(sameProgram(instrument.slot(6), sourceBank.bank[3]));
    EXPECT_EQ(instrument.getProgram(), 6);
    ASSERT_TRUE(vl::loadBankFile(instrument, pathOf("garbage.fxb").c_str()));
    for (int slot = 0; slot < kNumPrograms; ++slot)
        EXPECT_TRUE(sameProgram(instrument.slot(slot), sourceBank.bank[slot])) << slot;
    EXPECT_TRUE(notices().empty());
}

TEST_F(BadFile, NewerChunkVersionIsRefused) {
    Bytes patch = goodPatch;
    Bytes bank = goodBank;
    patch[64] = 2; // chunk version, little-endian
    bank[164] = 2;
    writeBytes(pathOf("v2.fxp"), patch);
    writeBytes(pathOf("v2.fxb"), bank);
    ProbeInstrument instrument;
    prepare(instrument);
    const State before = stateOf(instrument);
    EXPECT_FALSE(vl::loadPatchFile(instrument, pathOf("v2.fxp").c_str()));
    EXPECT_EQ(notices(), one(kNewer));
    EXPECT_TRUE(sameState(stateOf(instrument), before));
    clearNotices();
    EXPECT_FALSE(vl::loadBankFile(instrument, pathOf("v2.fxb").c_str()));
    EXPECT_EQ(notices(), one(kNewer));
    for (int slot = 0; slot < kNumPrograms; ++slot) EXPECT_TRUE(sameProgram(instrument.slot(slot), before.bank[slot]));
    EXPECT_EQ(instrument.getProgram(), 0);
    EXPECT_TRUE(sameProgram(instrument.edit(), before.bank[0]));
}

TEST_F(BadFile, TruncatedFilesAreRefused) {
    ProbeInstrument instrument;
    prepare(instrument);
    const State before = stateOf(instrument);
    const std::string path = pathOf("cut");
    // Cut inside the header, exactly at the chunk, and inside the chunk.
    for (std::size_t length : {1u, 59u, 60u, 61u, 147u}) {
        clearNotices();
        writeBytes(path, Bytes(goodPatch.begin(), goodPatch.begin() + long(length)));
        EXPECT_FALSE(vl::loadPatchFile(instrument, path.c_str())) << length;
        EXPECT_EQ(notices(), one(kInvalid)) << length;
        EXPECT_TRUE(sameState(stateOf(instrument), before)) << length;
    }
    for (std::size_t length : {1u, 60u, 159u, 160u, 161u, 811u}) {
        clearNotices();
        writeBytes(path, Bytes(goodBank.begin(), goodBank.begin() + long(length)));
        EXPECT_FALSE(vl::loadBankFile(instrument, path.c_str())) << length;
        EXPECT_EQ(notices(), one(kInvalid)) << length;
        EXPECT_EQ(instrument.getProgram(), 0) << length;
        for (int slot = 0; slot < kNumPrograms; ++slot)
            EXPECT_TRUE(sameProgram(instrument.slot(slot), before.bank[slot])) << length;
    }
}

TEST_F(BadFile, PatchGivenAsBankAndBankGivenAsPatchAreRefused) {
    ProbeInstrument instrument;
    prepare(instrument);
    const State before = stateOf(instrument);
    EXPECT_FALSE(vl::loadBankFile(instrument, pathOf("good.fxp").c_str()));
    EXPECT_EQ(notices(), one(kInvalid));
    clearNotices();
    instrument.setProgram(5);
    EXPECT_FALSE(vl::loadPatchFile(instrument, pathOf("good.fxb").c_str()));
    EXPECT_EQ(notices(), one(kInvalid));
    for (int slot = 0; slot < kNumPrograms; ++slot) EXPECT_TRUE(sameProgram(instrument.slot(slot), before.bank[slot]));
}

TEST_F(BadFile, ReadWholeFileAnswersTheFileExactly) {
    Bytes content(1000);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<unsigned char>(i * 31 + 7);
    content[10] = 0x1A; // text-mode end of file on Windows
    content[11] = '\r';
    content[12] = '\n';
    writeBytes(pathOf("blob"), content);
    Bytes read;
    EXPECT_EQ(vl::readWholeFile(pathOf("blob").c_str(), read), 1000u);
    EXPECT_EQ(read, content);
    EXPECT_EQ(vl::readWholeFile(pathOf("absent").c_str(), read), 0u);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(notices(), one(kOpening));
}

// ---- Saves that fail keep the old file ----

class FailedSave : public FileTest {
protected:
    void SetUp() override {
        FileTest::SetUp();
        ProbeInstrument old;
        old.setProgramName("Old contents");
        ASSERT_TRUE(vl::savePatchFile(old, pathOf("keep.fxp").c_str()));
        ASSERT_TRUE(vl::saveBankFile(old, pathOf("keep.fxb").c_str()));
        oldPatch = readBytes(pathOf("keep.fxp"));
        oldBank = readBytes(pathOf("keep.fxb"));
        clearNotices();
    }
    Bytes oldPatch, oldBank;
};

TEST_F(FailedSave, TargetThatIsAFolderIsAnOpenError) {
    fs::create_directory(folder / "sub.fxb");
    ProbeInstrument instrument;
    EXPECT_FALSE(vl::saveBankFile(instrument, pathOf("sub.fxb").c_str()));
    EXPECT_EQ(notices(), one(kOpening));
    clearNotices();
    EXPECT_FALSE(vl::savePatchFile(instrument, pathOf("sub.fxb").c_str()));
    EXPECT_EQ(notices(), one(kOpening));
    EXPECT_TRUE(fs::is_directory(folder / "sub.fxb"));
    EXPECT_EQ(folderListing(), (std::vector<std::string>{"keep.fxb", "keep.fxp", "sub.fxb"}));
}

TEST_F(FailedSave, MissingFolderIsAnOpenError) {
    ProbeInstrument instrument;
    const std::string path = (folder / "no-such-folder" / "x.fxp").string();
    EXPECT_FALSE(vl::savePatchFile(instrument, path.c_str()));
    EXPECT_EQ(notices(), one(kOpening));
    clearNotices();
    EXPECT_FALSE(vl::saveBankFile(instrument, ""));
    EXPECT_EQ(notices(), one(kOpening));
    EXPECT_EQ(folderListing(), (std::vector<std::string>{"keep.fxb", "keep.fxp"}));
}

#ifndef _WIN32
TEST_F(FailedSave, UnwritableFolderKeepsTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: permission bits do not stop writes";
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    ProbeInstrument instrument;
    EXPECT_FALSE(vl::savePatchFile(instrument, pathOf("keep.fxp").c_str()));
    EXPECT_EQ(notices(), one(kOpening));
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(readBytes(pathOf("keep.fxp")), oldPatch);
}

// Runs a save in a child process whose file size limit is `limit` bytes, with SIGXFSZ
// ignored so that writes fail with EFBIG. Answers the child's exit code: 0 when the
// save failed with "Error writing file" and nothing else.
int saveUnderSizeLimit(const std::string& path, bool bank, rlim_t limit) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{};
        ::getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = limit;
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) ::_exit(10);
        clearNotices();
        ProbeInstrument instrument;
        instrument.setProgramName("New contents");
        const bool saved = bank ? vl::saveBankFile(instrument, path.c_str())
                                : vl::savePatchFile(instrument, path.c_str());
        if (saved) ::_exit(11);
        if (notices() != one(kWriting)) ::_exit(12);
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(FailedSave, FullDiskKeepsTheOldFileByteForByte) {
    // No room at all, room inside the header, room for all but the last byte.
    for (rlim_t limit : {rlim_t(0), rlim_t(100), rlim_t(811)}) {
        EXPECT_EQ(saveUnderSizeLimit(pathOf("keep.fxb"), true, limit), 0) << limit;
        EXPECT_EQ(readBytes(pathOf("keep.fxb")), oldBank) << limit;
        EXPECT_EQ(folderListing(), (std::vector<std::string>{"keep.fxb", "keep.fxp"})) << limit;
    }
    for (rlim_t limit : {rlim_t(0), rlim_t(59), rlim_t(147)}) {
        EXPECT_EQ(saveUnderSizeLimit(pathOf("keep.fxp"), false, limit), 0) << limit;
        EXPECT_EQ(readBytes(pathOf("keep.fxp")), oldPatch) << limit;
        EXPECT_EQ(folderListing(), (std::vector<std::string>{"keep.fxb", "keep.fxp"})) << limit;
    }
    // With room enough the same saves go through (the child answers 11 for a success).
    EXPECT_EQ(saveUnderSizeLimit(pathOf("keep.fxb"), true, 812), 11);
    EXPECT_EQ(saveUnderSizeLimit(pathOf("keep.fxp"), false, 148), 11);
    EXPECT_STREQ(reinterpret_cast<const char*>(&readBytes(pathOf("keep.fxb"))[168]), "New contents");
    EXPECT_EQ(textAt(readBytes(pathOf("keep.fxp")), 28, 13), std::string("New contents\0", 13));
}

TEST_F(FailedSave, SaveThroughALinkReplacesTheLinkedFile) {
    fs::create_symlink("keep.fxp", folder / "link.fxp");
    ProbeInstrument instrument;
    instrument.setProgramName("Through the link");
    ASSERT_TRUE(vl::savePatchFile(instrument, pathOf("link.fxp").c_str()));
    EXPECT_TRUE(fs::is_symlink(folder / "link.fxp"));
    EXPECT_EQ(textAt(readBytes(pathOf("keep.fxp")), 28, 17), std::string("Through the link\0", 17));
}
#endif

// ---- Choosing the file ----

using FileChoice = FileTest;

TEST_F(FileChoice, RequestIsFilledForEachOperation) {
    struct Case {
        vl::FileKind kind;
        vl::FileCommand command;
        VstInt32 commandValue;
        const char* typeName;
        const char* macType;
        const char* extension;
        const char* title;
    };
    const Case cases[] = {
        {vl::FileKind::bank, vl::FileCommand::load, 0, "FX Banks", ".fxb", "fxb", "Load FX Bank"},
        {vl::FileKind::bank, vl::FileCommand::save, 1, "FX Banks", ".fxb", "fxb", "Save FX Bank"},
        {vl::FileKind::patch, vl::FileCommand::load, 0, "FX Patches", ".fxp", "fxp", "Load FX Patch"},
        {vl::FileKind::patch, vl::FileCommand::save, 1, "FX Patches", ".fxp", "fxp", "Save FX Patch"},
    };
    for (const Case& c : cases) {
        VstFileType type;
        VstFileSelect selection;
        std::memset(&type, 0x55, sizeof type);
        std::memset(&selection, 0x55, sizeof selection);
        vl::fillFileSelection(selection, type, c.kind, c.command);
        EXPECT_EQ(selection.command, c.commandValue) << c.title;
        EXPECT_EQ(selection.type, 0);
        EXPECT_EQ(selection.macCreator, 0);
        EXPECT_EQ(selection.nbFileTypes, 1);
        EXPECT_EQ(selection.fileTypes, &type);
        EXPECT_STREQ(selection.title, c.title);
        EXPECT_EQ(selection.initialPath, nullptr);
        EXPECT_EQ(selection.returnMultiplePaths, nullptr);
        EXPECT_EQ(selection.nbReturnPath, 0);
        ASSERT_NE(selection.returnPath, nullptr);
        EXPECT_EQ(selection.sizeReturnPath, 1024);
        EXPECT_EQ(selection.returnPath[0], 0);
        EXPECT_EQ(selection.returnPath[1023], 0);
        EXPECT_STREQ(type.name, c.typeName);
        EXPECT_STREQ(type.macType, c.macType);
        EXPECT_STREQ(type.dosType, c.extension);
        EXPECT_STREQ(type.unixType, c.extension);
        EXPECT_STREQ(type.mimeType1, c.extension);
        EXPECT_STREQ(type.mimeType2, c.extension);
        std::free(selection.returnPath);
    }
}

TEST_F(FileChoice, HostSelectorSavesAndLoadsAndIsAlwaysClosed) {
    HostScript& script = host();
    script.canOpenFileSelector = true;
    script.releasesReturnPath = true; // as the standalone program's host does
    script.chosenPath = pathOf("chosen.fxp");
    ProbeInstrument instrument;
    instrument.setProgramName("Chosen by host");
    EXPECT_TRUE(instrument.savePatch(nullptr));
    EXPECT_EQ(script.openCalls, 1);
    EXPECT_EQ(script.closeCalls, 1);
    EXPECT_EQ(script.closedWith, script.openedWith);
    EXPECT_EQ(script.openedTitle, "Save FX Patch");
    EXPECT_EQ(script.openedCommand, 1);
    EXPECT_EQ(readBytes(pathOf("chosen.fxp")).size(), 148u);

    script.releasesReturnPath = false; // now the instrument releases its own buffer
    instrument.setProgram(4);
    EXPECT_TRUE(instrument.loadPatch(nullptr));
    EXPECT_EQ(script.openedTitle, "Load FX Patch");
    EXPECT_EQ(script.openedCommand, 0);
    EXPECT_EQ(script.closeCalls, 2);
    EXPECT_STREQ(instrument.slot(4).name, "Chosen by host");

    script.chosenPath = pathOf("chosen.fxb");
    EXPECT_TRUE(instrument.saveBank(nullptr));
    EXPECT_EQ(script.openedTitle, "Save FX Bank");
    EXPECT_TRUE(instrument.loadBank(nullptr));
    EXPECT_EQ(script.openedTitle, "Load FX Bank");
    EXPECT_EQ(script.closeCalls, 4);
    EXPECT_EQ(instrument.getProgram(), 0);
    EXPECT_TRUE(notices().empty());
}

TEST_F(FileChoice, CancelledSelectorDoesNothingButIsClosed) {
    HostScript& script = host();
    script.canOpenFileSelector = true;
    script.chooses = false;
    script.chosenPath = pathOf("never.fxb");
    ProbeInstrument instrument;
    instrument.setProgram(3);
    const State before = stateOf(instrument);
    EXPECT_FALSE(instrument.saveBank(nullptr));
    EXPECT_FALSE(instrument.loadBank(nullptr));
    EXPECT_FALSE(instrument.loadPatch(nullptr));
    EXPECT_FALSE(instrument.savePatch(nullptr));
    EXPECT_EQ(script.openCalls, 4);
    EXPECT_EQ(script.closeCalls, 4);
    EXPECT_TRUE(notices().empty());
    EXPECT_TRUE(sameState(stateOf(instrument), before));
    EXPECT_TRUE(folderListing().empty());
}

#ifndef _WIN32
// Without a host selector the platform fallback is used; here it chooses nothing.
TEST_F(FileChoice, WithoutHostSelectorTheFallbackChoosesNothing) {
    host().chosenPath = pathOf("never.fxp");
    ProbeInstrument instrument;
    EXPECT_FALSE(instrument.savePatch(nullptr));
    EXPECT_FALSE(instrument.loadBank(nullptr));
    EXPECT_EQ(host().openCalls, 0);
    EXPECT_EQ(host().closeCalls, 0);
    EXPECT_TRUE(notices().empty());
    EXPECT_TRUE(folderListing().empty());
}
#endif

} // namespace
} // namespace vltest
