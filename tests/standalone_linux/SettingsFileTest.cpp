// The settings file: location, defaults, round trip, bad values and atomic replacement.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "standalone/linux/SettingsFile.h"

namespace vl::linuxapp {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vl-settings-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "velmorloom" / "settings").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void writeText(const std::string& text) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << text;
    }
    std::string readText() {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
    std::string path;
};

TEST_F(SettingsFileTest, Location) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string config = savedConfig ? savedConfig : "", home = savedHome ? savedHome : "";
    ::setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(settingsPath(), "/x/cfg/velmorloom/settings");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settingsPath(), "/home/u/.config/velmorloom/settings");
    ::setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    EXPECT_EQ(settingsPath(), "/home/u/.config/velmorloom/settings");
    if (savedConfig) ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    if (savedHome) ::setenv("HOME", home.c_str(), 1);
}

TEST_F(SettingsFileTest, DefaultsWrittenAndReadBack) {
    SettingsFile file(path);
    std::vector<std::string> warnings;
    EXPECT_FALSE(file.load(warnings)); // no file yet
    const SettingsValues values = readSettings(file, warnings);
    const LinuxSettings linux = readLinuxSettings(file, warnings);
    EXPECT_TRUE(warnings.empty());
    writeSettings(file, values);
    writeLinuxSettings(file, linux);
    std::string error;
    ASSERT_TRUE(file.save(error)) << error;
    EXPECT_EQ(readText(), "# Velmor Loom settings: one name=value line each\n"
                          "midiInDevice=0\nmidiOutDevice=0\ninputChannel=0\noutputChannel=0\naudioDevice=0\n"
                          "latency=50\nprimary=No\nsampleRate=44100\ntempo=120.\n"
                          "audio=auto\nalsaDevice=default\nmidiIn=\n");
}

TEST_F(SettingsFileTest, RoundTripKeepsOtherLinesAndReplacesAtomically) {
    writeText("# mine\n\n  latency = 20 \nsampleRate=48000\nunknownThing=kept\ngarbage line\naudio=alsa\n");
    SettingsFile file(path);
    std::vector<std::string> warnings;
    ASSERT_TRUE(file.load(warnings));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(":6: not a name=value line"), std::string::npos) << warnings[0];
    SettingsValues v = readSettings(file, warnings);
    LinuxSettings l = readLinuxSettings(file, warnings);
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(v.latency, 20);
    EXPECT_EQ(v.sampleRate, 48000);
    EXPECT_EQ(l.audio, "alsa");

    v.inputChannel = -1;
    v.primary = true;
    v.tempo = 97.5f;
    l.alsaDevice = "hw:2,0";
    l.midiIn = "24:0";
    l.recordFormat = "float";
    writeSettings(file, v);
    writeLinuxSettings(file, l);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    std::string error;
    ASSERT_TRUE(file.save(error)) << error;
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "the file must be replaced, not rewritten in place";
    // Nothing but the settings file is left in the folder.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(fs::path(path).parent_path())) {
        ++entries;
        EXPECT_EQ(e.path().filename(), "settings");
    }
    EXPECT_EQ(entries, 1);

    SettingsFile again(path);
    std::vector<std::string> none;
    ASSERT_TRUE(again.load(none));
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(readSettings(again, none), v);
    const LinuxSettings l2 = readLinuxSettings(again, none);
    EXPECT_EQ(l2.alsaDevice, "hw:2,0");
    EXPECT_EQ(l2.midiIn, "24:0");
    EXPECT_EQ(l2.recordFormat, "float");
    EXPECT_EQ(again.readString("unknownThing"), "kept");
    EXPECT_NE(readText().find("recordFormat=float\n"), std::string::npos);

    // 16-bit recordings are the default and leave no line behind.
    l.recordFormat = "16";
    writeLinuxSettings(again, l);
    ASSERT_TRUE(again.save(error)) << error;
    EXPECT_EQ(readText().find("recordFormat"), std::string::npos);
    EXPECT_NE(readText().find("inputChannel=-1\n"), std::string::npos);
    EXPECT_NE(readText().find("tempo=97.5\n"), std::string::npos);
}

TEST_F(SettingsFileTest, BadValuesGiveWarningsAndDefaults) {
    writeText("inputChannel=16\nprimary=yes\nlatency=fast\naudio=pulse\nalsaDevice=\nsampleRate=44100\n"
              "recordFormat=24\n");
    SettingsFile file(path);
    std::vector<std::string> warnings;
    ASSERT_TRUE(file.load(warnings));
    const SettingsValues v = readSettings(file, warnings);
    const LinuxSettings l = readLinuxSettings(file, warnings);
    EXPECT_EQ(warnings.size(), 6u);
    EXPECT_EQ(warnings.back(), "bad value '24' for recordFormat, using 16");
    EXPECT_EQ(v, SettingsValues{});
    EXPECT_EQ(l.audio, "auto");
    EXPECT_EQ(l.recordFormat, "16");
    EXPECT_EQ(l.alsaDevice, "default");
}

TEST_F(SettingsFileTest, SaveFailureIsReported) {
    // The folder cannot be made where a file stands.
    std::ofstream((dir / "velmorloom").string()) << "x";
    SettingsFile file(path);
    std::string error;
    EXPECT_FALSE(file.save(error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace vl::linuxapp
