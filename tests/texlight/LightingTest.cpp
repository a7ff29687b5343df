#include "texlight/Lighting.h"
#include "texlight/TexLightConstants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace vex::texlight;

namespace {

/// Answers every shadow query with a fixed colour (or a function of the ray) and counts the queries.
class FixedTracer : public ShadowTracer {
public:
    explicit FixedTracer(ShadowColor answer = {}) : answer_(answer) {}
    std::function<void(const D3DXVECTOR3&, const D3DXVECTOR3&, ShadowColor&)> byRay;
    void Trace(const D3DXVECTOR3& origin, const D3DXVECTOR3& target, ShadowColor& colour) override
    {
        ++queries;
        lastTarget = target;
        EXPECT_EQ(colour.rgba[0], 1.0f);
        EXPECT_EQ(colour.rgba[3], 0.0f);
        if (byRay)
            byRay(origin, target, colour);
        else
            colour = answer_;
    }
    int queries = 0;
    D3DXVECTOR3 lastTarget;

private:
    ShadowColor answer_;
};

LightSource Point(D3DXVECTOR3 position, float a0, float a1, float a2, D3DCOLORVALUE diffuse = {1, 1, 1, 1})
{
    LightSource s;
    s.type = kLightPoint;
    s.light.Diffuse = diffuse;
    s.light.Position = position;
    s.light.Attenuation0 = a0;
    s.light.Attenuation1 = a1;
    s.light.Attenuation2 = a2;
    return s;
}

/// A sample at the origin facing up.
LightSample Up()
{
    LightSample s;
    s.position = D3DXVECTOR3(0, 0, 0);
    s.normal = D3DXVECTOR3(0, 1, 0);
    s.missed = false;
    return s;
}

struct ShadeCase {
    const char* name;
    std::vector<LightSource> lights;
    LightingOptions options;
    float expected[3];
};

LightingOptions Options(bool overbright, bool lighting = true, bool shadow = false)
{
    LightingOptions o;
    o.useOverbright = overbright;
    o.useLighting = lighting;
    o.useShadow = shadow;
    return o;
}

} // namespace

