// The CLAP plug-in's audio against the VST 2 plug-in's and the renderer's, bit for bit.
//
// Each note draws from its module's note random generator, which every binary starts at
// the same state; so each rate runs in a process of its own (CTest runs this program once
// per rate) and the two plug-ins always play the same notes in the same order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "tests/clap/ClapTestHost.h"
#include "tests/support/PluginHost.h"
#include "tools/render/DemoPhrase.h"
#include "tools/render/Timeline.h"

using namespace claptest;

namespace {

constexpr std::uint32_t kMaxBlock = 512;

struct Stereo {
    std::vector<float> left, right;
    void append(const float* l, const float* r, std::size_t n) {
        left.insert(left.end(), l, l + n);
        right.insert(right.end(), r, r + n);
    }
};

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

double energy(const std::vector<float>& v) {
    double e = 0.0;
    for (float x : v) e += double(x) * double(x);
    return e;
}

// One timed happening of a test script, at an absolute frame.
struct Happening {
    enum Kind { ClapNoteOn, ClapNoteOff, Midi, Param } kind;
    std::int64_t frame;
    std::uint8_t a, b, c; // key/velocity (notes), MIDI bytes, parameter index
    double value; // parameter value
};

// Runs blocks of the given sizes: block(start, n, due, l, r) renders the n frames from
// frame start into l and r, given the script's happenings that fall in them; the outputs
// one after the other.
template <class Block>
Stereo renderBlocks(const std::vector<std::uint32_t>& blocks, const std::vector<Happening>& script, Block block) {
    Stereo out;
    std::vector<float> l(kMaxBlock), r(kMaxBlock);
    std::int64_t start = 0;
    std::size_t next = 0;
    for (std::uint32_t n : blocks) {
        const std::size_t first = next;
        while (next < script.size() && script[next].frame < start + n) ++next;
        block(start, n, std::span<const Happening>(script.data() + first, next - first), l.data(), r.data());
        out.append(l.data(), r.data(), n);
        start += n;
    }
    return out;
}

// The CLAP plug-in, activated as a host does.
class ClapSide {
public:
    ClapSide(const ClapLibrary& library, double rate) {
        plugin = host.create(library);
        if (!plugin) return;
        activated = plugin->activate(plugin, rate, 1, kMaxBlock) && plugin->start_processing(plugin);
    }
    ~ClapSide() {
        if (!plugin) return;
        if (activated) {
            plugin->stop_processing(plugin);
            plugin->deactivate(plugin);
        }
        plugin->destroy(plugin);
    }
    ClapSide(const ClapSide&) = delete;
    ClapSide& operator=(const ClapSide&) = delete;

    // Renders blocks of the given sizes with the script's happenings at their frames.
    Stereo render(const std::vector<std::uint32_t>& blocks, const std::vector<Happening>& script) {
        return renderBlocks(blocks, script,
                            [&](std::int64_t start, std::uint32_t n, std::span<const Happening> due, float* l,
                                float* r) {
                                InputEvents in;
                                OutputEvents ignored;
                                for (const Happening& h : due) {
                                    const auto t = static_cast<std::uint32_t>(h.frame - start);
                                    switch (h.kind) {
                                    case Happening::ClapNoteOn:
                                        in.note(CLAP_EVENT_NOTE_ON, t, 0, h.a, h.b / 127.0);
                                        break;
                                    case Happening::ClapNoteOff:
                                        in.note(CLAP_EVENT_NOTE_OFF, t, 0, h.a, h.b / 127.0);
                                        break;
                                    case Happening::Midi:
                                        in.midi(t, h.a, h.b, h.c);
                                        break;
                                    case Happening::Param:
                                        in.param(t, h.a, h.value);
                                        break;
                                    }
                                }
                                EXPECT_EQ(processBlock(plugin, l, r, n, in, ignored), CLAP_PROCESS_CONTINUE);
                            });
    }

    TestHost host;
    const clap_plugin_t* plugin = nullptr;
    bool activated = false;
};

// The VST 2 plug-in in a host that splits its blocks at parameter changes: the events
// before the change go with the first part, the change is set between the two calls.
class VstSide {
public:
    VstSide(plugtest::Library& library, float rate) {
        effect = library.pluginMain ? library.pluginMain(plugtest::recordingHost) : nullptr;
        if (!effect) return;
        plugtest::dispatch(effect, effOpen);
        plugtest::dispatch(effect, effSetSampleRate, 0, 0, nullptr, rate);
        plugtest::dispatch(effect, effSetBlockSize, 0, kMaxBlock);
        plugtest::dispatch(effect, effMainsChanged, 0, 1);
    }
    ~VstSide() {
        if (!effect) return;
        plugtest::dispatch(effect, effMainsChanged, 0, 0);
        plugtest::dispatch(effect, effClose);
    }
    VstSide(const VstSide&) = delete;
    VstSide& operator=(const VstSide&) = delete;

