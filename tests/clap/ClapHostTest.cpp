// The CLAP plug-in through our test host: the factory and its one instrument, the
// extensions' answers, parameters and their texts against the VST 2 plug-in's, the state
// as the VST 2 bank chunk, refused streams, programs through preset discovery, and which
// thread calls what.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/clap/ClapTestHost.h"
#include "tests/support/PluginHost.h"

using namespace claptest;

namespace {

ClapLibrary& clapLibrary() {
    static ClapLibrary library;
    return library;
}
plugtest::Library& vstLibrary() {
    static plugtest::Library library;
    return library;
}

// One CLAP instance and one VST 2 instance, both fresh.
class ClapInstance : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(clapLibrary().factory) << "velmorloom.clap could not be loaded";
        plugin = host.create(clapLibrary());
        ASSERT_NE(plugin, nullptr);
        params = extension<clap_plugin_params_t>(plugin, CLAP_EXT_PARAMS);
        state = extension<clap_plugin_state_t>(plugin, CLAP_EXT_STATE);
        ASSERT_NE(params, nullptr);
        ASSERT_NE(state, nullptr);
        ASSERT_NE(vstLibrary().pluginMain, nullptr);
        effect = vstLibrary().pluginMain(plugtest::recordingHost);
        ASSERT_NE(effect, nullptr);
        plugtest::dispatch(effect, effOpen);
    }
    void TearDown() override {
        if (plugin) plugin->destroy(plugin);
        if (effect) plugtest::dispatch(effect, effClose);
    }

    double value(clap_id id) {
        double v = -1.0;
        EXPECT_TRUE(params->get_value(plugin, id, &v));
        return v;
    }
    std::string text(clap_id id, double v) {
        char buffer[64] = {};
        EXPECT_TRUE(params->value_to_text(plugin, id, v, buffer, sizeof buffer));
        return buffer;
    }
    std::string vstDisplay(int index, float v) {
        effect->setParameter(effect, index, v);
        char buffer[64] = {};
        plugtest::dispatch(effect, effGetParamDisplay, index, 0, buffer);
        return buffer;
    }
    std::vector<std::uint8_t> vstBank() {
        void* data = nullptr;
        const auto size = plugtest::dispatch(effect, effGetChunk, 0, 0, &data);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        return std::vector<std::uint8_t>(bytes, bytes + size);
    }
    // Flushes params outside processing with the given events.
    void flush(const InputEvents& in, OutputEvents& out) { params->flush(plugin, in.get(), out.get()); }

    TestHost host;
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    AEffect* effect = nullptr;
};

// Streams for the state extension.
struct MemoryOut {
    std::vector<std::uint8_t> bytes;
    std::uint64_t chunkLimit = ~0ull; // the most one write takes
    clap_ostream_t stream{this, [](const clap_ostream_t* s, const void* data, std::uint64_t size) -> std::int64_t {
                              auto* self = static_cast<MemoryOut*>(s->ctx);
                              const std::uint64_t n = size < self->chunkLimit ? size : self->chunkLimit;
                              const auto* b = static_cast<const std::uint8_t*>(data);
                              self->bytes.insert(self->bytes.end(), b, b + n);
                              return static_cast<std::int64_t>(n);
                          }};
};
struct MemoryIn {
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    std::uint64_t chunkLimit = ~0ull; // the most one read gives
    bool failAtEnd = false; // -1 instead of 0 at the end
    clap_istream_t stream{this, [](const clap_istream_t* s, void* data, std::uint64_t size) -> std::int64_t {
                              auto* self = static_cast<MemoryIn*>(s->ctx);
                              std::uint64_t n = self->bytes.size() - self->at;
                              if (n == 0) return self->failAtEnd ? -1 : 0;
                              if (n > size) n = size;
                              if (n > self->chunkLimit) n = self->chunkLimit;
                              std::memcpy(data, self->bytes.data() + self->at, n);
                              self->at += n;
                              return static_cast<std::int64_t>(n);
                          }};
};

