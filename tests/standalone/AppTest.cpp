// The application object: host callback answers, the block callback (silence before the
// app is published, MIDI lists into the instrument, recording, one notice at a time),
// the panel's settings and record buttons.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <future>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "platform/Notice.h"
#include "standalone/StandaloneApp.h"

namespace vl {
namespace {

namespace fs = std::filesystem;

class FakeShell : public AppShell {
public:
    int notices = 0, dialogs = 0, opens = 0, chooses = 0;
    bool dialogAnswer = false;
    std::string path; // what the file dialog chooses; empty = cancelled
    void postUiNotice() override { ++notices; }
    bool chooseFile(VstFileSelect* selection) override {
        ++chooses;
        EXPECT_EQ(selection->command, kVstFileSave);
        EXPECT_STREQ(selection->title, "Save WAV File");
        EXPECT_EQ(selection->nbFileTypes, 1);
        EXPECT_STREQ(selection->fileTypes[0].dosType, "wav");
        if (path.empty()) return false;
        std::strncpy(selection->returnPath, path.c_str(), std::size_t(selection->sizeReturnPath) - 1);
        return true;
    }
    bool runSetupDialog(SettingsValues& values) override {
        ++dialogs;
        if (dialogAnswer) values.latency = 20;
        return dialogAnswer;
    }
    void openDevices(StandaloneApp&) override { ++opens; }
};

class FakeOutput : public AudioOutput {
public:
    explicit FakeOutput(int r) : rate(r) {}
    bool start() override { return running = true; }
    void stop() override { running = false; }
    int sampleRate() const override { return rate; }
    int blockFrames() const override { return 512; }
    int rate;
    bool running = false;
};

std::vector<std::string>& notices() {
    static std::vector<std::string> n;
    return n;
}
void keepNotice(const char*, const char* text) { notices().push_back(text); }

class AppTest : public testing::Test {
protected:
    void SetUp() override {
        previousSink = setNoticeSink(&keepNotice);
        notices().clear();
        dir = fs::temp_directory_path() /
              ("vl-app-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        app.reset();
        theApp.store(nullptr);
        setNoticeSink(previousSink);
        fs::remove_all(dir);
    }
    void makeApp(int rate = 44100) {
        app = std::make_unique<StandaloneApp>(shell, SettingsValues{});
        auto ports = std::make_unique<MidiPorts>(-1, 3, rate, 512);
        auto output = std::make_unique<FakeOutput>(rate);
        out = output.get();
        app->installDevices(std::move(output), std::move(ports), nullptr);
        ASSERT_TRUE(app->startDevices());
        theApp.store(app.get());
    }
    FakeShell shell;
    std::unique_ptr<StandaloneApp> app;
    FakeOutput* out = nullptr;
    NoticeSink previousSink = nullptr;
    fs::path dir;
};

VstIntPtr call(VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    return standaloneHostCallback(nullptr, opcode, 0, value, ptr, 0.0f);
}

TEST_F(AppTest, HostCallbackAnswers) {
    // Before the app is published every request answers 1.
    for (VstInt32 op : {audioMasterVersion, audioMasterGetTime, audioMasterCurrentId, audioMasterGetDirectory})
        EXPECT_EQ(call(op), 1) << op;
    makeApp();
    const std::pair<VstInt32, VstIntPtr> rows[] = {
        {audioMasterAutomate, 1}, {audioMasterVersion, 2},       {audioMasterIdle, 1},
        {audioMasterCanDo, 1},    {audioMasterUpdateDisplay, 1}, {audioMasterCurrentId, 0},
        {audioMasterWantMidi, 0}, {audioMasterGetSampleRate, 0}, {audioMasterSizeWindow, 0},
    };
    for (const auto& [op, answer] : rows) EXPECT_EQ(call(op), answer) << op;

    app->settings.tempo = 97.5f;
    auto* info = reinterpret_cast<VstTimeInfo*>(call(audioMasterGetTime, 0));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->flags, 0);
    info = reinterpret_cast<VstTimeInfo*>(call(audioMasterGetTime, kVstTempoValid | kVstTransportPlaying));
    EXPECT_EQ(info->flags, kVstTempoValid);
    EXPECT_EQ(info->tempo, 97.5);
    // The instrument's own request goes the same way.
    EXPECT_EQ(app->getTimeInfo(kVstTempoValid), info);
    EXPECT_EQ(app->getMasterVersion(), 2);