    Stereo render(const std::vector<std::uint32_t>& blocks, const std::vector<Happening>& script) {
        return renderBlocks(
            blocks, script,
            [&](std::int64_t start, std::uint32_t n, std::span<const Happening> due, float* l, float* r) {
                std::int64_t segment = start;
                // Messages wait for the part that holds their frame.
                std::vector<Happening> waiting;
                auto renderTo = [&](std::int64_t end) {
                    list.clear();
                    std::vector<Happening> later;
                    for (const Happening& h : waiting) {
                        if (h.frame >= end) {
                            later.push_back(h);
                            continue;
                        }
                        const int offset = static_cast<int>(h.frame - segment);
                        if (h.kind == Happening::ClapNoteOn) list.add(offset, 0x90, h.a, h.b);
                        else if (h.kind == Happening::ClapNoteOff) list.add(offset, 0x80, h.a, h.b);
                        else list.add(offset, h.a, h.b, h.c);
                    }
                    waiting.swap(later);
                    if (list.numEvents > 0) plugtest::dispatch(effect, effProcessEvents, 0, 0, list.get());
                    float* outputs[2] = {l + (segment - start), r + (segment - start)};
                    effect->processReplacing(effect, nullptr, outputs, static_cast<VstInt32>(end - segment));
                    segment = end;
                };
                for (const Happening& h : due) {
                    if (h.kind != Happening::Param) {
                        waiting.push_back(h);
                        continue;
                    }
                    if (h.frame > segment) renderTo(h.frame);
                    effect->setParameter(effect, h.a, static_cast<float>(h.value));
                }
                if (start + n > segment) renderTo(start + n);
            });
    }

    AEffect* effect = nullptr;
    plugtest::EventList<512> list;
};

// The built-in phrase as the renderer times it, and blocks of 512 frames up to its end
// and the default tail of 3 seconds.
void demoScript(std::uint32_t rate, std::vector<Happening>& script, std::vector<std::uint32_t>& blocks) {
    vl::render::Timeline timeline;
    std::string error;
    ASSERT_TRUE(vl::render::buildTimeline(vl::render::demoPhrase(), rate, timeline, error)) << error;
    for (const vl::render::TimedEvent& e : timeline.events)
        script.push_back({Happening::Midi, e.frame, e.bytes[0], e.bytes[1], e.bytes[2], 0.0});
    std::int64_t total = timeline.endFrame + 3 * static_cast<std::int64_t>(rate);
    while (total > 0) {
        const auto n = static_cast<std::uint32_t>(total < kMaxBlock ? total : kMaxBlock);
        blocks.push_back(n);
        total -= n;
    }
}

#if defined(VL_RENDER_PATH)
// The renderer's float output of the built-in phrase at rate (the samples of its data
// chunk); empty when it could not run.
Stereo rendererOutput(std::uint32_t rate) {
    Stereo out;
    const std::string file = std::string(VL_TEST_OUTPUT_DIR) + "/clap-demo-" + std::to_string(rate) + ".wav";
    const std::string command = std::string(VL_RENDER_PATH) + " --quiet --float --rate " + std::to_string(rate) +
                                " --output " + file;
    if (std::system(command.c_str()) != 0) return out;
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(file.c_str());
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        std::uint32_t size;
        std::memcpy(&size, &bytes[at + 4], 4);
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            const std::size_t frames = std::min<std::size_t>(size, bytes.size() - at - 8) / 8;
            for (std::size_t i = 0; i < frames; ++i) {
                float lr[2];
                std::memcpy(lr, &bytes[at + 8 + 8 * i], 8);
                out.left.push_back(lr[0]);
                out.right.push_back(lr[1]);
            }
            break;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}
#endif

class ClapRender : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ClapRender, SameBitsAsTheVstPluginAndTheRenderer) {
    const std::uint32_t rate = GetParam();
    ClapLibrary clapLibrary;
    plugtest::Library vstLibrary;
    ASSERT_TRUE(clapLibrary.factory) << "velmorloom.clap could not be loaded";
    ASSERT_NE(vstLibrary.pluginMain, nullptr);