TEST(Lighting, WorkedExamplesOfPointLightsOverbrightAndUnlitMode)
{
    const LightSource above = Point({0, 10, 0}, 1, 0, 0);
    const LightSource red = Point({0, 10, 0}, 1, 0, 0, {1, 0, 0, 1});
    const ShadeCase cases[] = {
        {"attenuation 1,0,0", {above}, Options(false), {255, 255, 255}},
        {"attenuation 0,0.5,0", {Point({0, 10, 0}, 0, 0.5f, 0)}, Options(false), {51, 51, 51}},
        {"attenuation 0,0,0 clamps t to 1", {Point({0, 10, 0}, 0, 0, 0)}, Options(false), {255, 255, 255}},
        {"two lights clamp at 255", {above, above}, Options(false), {255, 255, 255}},
        {"two lights overbright", {above, above}, Options(true), {127.5f, 127.5f, 127.5f}},
        {"five lights overbright stop at 1023",
         {above, above, above, above, above},
         Options(true),
         {255.75f, 255.75f, 255.75f}},
        {"unlit mode ignores colour and distance",
         {Point({30, -2, 7}, 9, 9, 9, {0.1f, 0, 0, 1})},
         Options(false, false),
         {255, 255, 255}},
        {"unlit mode with overbright", {above}, Options(true, false), {63.75f, 63.75f, 63.75f}},
        {"diffuse colour per channel", {red}, Options(false), {255, 0, 0}},
        {"facing away gets nothing", {Point({0, -10, 0}, 1, 0, 0)}, Options(false), {0, 0, 0}},
        {"facing away gets nothing with a negative attenuation",
         {Point({0, -10, 0}, -1, 0, 0)},
         Options(false),
         {0, 0, 0}},
        {"quadratic attenuation 0,0,0.02 at distance 10",
         {Point({0, 10, 0}, 0, 0, 0.02f)},
         Options(false),
         {127, 127, 127}},
        {"no lights is black", {}, Options(false), {0, 0, 0}},
        {"grazing light at 60 degrees", {Point({std::sqrt(3.0f) * 5, 5, 0}, 1, 0, 0)}, Options(false), {127, 127, 127}},
    };
    for (const ShadeCase& c : cases) {
        LightSample s = Up();
        ShadeSampleWithLights(s, 0, c.lights.data(), c.lights.size(), c.options, nullptr, 0, nullptr);
        for (int k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(s.colour[k], c.expected[k]) << c.name << " channel " << k;
        EXPECT_EQ(s.colour[3], 0.0f) << c.name;
    }
}

TEST(Lighting, DirectionalAndSpotLightsUseTheirDirectionFactor)
{
    LightSource sun;
    sun.type = kLightDirectional;
    sun.light.Diffuse = {1, 1, 1, 1};
    sun.light.Direction = D3DXVECTOR3(0, -1, 0);
    LightSample s = Up();
    ShadeSampleWithLights(s, 0, &sun, 1, Options(false), nullptr, 0, nullptr);
    EXPECT_FLOAT_EQ(s.colour[0], 255); // b = 1

    sun.light.Direction = D3DXVECTOR3(0, -0.5f, 0); // not normalised: b = 0.5
    s = Up();
    ShadeSampleWithLights(s, 0, &sun, 1, Options(false), nullptr, 0, nullptr);
    EXPECT_FLOAT_EQ(s.colour[0], 127);

    // Theta 0, Phi not 0: b = cos^0 = 1 whatever the normal.
    LightSource spot = Point({5, 3, 0}, 1, 0, 0);
    spot.type = kLightSpot;
    spot.light.Direction = D3DXVECTOR3(1, 0, 0);
    spot.light.Theta = 0;
    spot.light.Phi = 0.5f;
    s = Up();
    s.normal = D3DXVECTOR3(0, -1, 0);
    ShadeSampleWithLights(s, 0, &spot, 1, Options(false), nullptr, 0, nullptr);
    EXPECT_FLOAT_EQ(s.colour[1], 255);

    // Theta and Phi 0: b = -(Direction . normal), not normalised, wherever the sample lies, even at the
    // light itself.
    spot.light.Position = D3DXVECTOR3(0, 10, 0);
    spot.light.Direction = D3DXVECTOR3(0, -0.5f, 0);
    spot.light.Theta = 0;
    spot.light.Phi = 0;
    for (const D3DXVECTOR3& at : {D3DXVECTOR3(3, 0, 0), D3DXVECTOR3(0, 10, 0)}) {
        s = Up();
        s.position = at;
        ShadeSampleWithLights(s, 0, &spot, 1, Options(false), nullptr, 0, nullptr);
        EXPECT_FLOAT_EQ(s.colour[0], 127) << at.y;
    }

    // Outside the cone (Phi smaller than the angle) a spot light adds nothing.
    spot.light.Theta = 0.1f;
    spot.light.Position = D3DXVECTOR3(0, 10, 0);
    spot.light.Direction = D3DXVECTOR3(1, 0, 0);
    s = Up();
    ShadeSampleWithLights(s, 0, &spot, 1, Options(false), nullptr, 0, nullptr);
    EXPECT_FLOAT_EQ(s.colour[0], 0);

    // Inside the cone: cos(angle) ^ (100 Theta).
    spot.light.Direction = D3DXVECTOR3(0, -1, 0);
    spot.light.Phi = 1.0f;
    spot.light.Theta = 0.01f; // exponent 1
    s = Up();
    s.position = D3DXVECTOR3(10, 0, 0); // 45 degrees off the axis, distance sqrt(200)
    ShadeSampleWithLights(s, 0, &spot, 1, Options(false), nullptr, 0, nullptr);
    EXPECT_FLOAT_EQ(s.colour[0], std::trunc(255 * std::cos(3.14159265f / 4)));
}

TEST(Lighting, ShadowQueriesAimAtTheLightOrFarAgainstTheSunDirection)
{
    FixedTracer tracer;
    LightSource sun;
    sun.type = kLightDirectional;
    sun.light.Diffuse = {1, 1, 1, 1};
    sun.light.Direction = D3DXVECTOR3(0, -2, 0);
    LightSample s = Up();
    ShadeSampleWithLights(s, 0, &sun, 1, Options(false, true, true), nullptr, 0, &tracer);
    EXPECT_EQ(tracer.queries, 1);
    EXPECT_EQ(tracer.lastTarget, D3DXVECTOR3(0, 9000, 0));

    const LightSource lamp = Point({1, 2, 3}, 1, 0, 0);
    ShadeSampleWithLights(s, 0, &lamp, 1, Options(false, true, true), nullptr, 0, &tracer);
    EXPECT_EQ(tracer.lastTarget, D3DXVECTOR3(1, 2, 3));

    // Shadows off: no query at all.
    ShadeSampleWithLights(s, 0, &lamp, 1, Options(false, true, false), nullptr, 0, &tracer);
    EXPECT_EQ(tracer.queries, 2);
}

TEST(Lighting, ColourTransparencyLetsTheTintThroughAPartlyOpaqueBlocker)
{
    ShadowColor redGlass;
    redGlass.rgba[0] = 1, redGlass.rgba[1] = 0, redGlass.rgba[2] = 0, redGlass.rgba[3] = 0.5f;
    FixedTracer tracer(redGlass);
    const LightSource above = Point({0, 10, 0}, 1, 0, 0);
    LightingOptions options = Options(false, true, true);
    LightSample s = Up();
    ShadeSampleWithLights(s, 0, &above, 1, options, nullptr, 0, &tracer);
    EXPECT_FLOAT_EQ(s.colour[0], 255);
    EXPECT_FLOAT_EQ(s.colour[1], 127);
    EXPECT_FLOAT_EQ(s.colour[2], 127);

    options.useColorTransparency = false;
    s = Up();
    ShadeSampleWithLights(s, 0, &above, 1, options, nullptr, 0, &tracer);
    EXPECT_FLOAT_EQ(s.colour[0], 127);
    EXPECT_FLOAT_EQ(s.colour[1], 127);

    // Fully opaque: nothing, even in unlit mode.
    ShadowColor wall;
    wall.rgba[3] = 1;
    FixedTracer blocked(wall);
    s = Up();
    ShadeSampleWithLights(s, 0, &above, 1, Options(false, false, true), nullptr, 0, &blocked);
    EXPECT_FLOAT_EQ(s.colour[0], 0);
}

TEST(Lighting, ClampedAddIgnoresNonPositiveAndNaNAndTruncates)
{
    int sum = 10;
    AddClamped(sum, 0.0f, 255);
    AddClamped(sum, -5.0f, 255);
    AddClamped(sum, std::nanf(""), 255);
    EXPECT_EQ(sum, 10);
    AddClamped(sum, 2.9f, 255);
    EXPECT_EQ(sum, 12);
    AddClamped(sum, 243.5f, 255);
    EXPECT_EQ(sum, 255);
    AddClamped(sum, 0.5f, 255); // 255.5 > 255: stays at the limit
    EXPECT_EQ(sum, 255);
}

TEST(Lighting, SampleAtTheLightPositionAddsNothingInsteadOfNaN)
{
    const LightSource at = Point({0, 0, 0}, 1, 0, 0);
    LightSample s = Up();
    ShadeSampleWithLights(s, 0, &at, 1, Options(false), nullptr, 0, nullptr);
    EXPECT_EQ(s.colour[0], 0.0f);
}

TEST(Lighting, UnknownLightTypesAddNothing)
{
    LightSource odd = Point({0, 10, 0}, 1, 0, 0);
    odd.type = 7;
    FixedTracer tracer;
    LightSample s = Up();
    ShadeSampleWithLights(s, 0, &odd, 1, Options(false, false, true), nullptr, 0, &tracer);
    EXPECT_EQ(s.colour[0], 0.0f);
    EXPECT_EQ(tracer.queries, 0);
}

TEST(SoftShadowOffsets, TablesHoldPolesAndRingsOnTheSphere)
{
    EXPECT_TRUE(MakeSoftShadowOffsets(0, 1).empty());
    EXPECT_TRUE(MakeSoftShadowOffsets(1, 1).empty());
    const auto mode2 = MakeSoftShadowOffsets(2, 0.5f);
    const auto mode3 = MakeSoftShadowOffsets(3, 0.5f);
    ASSERT_EQ(mode2.size(), 17u);
    ASSERT_EQ(mode3.size(), 65u);
    EXPECT_EQ(MakeSoftShadowOffsets(9, 0.5f).size(), 65u);
    EXPECT_EQ(mode2.front(), D3DXVECTOR3(0, 0.5f, 0));
    EXPECT_EQ(mode2.back(), D3DXVECTOR3(0, -0.5f, 0));
    for (const auto* table : {&mode2, &mode3})
        for (const D3DXVECTOR3& p : *table)
            EXPECT_NEAR(D3DXVec3Length(&p), 0.5f, 1e-6);
    // Mode 2: rings at 30, 60, 90, 120, 150 degrees from the pole, 3 points each at 0, 120, 240 degrees.
    for (int ring = 0; ring < 5; ++ring)
        for (int seg = 0; seg < 3; ++seg) {
            const D3DXVECTOR3& p = mode2[1 + ring * 3 + seg];
            const double theta = (ring + 1) * 3.14159265358979 / 6, phi = seg * 2 * 3.14159265358979 / 3;
            EXPECT_NEAR(p.y, 0.5 * std::cos(theta), 1e-6);
            EXPECT_NEAR(p.x, 0.5 * std::sin(theta) * std::sin(phi), 1e-6);
            EXPECT_NEAR(p.z, 0.5 * std::sin(theta) * std::cos(phi), 1e-6);
        }
    for (const D3DXVECTOR3& p : MakeSoftShadowOffsets(3, 0.0f))
        EXPECT_EQ(p, D3DXVECTOR3(0, 0, 0));
}

TEST(SoftShadowOffsets, OffsetsMoveThePointLightPerSampleOnlyWhenSoftShadowsAreOn)
{
    const auto offsets = MakeSoftShadowOffsets(2, 1.0f);
    FixedTracer tracer;
    const LightSource lamp = Point({0, 10, 0}, 1, 0, 0);
    LightingOptions options = Options(false, true, true);
    options.softShadows = true;
    LightSample s = Up();
    ShadeSampleWithLights(s, 5, &lamp, 1, options, offsets.data(), offsets.size(), &tracer);
    EXPECT_EQ(tracer.lastTarget, lamp.light.Position + offsets[5]);
    // An index past the table uses the light where it is.
    ShadeSampleWithLights(s, 40, &lamp, 1, options, offsets.data(), offsets.size(), &tracer);
    EXPECT_EQ(tracer.lastTarget, lamp.light.Position);
    options.softShadows = false;
    ShadeSampleWithLights(s, 5, &lamp, 1, options, offsets.data(), offsets.size(), &tracer);
    EXPECT_EQ(tracer.lastTarget, lamp.light.Position);

    // A directional light keeps its far target.
    options.softShadows = true;
    LightSource sun;
    sun.type = kLightDirectional;
    sun.light.Diffuse = {1, 1, 1, 1};
    sun.light.Direction = D3DXVECTOR3(0, -1, 0);
    s = Up();
    ShadeSampleWithLights(s, 5, &sun, 1, options, offsets.data(), offsets.size(), &tracer);
    EXPECT_EQ(tracer.lastTarget, D3DXVECTOR3(0, 9000, 0));
    EXPECT_FLOAT_EQ(s.colour[0], 255);
}

// The moved light also gives the attenuation distance and the direction factor.
TEST(SoftShadowOffsets, MovedLightSetsDistanceAndDirection)
{
    const D3DXVECTOR3 offsets[] = {{0, 10, 0}, {10, 0, 0}};
    LightingOptions options = Options(false);
    options.softShadows = true;
    // Twice as far: t = 1 / (0.1 x 20).
    const LightSource far = Point({0, 10, 0}, 0, 0.1f, 0);
    LightSample s = Up();
    ShadeSampleWithLights(s, 0, &far, 1, options, offsets, 2, nullptr);
    EXPECT_FLOAT_EQ(s.colour[0], 127);
    // Moved to (10, 10, 0): 45 degrees off the normal.
    const LightSource aside = Point({0, 10, 0}, 1, 0, 0);
    s = Up();
    ShadeSampleWithLights(s, 1, &aside, 1, options, offsets, 2, nullptr);
    EXPECT_FLOAT_EQ(s.colour[0], std::trunc(255 * std::cos(3.14159265f / 4)));
}
