#include "platform/D3DXMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

D3DXMATRIX Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXVECTOR3 Coord(const D3DXVECTOR3& v, const D3DXMATRIX& m)
{
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

D3DXVECTOR3 Normal(const D3DXVECTOR3& v, const D3DXMATRIX& m)
{
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &v, &m);
    return out;
}

void ExpectNear(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

float MaxDifference(const D3DXMATRIX& a, const D3DXMATRIX& b)
{
    float worst = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            worst = std::max(worst, std::fabs(a.m[r][c] - b.m[r][c]));
    return worst;
}

/// A random rigid motion with a positive scale: rotation, scale, translation.
D3DXMATRIX RandomAffine(std::mt19937& rng)
{
    std::uniform_real_distribution<float> angle(-kPi, kPi), scale(0.2f, 5.0f), offset(-100.0f, 100.0f);
    D3DXMATRIX r, s, t;
    D3DXMatrixRotationYawPitchRoll(&r, angle(rng), angle(rng), angle(rng));
    D3DXMatrixScaling(&s, scale(rng), scale(rng), scale(rng));
    D3DXMatrixTranslation(&t, offset(rng), offset(rng), offset(rng));
    return s * r * t;
}

TEST(D3DXMath, MultiplyAppliesLeftOperandFirstToRowVectors)
{
    D3DXMATRIX t, s;
    D3DXMatrixTranslation(&t, 1, 2, 3);
    D3DXMatrixScaling(&s, 2, 2, 2);
    // Translate then scale: the origin lands on (2, 4, 6); scale then translate: on (1, 2, 3).
    ExpectNear(Coord({0, 0, 0}, t * s), {2, 4, 6});
    ExpectNear(Coord({0, 0, 0}, s * t), {1, 2, 3});
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, &t, &s);
    EXPECT_EQ(product, t * s);
    EXPECT_FLOAT_EQ(product._41, 2);
    EXPECT_FLOAT_EQ(product._11, 2);
}

TEST(D3DXMath, MultiplyComposesTransformsOverRandomMatrices)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coord(-10, 10);
    for (int i = 0; i < 200; ++i) {
        const D3DXMATRIX a = RandomAffine(rng), b = RandomAffine(rng);
        const D3DXVECTOR3 v(coord(rng), coord(rng), coord(rng));
        const D3DXVECTOR3 twoSteps = Coord(Coord(v, a), b);
        const D3DXVECTOR3 oneStep = Coord(v, a * b);
        const float size = std::max(1.0f, D3DXVec3Length(&twoSteps));
        ExpectNear(oneStep, twoSteps, 2e-5f * size * 50);
    }
}

TEST(D3DXMath, MultiplyIsSafeWhenOutputAliasesAnOperand)
{
    std::mt19937 rng(11);
    const D3DXMATRIX a = RandomAffine(rng), b = RandomAffine(rng);
    const D3DXMATRIX expected = a * b;
    D3DXMATRIX left = a;
    D3DXMatrixMultiply(&left, &left, &b);
    EXPECT_EQ(left, expected);
    D3DXMATRIX right = b;
    D3DXMatrixMultiply(&right, &a, &right);
    EXPECT_EQ(right, expected);
    D3DXMATRIX square = a;
    D3DXMatrixMultiply(&square, &square, &square);
    EXPECT_EQ(square, a * a);
}

TEST(D3DXMath, InverseTimesMatrixIsIdentityOverRandomWellConditionedMatrices)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> entry(-1, 1);
    const D3DXMATRIX identity = Identity();
    for (int i = 0; i < 300; ++i) {
        // Half rigid motions with scale, half general matrices made diagonally dominant (well conditioned).
        D3DXMATRIX m;
        if (i % 2 == 0) {
            m = RandomAffine(rng);
        } else {
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    m.m[r][c] = entry(rng) + (r == c ? 5.0f : 0.0f);
        }
        D3DXMATRIX inverse;
        float det = 0;
        ASSERT_EQ(D3DXMatrixInverse(&inverse, &det, &m), &inverse) << "case " << i;
        EXPECT_NE(det, 0.0f);
        EXPECT_LT(MaxDifference(m * inverse, identity), 1e-4f) << "case " << i;
        EXPECT_LT(MaxDifference(inverse * m, identity), 1e-4f) << "case " << i;
    }
}

