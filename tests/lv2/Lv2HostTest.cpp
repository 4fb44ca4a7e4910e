// The bundle loaded through lilv as an LV2 host loads it: a song rendered offline through
// the plug-in equals the renderer's output bit for bit (at two rates and several block
// lengths), each preset applies its program's values, the bank survives a state round
// trip through lilv, and odd rates, block lengths and many instances stay safe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>

#include "Lv2TestHost.h"
#include "instrument/Program.h"
#include "tests/render/MidiBytes.h"
#include "tools/render/MidiFile.h"
#include "tools/render/Timeline.h"
#include "platform/WavFormat.h"

using namespace lv2test;
namespace mt = vl::render::test;

namespace {

// The eight factory programs in slot order.
const char* const kProgramNames[8] = {"String Ensemble", "Velmor Lead", "Faraway pad",  "Velmor Flute",
                                      "Pad Lead",        "Soft Pad",    "Solo Strings", "Warm Strings"};

// A phrase that works every MIDI path: chords with notes on one frame and close together,
// sustain, pitch bend, controllers that set and step parameters, a program change on
// another channel and all notes off.
mt::Bytes song() {
    mt::Bytes body;
    mt::event(body, 0, {0x90, 60, 100});
    mt::event(body, 0, {0x90, 64, 90});
    mt::event(body, 7, {0x90, 67, 80});
    mt::event(body, 90, {0xB0, 64, 127});
    mt::event(body, 50, {0x80, 60, 0});
    mt::event(body, 30, {0xE0, 0, 80});
    mt::event(body, 45, {0xB0, 7, 100});
    mt::event(body, 33, {0xB0, 96, 40});
    mt::event(body, 21, {0xB0, 43, 127});
    mt::event(body, 1, {0x90, 48, 70});
    mt::event(body, 60, {0xB0, 64, 0});
    mt::event(body, 13, {0xC1, 3});
    mt::event(body, 3, {0x91, 72, 127});
    mt::event(body, 150, {0x81, 72, 0});
    mt::event(body, 0, {0x80, 64, 0});
    mt::event(body, 40, {0xE0, 0, 64});
    mt::event(body, 40, {0x90, 55, 64});
    mt::event(body, 200, {0xB0, 123, 0});
    mt::endOfTrack(body, 10);
    return mt::file(mt::header(0, 1, 480), {mt::track(body)});
}

// A folder of this run's files, removed at exit.
std::string tempDir() {
    static struct Folder {
        std::string path;
        Folder() {
            std::string pattern = ::testing::TempDir() + "vl-lv2-test-XXXXXX";
            if (mkdtemp(pattern.data())) path = pattern;
        }
        ~Folder() {
            std::error_code ignored;
            if (!path.empty()) std::filesystem::remove_all(path, ignored);
        }
    } folder;
    return folder.path;
}

std::string writeSong() {
    const std::string path = tempDir() + "/song.mid";
    const mt::Bytes bytes = song();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// Interleaved left/right floats the renderer wrote.
std::vector<float> renderWithTool(uint32_t rate, int block, int program) {
    const std::string out = tempDir() + "/render-" + std::to_string(rate) + "-" + std::to_string(block) + "-" +
                            std::to_string(program) + ".wav";
    const std::string command = std::string("\"") + VL_RENDER_PATH + "\" --quiet --float --tail 0.5 --rate " +
                                std::to_string(rate) + " --block " + std::to_string(block) + " --program " +
                                std::to_string(program) + " --output \"" + out + "\" \"" + writeSong() + "\"";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(out, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t header = vl::wavHeaderSize(vl::SampleFormat::Float32);
    if (bytes.size() < header) return {};
    std::vector<float> samples((bytes.size() - header) / sizeof(float));
    std::memcpy(samples.data(), bytes.data() + header, samples.size() * sizeof(float));
    return samples;
}

std::vector<vl::render::TimedEvent> timeline(uint32_t rate) {
    const mt::Bytes bytes = song();
    vl::render::Song parsed;
    vl::render::Timeline t;
    std::string error;
    if (!vl::render::parseMidi(bytes.data(), bytes.size(), parsed, error) ||
        !vl::render::buildTimeline(parsed, rate, t, error))
        ADD_FAILURE() << error;
    return t.events;
}

// The song through the plug-in in blocks, interleaved like the renderer's output.
std::vector<float> renderWithPlugin(Instance& plugin, uint32_t rate, uint32_t block, std::size_t frames) {
    const std::vector<vl::render::TimedEvent> events = timeline(rate);
    std::vector<float> out;
    out.reserve(2 * frames);
    std::size_t next = 0;
    for (std::size_t start = 0; start < frames; start += block) {
        const uint32_t n = uint32_t(std::min<std::size_t>(block, frames - start));
        std::vector<MidiAt> batch;
        while (next < events.size() && std::size_t(events[next].frame) < start + n) {
            const auto& e = events[next++];
            const uint8_t status = e.bytes[0] & 0xF0;
            MidiAt m{uint32_t(e.frame - int64_t(start)), {e.bytes[0], e.bytes[1], e.bytes[2]}};
            m.size = status == 0xC0 || status == 0xD0 ? 2 : 3;
            batch.push_back(m);
        }
        plugin.run(n, batch);
        for (uint32_t i = 0; i < n; ++i) {
            out.push_back(plugin.left[i]);
            out.push_back(plugin.right[i]);
        }
    }
    return out;
}

// Index of the first sample whose bits differ, -1 when all agree.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return long(i);
    return a.size() == b.size() ? -1 : long(std::min(a.size(), b.size()));
}

float peak(const std::vector<float>& s) {
    float p = 0.0f;
    for (float v : s) p = std::max(p, std::fabs(v));
    return p;
}

struct RenderCase {
    uint32_t rate;
    uint32_t block;
};

class Lv2Render : public ::testing::TestWithParam<RenderCase> {};

TEST_P(Lv2Render, EqualsTheRendererBitForBit) {
    const RenderCase c = GetParam();
    World world;
    ASSERT_NE(world.plugin, nullptr);
    const std::vector<float> expected = renderWithTool(c.rate, int(c.block), 0);
    ASSERT_GT(expected.size(), 2u * c.rate) << "the renderer wrote nothing";
    ASSERT_GT(peak(expected), 0.01f);
    Instance plugin(world, c.rate, c.block);
    ASSERT_TRUE(plugin.ok());
    const std::vector<float> got = renderWithPlugin(plugin, c.rate, c.block, expected.size() / 2);
    EXPECT_EQ(firstDifference(got, expected), -1) << "sample index (interleaved)";
}

INSTANTIATE_TEST_SUITE_P(RatesAndBlocks, Lv2Render,
                         ::testing::Values(RenderCase{44100, 1}, RenderCase{44100, 64}, RenderCase{44100, 512},
                                           RenderCase{48000, 1}, RenderCase{48000, 64}, RenderCase{48000, 512},
                                           RenderCase{48000, 8192}),
                         [](const auto& info) {
                             return std::to_string(info.param.rate) + "Hz_block" + std::to_string(info.param.block);
                         });

LilvState* presetState(World& world, const std::string& uri) {
    LilvNode* node = lilv_new_uri(world.world, uri.c_str());
    LilvState* state = lilv_state_new_from_world(world.world, world.urids.mapHandle(), node);
    lilv_node_free(node);
    return state;
}

std::string nameIn(const std::vector<uint8_t>& bank, int slot) {
    return std::string(reinterpret_cast<const char*>(bank.data() + 8 + 80 * slot));
}
float valueIn(const std::vector<uint8_t>& bank, int slot, int index) {
    float v;
    std::memcpy(&v, bank.data() + 8 + 80 * slot + 28 + 4 * index, sizeof v);
    return v;
}
int32_t currentIn(const std::vector<uint8_t>& bank) {
    int32_t v;
    std::memcpy(&v, bank.data() + 648, sizeof v);
    return v;
}

TEST(Lv2Presets, EachPresetAppliesItsProgramsValues) {
    World world;
    ASSERT_NE(world.plugin, nullptr);
    auto presets = world.presets();
    ASSERT_EQ(presets.size(), 8u);
    for (int p = 0; p < 8; ++p) {
        SCOPED_TRACE(kProgramNames[p]);
        const auto found = std::find_if(presets.begin(), presets.end(),
                                        [&](const auto& entry) { return entry.second == kProgramNames[p]; });
        ASSERT_NE(found, presets.end());
        LilvState* state = presetState(world, found->first);
        ASSERT_NE(state, nullptr);
        Instance plugin(world, 44100);
        ASSERT_TRUE(plugin.ok());
        plugin.restore(state);
        lilv_state_free(state);
        plugin.run(64);
        // The edit buffer, stored into the current slot by the save, holds the program's values.
        const std::vector<uint8_t> bank = plugin.savedChunk();
        ASSERT_EQ(bank.size(), 652u);
        for (int i = 0; i < 13; ++i) {
            EXPECT_EQ(plugin.controls[i], vl::factoryPrograms[std::size_t(p)].values[i]) << "port " << i;
            EXPECT_EQ(valueIn(bank, 0, i), vl::factoryPrograms[std::size_t(p)].values[i]) << "parameter " << i;
        }
    }
}

// A preset applied through the ports sounds exactly as the program selected in the renderer.
TEST(Lv2Presets, PresetSoundsAsTheProgram) {
    World world;
    ASSERT_NE(world.plugin, nullptr);
    const std::vector<float> expected = renderWithTool(44100, 512, 5);
    ASSERT_GT(peak(expected), 0.01f);
    std::string uri;
    for (const auto& [presetUri, label] : world.presets())
        if (label == "Soft Pad") uri = presetUri;
    LilvState* state = presetState(world, uri);
    ASSERT_NE(state, nullptr);
    Instance plugin(world, 44100, 512);
    plugin.restore(state);
    lilv_state_free(state);
    const std::vector<float> got = renderWithPlugin(plugin, 44100, 512, expected.size() / 2);
    EXPECT_EQ(firstDifference(got, expected), -1);
}

TEST(Lv2State, WholeBankSurvivesARoundTripThroughLilv) {
    World world;
    ASSERT_NE(world.plugin, nullptr);
    Instance first(world, 48000);
    ASSERT_TRUE(first.ok());
    LV2_URID type = 0;
    std::vector<uint8_t> bank = first.savedChunk(&type);
    ASSERT_EQ(bank.size(), 652u);
    EXPECT_EQ(type, world.urids.map(LV2_ATOM__Chunk));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bank.data()), 4), "RMLV");
    EXPECT_EQ(nameIn(bank, 0), "String Ensemble");

    // The musician renamed and edited slot 3 and left it selected.
    char name[28] = "My Edited Strings";
    std::memcpy(bank.data() + 8 + 80 * 3, name, sizeof name);
    const float level = 0.5f;
    std::memcpy(bank.data() + 8 + 80 * 3 + 28, &level, sizeof level);
    const int32_t current = 3;
    std::memcpy(bank.data() + 648, &current, sizeof current);
    ASSERT_EQ(first.restoreChunk(bank, type), LV2_STATE_SUCCESS);
    first.run(64);
    const std::vector<uint8_t> saved = first.savedChunk();
    ASSERT_EQ(saved.size(), 652u);
    EXPECT_EQ(nameIn(saved, 3), "My Edited Strings");
    EXPECT_EQ(valueIn(saved, 3, 0), 0.5f);
    EXPECT_EQ(currentIn(saved), 3);

    // Through lilv's own state, written out as Turtle and read back, into a fresh instance.
    LilvState* state = first.stateFromInstance();
    ASSERT_NE(state, nullptr);
    char* text = lilv_state_to_string(world.world, world.urids.mapHandle(), world.urids.unmapHandle(), state,
                                      "urn:test:session", nullptr);
    lilv_state_free(state);
    ASSERT_NE(text, nullptr);
    LilvState* reread = lilv_state_new_from_string(world.world, world.urids.mapHandle(), text);
    lilv_free(text);
    ASSERT_NE(reread, nullptr);
    Instance second(world, 48000);
    second.restore(reread);
    lilv_state_free(reread);
    second.run(64);
    EXPECT_EQ(second.savedChunk(), saved);
}

