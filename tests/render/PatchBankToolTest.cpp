// The renderer with patch and bank files: files written by the instrument itself render
// exactly as the same settings given as parameters, in the documented order, and files
// the instrument refuses stop the renderer with the instrument's own message.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "instrument/Instrument.h"
#include "instrument/PatchFiles.h"
#include "tests/render/MidiBytes.h"
#include "tests/support/HostRecorder.h"
#include "tests/render/ToolRunner.h"

namespace vl::render {
namespace {

using namespace test;
namespace fs = std::filesystem;
using Args = std::vector<std::string>;

using vltest::quietHost;

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class RenderFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vl-render-files-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        // A4 at 0.5 s, released at 1.0 s; a short tail keeps each render quick.
        Bytes body;
        event(body, 480, {0x90, 69, 100});
        event(body, 480, {0x80, 69, 0});
        endOfTrack(body);
        midi = put("note.mid", file(header(0, 1, 480), {track(body)}));
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string at(const std::string& name) const { return (dir / name).string(); }
    std::string put(const std::string& name, const Bytes& data) {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return at(name);
    }
    Bytes read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Renders the note with args and answers the WAV bytes (empty after a failure).
    Bytes render(const Args& args) {
        const std::string out = at("out-" + std::to_string(++renders) + ".wav");
        const ToolRun r = runTool(Args{midi, "-q", "--float", "-r", "22050", "--tail", "0.25", "-o", out} + args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        Bytes wav = read(out);
        EXPECT_EQ(wav.size(), 58u + 8u * (22050u + 22050u / 4)) << "frames of the render";
        return wav;
    }

    // A patch of String Ensemble (program 0) with Level 0.5, Brightness 0.25, Reverb Mix 0.125.
    std::string writePatch() {
        Instrument instrument(&quietHost);
        instrument.setParameter(0, 0.5f);
        instrument.setParameter(3, 0.25f);
        instrument.setParameter(11, 0.125f);
        const std::string path = at("edited.fxp");
        EXPECT_TRUE(savePatchFile(instrument, path.c_str()));
        EXPECT_EQ(read(path).size(), kPatchFileSize);
        return path;
    }
    static Args patchAsParams() { return {"--param", "0=0.5", "--param", "3=0.25", "--param", "11=0.125"}; }

    // A bank with program 0 at Level 0.25 and program 3 at Level 0.5 and Ensemble Speed
    // 0.75, saved while program 3 is current (so its stored current index is 3).
    std::string writeBank() {
        Instrument instrument(&quietHost);
        instrument.setParameter(0, 0.25f);
        void* chunk = nullptr;
        EXPECT_GT(instrument.getChunk(&chunk, false), 0); // stores the edit of program 0
        instrument.setProgram(3);
        instrument.setParameter(0, 0.5f);
        instrument.setParameter(4, 0.75f);
        const std::string path = at("edited.fxb");
        EXPECT_TRUE(saveBankFile(instrument, path.c_str()));
        const Bytes bytes = read(path);
        EXPECT_EQ(bytes.size(), kBankFileSize);
        if (bytes.size() == kBankFileSize) {
            EXPECT_EQ(bytes[808], 3); // the stored current index
        }
        return path;
    }

    fs::path dir;
    std::string midi;
    int renders = 0;
};

TEST_F(RenderFiles, PatchRendersAsItsParameters) {
    const std::string patch = writePatch();
    const Bytes plain = render({});
    const Bytes asParams = render(patchAsParams());
    ASSERT_FALSE(asParams.empty());
    EXPECT_TRUE(asParams != plain); // the edits are audible

    EXPECT_TRUE(render({"--patch", patch}) == asParams);
    EXPECT_TRUE(render({"--patch=" + patch}) == asParams);
    // The patch replaces whichever program was chosen.
    EXPECT_TRUE(render({"-p", "5", "--patch", patch}) == asParams);
    // Parameters given on the command line come after the patch.
    EXPECT_TRUE(render({"--patch", patch, "--param", "0=1"}) ==
                render({"--param", "0=1", "--param", "3=0.25", "--param", "11=0.125"}));
}

TEST_F(RenderFiles, BankSelectsProgramZeroUnlessAProgramIsChosen) {
    const std::string bank = writeBank();
    const Bytes three = render({"-p", "3", "--param", "0=0.5", "--param", "4=0.75"});
    ASSERT_FALSE(three.empty());
    EXPECT_TRUE(three != render({"-p", "3"}));

    EXPECT_TRUE(render({"--bank", bank, "--program", "3"}) == three);
    EXPECT_TRUE(render({"--program=3", "--bank=" + bank}) == three);
    // Without --program the bank's program 0 plays, not the stored current program 3.
    EXPECT_TRUE(render({"--bank", bank}) == render({"--param", "0=0.25"}));
}

TEST_F(RenderFiles, PatchGoesIntoTheChosenProgramOfTheBank) {
    const std::string bank = writeBank();
    const std::string patch = writePatch();
    const Bytes asParams = render(patchAsParams());
    ASSERT_FALSE(asParams.empty());
    // Bank first, then program 3, then the patch into it, whatever the order of the options.
    EXPECT_TRUE(render({"--bank", bank, "-p", "3", "--patch", patch}) == asParams);
    EXPECT_TRUE(render({"--patch", patch, "-p", "3", "--bank", bank}) == asParams);
}

struct Refusal {
    std::string name;
    std::string option;
    std::string file;
    std::string message;
};

TEST_F(RenderFiles, RefusedFilesStopWithTheInstrumentsMessage) {
    const std::string patch = writePatch();
    const std::string bank = writeBank();
    Bytes longPatch = read(patch);
    longPatch.push_back(0);
    Bytes newerBank = read(bank);
    newerBank[164] = 2; // chunk version, little-endian, after the 4-byte chunk id
    Bytes shortBank = read(bank);
    shortBank.pop_back();
    const std::string invalid = "Invalid patch/bank format";
    const std::vector<Refusal> cases = {
        {"149-byte patch", "--patch", put("long.fxp", longPatch), invalid},
        {"bank as patch", "--patch", bank, invalid},
        {"patch as bank", "--bank", patch, invalid},
        {"811-byte bank", "--bank", put("short.fxb", shortBank), invalid},
        {"newer bank", "--bank", put("newer.fxb", newerBank),
         "This file was created with a more recent version of the program"},
        {"missing patch", "--patch", at("nothing.fxp"), "Error opening file"},
        {"missing bank", "--bank", at("nothing.fxb"), "Error opening file"},
        {"folder as patch", "--patch", dir.string(), "Error opening file"},
        {"empty patch", "--patch", put("empty.fxp", {}), "Error reading file"},
    };
    const std::string kept = put("kept.wav", {'k', 'e', 'e', 'p'});
    const std::vector<std::string> before = entries();
    for (const Refusal& c : cases) {
        for (const Args& output : {Args{"-o", at("new.wav")}, Args{"-o", kept}}) {
            const ToolRun r = runTool(Args{midi, c.option, c.file, "--tail", "0"} + output);
            EXPECT_EQ(r.status, 1) << c.name;
            EXPECT_EQ(r.out, "") << c.name;
            // One line, the renderer's own: the instrument's notice is not shown as well.
            EXPECT_EQ(r.err, "velmorloom-render: '" + c.file + "': " + c.message + "\n") << c.name;
            EXPECT_EQ(entries(), before) << c.name; // no output, no temporary file
            EXPECT_EQ(read(kept), (Bytes{'k', 'e', 'e', 'p'})) << c.name;
        }
    }
}

TEST_F(RenderFiles, FileOptionsOnTheCommandLine) {
    const ToolRun twice = runTool({"--patch", "a.fxp", "--patch=b.fxp", "-o", at("x.wav")});
    EXPECT_EQ(twice.status, 2);
    EXPECT_EQ(twice.err, "velmorloom-render: option '--patch' given more than once (see --help)\n");
    const ToolRun empty = runTool({"--bank=", "-o", at("x.wav")});
    EXPECT_EQ(empty.status, 2);
    EXPECT_EQ(empty.err, "velmorloom-render: invalid value '' for --bank: expected a file name (see --help)\n");
    EXPECT_TRUE(entries() == std::vector<std::string>{"note.mid"});

    const ToolRun help = runTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("\n      --bank=FILE.fxb "), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("\n      --patch=FILE.fxp "), std::string::npos) << help.out;
}

} // namespace
} // namespace vl::render