TEST(ClapEntry, FactoryHoldsOneInstrumentWithItsStableId) {
    const ClapLibrary& library = clapLibrary();
    ASSERT_NE(library.entry, nullptr);
    EXPECT_EQ(library.entry->clap_version.major, 1u);
    ASSERT_TRUE(library.initialised);
    ASSERT_NE(library.factory, nullptr);
    EXPECT_EQ(library.entry->get_factory("clap.no-such-factory"), nullptr);
    EXPECT_EQ(library.factory->get_plugin_count(library.factory), 1u);
    EXPECT_EQ(library.factory->get_plugin_descriptor(library.factory, 1), nullptr);
    const clap_plugin_descriptor_t* d = library.factory->get_plugin_descriptor(library.factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->id, "com.tarlowe.velmorloom");
    EXPECT_STREQ(d->name, "Velmor Loom");
    EXPECT_STREQ(d->vendor, "Tarlowe");
    std::set<std::string> features;
    for (const char* const* f = d->features; f && *f; ++f) features.insert(*f);
    EXPECT_TRUE(features.count("instrument"));
    EXPECT_TRUE(features.count("synthesizer"));

    TestHost host;
    EXPECT_EQ(library.factory->create_plugin(library.factory, &host.host, "com.tarlowe.other"), nullptr);
    const clap_plugin_t* p = library.factory->create_plugin(library.factory, &host.host, d->id);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->desc, d);
    ASSERT_TRUE(p->init(p));
    // Rates the instrument cannot play at are refused; any other rate and block size work.
    EXPECT_FALSE(p->activate(p, 500.0, 1, 512));
    EXPECT_TRUE(p->activate(p, 22050.0, 1, 4096));
    p->deactivate(p);
    EXPECT_TRUE(p->activate(p, 192000.0, 32, 32));
    p->reset(p);
    p->deactivate(p);
    p->destroy(p);
}

TEST_F(ClapInstance, PortsLatencyRenderAndPanelAnswers) {
    const auto* audio = extension<clap_plugin_audio_ports_t>(plugin, CLAP_EXT_AUDIO_PORTS);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->count(plugin, true), 0u);
    EXPECT_EQ(audio->count(plugin, false), 1u);
    clap_audio_port_info_t port{};
    ASSERT_TRUE(audio->get(plugin, 0, false, &port));
    EXPECT_EQ(port.channel_count, 2u);
    EXPECT_EQ(port.flags & CLAP_AUDIO_PORT_IS_MAIN, CLAP_AUDIO_PORT_IS_MAIN);
    EXPECT_STREQ(port.port_type, "stereo");
    EXPECT_FALSE(audio->get(plugin, 1, false, &port));
    EXPECT_FALSE(audio->get(plugin, 0, true, &port));

    const auto* notes = extension<clap_plugin_note_ports_t>(plugin, CLAP_EXT_NOTE_PORTS);
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->count(plugin, true), 1u);
    EXPECT_EQ(notes->count(plugin, false), 0u);
    clap_note_port_info_t notePort{};
    ASSERT_TRUE(notes->get(plugin, 0, true, &notePort));
    EXPECT_EQ(notePort.supported_dialects, CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI);

    const auto* latency = extension<clap_plugin_latency_t>(plugin, CLAP_EXT_LATENCY);
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->get(plugin), 0u);
    const auto* render = extension<clap_plugin_render_t>(plugin, CLAP_EXT_RENDER);
    ASSERT_NE(render, nullptr);
    EXPECT_FALSE(render->has_hard_realtime_requirement(plugin));
    EXPECT_TRUE(render->set(plugin, CLAP_RENDER_OFFLINE));
    EXPECT_TRUE(render->set(plugin, CLAP_RENDER_REALTIME));

    const auto* gui = extension<clap_plugin_gui_t>(plugin, CLAP_EXT_GUI);
    ASSERT_NE(gui, nullptr);
#if defined(_WIN32)
    const char* api = CLAP_WINDOW_API_WIN32;
    const char* other = CLAP_WINDOW_API_X11;
#else
    const char* api = CLAP_WINDOW_API_X11;
    const char* other = CLAP_WINDOW_API_WIN32;