    // Closing a selector releases its return path, whoever allocated it.
    VstFileSelect selection{};
    selection.returnPath = static_cast<char*>(std::malloc(16));
    EXPECT_EQ(call(audioMasterCloseFileSelector, 0, &selection), 1);
    EXPECT_EQ(selection.returnPath, nullptr);
}

TEST_F(AppTest, SilenceUntilTheAppIsPublished) {
    std::vector<std::int16_t> block(2 * 256, 0x1234);
    renderBlock(block.data(), 256);
    for (std::int16_t s : block) ASSERT_EQ(s, 0);
    EXPECT_EQ(shell.notices, 0);
}

TEST_F(AppTest, BlocksPlayTheQueuedNotesAndRecordThem) {
    makeApp(48000);
    const fs::path wav = dir / "take.wav";
    ASSERT_TRUE(app->startRecording(wav.string()));

    // A reference instrument gets the same note at the same frame.
    constexpr int kBlocks = 12;
    testhooks::setNoiseSeed(1000);
    std::vector<std::vector<std::int16_t>> played;
    for (int b = 0; b < kBlocks; ++b) {
        if (b == 1) app->midiPorts()->receiveAtFrame(0x90 | 57 << 8 | 100 << 16, 100);
        std::vector<std::int16_t> block(2 * 512, 0x5555);
        renderBlock(block.data(), 512);
        played.push_back(block);
    }
    ASSERT_TRUE(app->finishRecording());

    testhooks::setNoiseSeed(1000);
    Instrument reference(+[](AEffect*, VstInt32 op, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
        return op == audioMasterVersion ? 2 : 0;
    });
    reference.setSampleRate(48000.0f);
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof note;
    note.deltaFrames = 100;
    note.midiData[0] = char(0x90);
    note.midiData[1] = 57;
    note.midiData[2] = 100;
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&note);
    std::vector<std::int16_t> all;
    for (int b = 0; b < kBlocks; ++b) {
        std::vector<std::int16_t> block(2 * 512);
        if (b == 1) reference.processEvents(&events);
        else reference.processEvents(nullptr);
        reference.processInterleaved16(block.data(), 512);
        EXPECT_EQ(played[std::size_t(b)], block) << "block " << b;
        all.insert(all.end(), block.begin(), block.end());
    }
    // Silent before the note, sounding after it.
    for (std::size_t i = 0; i < 2 * (512 + 100); ++i) ASSERT_EQ(all[i], 0) << i;
    int peak = 0;
    for (std::size_t i = 2 * (512 + 100); i < all.size(); ++i) peak = std::max(peak, std::abs(int(all[i])));
    EXPECT_GT(peak, 100);

    // The file holds exactly the blocks played, under the rate the recording began with.
    std::ifstream in(wav, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), 44u + 4u * 512u * kBlocks);
    EXPECT_EQ(bytes[24] | bytes[25] << 8 | bytes[26] << 16, 48000);
    EXPECT_EQ(std::memcmp(bytes.data() + 44, all.data(), all.size() * 2), 0);

    // One notice is on its way however many blocks were rendered; the next goes out once
    // the user-interface thread has handled it.
    EXPECT_EQ(shell.notices, 1);
    app->handleUiNotice();
    std::vector<std::int16_t> block(2 * 64);
    renderBlock(block.data(), 64);
    renderBlock(block.data(), 64);
    EXPECT_EQ(shell.notices, 2);
}

