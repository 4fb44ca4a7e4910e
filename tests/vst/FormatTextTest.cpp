// The frame's fixed-width number texts.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "FrameProbe.h"

namespace vltest {
namespace {

// Runs a text tool on a buffer full of 'Z' and checks that nothing beyond the 8
// characters and the terminating NUL was written.
std::string format(const std::function<void(char*)>& tool) {
    char buffer[32];
    std::memset(buffer, 'Z', sizeof buffer);
    tool(buffer);
    const std::size_t length = std::strlen(buffer);
    EXPECT_LE(length, 8u);
    for (std::size_t i = length + 1; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 'Z') << "byte " << i;
    return buffer;
}

class FormatText : public ::testing::Test {
protected:
    std::string floatText(float v) {
        return format([&](char* t) { frame.formatFloat(v, t); });
    }
    std::string longText(VstInt32 v) {
        return format([&](char* t) { frame.formatLong(v, t); });
    }
    std::string decibels(float v) {
        return format([&](char* t) { frame.formatDecibels(v, t); });
    }
    std::string hertz(float v) {
        return format([&](char* t) { frame.formatHertz(v, t); });
    }
    std::string milliseconds(float v) {
        return format([&](char* t) { frame.formatMilliseconds(v, t); });
    }
    PlainFrame frame;
};

TEST_F(FormatText, FloatFillsEightCharacters) {
    EXPECT_EQ(floatText(0.5f), "0.500000");
    EXPECT_EQ(floatText(1234.5f), "1234.500");
    EXPECT_EQ(floatText(-1.5f), "-1.50000");
    EXPECT_EQ(floatText(0.0f), "0.000000");
    EXPECT_EQ(floatText(12.25f), "12.25000");
    EXPECT_EQ(floatText(-0.25f), "-0.25000");
    EXPECT_EQ(floatText(100.0f), "100.0000");
}

TEST_F(FormatText, FloatTruncatesInsteadOfRounding) {
    EXPECT_EQ(floatText(2.0f / 3.0f), "0.666666");
    EXPECT_EQ(floatText(0.1f), "0.100000"); // 0.100000001490116 in double
    EXPECT_EQ(floatText(9.99999f), "9.999990"); // 9.99998950958252 in double: ...989 truncated
}

TEST_F(FormatText, FloatIntegerPartThatFillsTheWidthEndsWithThePoint) {
    EXPECT_EQ(floatText(1234567.0f), "1234567.");
    EXPECT_EQ(floatText(-123456.0f), "-123456.");
    EXPECT_EQ(floatText(1234567.75f), "1234567.");
}

TEST_F(FormatText, FloatAboveTheLimitIsHuge) {
    EXPECT_EQ(floatText(100000000.0f), " Huge!  ");
    EXPECT_EQ(floatText(1.0e30f), " Huge!  ");
    EXPECT_EQ(floatText(-10000000.0f), " Huge!  ");
    EXPECT_EQ(floatText(std::numeric_limits<float>::infinity()), " Huge!  ");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::infinity()), " Huge!  ");
    EXPECT_EQ(floatText(std::numeric_limits<float>::quiet_NaN()), "  NaN   ");
}

TEST_F(FormatText, LongIsRightAlignedInSevenOrHuge) {
    EXPECT_EQ(longText(123), "    123");
    EXPECT_EQ(longText(0), "      0");
    EXPECT_EQ(longText(-5), "     -5");
    EXPECT_EQ(longText(12345678), "12345678");
    EXPECT_EQ(longText(99999999), "99999999");
    EXPECT_EQ(longText(100000000), " Huge!  ");
    EXPECT_EQ(longText(std::numeric_limits<VstInt32>::max()), " Huge!  ");
    EXPECT_EQ(longText(-12345678), "-1234567"); // cut after 8 characters
    EXPECT_EQ(longText(std::numeric_limits<VstInt32>::min()), "-2147483");
}

TEST_F(FormatText, DecibelsOfTheAmplitude) {
    EXPECT_EQ(decibels(0.0f), "  -oo   ");
    EXPECT_EQ(decibels(-1.0f), "  -oo   ");
    EXPECT_EQ(decibels(1.0f), "0.000000");
    EXPECT_EQ(decibels(10.0f), "20.00000");
    EXPECT_EQ(decibels(0.5f), "-6.02059");
    EXPECT_EQ(decibels(0.001f), "-60.0000");
}

TEST_F(FormatText, HertzAndMillisecondsUseTheSampleRate) {
    EXPECT_EQ(hertz(100.0f), "441.0000");
    EXPECT_EQ(hertz(0.0f), "0.000000");
    EXPECT_EQ(milliseconds(44100.0f), "1000.000");
    EXPECT_EQ(milliseconds(441.0f), "10.00000");
    frame.setSampleRate(48000.0f);
    EXPECT_EQ(hertz(480.0f), "100.0000");
    EXPECT_EQ(milliseconds(24.0f), "0.500000");
}

} // namespace
} // namespace vltest
