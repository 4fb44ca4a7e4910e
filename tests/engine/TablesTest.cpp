#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

#include "engine/Engine.h"
#include "engine/Rounding.h"
#include "engine/Tables.h"

namespace {

class SharedTables : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vl::acquireSharedTables()); }
    void TearDown() override { vl::releaseSharedTables(); }
};

TEST_F(SharedTables, SineTableHoldsOnePeriod) {
    EXPECT_EQ(vl::sineTable[0], 0.0f);
    EXPECT_EQ(vl::sineTable[2048], 1.0f);
    EXPECT_EQ(vl::sineTable[6144], -1.0f);
    EXPECT_NEAR(vl::sineTable[1024], 0.70710678f, 1e-7f);
    EXPECT_NEAR(vl::sineTable[4096], 5.36e-8f, 1e-9f);
    // The angle constant 6.2831852 is a little short of 2 pi, which shows at the end.
    EXPECT_NEAR(vl::sineTable[8191], -7.6709746e-4f, 1e-10f);
}

TEST_F(SharedTables, NoteFrequencyIsTwiceThePitch) {
    // 1/12 in single precision puts key 69 a hair above 880.
    EXPECT_EQ(vl::noteFrequency[69], 880.000122f);
    EXPECT_NEAR(vl::noteFrequency[57], 440.0f, 1e-4f);
    EXPECT_NEAR(vl::noteFrequency[0], 16.3516f, 1e-4f);
    EXPECT_NEAR(vl::noteFrequency[127], 25087.7f, 0.1f);
    for (int i = 12; i < 128; ++i) EXPECT_NEAR(vl::noteFrequency[i] / vl::noteFrequency[i - 12], 2.0f, 1e-5f) << i;
}

TEST_F(SharedTables, BendFactorSpansTwoSemitones) {
    EXPECT_EQ(vl::bendFactor[64], 1.0f);
    EXPECT_NEAR(vl::bendFactor[0], 0.890898718f, 2e-8f); // 2^(-1/6)
    EXPECT_NEAR(vl::bendFactor[127], 1.12043775f, 2e-7f); // 2^(63/384)
    for (int i = 1; i < 128; ++i) EXPECT_GT(vl::bendFactor[i], vl::bendFactor[i - 1]);
}

TEST(SharedTableLifetime, CountedAndFreedWithTheLastUser) {
    const int before = vl::sharedTableUsers();
    ASSERT_EQ(before, 0);
    EXPECT_FALSE(vl::sharedTablesBuilt());
    EXPECT_EQ(vl::sineTable, nullptr);
    ASSERT_TRUE(vl::acquireSharedTables());
    ASSERT_TRUE(vl::acquireSharedTables());
    EXPECT_EQ(vl::sharedTableUsers(), 2);
    const float* sine = vl::sineTable;
    vl::releaseSharedTables();
    EXPECT_EQ(vl::sineTable, sine); // still in use by the second user
    EXPECT_TRUE(vl::sharedTablesBuilt());
    vl::releaseSharedTables();
    EXPECT_EQ(vl::sharedTableUsers(), 0);
    EXPECT_FALSE(vl::sharedTablesBuilt());
    EXPECT_EQ(vl::noteFrequency, nullptr);
    vl::releaseSharedTables(); // unbalanced: ignored
    EXPECT_EQ(vl::sharedTableUsers(), 0);
}

TEST(SharedTableLifetime, FailedBuildChangesNothingAndALaterOneWorks) {
    vl::testhooks::failTableAllocation = true;
    EXPECT_FALSE(vl::acquireSharedTables());
    vl::testhooks::failTableAllocation = false;
    EXPECT_EQ(vl::sharedTableUsers(), 0);
    EXPECT_FALSE(vl::sharedTablesBuilt());
    ASSERT_TRUE(vl::acquireSharedTables());
    // Once built, a further user needs no allocation.
    vl::testhooks::failTableAllocation = true;
    EXPECT_TRUE(vl::acquireSharedTables());
    vl::testhooks::failTableAllocation = false;
    EXPECT_EQ(vl::sharedTableUsers(), 2);
    EXPECT_EQ(vl::bendFactor[64], 1.0f);
    vl::releaseSharedTables();
    vl::releaseSharedTables();
}

TEST(NoiseSeed, FollowsTheLinearCongruence) {
    vl::testhooks::setNoiseSeed(1000);
    EXPECT_EQ(vl::nextNoiseSeed(), 27433);
    EXPECT_EQ(vl::nextNoiseSeed(), 35186);
    EXPECT_EQ(vl::nextNoiseSeed(), 65283);
    EXPECT_EQ(vl::nextNoiseSeed(), 44572);
    EXPECT_EQ(vl::testhooks::noiseSeedValue(), 44572);
    // Full period of 65536: every state is visited once.
    std::vector<bool> seen(65536, false);
    for (int i = 0; i < 65536; ++i) {
        const uint16_t s = vl::nextNoiseSeed();
        ASSERT_FALSE(seen[s]) << i;
        seen[s] = true;
    }
}

TEST(Rounding, RoundToEvenMatchesNearbyint) {
    const float ties[] = {0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 8191.5f, -8192.5f, 32766.5f, -32767.5f, 4194303.5f};
    const int32_t expected[] = {0, 2, 2, 0, -2, -2, 8192, -8192, 32766, -32768, 4194304};
    for (size_t k = 0; k < std::size(ties); ++k) EXPECT_EQ(vl::roundToEven(ties[k]), expected[k]) << ties[k];
    for (float x : {0.49999997f, 1e-30f, -0.0f, 12345.678f, 3.4999998f})
        EXPECT_EQ(vl::roundToEven(x), static_cast<int32_t>(std::nearbyint(x))) << x;
    for (int i = -200000; i <= 200000; ++i) {
        const float x = static_cast<float>(i) * 0.125f;
        ASSERT_EQ(vl::roundToEven(x), static_cast<int32_t>(std::nearbyint(x))) << x;
    }
}

} // namespace
