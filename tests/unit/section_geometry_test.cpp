#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "effect/section_geometry.h"

using Zelvo::buildSectionGeometry;
using Zelvo::sectionAt;

namespace {

OfxRectI rect(int x1, int y1, int x2, int y2)
{
    return OfxRectI{x1, y1, x2, y2};
}

}  // namespace

TEST(SectionGeometry, FourBandsAtZeroDegrees)
{
    auto g = buildSectionGeometry(rect(0, 0, 100, 50), 0.0, 4);
    EXPECT_EQ(g.invMaxDist2, 0.01f);
    for (int v = 0; v < 50; ++v)
        for (int u = 0; u < 100; ++u)
            ASSERT_EQ(sectionAt(g, u, v), u / 25) << u << "," << v;
}

TEST(SectionGeometry, HalfTurnIsNotAnExactMirror)
{
    auto g = buildSectionGeometry(rect(0, 0, 100, 50), 180.0, 4);
    for (int v = 0; v < 50; ++v) {
        for (int u = 0; u < 100; ++u) {
            int expected = u <= 25 ? 3 : u <= 50 ? 2 : u <= 75 ? 1 : 0;
            ASSERT_EQ(sectionAt(g, u, v), expected) << u << "," << v;
        }
    }
}

TEST(SectionGeometry, FullHdTenSectionsChangeAtMultiplesOf192)
{
    auto g = buildSectionGeometry(rect(0, 0, 1920, 1080), 0.0, 10);
    for (int u = 0; u < 1920; ++u)
        ASSERT_EQ(sectionAt(g, u, 540), u / 192) << u;
}

TEST(SectionGeometry, QuarterTurnSplitsRowsFiftyOneToFortyNine)
{
    auto g = buildSectionGeometry(rect(0, 0, 100, 100), 90.0, 2);
    EXPECT_FLOAT_EQ(g.sinAngle, -1.0f);
    EXPECT_NE(g.cosAngle, 0.0f);
    for (int v = 0; v < 100; ++v)
        for (int u = 0; u < 100; u += 9)
            ASSERT_EQ(sectionAt(g, u, v), v <= 50 ? 1 : 0) << u << "," << v;
}

TEST(SectionGeometry, DiagonalThreeSections)
{
    auto g = buildSectionGeometry(rect(0, 0, 100, 100), 45.0, 3);
    EXPECT_EQ(sectionAt(g, 0, 99), 0);
    EXPECT_EQ(sectionAt(g, 99, 0), 2);
    EXPECT_EQ(sectionAt(g, 50, 50), 1);
}

TEST(SectionGeometry, DegenerateSources)
{
    auto empty = buildSectionGeometry(rect(5, 5, 5, 5), 30.0, 7);
    EXPECT_EQ(empty.maxDist, 0.0f);
    EXPECT_EQ(empty.invMaxDist2, 0.0f);
    EXPECT_EQ(sectionAt(empty, 0, 0), 0);
    EXPECT_EQ(sectionAt(empty, -3, 9), 0);

    auto one = buildSectionGeometry(rect(0, 0, 1, 1), 0.0, 10);
    EXPECT_EQ(one.maxDist, 0.5f);
    EXPECT_EQ(one.invMaxDist2, 1.0f);
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(sectionAt(buildSectionGeometry(rect(0, 0, 1, 1), 0.0, n), 0, 0), 0);
}

TEST(SectionGeometry, BandsFollowTheSourceNotTheFrame)
{
    // Offsetting the source moves nothing: positions are relative to x1, y1.
    auto a = buildSectionGeometry(rect(0, 0, 64, 32), 37.0, 5);
    auto b = buildSectionGeometry(rect(-100, 250, -36, 282), 37.0, 5);
    for (int v = 0; v < 32; ++v)
        for (int u = 0; u < 64; ++u)
            ASSERT_EQ(sectionAt(a, u, v), sectionAt(b, u, v));
}

TEST(SectionGeometry, NonFiniteAngleIsZeroDegrees)
{
    auto zero = buildSectionGeometry(rect(0, 0, 40, 20), 0.0, 4);
    for (double angle : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max()}) {
        auto g = buildSectionGeometry(rect(0, 0, 40, 20), angle, 4);
        EXPECT_TRUE(std::isfinite(g.cosAngle) && std::isfinite(g.sinAngle)) << angle;
        if (!std::isfinite(angle)) {
            for (int u = 0; u < 40; ++u)
                EXPECT_EQ(sectionAt(g, u, 3), sectionAt(zero, u, 3));
        }
    }
}

TEST(SectionGeometry, CountsOutsideTheRangeStayWithinTheFlags)
{
    for (int count : {std::numeric_limits<int>::min(), -5, 0, 11, 1000, std::numeric_limits<int>::max()}) {
        auto g = buildSectionGeometry(rect(0, 0, 50, 30), 123.0, count);
        EXPECT_GE(g.splitCount, 1);
        EXPECT_LE(g.splitCount, 10);
        for (int v = 0; v < 30; ++v)
            for (int u = 0; u < 50; ++u) {
                int s = sectionAt(g, u, v);
                ASSERT_TRUE(s >= 0 && s < 10) << count;
            }
    }
    auto above = buildSectionGeometry(rect(0, 0, 50, 30), 10.0, 25);
    auto ten = buildSectionGeometry(rect(0, 0, 50, 30), 10.0, 10);
    for (int u = 0; u < 50; ++u)
        EXPECT_EQ(sectionAt(above, u, 7), sectionAt(ten, u, 7));
}
