#include "body/collision/BoxBox.h"

#include <ode/ode.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace vex::collision;

namespace {

const double kIdentityR[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
const double kUnit[3] = {1, 1, 1};

// ODE rotation whose columns are the given axes.
void FromColumns(const double c0[3], const double c1[3], const double c2[3], double R[12])
{
    for (int i = 0; i < 3; ++i) {
        R[4 * i] = c0[i];
        R[4 * i + 1] = c1[i];
        R[4 * i + 2] = c2[i];
        R[4 * i + 3] = 0;
    }
}

struct Result {
    int count;
    double normal[3];
    double depth;
    int code;
    dContactGeom contact;
};

Result RunBoxBox(const double* p1, const double* R1, const double* s1, const double* p2, const double* R2,
                 const double* s2)
{
    Result r{};
    r.count = BoxBox(p1, R1, s1, p2, R2, s2, r.normal, &r.depth, &r.code, &r.contact);
    return r;
}

} // namespace

TEST(BoxBox, FaceOfBoxOneWinsTieWithBoxTwoAndTakesBoxTwosDeepestCorner)
{
    const double p1[3] = {0, 0, 0}, p2[3] = {0.9, 0, 0};
    const Result r = RunBoxBox(p1, kIdentityR, kUnit, p2, kIdentityR, kUnit);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.code, 1);
    EXPECT_NEAR(r.normal[0], 1, 1e-12);
    EXPECT_NEAR(r.normal[1], 0, 1e-12);
    EXPECT_NEAR(r.normal[2], 0, 1e-12);
    EXPECT_NEAR(r.depth, 0.1, 1e-12);
    EXPECT_NEAR(r.contact.depth, 0.1, 1e-12);
    EXPECT_NEAR(r.contact.pos[0], 0.4, 1e-12);
    EXPECT_NEAR(r.contact.pos[1], 0.5, 1e-12);
    EXPECT_NEAR(r.contact.pos[2], 0.5, 1e-12);
}

// A wide flat box under a small one, in either order (box 1's face axis wins the tie both times): the
// contact is the wide box's far-away corner moved onto the small box's face, or the small box's own corner.
TEST(BoxBox, FaceContactLiesOnTheReferenceFace)
{
    const double small[3] = {1, 1, 1}, wide[3] = {20, 0.01, 12};
    const double p1[3] = {0.3, 0.499, -0.2}, p2[3] = {-2, 0, 1};
    for (const bool swapped : {false, true}) {
        const Result r = swapped ? RunBoxBox(p2, kIdentityR, wide, p1, kIdentityR, small)
                                 : RunBoxBox(p1, kIdentityR, small, p2, kIdentityR, wide);
        ASSERT_EQ(r.count, 1);
        EXPECT_EQ(r.code, 2);
        EXPECT_NEAR(r.depth, 0.006, 1e-9);
        EXPECT_GE(r.contact.pos[0], -0.2 - 1e-9);
        EXPECT_LE(r.contact.pos[0], 0.8 + 1e-9);
        EXPECT_GE(r.contact.pos[2], -0.7 - 1e-9);
        EXPECT_LE(r.contact.pos[2], 0.3 + 1e-9);
        EXPECT_NEAR(r.contact.pos[1], swapped ? -0.001 : 0.005, 1e-9);
    }
}

TEST(BoxBox, SeparatedBoxesGiveNothingAndLeaveTheOutputsAlone)
{
    const double p1[3] = {0, 0, 0}, p2[3] = {1.1, 0, 0};
    Result r{};
    r.depth = 42;
    r.contact.depth = 42;
    r.count = BoxBox(p1, kIdentityR, kUnit, p2, kIdentityR, kUnit, r.normal, &r.depth, &r.code, &r.contact);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.depth, 42);
    EXPECT_EQ(r.contact.depth, 42);
}

TEST(BoxBox, VerticalEdgeOfATurnedBoxEnteringAFaceTouchesAtTheEdgesTopEnd)
{
    const double c = std::sqrt(0.5);
    const double d = 0.5 + c - 0.01;
    const double a0[3] = {c, c, 0}, a1[3] = {-c, c, 0}, a2[3] = {0, 0, 1};
    double R2[12];
    FromColumns(a0, a1, a2, R2);
    const double p1[3] = {0, 0, 0}, p2[3] = {d, 0, 0};
    const Result r = RunBoxBox(p1, kIdentityR, kUnit, p2, R2, kUnit);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.code, 1);
    EXPECT_NEAR(r.depth, 0.01, 1e-9);
    EXPECT_NEAR(r.contact.pos[0], d - c, 1e-9);
    EXPECT_NEAR(r.contact.pos[1], 0, 1e-9);
    EXPECT_NEAR(r.contact.pos[2], 0.5, 1e-9);
}

