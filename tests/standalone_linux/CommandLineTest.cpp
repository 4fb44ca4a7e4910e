// Command line of velmorloom: accepted forms and values, and the usage errors.
#include <gtest/gtest.h>

#include "standalone/linux/CommandLine.h"

namespace vl::linuxapp {
namespace {

TEST(CommandLine, AcceptedOptions) {
    CommandLine o;
    std::string error;
    ASSERT_TRUE(
        parseCommandLine({"--audio",   "alsa",     "--device=hw:1",  "--rate",   "48000",       "--latency=25",
                          "--midi-in", "kbd:0",    "--midi-channel", "16",       "--program=7", "--patch",
                          "a.fxp",     "--bank",   "b.fxb",          "--record", "take.wav",    "--record-format",
                          "float",     "--no-gui", "--no-connect"},
                         o, error))
        << error;
    EXPECT_EQ(o.audio, "alsa");
    EXPECT_EQ(o.device, "hw:1");
    EXPECT_EQ(o.rate, 48000);
    EXPECT_EQ(o.latency, 25);
    EXPECT_EQ(o.midiIn, "kbd:0");
    EXPECT_EQ(o.midiChannel, 15);
    EXPECT_EQ(o.program, 7);
    EXPECT_EQ(o.patch, "a.fxp");
    EXPECT_EQ(o.bank, "b.fxb");
    EXPECT_EQ(o.record, "take.wav");
    EXPECT_EQ(o.recordFormat, "float");
    EXPECT_TRUE(o.noGui);
    EXPECT_TRUE(o.noConnect);
    EXPECT_FALSE(o.help);

    CommandLine d;
    ASSERT_TRUE(parseCommandLine({"--midi-channel", "all", "--audio", "jack", "--help", "--version"}, d, error));
    EXPECT_EQ(d.midiChannel, -1);
    EXPECT_EQ(d.audio, "jack");
    EXPECT_TRUE(d.help && d.version);
    EXPECT_FALSE(d.rate.has_value());
    EXPECT_FALSE(d.noGui);

    CommandLine none;
    EXPECT_TRUE(parseCommandLine({}, none, error));
    EXPECT_FALSE(none.audio.has_value());
}

TEST(CommandLine, UsageErrors) {
    struct Row {
        std::vector<std::string> args;
        const char* message;
    };
    const Row rows[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-h"}, "unknown option '-h'"},
        {{"song.mid"}, "unexpected argument 'song.mid'"},
        {{"--audio", "pulse"}, "invalid value 'pulse' for --audio (expected jack or alsa)"},
        {{"--rate", "5"}, "invalid value '5' for --rate"},
        {{"--rate", "192001"}, "invalid value '192001' for --rate"},
        {{"--rate", "-44100"}, "invalid value '-44100' for --rate"},
        {{"--rate", "44.1k"}, "invalid value '44.1k' for --rate"},
        {{"--latency", "0"}, "invalid value '0' for --latency"},
        {{"--midi-channel", "0"}, "invalid value '0' for --midi-channel (expected 1 to 16 or all)"},
        {{"--midi-channel", "17"}, "invalid value '17' for --midi-channel"},
        {{"--midi-channel", "ALL"}, "invalid value 'ALL' for --midi-channel"},
        {{"--program", "8"}, "invalid value '8' for --program (expected 0 to 7)"},
        {{"--rate"}, "option --rate needs a value"},
        {{"--record"}, "option --record needs a value"},
        {{"--record="}, "invalid value '' for --record (expected a file name)"},
        {{"--no-gui=yes"}, "option --no-gui takes no value"},
        {{"--record-format", "wav"}, "invalid value 'wav' for --record-format (expected 16 or float)"},
        {{"--record-format"}, "option --record-format needs a value"},
        {{"--record-f", "16"}, "unknown option '--record-f'"},
        {{"--device", ""}, "invalid value '' for --device"},
    };
    for (const Row& r : rows) {
        CommandLine o;
        std::string error;
        EXPECT_FALSE(parseCommandLine(r.args, o, error)) << r.args[0];
        EXPECT_EQ(error.rfind(r.message, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

} // namespace
} // namespace vl::linuxapp