#endif
    EXPECT_TRUE(gui->is_api_supported(plugin, api, false));
    EXPECT_FALSE(gui->is_api_supported(plugin, api, true));
    EXPECT_FALSE(gui->is_api_supported(plugin, other, false));
    const char* preferred = nullptr;
    bool floating = true;
    ASSERT_TRUE(gui->get_preferred_api(plugin, &preferred, &floating));
    EXPECT_STREQ(preferred, api);
    EXPECT_FALSE(floating);
    std::uint32_t w = 0, h = 0;
    ASSERT_TRUE(gui->get_size(plugin, &w, &h));
    EXPECT_EQ(w, 727u);
    EXPECT_EQ(h, 301u);
    EXPECT_FALSE(gui->can_resize(plugin));
    EXPECT_FALSE(gui->set_size(plugin, 800, 301));
    EXPECT_FALSE(gui->set_scale(plugin, 2.0));

    // Without the host's timer the X11 panel could never run: refused there. With it, one
    // timer while the panel exists, given back on destroy.
    EXPECT_EQ(extension<void>(plugin, "clap.no-such-extension"), nullptr);
    ASSERT_TRUE(gui->create(plugin, api, false));
    ASSERT_EQ(host.timers.size(), 1u);
    EXPECT_GE(host.timers[0].second, 10u);
    EXPECT_LE(host.timers[0].second, 50u);
    gui->destroy(plugin);
    EXPECT_TRUE(host.timers.empty());
}

TEST_F(ClapInstance, ParametersAreTheVstParametersWithTheirTexts) {
    ASSERT_EQ(params->count(plugin), 13u);
    for (std::uint32_t i = 0; i < 13; ++i) {
        clap_param_info_t info{};
        ASSERT_TRUE(params->get_info(plugin, i, &info));
        EXPECT_EQ(info.id, i);
        char name[64] = {};
        plugtest::dispatch(effect, effGetParamName, static_cast<VstInt32>(i), 0, name);
        EXPECT_STREQ(info.name, name);
        EXPECT_EQ(info.flags & CLAP_PARAM_IS_AUTOMATABLE, CLAP_PARAM_IS_AUTOMATABLE);
        EXPECT_EQ(info.flags & CLAP_PARAM_IS_STEPPED, 0u);
        EXPECT_EQ(info.min_value, 0.0);
        EXPECT_EQ(info.max_value, 1.0);
        // The defaults are program 0, which a fresh instance plays.
        const double vst = effect->getParameter(effect, static_cast<VstInt32>(i));
        EXPECT_EQ(info.default_value, vst) << info.name;
        EXPECT_EQ(value(i), vst) << info.name;
    }
    clap_param_info_t info{};
    EXPECT_FALSE(params->get_info(plugin, 13, &info));
    double v = 0.0;
    EXPECT_FALSE(params->get_value(plugin, 13, &v));

    // The texts of the VST 2 plug-in's display for the same float, over the whole range.
    for (int i = 0; i < 13; ++i)
        for (int k = 0; k <= 200; ++k) {
            const float f = static_cast<float>(k) / 200.0f;
            ASSERT_EQ(text(static_cast<clap_id>(i), f), vstDisplay(i, f)) << "parameter " << i << " at " << f;
        }
    // The figures of the table of displays.
    EXPECT_EQ(text(8, 0.0), "OFF");
    EXPECT_EQ(text(8, 0.01f), "OFF");
    EXPECT_EQ(text(8, 0.015f), "001");
    EXPECT_EQ(text(6, 0.5f), "+0");
    EXPECT_EQ(text(6, 0.0f), "-50");
    EXPECT_EQ(text(12, 0.0290f), "01");
    EXPECT_EQ(text(12, 1.0f), "32");
    EXPECT_EQ(text(10, 0.35f), "034");
}

TEST_F(ClapInstance, EveryDisplayedTextReadsBackToAValueShowingIt) {
    for (clap_id i = 0; i < 13; ++i) {
        std::set<std::string> shown;
        for (int k = 0; k <= 4000; ++k) shown.insert(text(i, static_cast<float>(k) / 4000.0f));
        for (const std::string& t : shown) {
            double v = -1.0;
            ASSERT_TRUE(params->text_to_value(plugin, i, t.c_str(), &v)) << i << " '" << t << "'";
            EXPECT_GE(v, 0.0);
            EXPECT_LE(v, 1.0);
            EXPECT_EQ(text(i, v), t) << "parameter " << i;
        }
    }
    double v = -1.0;
    EXPECT_TRUE(params->text_to_value(plugin, 0, " 34 %", &v));
    EXPECT_EQ(text(0, v), "034");
    EXPECT_TRUE(params->text_to_value(plugin, 6, "-10", &v));
    EXPECT_EQ(text(6, v), "-10");
    EXPECT_TRUE(params->text_to_value(plugin, 8, "0", &v)); // Phaser Depth: off
    EXPECT_EQ(text(8, v), "OFF");
    for (const auto& [id, bad] : std::vector<std::pair<clap_id, const char*>>{
             {0, "abc"}, {0, "101"}, {0, "-1"}, {0, ""}, {6, "+51"}, {12, "33"}, {12, "0"}, {13, "1"}})
        EXPECT_FALSE(params->text_to_value(plugin, id, bad, &v)) << id << " '" << bad << "'";
}

