#include "app/Trajectory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace vex::app {
namespace {

struct AxisCase {
    int axis; ///< 0 x, 1 y, 2 z
    float degrees;
};

class QuaternionFromRotation : public ::testing::TestWithParam<AxisCase> {};

// A D3DX rotation by t about an axis (row vectors) is, as a column-vector rotation, the turn by t about
// that axis: its quaternion is (cos t/2, sin t/2 * axis), taken with w >= 0. Scaled rows must not matter.
TEST_P(QuaternionFromRotation, MatchesHalfAngleFormulaWithAndWithoutScale)
{
    const AxisCase c = GetParam();
    const float t = c.degrees * std::numbers::pi_v<float> / 180.0f;
    D3DXMATRIX r;
    if (c.axis == 0)
        D3DXMatrixRotationX(&r, t);
    else if (c.axis == 1)
        D3DXMatrixRotationY(&r, t);
    else
        D3DXMatrixRotationZ(&r, t);
    double w = std::cos(t / 2.0), s = std::sin(t / 2.0);
    if (w < 0) {
        w = -w;
        s = -s;
    }
    D3DXMATRIX scaled, scaling;
    D3DXMatrixScaling(&scaling, 2.0f, 0.5f, 3.0f);
    D3DXMatrixMultiply(&scaled, &scaling, &r);
    for (const D3DXMATRIX& m : {r, scaled}) {
        const Quaternion q = QuaternionFromMatrix(m);
        const float v[3] = {q.x, q.y, q.z};
        EXPECT_NEAR(q.w, w, 1e-6);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(v[i], i == c.axis ? s : 0.0, 1e-6) << "component " << i;
        EXPECT_NEAR(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z, 1.0, 1e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(Angles, QuaternionFromRotation,
                         ::testing::Values(AxisCase{0, 0}, AxisCase{0, 30}, AxisCase{1, 90}, AxisCase{2, -45},
                                           AxisCase{0, 179}, AxisCase{1, 180}, AxisCase{2, 270}, AxisCase{1, -170}));

// Converting a composed rotation back to a matrix gives the rotation's rows again (all branches of the
// conversion are reached by these angle sets).
TEST(QuaternionFromMatrix, RebuildsComposedRotations)
{
    const float angles[][3] = {{0.3f, -1.1f, 2.5f}, {3.0f, 0.1f, -3.0f}, {1.5f, 1.5f, 1.5f}, {-2.9f, 2.9f, 0.2f}};
    for (const auto& a : angles) {
        D3DXMATRIX m;
        D3DXMatrixRotationYawPitchRoll(&m, a[0], a[1], a[2]);
        const Quaternion q = QuaternionFromMatrix(m);
        // Column-vector rotation matrix of q; the row-vector matrix is its transpose.
        const double w = q.w, x = q.x, y = q.y, z = q.z;
        const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                                {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                                {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(m.m[i][j], r[j][i], 1e-5) << i << "," << j;
        EXPECT_GE(q.w, 0.0f);
    }
}

// Names may hold commas and quotes (they pass the scene reader); RFC 4180 quoting keeps the columns.
TEST(CsvField, QuotesOnlyFieldsThatNeedItAndDoublesQuotes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"box.start", "box.start"},       {"a,b", "\"a,b\""},           {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""}, {"cr\rhere", "\"cr\rhere\""}, {"", ""},
    };
    for (const auto& [name, field] : cases)
        EXPECT_EQ(CsvField(name), field) << name;
}

} // namespace
} // namespace vex::app