TEST(D3DXMath, InverseOfSingularMatrixReturnsNullAndLeavesOutputUntouched)
{
    D3DXMATRIX rankThree = Identity();
    rankThree._33 = 0; // flattens Z
    D3DXMATRIX repeatedRows(1, 2, 3, 4, 1, 2, 3, 4, 0, 0, 1, 0, 0, 0, 0, 1);
    D3DXMATRIX zero;
    for (const D3DXMATRIX& singular : {rankThree, repeatedRows, zero}) {
        D3DXMATRIX out(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
        const D3DXMATRIX before = out;
        float det = 42;
        EXPECT_EQ(D3DXMatrixInverse(&out, &det, &singular), nullptr);
        EXPECT_EQ(det, 0.0f);
        EXPECT_EQ(out, before);
    }
    D3DXMATRIX out;
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &zero), nullptr); // determinant pointer may be null
}

TEST(D3DXMath, InverseOfNonFiniteMatrixReturnsNull)
{
    D3DXMATRIX m = Identity();
    m._22 = std::nanf("");
    D3DXMATRIX out;
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &m), nullptr);
    m._22 = INFINITY;
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &m), nullptr);
}

TEST(D3DXMath, DeterminantOfScalingIsProductOfScales)
{
    D3DXMATRIX s;
    D3DXMatrixScaling(&s, 2, 3, -4);
    EXPECT_FLOAT_EQ(D3DXMatrixDeterminant(&s), -24.0f);
    D3DXMATRIX r;
    D3DXMatrixRotationYawPitchRoll(&r, 0.3f, -1.1f, 2.0f);
    EXPECT_NEAR(D3DXMatrixDeterminant(&r), 1.0f, 1e-5f);
}

TEST(D3DXMath, TransformCoordDividesByW)
{
    D3DXMATRIX m = Identity();
    m._44 = 2; // w = 2 for every point
    ExpectNear(Coord({2, 4, 6}, m), {1, 2, 3});
    // A perspective-like matrix: w = z.
    D3DXMATRIX p = Identity();
    p._34 = 1;
    p._44 = 0;
    ExpectNear(Coord({2, 4, 2}, p), {1, 2, 1});
    ExpectNear(Coord({3, -6, 3}, p), {1, -2, 1});
}

TEST(D3DXMath, TransformNormalIgnoresTranslation)
{
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 5, 6, 7);
    ExpectNear(Normal({1, 2, 3}, t), {1, 2, 3});
    ExpectNear(Coord({1, 2, 3}, t), {6, 8, 10});
}

TEST(D3DXMath, NormalizeKeepsZeroVectorZeroAndMakesOthersUnitLength)
{
    const D3DXVECTOR3 zero;
    D3DXVECTOR3 out(7, 7, 7);
    D3DXVec3Normalize(&out, &zero);
    EXPECT_EQ(out, D3DXVECTOR3(0, 0, 0));

    std::mt19937 rng(5);
    std::uniform_real_distribution<float> c(-1000, 1000);
    for (int i = 0; i < 100; ++i) {
        D3DXVECTOR3 v(c(rng), c(rng), c(rng));
        const D3DXVECTOR3 original = v;
        D3DXVec3Normalize(&v, &v); // in place
        EXPECT_NEAR(D3DXVec3Length(&v), 1.0f, 1e-6f);
        // Same direction: the original is a positive multiple of the result.
        D3DXVECTOR3 cross;
        D3DXVec3Cross(&cross, &v, &original);
        EXPECT_LT(D3DXVec3Length(&cross), 1e-3f * D3DXVec3Length(&original));
        EXPECT_GT(D3DXVec3Dot(&v, &original), 0.0f);
    }
    const D3DXVECTOR3 tiny(1e-30f, 0, 0);
    D3DXVec3Normalize(&out, &tiny);
    EXPECT_TRUE(std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z));
}