TEST_F(ClapInstance, FlushAppliesValuesOutsideProcessingWithoutEchoingThem) {
    InputEvents in;
    OutputEvents out;
    in.param(0, 3, 0.7);
    in.param(0, 12, 0.0);
    in.param(0, 99, 0.5); // no such parameter
    flush(in, out);
    EXPECT_EQ(value(3), static_cast<double>(0.7f));
    EXPECT_EQ(value(12), 0.0);
    EXPECT_TRUE(out.events.empty());
}

TEST_F(ClapInstance, StateIsTheVstBankChunkAndLoadsBack) {
    // The same edits in both plug-ins.
    InputEvents in;
    OutputEvents out;
    in.param(0, 0, 0.25);
    in.param(0, 11, 0.8);
    flush(in, out);
    effect->setParameter(effect, 0, 0.25f);
    effect->setParameter(effect, 11, 0.8f);

    MemoryOut saved;
    saved.chunkLimit = 100; // a stream that takes at most 100 bytes a call
    ASSERT_TRUE(state->save(plugin, &saved.stream));
    const std::vector<std::uint8_t> bank = vstBank();
    ASSERT_EQ(saved.bytes.size(), 652u);
    EXPECT_EQ(saved.bytes, bank);
    EXPECT_EQ(std::memcmp(saved.bytes.data(), "RMLV\x01\0\0\0String Ensemble", 23), 0);

    // Into a second instance, read in pieces: the same values and the same chunk.
    TestHost otherHost;
    const clap_plugin_t* other = otherHost.create(clapLibrary());
    ASSERT_NE(other, nullptr);
    const auto* otherState = extension<clap_plugin_state_t>(other, CLAP_EXT_STATE);
    const auto* otherParams = extension<clap_plugin_params_t>(other, CLAP_EXT_PARAMS);
    MemoryIn source;
    source.bytes = saved.bytes;
    source.chunkLimit = 64;
    ASSERT_TRUE(otherState->load(other, &source.stream));
    for (clap_id i = 0; i < 13; ++i) {
        double v = -1.0;
        ASSERT_TRUE(otherParams->get_value(other, i, &v));
        EXPECT_EQ(v, value(i));
    }
    MemoryOut again;
    ASSERT_TRUE(otherState->save(other, &again.stream));
    EXPECT_EQ(again.bytes, saved.bytes);
    // Selecting a program on load told the host to read the values again.
    otherHost.runMainThreadCallbacks(other);
    EXPECT_GE(otherHost.count("params.rescan 1"), 1);
    other->destroy(other);
}

