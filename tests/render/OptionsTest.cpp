#include <gtest/gtest.h>

#include "tools/render/Options.h"

namespace vl::render {
namespace {

struct Result {
    bool ok;
    Options options;
    std::string error;
};

Result parse(std::vector<std::string> args) {
    Result r;
    r.ok = parseOptions(args, r.options, r.error);
    return r;
}

TEST(Options, Defaults) {
    const Result r = parse({});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.rate, 44100u);
    EXPECT_EQ(r.options.block, 512);
    EXPECT_EQ(r.options.program, 0);
    EXPECT_EQ(r.options.tailFrames(), 3 * 44100);
    EXPECT_FALSE(r.options.floatOutput);
    EXPECT_FALSE(r.options.quiet);
    EXPECT_TRUE(r.options.input.empty());
    EXPECT_TRUE(r.options.output.empty());
    EXPECT_TRUE(r.options.params.empty());
}

TEST(Options, LongShortAttachedAndSeparateForms) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--rate", "48000", "--block", "7", "--program", "3", "--output", "x.wav", "song.mid"},
             {"--rate=48000", "--block=7", "--program=3", "--output=x.wav", "song.mid"},
             {"-r", "48000", "-b", "7", "-p", "3", "-o", "x.wav", "song.mid"},
             {"song.mid", "-r48000", "-b7", "-p3", "-ox.wav"},
             {"--ra", "48000", "--bl=7", "--prog", "3", "--out=x.wav", "--", "song.mid"}}) {
        const Result r = parse(args);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.options.rate, 48000u);
        EXPECT_EQ(r.options.block, 7);
        EXPECT_EQ(r.options.program, 3);
        EXPECT_EQ(r.options.output, "x.wav");
        EXPECT_EQ(r.options.input, "song.mid");
    }
}

TEST(Options, FlagsParamsAndTail) {
    const Result r = parse(
        {"-q", "--float", "--param", "3=0.25", "--param=12=1", "--param", "0=0", "--tail=2.5", "--", "-odd.mid"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.options.quiet);
    EXPECT_TRUE(r.options.floatOutput);
    ASSERT_EQ(r.options.params.size(), 3u);
    EXPECT_EQ(r.options.params[0], std::make_pair(3, 0.25f));
    EXPECT_EQ(r.options.params[1], std::make_pair(12, 1.0f));
    EXPECT_EQ(r.options.params[2], std::make_pair(0, 0.0f));
    EXPECT_EQ(r.options.tailFrames(), 110250);
    EXPECT_EQ(r.options.input, "-odd.mid");

    const Result grouped = parse({"-qr", "96000"});
    ASSERT_TRUE(grouped.ok) << grouped.error;
    EXPECT_TRUE(grouped.options.quiet);
    EXPECT_EQ(grouped.options.rate, 96000u);

    EXPECT_TRUE(parse({"-h"}).options.help);
    EXPECT_TRUE(parse({"--help"}).options.help);
    EXPECT_TRUE(parse({"--version"}).options.version);
}

TEST(Options, BankAndPatchFiles) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--bank", "set.fxb", "--patch", "one.fxp"},
                                                                  {"--patch=one.fxp", "--bank=set.fxb"},
                                                                  {"--ba", "set.fxb", "--pat=one.fxp"}}) {
        const Result r = parse(args);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.options.bank, "set.fxb");
        EXPECT_EQ(r.options.patch, "one.fxp");
        EXPECT_TRUE(r.options.input.empty());
    }
    const Result none = parse({"song.mid"});
    EXPECT_TRUE(none.options.bank.empty());
    EXPECT_TRUE(none.options.patch.empty());

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--patch", "a.fxp", "--patch", "b.fxp"}, "option '--patch' given more than once"},
        {{"--bank=a.fxb", "--ba", "a.fxb"}, "option '--bank' given more than once"},
        {{"--patch="}, "invalid value '' for --patch: expected a file name"},
        {{"--bank"}, "option '--bank' requires an argument"},
        {{"--pa", "x"}, "option '--pa' is ambiguous"},
    };
    for (const auto& [args, message] : refused) {
        const Result r = parse(args);
        EXPECT_FALSE(r.ok) << args[0];
        EXPECT_EQ(r.error, message) << args[0];
    }
}

