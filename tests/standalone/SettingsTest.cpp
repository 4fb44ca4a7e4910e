// The nine settings: defaults, text forms, a round trip and bad stored values.
#include <gtest/gtest.h>

#include <map>

#include "standalone/StandaloneSettings.h"

namespace vl {
namespace {

class MapStore : public SettingsStore {
public:
    std::map<std::string, std::string> values;
    std::optional<std::string> readString(const std::string& name) override {
        auto it = values.find(name);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void writeString(const std::string& name, const std::optional<std::string>& text) override {
        if (text) values[name] = *text;
        else values.erase(name);
    }
};

TEST(Settings, DefaultsForAFreshUser) {
    MapStore store;
    std::vector<std::string> warnings;
    const SettingsValues v = readSettings(store, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(v.midiInDevice, 0);
    EXPECT_EQ(v.midiOutDevice, 0);
    EXPECT_EQ(v.inputChannel, 0);
    EXPECT_EQ(v.outputChannel, 0);
    EXPECT_EQ(v.audioDevice, 0);
    EXPECT_EQ(v.latency, 50);
    EXPECT_FALSE(v.primary);
    EXPECT_EQ(v.sampleRate, 44100);
    EXPECT_EQ(v.tempo, 120.0f);

    writeSettings(store, v);
    const std::map<std::string, std::string> expected = {
        {"midiInDevice", "0"},  {"midiOutDevice", "0"},  {"inputChannel", "0"},
        {"outputChannel", "0"}, {"audioDevice", "0"},    {"latency", "50"},
        {"primary", "No"},      {"sampleRate", "44100"}, {"tempo", "120."},
    };
    EXPECT_EQ(store.values, expected);
}

TEST(Settings, TextForms) {
    const std::pair<float, const char*> tempos[] = {
        {120.0f, "120."}, {97.5f, "97.5"}, {60.25f, "60.25"}, {1.0f, "1."}, {133.333f, "133.333"}, {0.5f, "0.5"},
    };
    for (const auto& [t, text] : tempos) EXPECT_EQ(formatTempo(t), text);
    EXPECT_EQ(formatBool(true), "Yes");
    EXPECT_EQ(formatBool(false), "No");
    EXPECT_EQ(formatInt(-1), "-1");
}

TEST(Settings, RoundTripOfAllValues) {
    SettingsValues v;
    v.midiInDevice = 3;
    v.midiOutDevice = 2;
    v.inputChannel = -1;
    v.outputChannel = 15;
    v.audioDevice = 1;
    v.latency = 25;
    v.primary = true;
    v.sampleRate = 96000;
    v.tempo = 97.5f;
    MapStore store;
    writeSettings(store, v);
    EXPECT_EQ(store.values["inputChannel"], "-1");
    EXPECT_EQ(store.values["primary"], "Yes");
    EXPECT_EQ(store.values["tempo"], "97.5");
    std::vector<std::string> warnings;
    EXPECT_EQ(readSettings(store, warnings), v);
    EXPECT_TRUE(warnings.empty());
}

TEST(Settings, BadStoredValuesTakeTheirDefaultWithAWarning) {
    struct Row {
        const char* name;
        const char* text;
    };
    // clang-format off
    const Row rows[] = {
        {"primary", "yes"},       {"primary", "1"},          {"latency", "abc"},       {"latency", ""},
        {"latency", "0"},         {"latency", "50ms"},       {"latency", "-5"},        {"inputChannel", "16"},
        {"inputChannel", "-2"},   {"outputChannel", "99"},   {"outputChannel", " 3"},  {"audioDevice", "-1"},
        {"midiInDevice", "-7"},   {"midiOutDevice", "x"},    {"sampleRate", "5"},      {"sampleRate", "44100.5"},
        {"sampleRate", "9999999999"}, {"tempo", "fast"},     {"tempo", "0"},           {"tempo", "-120"},
        {"tempo", "nan"},         {"tempo", "1e9"},          {"tempo", "12\n0"},
    };
    // clang-format on
    const SettingsValues defaults;
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.name << "=" << r.text);
        MapStore store;
        writeSettings(store, defaults);
        store.values["latency"] = "25"; // a good value next to the bad one stays
        store.values[r.name] = r.text;
        std::vector<std::string> warnings;
        const SettingsValues v = readSettings(store, warnings);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(r.name), std::string::npos) << warnings[0];
        SettingsValues expected = defaults;
        if (std::string(r.name) != "latency") expected.latency = 25;
        EXPECT_EQ(v, expected);
    }
}

TEST(Settings, EdgeValuesThatAreGood) {
    const std::pair<const char*, const char*> rows[] = {
        {"inputChannel", "-1"}, {"inputChannel", "15"}, {"outputChannel", "-1"},  {"latency", "1"},
        {"latency", "2000"},    {"sampleRate", "8000"}, {"sampleRate", "192000"}, {"primary", "No"},
        {"tempo", "120"},       {"tempo", "999"},       {"midiInDevice", "12"},
    };
    for (const auto& [name, text] : rows) {
        MapStore store;
        store.values[name] = text;
        std::vector<std::string> warnings;
        readSettings(store, warnings);
        EXPECT_TRUE(warnings.empty()) << name << "=" << text;
    }
}

} // namespace
} // namespace vl