    // The built-in phrase in blocks of 512, as the renderer plays it: MIDI notes, pedal and
    // pitch bend at their offsets.
    {
        std::vector<Happening> script;
        std::vector<std::uint32_t> blocks;
        demoScript(rate, script, blocks);
        ClapSide clap(clapLibrary, rate);
        VstSide vst(vstLibrary, static_cast<float>(rate));
        ASSERT_TRUE(clap.activated);
        ASSERT_NE(vst.effect, nullptr);
        const Stereo fromClap = clap.render(blocks, script);
        const Stereo fromVst = vst.render(blocks, script);
        EXPECT_GT(energy(fromClap.left), 1.0);
        EXPECT_TRUE(sameBits(fromClap.left, fromVst.left));
        EXPECT_TRUE(sameBits(fromClap.right, fromVst.right));
#if defined(VL_RENDER_PATH)
        const Stereo fromRenderer = rendererOutput(rate);
        ASSERT_EQ(fromRenderer.left.size(), fromClap.left.size());
        EXPECT_TRUE(sameBits(fromClap.left, fromRenderer.left));
        EXPECT_TRUE(sameBits(fromClap.right, fromRenderer.right));
#endif
    }

    // CLAP notes and MIDI at offsets inside uneven blocks, parameter changes inside blocks
    // (the render splits there), one at a block's first frame and one in the same frame as
    // a note.
    {
        const std::vector<Happening> script = {
            {Happening::ClapNoteOn, 17, 60, 100, 0, 0.0},
            {Happening::Midi, 130, 0x90, 64, 90, 0.0},
            {Happening::Param, 301, 3, 0, 0, 0.9}, // Brightness, inside the second block
            {Happening::Midi, 356, 0xB0, 7, 100, 0.0}, // Level by controller
            {Happening::ClapNoteOn, 356, 67, 127, 0, 0.0},
            {Happening::Param, 356, 5, 0, 0, 0.05}, // Ensemble Amount, same frame as a note
            {Happening::Param, 512, 7, 0, 0, 0.8}, // Phaser Rate, first frame of a block
            {Happening::Midi, 700, 0xE0, 0, 80, 0.0}, // pitch bend
            {Happening::Param, 777, 12, 0, 0, 0.1}, // Voices: the pool is rebuilt
            {Happening::ClapNoteOn, 778, 48, 64, 0, 0.0},
            {Happening::ClapNoteOff, 1500, 60, 0, 0, 0.0},
            {Happening::Midi, 1501, 0x80, 64, 0, 0.0},
            {Happening::Param, 1502, 0, 0, 0, 0.5},
            {Happening::ClapNoteOff, 2048, 48, 0, 0, 0.0},
        };
        const std::vector<std::uint32_t> blocks = {200, 312, 512, 1, 37, 450, 512, 512, 300, 512, 512};
        ClapSide clap(clapLibrary, rate);
        VstSide vst(vstLibrary, static_cast<float>(rate));
        ASSERT_TRUE(clap.activated);
        const Stereo fromClap = clap.render(blocks, script);
        const Stereo fromVst = vst.render(blocks, script);
        EXPECT_GT(energy(fromClap.left), 1e-5);
        EXPECT_TRUE(sameBits(fromClap.left, fromVst.left));
        EXPECT_TRUE(sameBits(fromClap.right, fromVst.right));

        // The split matters: the same changes applied at the start of their blocks (the
        // last thing this process plays) give other samples.
        std::vector<Happening> blockwise = script;
        std::int64_t start = 0;
        std::size_t i = 0;
        for (std::uint32_t n : blocks) {
            for (; i < blockwise.size() && blockwise[i].frame < start + n; ++i)
                if (blockwise[i].kind == Happening::Param) blockwise[i].frame = start;
            start += n;
        }
        std::stable_sort(blockwise.begin(), blockwise.end(),
                         [](const Happening& a, const Happening& b) { return a.frame < b.frame; });
        ClapSide coarse(clapLibrary, rate);
        ASSERT_TRUE(coarse.activated);
        EXPECT_FALSE(sameBits(coarse.render(blocks, blockwise).left, fromClap.left));
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, ClapRender, ::testing::Values(44100u, 48000u, 96000u),
                         [](const ::testing::TestParamInfo<std::uint32_t>& info) {
                             return "at" + std::to_string(info.param);
                         });

} // namespace