TEST_F(ClapInstance, BadStreamsAreRefusedAndChangeNothing) {
    InputEvents in;
    OutputEvents out;
    in.param(0, 4, 0.9);
    flush(in, out);
    MemoryOut before;
    ASSERT_TRUE(state->save(plugin, &before.stream));

    // A good bank of other values, then spoilt in every way.
    std::vector<std::uint8_t> good = before.bytes;
    for (std::size_t p = 0; p < 8; ++p) {
        float level = 0.125f;
        std::memcpy(&good[8 + 80 * p + 28], &level, 4);
    }
    auto spoilt = [&](auto change) {
        std::vector<std::uint8_t> b = good;
        change(b);
        return b;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool failAtEnd;
    };
    const std::vector<Case> cases = {
        {"empty", {}, false},
        {"truncated", spoilt([](auto& b) { b.resize(651); }), false},
        {"one byte too many", spoilt([](auto& b) { b.push_back(0); }), false},
        {"program chunk", spoilt([](auto& b) { b.resize(88); }), false},
        {"foreign id", spoilt([](auto& b) { b[0] = 'X'; }), false},
        {"newer version", spoilt([](auto& b) { b[4] = 2; }), false},
        {"read error", good, true},
    };
    for (const Case& c : cases) {
        MemoryIn source;
        source.bytes = c.bytes;
        source.failAtEnd = c.failAtEnd;
        EXPECT_FALSE(state->load(plugin, &source.stream)) << c.what;
        MemoryOut after;
        ASSERT_TRUE(state->save(plugin, &after.stream));
        EXPECT_EQ(after.bytes, before.bytes) << c.what;
        EXPECT_EQ(value(4), static_cast<double>(0.9f)) << c.what;
    }
    // The good one loads (version 0 too, as the VST 2 chunk does).
    MemoryIn source;
    source.bytes = spoilt([](auto& b) { b[4] = 0; });
    EXPECT_TRUE(state->load(plugin, &source.stream));
    EXPECT_EQ(value(0), 0.125);
}

// An indexer that collects what the provider declares.
struct Indexer {
    std::vector<clap_preset_discovery_location_t> locations;
    std::vector<std::pair<std::string, std::string>> presets; // name, load key
    std::vector<std::string> pluginIds;
    std::vector<std::uint32_t> flags;
    clap_preset_discovery_indexer_t record{};
    clap_preset_discovery_metadata_receiver_t receiver{};

    Indexer() {
        record.clap_version = kClapVersion;
        record.name = "test indexer";
        record.indexer_data = this;
        record.declare_filetype = [](const clap_preset_discovery_indexer_t*, const clap_preset_discovery_filetype_t*) {
            return true;
        };
        record.declare_location = [](const clap_preset_discovery_indexer_t* i,
                                     const clap_preset_discovery_location_t* l) {
            static_cast<Indexer*>(i->indexer_data)->locations.push_back(*l);
            return true;
        };
        record.declare_soundpack = [](const clap_preset_discovery_indexer_t*, const clap_preset_discovery_soundpack*) {
            return true;
        };
        record.get_extension = [](const clap_preset_discovery_indexer_t*, const char*) -> const void* {
            return nullptr;
        };
        receiver.receiver_data = this;
        receiver.on_error = [](const clap_preset_discovery_metadata_receiver_t*, std::int32_t, const char*) {};
        receiver.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* r, const char* name,
                                   const char* key) {
            static_cast<Indexer*>(r->receiver_data)->presets.push_back({name, key ? key : ""});
            return true;
        };
        receiver.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t* r,
                                    const clap_universal_plugin_id_t* id) {
            static_cast<Indexer*>(r->receiver_data)->pluginIds.push_back(std::string(id->abi) + ":" + id->id);
        };
        receiver.set_soundpack_id = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
        receiver.set_flags = [](const clap_preset_discovery_metadata_receiver_t* r, std::uint32_t f) {
            static_cast<Indexer*>(r->receiver_data)->flags.push_back(f);
        };
        receiver.add_creator = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
        receiver.set_description = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
        receiver.set_timestamps = [](const clap_preset_discovery_metadata_receiver_t*, clap_timestamp, clap_timestamp) {
        };
        receiver.add_feature = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
        receiver.add_extra_info = [](const clap_preset_discovery_metadata_receiver_t*, const char*, const char*) {};
    }
};