// The float block callback (JACK, float devices): the instrument's float output as it is,
// recorded in either format. The float recording holds exactly the samples sent; the
// 16-bit recording holds what the 16-bit callback plays for the same notes.
TEST_F(AppTest, FloatBlocksPlayAndRecordInEitherFormat) {
    for (SampleFormat format : {SampleFormat::Float32, SampleFormat::Pcm16}) {
        SCOPED_TRACE(format == SampleFormat::Float32 ? "float" : "16-bit");
        makeApp(48000);
        app->recordFormat = format;
        const fs::path wav = dir / "float.wav";
        ASSERT_TRUE(app->startRecording(wav.string()));
        constexpr int kBlocks = 8, kFrames = 300;
        testhooks::setNoiseSeed(1000);
        std::vector<float> sent;
        for (int b = 0; b < kBlocks; ++b) {
            if (b == 1) app->midiPorts()->receiveAtFrame(0x90 | 64 << 8 | 90 << 16, 17);
            std::vector<float> left(kFrames, 9.0f), right(kFrames, 9.0f);
            renderBlock(left.data(), right.data(), kFrames);
            for (int i = 0; i < kFrames; ++i) {
                sent.push_back(left[std::size_t(i)]);
                sent.push_back(right[std::size_t(i)]);
            }
        }
        ASSERT_TRUE(app->finishRecording());
        EXPECT_TRUE(notices().empty());

        // The same notes through the 16-bit callback.
        app.reset();
        theApp.store(nullptr);
        makeApp(48000);
        testhooks::setNoiseSeed(1000);
        std::vector<std::int16_t> played16;
        for (int b = 0; b < kBlocks; ++b) {
            if (b == 1) app->midiPorts()->receiveAtFrame(0x90 | 64 << 8 | 90 << 16, 17);
            std::vector<std::int16_t> block(2 * kFrames);
            renderBlock(block.data(), kFrames);
            played16.insert(played16.end(), block.begin(), block.end());
        }
        app.reset();
        theApp.store(nullptr);

        // The float output is not 16-bit output in disguise.
        int offGrid = 0;
        for (float x : sent) offGrid += std::nearbyint(x * 32768.0f) != x * 32768.0f;
        EXPECT_GT(offGrid, 1000);

        std::ifstream in(wav, std::ios::binary);
        std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
        const std::vector<std::uint8_t> header = wavHeader(format, 48000, kBlocks * kFrames);
        ASSERT_EQ(bytes.size(), header.size() + bytesPerFrame(format) * kBlocks * kFrames);
        EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
        if (format == SampleFormat::Float32)
            EXPECT_EQ(std::memcmp(bytes.data() + header.size(), sent.data(), sent.size() * 4), 0);
        else EXPECT_EQ(std::memcmp(bytes.data() + header.size(), played16.data(), played16.size() * 2), 0);
    }
}

// A disk that stops while the program records: the audio goes on, and on stop the
// program says how much was lost.
TEST_F(AppTest, LostFramesAreReportedWhenTheRecordingStops) {
    const struct {
        std::uint64_t frames;
        std::uint32_t rate;
        const char* text;
    } rows[] = {
        {67032, 44100, "Recording lost 1.52 s: the disk was too slow"},
        {1, 48000, "Recording lost 0.00 s: the disk was too slow"},
        {96000u * 3600u, 96000, "Recording lost 3600.00 s: the disk was too slow"},
        {66150, 44100, "Recording lost 1.50 s: the disk was too slow"},
    };
    for (const auto& r : rows) EXPECT_EQ(lostRecordingText(r.frames, r.rate), r.text);

    makeApp(44100);
    std::promise<void> diskBack;
    std::shared_future<void> disk = diskBack.get_future().share();
    RecorderOptions options;
    options.ringFrames = 1000;
    options.beforeWrite = [disk] { disk.wait(); };
    const fs::path wav = dir / "slow.wav";
    EXPECT_EQ(app->recorderSlot().exchange(std::make_unique<WavRecorder>(wav.string(), 44100, options)), nullptr);
    std::vector<float> left(512), right(512);
    for (int b = 0; b < 130; ++b) renderBlock(left.data(), right.data(), 512); // one block fits the ring
    diskBack.set_value();
    EXPECT_TRUE(app->finishRecording());
    ASSERT_EQ(notices().size(), 1u);
    EXPECT_EQ(notices()[0], "Recording lost 1.50 s: the disk was too slow"); // 129 x 512 frames
    std::ifstream in(wav, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes.size(), 44u + 512u * 4u);
    EXPECT_EQ(bytes[40] | bytes[41] << 8, 2048);
}