TEST(Lv2State, RefusesWhatIsNotABankAndKeepsItsOwn) {
    World world;
    ASSERT_NE(world.plugin, nullptr);
    Instance plugin(world, 44100);
    ASSERT_TRUE(plugin.ok());
    const std::vector<uint8_t> before = plugin.savedChunk();
    const LV2_URID chunk = world.urids.map(LV2_ATOM__Chunk);
    std::vector<uint8_t> shortBank(before.begin(), before.end() - 1);
    std::vector<uint8_t> wrongId = before;
    wrongId[0] = 'X';
    std::vector<uint8_t> renamed = before;
    renamed[8] = 'Q';
    EXPECT_EQ(plugin.restoreChunk(shortBank, chunk), LV2_STATE_ERR_BAD_TYPE);
    EXPECT_EQ(plugin.restoreChunk(wrongId, chunk), LV2_STATE_ERR_BAD_TYPE);
    EXPECT_EQ(plugin.restoreChunk(renamed, world.urids.map(LV2_ATOM__String)), LV2_STATE_ERR_BAD_TYPE);
    EXPECT_EQ(plugin.savedChunk(), before);
}

// Odd and extreme rates and block lengths, and many instances at once, render finite
// sound; a rate the engine cannot run at is refused at instantiation.
TEST(Lv2Safety, RatesBlocksAndManyInstances) {
    World world;
    ASSERT_NE(world.plugin, nullptr);
    std::vector<std::unique_ptr<Instance>> instances;
    const double rates[] = {22050, 44100, 88200, 96000, 192000, 384000};
    for (int k = 0; k < 18; ++k) {
        instances.push_back(std::make_unique<Instance>(world, rates[k % 6], k % 3 == 0 ? 0 : 8192));
        ASSERT_TRUE(instances.back()->ok()) << rates[k % 6];
    }
    const uint32_t blocks[] = {1, 333, 8192, 0, 17};
    for (std::size_t k = 0; k < instances.size(); ++k) {
        Instance& plugin = *instances[k];
        float loudest = 0.0f;
        for (uint32_t b : blocks) {
            plugin.run(b, {{0, {0x90, uint8_t(40 + k), 110}}});
            for (uint32_t i = 0; i < b; ++i) {
                ASSERT_TRUE(std::isfinite(plugin.left[i]) && std::isfinite(plugin.right[i]));
                loudest = std::max({loudest, std::fabs(plugin.left[i]), std::fabs(plugin.right[i])});
            }
        }
        EXPECT_GT(loudest, 0.0f);
        // Deactivated and activated again: still sound after a new note.
        lilv_instance_deactivate(plugin.instance);
        lilv_instance_activate(plugin.instance);
        plugin.run(4096, {{0, {0x90, 69, 110}}});
        EXPECT_GT(std::fabs(plugin.left[4095]) + std::fabs(plugin.left[3000]), 0.0f);
    }
    Instance tooSlow(world, 100);
    EXPECT_FALSE(tooSlow.ok());
}

} // namespace