TEST_F(ClapInstance, PresetDiscoveryListsTheProgramsAndLoadingOneSelectsIt) {
    const auto* factory = static_cast<const clap_preset_discovery_factory_t*>(
        clapLibrary().entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(clapLibrary().entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT), factory);
    ASSERT_EQ(factory->count(factory), 1u);
    const clap_preset_discovery_provider_descriptor_t* d = factory->get_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    Indexer indexer;
    const clap_preset_discovery_provider_t* provider = factory->create(factory, &indexer.record, d->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(indexer.locations.size(), 1u);
    EXPECT_EQ(indexer.locations[0].kind, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN);
    EXPECT_EQ(indexer.locations[0].location, nullptr);
    ASSERT_TRUE(provider->get_metadata(provider, indexer.locations[0].kind, nullptr, &indexer.receiver));
    const char* names[8] = {"String Ensemble", "Velmor Lead", "Faraway pad",  "Velmor Flute",
                            "Pad Lead",        "Soft Pad",    "Solo Strings", "Warm Strings"};
    ASSERT_EQ(indexer.presets.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(indexer.presets[i].first, names[i]);
        EXPECT_EQ(indexer.presets[i].second, std::to_string(i));
        EXPECT_EQ(indexer.pluginIds[i], "clap:com.tarlowe.velmorloom");
        EXPECT_EQ(indexer.flags[i], CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
    }
    provider->destroy(provider);

    // Loading "5" plays Soft Pad: the values the VST 2 plug-in has with program 5.
    const auto* load = extension<clap_plugin_preset_load_t>(plugin, CLAP_EXT_PRESET_LOAD);
    ASSERT_NE(load, nullptr);
    ASSERT_TRUE(load->from_location(plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "5"));
    EXPECT_EQ(host.count("preset_load.loaded 5"), 1);
    plugtest::dispatch(effect, effSetProgram, 0, 5);
    for (clap_id i = 0; i < 13; ++i) EXPECT_EQ(value(i), effect->getParameter(effect, static_cast<VstInt32>(i)));
    for (const char* bad : {"8", "-1", "55", ""}) {
        EXPECT_FALSE(load->from_location(plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, bad)) << bad;
    }
    EXPECT_FALSE(load->from_location(plugin, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "presets/soft-pad.fxp", "1"));
    EXPECT_EQ(host.count("preset_load.on_error 8"), 1);
}

// process on an audio thread of the host's, everything else on the main thread: MIDI that
// changes parameters and programs inside process reaches the host as value events and,
// through the main thread, as a rescan and a dirty state; nothing the plug-in asks of the
// host comes from a thread the interface forbids.
TEST_F(ClapInstance, ThreadsCallWhatTheyMay) {
    ASSERT_TRUE(plugin->activate(plugin, 48000.0, 1, 256));
    host.takeCalls();
    std::vector<OutputEvents::Event> outgoing;
    std::thread audio([&] {
        host.setAudioThread(std::this_thread::get_id());
        ASSERT_TRUE(plugin->start_processing(plugin));
        std::vector<float> l(256), r(256);
        InputEvents in;
        OutputEvents out;
        in.midi(10, 0xB0, 7, 64); // Level by controller
        in.midi(20, 0x90, 60, 100);
        processBlock(plugin, l.data(), r.data(), 256, in, out);
        in.clear();
        in.midi(5, 0xC0, 5, 0); // program change: Soft Pad
        processBlock(plugin, l.data(), r.data(), 256, in, out);
        plugin->stop_processing(plugin);
        outgoing = out.events;
    });
    audio.join();
    host.runMainThreadCallbacks(plugin);
    plugin->deactivate(plugin);

    // Level 64/127 from the first block, Soft Pad's values from the second.
    bool levelReported = false;
    for (const auto& e : outgoing)
        if (e.type == CLAP_EVENT_PARAM_VALUE && e.param == 0 && e.time == 255 &&
            e.value == static_cast<double>(64 * 0.007874016f))
            levelReported = true;
    EXPECT_TRUE(levelReported);
    plugtest::dispatch(effect, effSetProgram, 0, 5);
    for (clap_id i = 0; i < 13; ++i) EXPECT_EQ(value(i), effect->getParameter(effect, static_cast<VstInt32>(i)));
    ASSERT_FALSE(outgoing.empty());
    EXPECT_EQ(outgoing.back().value, value(outgoing.back().param));

    const std::vector<HostCall> calls = host.takeCalls();
    int rescans = 0, dirty = 0;
    for (const HostCall& c : calls) {
        if (c.name == "params.rescan 1") {
            ++rescans;
            EXPECT_TRUE(c.onMainThread);
        }
        if (c.name == "state.mark_dirty") {
            ++dirty;
            EXPECT_TRUE(c.onMainThread);
        }
        if (c.name.rfind("timer.", 0) == 0 || c.name.rfind("get_extension", 0) == 0 ||
            c.name == "params.request_flush" || c.name == "request_restart") {
            EXPECT_FALSE(c.onAudioThread) << c.name;
        }
    }
    EXPECT_EQ(rescans, 1);
    EXPECT_EQ(dirty, 1);
}

} // namespace