TEST_F(AppTest, PanelButtons) {
    makeApp();
    // The settings button acts on its release only; OK reopens the devices.
    app->panelControlChanged(StandaloneApp::kSettingsButtonTag, 1.0f);
    EXPECT_EQ(shell.dialogs, 0);
    app->panelControlChanged(StandaloneApp::kSettingsButtonTag, 0.0f);
    EXPECT_EQ(shell.dialogs, 1);
    EXPECT_EQ(shell.opens, 0);
    EXPECT_EQ(app->settings.latency, 50);
    shell.dialogAnswer = true;
    app->panelControlChanged(StandaloneApp::kSettingsButtonTag, 0.0f);
    EXPECT_EQ(shell.opens, 1);
    EXPECT_EQ(app->settings.latency, 20);

    // Every change of the record switch toggles recording; a cancelled dialog leaves no file.
    app->panelControlChanged(StandaloneApp::kRecordButtonTag, 1.0f);
    EXPECT_EQ(shell.chooses, 1);
    EXPECT_FALSE(app->recording());
    shell.path = (dir / "button.wav").string();
    app->panelControlChanged(StandaloneApp::kRecordButtonTag, 1.0f);
    EXPECT_TRUE(app->recording());
    std::vector<std::int16_t> block(2 * 512);
    renderBlock(block.data(), 512);
    app->panelControlChanged(StandaloneApp::kRecordButtonTag, 0.0f);
    EXPECT_FALSE(app->recording());
    EXPECT_EQ(fs::file_size(shell.path), 44u + 2048u);
    app->panelControlChanged(7, 0.0f);
    EXPECT_EQ(shell.chooses, 2);
    EXPECT_TRUE(notices().empty());

    // A file that cannot be opened is reported and nothing records.
    shell.path = dir.string();
    app->panelControlChanged(StandaloneApp::kRecordButtonTag, 1.0f);
    EXPECT_FALSE(app->recording());
    ASSERT_EQ(notices().size(), 1u);
    EXPECT_EQ(notices()[0], "Error opening file");
}

TEST_F(AppTest, FailedFinalWriteIsReported) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    makeApp();
    EXPECT_TRUE(app->startRecording("/dev/full")); // recording goes on after the header failed
    ASSERT_EQ(notices().size(), 1u);
    EXPECT_EQ(notices()[0], "Error writing file");
    EXPECT_FALSE(app->finishRecording());
    ASSERT_EQ(notices().size(), 2u);
    EXPECT_EQ(notices()[1], "Error writing file");
}

TEST_F(AppTest, TeardownFinishesTheRecordingAndStopsTheOutput) {
    makeApp();
    const fs::path wav = dir / "end.wav";
    ASSERT_TRUE(app->startRecording(wav.string()));
    std::vector<std::int16_t> block(2 * 300);
    renderBlock(block.data(), 300);
    app.reset();
    EXPECT_EQ(theApp.load(), nullptr);
    EXPECT_EQ(fs::file_size(wav), 44u + 1200u);
}

} // namespace
} // namespace vl
