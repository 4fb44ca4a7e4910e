// The built executable, run as a user runs it: exit statuses, messages, files left behind,
// and properties of the rendered audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/render/MidiBytes.h"
#include "tests/render/ToolRunner.h"
#include "tests/support/Bytes.h"

namespace vl::render {
namespace {

using namespace test;
namespace fs = std::filesystem;

struct Wav {
    std::vector<uint8_t> bytes;
    std::size_t headerSize = 0;
    int16_t pcm(std::size_t frame, int channel) const {
        const std::size_t at = headerSize + 4 * frame + 2 * std::size_t(channel);
        return int16_t(bytes[at] | (bytes[at + 1] << 8));
    }
    float sample(std::size_t frame, int channel) const {
        float f;
        std::memcpy(&f, &bytes[headerSize + 8 * frame + 4 * std::size_t(channel)], 4);
        return f;
    }
};

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vl-render-tool-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string put(const std::string& name, const Bytes& data) {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return p.string();
    }
    std::string at(const std::string& name) const { return (dir / name).string(); }
    Bytes read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    Wav readWav(const std::string& path, bool isFloat = false) const {
        Wav w;
        w.bytes = read(path);
        w.headerSize = isFloat ? 58 : 44;
        return w;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

// One note A4 on tick 480 of 480 (0.5 s at the default tempo) held for a beat.
Bytes oneNote(int channelStatus = 0x90) {
    Bytes body;
    event(body, 480, {channelStatus, 69, 100});
    event(body, 480, {channelStatus & 0xEF, 69, 0});
    endOfTrack(body);
    return file(header(0, 1, 480), {track(body)});
}

// The effects off, so that nothing but the voices reaches the output.
const std::vector<std::string> kDry = {"--param", "5=0", "--param", "8=0", "--param", "11=0"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(RenderTool, VersionAndHelp) {
    const ToolRun v = runTool({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "velmorloom-render 1.0.0\n");
    EXPECT_EQ(v.err, "");
    const ToolRun h = runTool({"-h"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out.rfind("Usage: velmorloom-render", 0), 0u);
    EXPECT_NE(h.out.find("--param=INDEX=VALUE"), std::string::npos);
}

struct FailureCase {
    std::string name;
    std::vector<std::string> args;
    int status;
    std::string messagePart;
};

TEST_F(RenderTool, BadInputFailsCleanlyWithoutOutput) {
    Bytes longVarLen = {0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 100};
    Bytes noStatus = {0x00, 60, 100};
    Bytes highData = {0x00, 0x90, 60, 0xE4};
    Bytes good;
    event(good, 0, {0x90, 60, 100});
    endOfTrack(good);
    const std::string out = at("out.wav");
    const std::vector<FailureCase> cases = {
        {"missing file", {at("nothing.mid"), "-o", out}, 1, "cannot open"},
        {"directory as input", {dir.string(), "-o", out}, 1, "cannot"},
        {"not midi", {put("text.mid", {'h', 'e', 'l', 'l', 'o', '\n'}), "-o", out}, 1, "no MThd"},
        {"truncated", {put("cut.mid", file(header(0, 1, 96), {track(good, 400)})), "-o", out}, 1, "past the end"},
        {"var len", {put("vlq.mid", file(header(0, 1, 96), {track(longVarLen)})), "-o", out}, 1, "4 bytes"},
        {"no status", {put("rs.mid", file(header(0, 1, 96), {track(noStatus)})), "-o", out}, 1, "running status"},
        {"high data", {put("hd.mid", file(header(0, 1, 96), {track(highData)})), "-o", out}, 1, "0xE4"},
        {"smpte", {put("smpte.mid", file(header(0, 1, 0xE728), {track(good)})), "-o", out}, 1, "SMPTE"},
        {"unknown option", {"--colour", "-o", out}, 2, "unrecognized option '--colour'"},
        {"malformed option", {"--rate=fast", "-o", out}, 2, "--rate"},
        {"rate range", {"-r", "200000", "-o", out}, 2, "-r"},
        {"block range", {"-b", "0", "-o", out}, 2, "-b"},
        {"program range", {"-p", "8", "-o", out}, 2, "-p"},
        {"param range", {"--param", "13=0.5", "-o", out}, 2, "--param"},
        {"tail range", {"--tail", "601", "-o", out}, 2, "--tail"},
        {"two files", {"a.mid", "b.mid", "-o", out}, 2, "more than one"},
        {"missing folder", {"-o", at("no/such/folder/x.wav"), "--tail", "0"}, 1, "cannot create"},
        {"output is a folder", {"-o", dir.string(), "--tail", "0"}, 1, "directory"},
    };
    const std::vector<std::string> before = entries();
    for (const FailureCase& c : cases) {
        const ToolRun r = runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err.rfind("velmorloom-render: ", 0), 0u) << c.name << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find(c.messagePart), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(entries(), before) << c.name; // no output, no temporary file
    }
}

TEST_F(RenderTool, FailedRenderKeepsTheExistingTarget) {
    const std::string out = put("existing.wav", {'k', 'e', 'e', 'p'});
    const ToolRun r = runTool(
        {put("bad.mid", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 1, 0}), "-o",
         out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read(out), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(entries(), (std::vector<std::string>{"bad.mid", "existing.wav"}));
}

TEST_F(RenderTool, FailedWriteKeepsTheExistingTargetByteForByte) {
#ifdef _WIN32
    GTEST_SKIP() << "file size limits are a POSIX facility";
#else
    const std::vector<std::string> args = {"-q", "--tail", "1", "-o"};
    ASSERT_EQ(runTool(args + std::vector<std::string>{at("probe.wav")}).status, 0);
    const long size = long(fs::file_size(at("probe.wav")));
    fs::remove(at("probe.wav"));
    const Bytes old = {'o', 'l', 'd', 0, 0xFF, '\n'};
    // A write in the middle fails, or only the final flush of the last buffered bytes.
    for (long limit : {100000L, size - 1}) {
        SCOPED_TRACE(limit);
        const std::string out = put("full.wav", old);
        const ToolRun r = runTool(args + std::vector<std::string>{out}, std::string(), limit);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("velmorloom-render: cannot write '", 0), 0u) << r.err;
        EXPECT_EQ(read(out), old);
        EXPECT_EQ(entries(), std::vector<std::string>{"full.wav"});
    }
#endif
}

TEST_F(RenderTool, NoteOnsetLandsOnItsFrame) {
    const std::string midi = put("note.mid", oneNote(0x93)); // any channel is heard
    // 0.5 s: frame 22050 at 44100, 24000 at 48000, 44100 at 88200.
    for (const auto& [rate, frame] :
         std::vector<std::pair<int, std::size_t>>{{44100, 22050}, {48000, 24000}, {88200, 44100}}) {
        const std::string out = at("note.wav");
        const ToolRun r = runTool(
            std::vector<std::string>{midi, "--float", "-q", "-o", out, "--tail", "0.25", "-r", std::to_string(rate)} +
            kDry);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, ""); // quiet
        const Wav w = readWav(out, true);
        const std::size_t frames = (w.bytes.size() - 58) / 8;
        EXPECT_EQ(frames, 2 * frame + std::size_t(rate) / 4); // last event at 1.0 s, tail 0.25 s
        std::size_t first = frames;
        for (std::size_t i = 0; i < frames && first == frames; ++i)
            if (w.sample(i, 0) != 0.0f || w.sample(i, 1) != 0.0f) first = i;
        EXPECT_EQ(first, frame) << rate;
    }
}

TEST_F(RenderTool, BlockSizeDoesNotChangeTheOutput) {
    Bytes body;
    event(body, 0, {0x90, 60, 90});
    event(body, 37, {0x90, 64, 80});
    event(body, 0, {0xB0, 64, 127});
    event(body, 100, {0xE0, 0, 90});
    event(body, 50, {0x80, 60, 0});
    event(body, 0, {0x90, 67, 0});
    event(body, 20, {0xB0, 64, 0});
    endOfTrack(body, 10);
    const std::string midi = put("blocks.mid", file(header(0, 1, 96), {track(body)}));
    std::vector<Bytes> outputs;
    for (const char* block : {"1", "7", "8192"}) {
        const std::string out = at(std::string("b") + block + ".wav");
        const ToolRun r = runTool({midi, "-q", "-b", block, "-o", out, "--tail", "0.5"});
        ASSERT_EQ(r.status, 0) << r.err;
        outputs.push_back(read(out));
    }
    ASSERT_GT(outputs[0].size(), 44u + 4u * 22050u);
    EXPECT_TRUE(outputs[0] == outputs[1]);
    EXPECT_TRUE(outputs[0] == outputs[2]);
}

TEST_F(RenderTool, ParamsAreAppliedBeforeTheFirstBlock) {
    const std::string midi = put("note.mid", oneNote());
    const ToolRun full = runTool(
        std::vector<std::string>{midi, "--float", "-q", "-o", at("full.wav"), "--param", "0=1"} + kDry);
    const ToolRun half = runTool(
        std::vector<std::string>{midi, "--float", "-q", "-o", at("half.wav"), "--param=0=0.5"} + kDry);
    const ToolRun zero = runTool(
        std::vector<std::string>{midi, "--float", "-q", "-o", at("zero.wav"), "--param", "0=0"} + kDry);
    ASSERT_EQ(full.status, 0) << full.err;
    ASSERT_EQ(half.status, 0) << half.err;
    ASSERT_EQ(zero.status, 0) << zero.err;
    const Wav f = readWav(at("full.wav"), true), h = readWav(at("half.wav"), true), z = readWav(at("zero.wav"), true);
    ASSERT_EQ(f.bytes.size(), h.bytes.size());
    const std::size_t frames = (f.bytes.size() - 58) / 8;
    float peak = 0.0f;
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        peak = std::max(peak, std::fabs(f.sample(i, 0)));
        // Level scales the output linearly: half the level gives exactly half of every sample.
        if (h.sample(i, 0) != f.sample(i, 0) * 0.5f || h.sample(i, 1) != f.sample(i, 1) * 0.5f) ++mismatches;
        if (z.sample(i, 0) != 0.0f || z.sample(i, 1) != 0.0f) ++mismatches;
    }
    EXPECT_GT(peak, 0.01f);
    EXPECT_EQ(mismatches, 0u);
}

TEST_F(RenderTool, DemoPhraseInTheCurrentFolder) {
    const ToolRun r = runTool({"-r", "22050"}, dir.string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(entries(), std::vector<std::string>{"velmorloom-demo.wav"});
    const Wav w = readWav(at("velmorloom-demo.wav"));
    ASSERT_GE(w.bytes.size(), 44u);
    const std::size_t frames = (w.bytes.size() - 44) / 4;
    const uint32_t dataSize = w.bytes[40] | (w.bytes[41] << 8) | (w.bytes[42] << 16) | (uint32_t(w.bytes[43]) << 24);
    EXPECT_EQ(dataSize, frames * 4);
    EXPECT_GE(frames, 8u * 22050u);
    EXPECT_LE(frames, 15u * 22050u);
    int peak = 0;
    for (std::size_t i = 0; i < frames; ++i)
        peak = std::max({peak, std::abs(int(w.pcm(i, 0))), std::abs(int(w.pcm(i, 1)))});
    EXPECT_GT(peak, 32767 / 10); // louder than -20 dBFS
    EXPECT_LT(peak, 32767); // never at the clamp
    // Summary line: path, frames, seconds, peak and speed.
    EXPECT_EQ(r.out.rfind("velmorloom-demo.wav: " + std::to_string(frames) + " frames, ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" dBFS, "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("x real time\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, ""); // no progress display when stderr is not a terminal
}

TEST_F(RenderTool, MidiFileNameGivesTheDefaultOutputName) {
    const std::string midi = put("Tune.mid", oneNote());
    fs::create_directories(dir / "work");
    const ToolRun r = runTool({midi, "-q", "--tail=0", "--rate=8000"}, (dir / "work").string());
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes wav = read((dir / "work" / "Tune.wav").string());
    ASSERT_EQ(wav.size(), 44u + 4u * 8000u); // last event at 1.0 s, no tail
    EXPECT_EQ(Bytes(wav.begin(), wav.begin() + 4), (Bytes{'R', 'I', 'F', 'F'}));
    EXPECT_EQ(wav[24] | (wav[25] << 8), 8000);
}

TEST_F(RenderTool, FloatOutputHeaderMatchesItsData) {
    const ToolRun r = runTool({put("note.mid", oneNote()), "--float", "-q", "--tail", "0.5", "-o", at("f.wav")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes w = read(at("f.wav"));
    const uint32_t frames = 44100 + 22050;
    ASSERT_EQ(w.size(), 58u + 8u * frames);
    EXPECT_EQ(vltest::le32(w, 4), 50u + 8u * frames);
    EXPECT_EQ(w[20] | (w[21] << 8), 3);
    EXPECT_EQ(vltest::le32(w, 46), frames); // fact chunk
    EXPECT_EQ(vltest::le32(w, 54), 8u * frames); // data chunk size
}

} // namespace
} // namespace vl::render
