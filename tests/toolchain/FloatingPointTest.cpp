// Properties of the compiler settings that the engine's bit-identical output
// relies on, on every build (native, sanitizer, 32- and 64-bit Windows).
#include <gtest/gtest.h>

#include <cfloat>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>

// x87 arithmetic on 32-bit x86 evaluates in extended precision (FLT_EVAL_METHOD 2);
// SSE arithmetic evaluates each float operation in float. This fails the 32-bit
// build at compile time when -msse2 -mfpmath=sse did not reach the compiler, even
// though that build's tests cannot run here.
static_assert(FLT_EVAL_METHOD == 0, "float expressions must be evaluated in float (SSE, not x87)");

#if defined(__FAST_MATH__)
#error "fast-math changes the engine's arithmetic"
#endif
#if defined(__i386__) && !defined(__SSE2_MATH__)
#error "32-bit x86 builds must do floating point in SSE2"
#endif

namespace {

std::uint32_t bitsOf(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Inputs go through volatile so that the compiler cannot fold the expressions.
volatile float onePlusUlp = 1.0f + FLT_EPSILON; // 1 + 2^-23
volatile float minusOnePlusTwoUlps = -(1.0f + 2.0f * FLT_EPSILON);

TEST(FloatingPoint, MultiplyAddIsRoundedTwice) {
    // (1 + 2^-23)^2 = 1 + 2^-22 + 2^-46: rounding the product to float drops the
    // 2^-46, so a*b + c is exactly 0. A fused multiply-add or an x87 register
    // holding the unrounded product gives 2^-46 instead.
    float a = onePlusUlp;
    float c = minusOnePlusTwoUlps;
    float r = a * a + c;
    EXPECT_EQ(bitsOf(r), 0u) << "product was not rounded to float before the addition: " << r;
}

TEST(FloatingPoint, IntermediateResultsAreStoredAsFloat) {
    // 2^24 + 1 is not a float: the sum rounds to 2^24 (ties to even), and
    // subtracting 2^24 again gives 0 in float arithmetic, 1 in extended precision.
    volatile float big = 16777216.0f;
    volatile float one = 1.0f;
    float s = big + one;
    float d = s - big;
    EXPECT_EQ(d, 0.0f);
}

TEST(FloatingPoint, DefaultRoundingIsToNearestEven) {
    // Positions and 16-bit samples use nearbyint(x - 0.5f) under the default mode.
    ASSERT_EQ(std::fegetround(), FE_TONEAREST);
    volatile float half = 0.5f;
    EXPECT_EQ(std::nearbyint(1.0f - half), 0.0f); // 0.5 -> 0
    EXPECT_EQ(std::nearbyint(2.0f - half), 2.0f); // 1.5 -> 2
    EXPECT_EQ(std::nearbyint(3.0f - half), 2.0f); // 2.5 -> 2
    EXPECT_EQ(std::nearbyint(-1.0f - half), -2.0f); // -1.5 -> -2
    EXPECT_EQ(std::nearbyint(-2.0f - half), -2.0f); // -2.5 -> -2
    EXPECT_TRUE(std::signbit(std::nearbyint(0.0f - half))); // -0.5 -> -0
}

TEST(FloatingPoint, CorrectlyRoundedOperationsGiveFixedBits) {
    // IEEE division and square root are exact to the last bit on every platform.
    volatile float two = 2.0f;
    volatile float three = 3.0f;
    EXPECT_EQ(bitsOf(std::sqrt(static_cast<float>(two))), 0x3FB504F3u);
    EXPECT_EQ(bitsOf(1.0f / three), 0x3EAAAAABu);
    EXPECT_EQ(bitsOf(static_cast<float>(two) / three * three), 0x40000000u);
}

TEST(FloatingPoint, SubnormalsAreKept) {
    // No flush-to-zero: the engine adds its own anti-denormal offset instead, and
    // flushing in one build but not another would change results.
    volatile float tiny = FLT_MIN;
    float half = tiny / 2.0f;
    EXPECT_NE(half, 0.0f);
    EXPECT_EQ(std::fpclassify(half), FP_SUBNORMAL);
}

} // namespace