TEST(Options, TailIsExactInFrames) {
    // clang-format off
    struct Case {
        const char* text;
        uint32_t rate;
        int64_t frames;
    } cases[] = {
        {"0", 44100, 0},        {"0.1", 44100, 4410},       {"0.3", 44100, 13230},
        {".5", 48000, 24000},   {"2.", 8000, 16000},        {"600", 192000, 115200000},
        {"1.000000001", 192000, 192000},                     {"0.000001", 44100, 0},
        {"0.00001", 192000, 1}, {"1.99999", 44100, 88199},
    };
    // clang-format on
    for (const Case& c : cases) {
        const Result r = parse({"--tail", c.text, "--rate", std::to_string(c.rate)});
        ASSERT_TRUE(r.ok) << c.text << ": " << r.error;
        EXPECT_EQ(r.options.tailFrames(), c.frames) << c.text;
    }
}

TEST(Options, RangesAtTheirBounds) {
    EXPECT_TRUE(parse({"-r", "8000"}).ok);
    EXPECT_TRUE(parse({"-r", "192000"}).ok);
    for (const char* rate : {"44100", "48000", "88200", "96000", "22050"}) EXPECT_TRUE(parse({"-r", rate}).ok) << rate;
    EXPECT_TRUE(parse({"-b", "1"}).ok);
    EXPECT_TRUE(parse({"-b", "8192"}).ok);
    EXPECT_TRUE(parse({"-p", "7"}).ok);
    EXPECT_TRUE(parse({"--tail", "600"}).ok);
    EXPECT_TRUE(parse({"--param", "12=1.0"}).ok);
}

TEST(Options, RefusesBadOptionsAndValues) {
    // clang-format off
    const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
        {{"-r", "7999"}, "-r"},        {{"--rate=192001"}, "--rate"},     {{"-r", "48k"}, "-r"},
        {{"-r", "-48000"}, "-r"},          {{"-r", ""}, "-r"},                {{"-r", "+44100"}, "-r"},
        {{"-b", "0"}, "-b"},               {{"--block", "8193"}, "--block"},  {{"-p", "8"}, "-p"},
        {{"--program=-1"}, "--program"},   {{"--param", "13=0.5"}, "--param"}, {{"--param", "3=1.5"}, "--param"},
        {{"--param", "3=-0.1"}, "--param"}, {{"--param", "3=nan"}, "--param"}, {{"--param", "3"}, "--param"},
        {{"--param", "3="}, "--param"},    {{"--param", "=0.5"}, "--param"},  {{"--param", "3=0.5x"}, "--param"},
        {{"--tail", "-1"}, "--tail"},      {{"--tail", "600.5"}, "--tail"},   {{"--tail", "1e3"}, "--tail"},
        {{"--tail", "."}, "--tail"},       {{"--tail", "0.0000000001"}, "--tail"},
        {{"--frobnicate"}, "--frobnicate"}, {{"-x"}, "'x'"},                  {{"--rate"}, "requires"},
        {{"-o"}, "requires"},              {{"--float=yes"}, "--float"},       {{"--p", "1"}, "ambiguous"},
        {{"a.mid", "b.mid"}, "more than one"},
    };
    // clang-format on
    for (const auto& [args, part] : cases) {
        const Result r = parse(args);
        EXPECT_FALSE(r.ok) << args[0];
        EXPECT_NE(r.error.find(part), std::string::npos) << args[0] << ": " << r.error;
    }
}

} // namespace
} // namespace vl::render