TEST(BoxBox, CrossedEdgesGiveCodeFourteenAtTheMidpointOfTheEdgeLines)
{
    const double h = 0.7071;
    const double a0[3] = {h, h, 0}, a1[3] = {-0.5, 0.5, h}, a2[3] = {0.5, -0.5, h};
    double R2[12];
    FromColumns(a0, a1, a2, R2);
    const double p1[3] = {0, 0, 0}, p2[3] = {0.85, 0.85, 0};
    const Result r = RunBoxBox(p1, kIdentityR, kUnit, p2, R2, kUnit);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.code, 14);
    EXPECT_NEAR(r.normal[0], 0.7071, 1e-4);
    EXPECT_NEAR(r.normal[1], 0.7071, 1e-4);
    EXPECT_NEAR(r.normal[2], 0, 1e-9);
    EXPECT_NEAR(r.depth, 0.00503, 1e-5);
    EXPECT_NEAR(r.contact.pos[0], 0.4982, 1e-4);
    EXPECT_NEAR(r.contact.pos[1], 0.4982, 1e-4);
    // Box 2's two slanted axes are exactly perpendicular to the normal; a zero dot product counts as not
    // positive (as in the face case above), so box 2's edge is taken on its +z side and the closest points
    // of the two edge lines meet at z = +0.7071, beyond box 1's top face.
    EXPECT_NEAR(r.contact.pos[2], 0.7071, 1e-4);
}

TEST(BoxBox, NonFiniteInputGivesNoContact)
{
    const double p1[3] = {0, 0, 0}, p2[3] = {NAN, 0, 0};
    const Result r = RunBoxBox(p1, kIdentityR, kUnit, p2, kIdentityR, kUnit);
    EXPECT_EQ(r.count, 0);
}

TEST(LineClosestApproach, ParallelLinesGiveZeroParameters)
{
    const double pa[3] = {0, 0, 0}, pb[3] = {1, 2, 3}, u[3] = {0, 1, 0};
    double alpha = 7, beta = 7;
    LineClosestApproach(pa, u, pb, u, &alpha, &beta);
    EXPECT_EQ(alpha, 0);
    EXPECT_EQ(beta, 0);
}

TEST(LineClosestApproach, ClosestPointsOfSkewLinesAreJoinedByAPerpendicular)
{
    const double pa[3] = {0, 0, 0}, ua[3] = {1, 0, 0}, pb[3] = {2, 3, 1};
    const double ub[3] = {0, std::sqrt(0.5), std::sqrt(0.5)};
    double alpha, beta;
    LineClosestApproach(pa, ua, pb, ub, &alpha, &beta);
    double gap[3];
    for (int k = 0; k < 3; ++k)
        gap[k] = (pb[k] + ub[k] * beta) - (pa[k] + ua[k] * alpha);
    EXPECT_NEAR(gap[0] * ua[0] + gap[1] * ua[1] + gap[2] * ua[2], 0, 1e-12);
    EXPECT_NEAR(gap[0] * ub[0] + gap[1] * ub[1] + gap[2] * ub[2], 0, 1e-12);
}

// Swapping the boxes keeps the depth and reverses the normal, whatever axis wins; random rotations.
TEST(BoxBox, SwappingTheBoxesKeepsTheDepthAndReversesTheNormal)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> angle(-3.14159, 3.14159), offset(-1.2, 1.2), side(0.2, 2.0);
    auto rotation = [&](double R[12]) {
        const double a = angle(rng), b = angle(rng), c = angle(rng);
        dRFromEulerAngles(R, a, b, c);
    };
    int overlaps = 0;
    for (int i = 0; i < 500; ++i) {
        double R1[12], R2[12];
        rotation(R1);
        rotation(R2);
        const double p1[3] = {0, 0, 0}, p2[3] = {offset(rng), offset(rng), offset(rng)};
        const double s1[3] = {side(rng), side(rng), side(rng)}, s2[3] = {side(rng), side(rng), side(rng)};
        const Result ab = RunBoxBox(p1, R1, s1, p2, R2, s2);
        const Result ba = RunBoxBox(p2, R2, s2, p1, R1, s1);
        ASSERT_EQ(ab.count, ba.count);
        if (!ab.count)
            continue;
        ++overlaps;
        EXPECT_NEAR(ab.depth, ba.depth, 1e-9);
        EXPECT_GE(ab.depth, 0);
        const double length =
            std::sqrt(ab.normal[0] * ab.normal[0] + ab.normal[1] * ab.normal[1] + ab.normal[2] * ab.normal[2]);
        EXPECT_NEAR(length, 1, 1e-9);
        // The normal points from box 1 towards box 2.
        EXPECT_GE(ab.normal[0] * p2[0] + ab.normal[1] * p2[1] + ab.normal[2] * p2[2], -1e-9);
    }
    EXPECT_GT(overlaps, 100);
}
