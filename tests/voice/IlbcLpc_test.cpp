// The LSF representation: both conversions and the stability rule.

#include "voice/ilbc/IlbcLpc.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orvane::ilbc {
namespace {

TEST(IlbcLpc, TheFlatFilterHasEvenlySpacedLsfs)
{
    const float flat[kLpcSize] = {1.0f};
    float lsf[kOrder];
    ASSERT_TRUE(lpcToLsf(flat, lsf));
    for (int k = 0; k < kOrder; ++k)
        EXPECT_NEAR(lsf[k], 3.14159265 * (k + 1) / (kOrder + 1), 1e-4) << k;
}

TEST(IlbcLpc, LsfsAndLpcConvertBothWays)
{
    // A resonant filter from a made autocorrelation (two damped resonances).
    float r[kLpcSize];
    for (int i = 0; i < kLpcSize; ++i)
        r[i] = static_cast<float>(std::pow(0.95, i) * std::cos(0.4 * i) + 0.5 * std::pow(0.9, i) * std::cos(1.9 * i));
    r[0] *= 1.0001f;
    float a[kLpcSize];
    levinson(r, a);
    float lsf[kOrder], back[kLpcSize];
    ASSERT_TRUE(lpcToLsf(a, lsf));
    for (int k = 1; k < kOrder; ++k)
        EXPECT_LT(lsf[k - 1], lsf[k]);
    lsfToLpc(lsf, back);
    for (int i = 0; i < kLpcSize; ++i)
        EXPECT_NEAR(a[i], back[i], 1e-3) << i;
}

TEST(IlbcLpc, CrossingLsfsAreMovedApart)
{
    float lsf[kOrder] = {0.3f, 0.5f, 0.9f, 0.89f, 1.3f, 1.6f, 1.9f, 2.2f, 2.5f, 2.8f};
    stabilizeLsf(lsf);
    for (int k = 1; k < kOrder; ++k)
        EXPECT_GE(lsf[k] - lsf[k - 1], kMinLsfDistance - 1e-5f) << k;
    EXPECT_NEAR(lsf[2] + lsf[3], 0.9f + 0.89f, 1e-5f);
}

TEST(IlbcLpc, CodebookEntriesQuantiseToThemselves)
{
    const int index[3] = {12, 70, 33};
    float lsf[kOrder], q[kOrder];
    dequantizeLsf(index, lsf);
    int got[3];
    quantizeLsf(lsf, q, got);
    EXPECT_EQ(12, got[0]);
    EXPECT_EQ(70, got[1]);
    EXPECT_EQ(33, got[2]);
    EXPECT_FLOAT_EQ(0.248535f, lsf[0]);  // the table's thirteenth vector of the first split
}

}  // namespace
}  // namespace orvane::ilbc