struct RotationCase {
    const char* name;
    D3DXMATRIX* (*make)(D3DXMATRIX*, float);
    D3DXVECTOR3 from;
    D3DXVECTOR3 to; ///< where `from` goes under a quarter turn
};

class D3DXRotation : public ::testing::TestWithParam<RotationCase> {};

TEST_P(D3DXRotation, QuarterTurnIsLeftHandedAndMatricesAreOrthonormal)
{
    const RotationCase& c = GetParam();
    D3DXMATRIX r;
    c.make(&r, kPi / 2);
    ExpectNear(Normal(c.from, r), c.to);
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> angle(-10, 10);
    for (int i = 0; i < 50; ++i) {
        c.make(&r, angle(rng));
        D3DXMATRIX transposed;
        D3DXMatrixTranspose(&transposed, &r);
        EXPECT_LT(MaxDifference(r * transposed, Identity()), 1e-5f);
        EXPECT_NEAR(D3DXMatrixDeterminant(&r), 1.0f, 1e-5f);
        EXPECT_EQ(r._41, 0.0f);
        EXPECT_EQ(r._44, 1.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Axes, D3DXRotation,
                         ::testing::Values(RotationCase{"X", D3DXMatrixRotationX, {0, 1, 0}, {0, 0, 1}},
                                           RotationCase{"Y", D3DXMatrixRotationY, {0, 0, 1}, {1, 0, 0}},
                                           RotationCase{"Z", D3DXMatrixRotationZ, {1, 0, 0}, {0, 1, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(D3DXMath, YawPitchRollAppliesRollThenPitchThenYaw)
{
    D3DXMATRIX ypr, rz, rx, ry;
    D3DXMatrixRotationYawPitchRoll(&ypr, 0.4f, -0.7f, 1.3f);
    D3DXMatrixRotationZ(&rz, 1.3f);
    D3DXMatrixRotationX(&rx, -0.7f);
    D3DXMatrixRotationY(&ry, 0.4f);
    EXPECT_LT(MaxDifference(ypr, rz * rx * ry), 1e-6f);
    // Yaw alone turns +Z towards +X.
    D3DXMatrixRotationYawPitchRoll(&ypr, kPi / 2, 0, 0);
    ExpectNear(Normal({0, 0, 1}, ypr), {1, 0, 0});
}

TEST(D3DXMath, CrossProductFollowsAxesAndIsAntiCommutative)
{
    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
    D3DXVECTOR3 out;
    D3DXVec3Cross(&out, &x, &y);
    EXPECT_EQ(out, z);
    D3DXVec3Cross(&out, &y, &z);
    EXPECT_EQ(out, x);
    D3DXVec3Cross(&out, &z, &x);
    EXPECT_EQ(out, y);
    const D3DXVECTOR3 a(1, 2, 3), b(-4, 5, 0.5f);
    D3DXVECTOR3 ab, ba;
    D3DXVec3Cross(&ab, &a, &b);
    D3DXVec3Cross(&ba, &b, &a);
    EXPECT_EQ(ab, -ba);
    EXPECT_NEAR(D3DXVec3Dot(&ab, &a), 0.0f, 1e-5f);
    EXPECT_NEAR(D3DXVec3Dot(&ab, &b), 0.0f, 1e-5f);
    // Aliasing the output with an input still gives a x b.
    D3DXVECTOR3 alias = a;
    D3DXVec3Cross(&alias, &alias, &b);
    EXPECT_EQ(alias, ab);
}

} // namespace
