#include "texlight/Lighting.h"

#include "host/siblings/Tav_OctTreeInterface.h"
#include "platform/VectorOps.h"
#include "texlight/TexLightConstants.h"

#include <cmath>

namespace vex::texlight {

namespace {
/// 1 / (a0 + a1 d + a2 d^2), never above 1.
float Attenuation(const D3DLIGHT8& light, float d)
{
    const float t = 1.0f / (light.Attenuation0 + light.Attenuation1 * d + light.Attenuation2 * d * d);
    return t >= 1.0f ? 1.0f : t;
}

/// How squarely the light meets the sample (the spot cone's falloff for a spot light with a cone), and in
/// `t` its attenuation with distance (left as it is for a directional light).
float Incidence(const D3DLIGHT8& L, int type, const LightSample& sample, const D3DXVECTOR3& lightPosition, float& t)
{
    if (type == kLightDirectional)
        return -Dot(L.Direction, sample.normal);
    const D3DXVECTOR3 D = sample.position - lightPosition;
    const float d = Length(D);
    t = Attenuation(L, d);
    const D3DXVECTOR3 u = D / d;
    if (type == kLightPoint)
        return -Dot(u, sample.normal);
    const float cosine = Dot(u, L.Direction);
    const double angle = std::acos(static_cast<double>(cosine));
    if (L.Theta != 0.0f && static_cast<double>(L.Phi) < angle)
        return 0.0f;
    if (L.Phi != 0.0f)
        return static_cast<float>(
            std::pow(static_cast<double>(cosine), kSpotExponentScale * static_cast<double>(L.Theta)));
    return -Dot(L.Direction, sample.normal);
}
} // namespace

void OctTreeShadowTracer::Trace(const D3DXVECTOR3& origin, const D3DXVECTOR3& target, ShadowColor& colour)
{
    if (!octree_ || !receivingMesh_)
        return;
    const D3DXVECTOR3 direction = target - origin;
    octree_->TraceRayWithCulling(&origin, &target, &direction, colour.rgba, receivingMesh_, cull_);
}

void AddClamped(int& sum, float v, int limit)
{
    if (!(v > 0.0f))
        return;
    if (static_cast<float>(sum) + v > static_cast<float>(limit))
        sum = limit;
    else
        sum += static_cast<int>(v);
}

ShadowColor QueryShadow(ShadowTracer* tracer, const D3DXVECTOR3& position, const D3DXVECTOR3& target)
{
    ShadowColor colour;
    if (tracer)
        tracer->Trace(position, target, colour);
    return colour;
}

// Light type codes other than these have no defined direction or shadow target.
bool IsShadingLightType(int type) { return type == kLightDirectional || type == kLightSpot || type == kLightPoint; }

D3DXVECTOR3 SampleLightPosition(const D3DLIGHT8& light, int sampleIndex, const LightingOptions& options,
                                const D3DXVECTOR3* offsets, size_t offsetCount)
{
    D3DXVECTOR3 position = light.Position;
    if (options.softShadows && sampleIndex >= 0 && static_cast<size_t>(sampleIndex) < offsetCount)
        position += offsets[sampleIndex];
    return position;
}

D3DXVECTOR3 ShadowTarget(const LightSource& light, const D3DXVECTOR3& lightPosition)
{
    if (light.type != kLightDirectional)
        return lightPosition;
    D3DXVECTOR3 direction;
    D3DXVec3Normalize(&direction, &light.light.Direction);
    return -direction * kDirectionalShadowDistance;
}

void ShadeSampleWithLights(LightSample& sample, int sampleIndex, const LightSource* lights, size_t lightCount,
                           const LightingOptions& options, const D3DXVECTOR3* offsets, size_t offsetCount,
                           ShadowTracer* tracer)
{
    const int limit = options.useOverbright ? kOverbrightLimit : kFullIntensity;
    int sum[3] = {0, 0, 0};

    for (size_t i = 0; i < lightCount; ++i) {
        const D3DLIGHT8& L = lights[i].light;
        const int type = lights[i].type;
        if (!IsShadingLightType(type))
            continue;
        const D3DXVECTOR3 lightPosition = SampleLightPosition(L, sampleIndex, options, offsets, offsetCount);

        float c = 1.0f;
        float tint[3] = {1.0f, 1.0f, 1.0f};
        if (options.useShadow) {
            const ShadowColor shadow = QueryShadow(tracer, sample.position, ShadowTarget(lights[i], lightPosition));
            c = 1.0f - shadow.rgba[3];
            tint[0] = shadow.rgba[0];
            tint[1] = shadow.rgba[1];
            tint[2] = shadow.rgba[2];
        }

        if (!options.useLighting) {
            const float v = static_cast<float>(kFullIntensity) * c;
            for (int k = 0; k < 3; ++k)
                AddClamped(sum[k], v, limit);
            continue;
        }
        if (c <= 0.0f)
            continue;

        float t = 1.0f;
        const float b = Incidence(L, type, sample, lightPosition, t);

        // A surface facing away adds nothing, whatever the attenuation's sign (a negative t times a negative
        // b would otherwise light it); NaN from a degenerate direction adds nothing either.
        if (!(b > 0.0f))
            continue;
        const float diffuse[3] = {L.Diffuse.r, L.Diffuse.g, L.Diffuse.b};
        for (int k = 0; k < 3; ++k) {
            const float scaled = static_cast<float>(kFullIntensity) * t * b * diffuse[k];
            const float v = options.useColorTransparency ? scaled * (1.0f - c) * tint[k] + scaled * c : scaled * c;
            AddClamped(sum[k], v, limit);
        }
    }

    const float scale = options.useOverbright ? kOverbrightScale : 1.0f;
    sample.colour[0] = static_cast<float>(sum[0]) * scale;
    sample.colour[1] = static_cast<float>(sum[1]) * scale;
    sample.colour[2] = static_cast<float>(sum[2]) * scale;
    sample.colour[3] = 0.0f;
}

std::vector<D3DXVECTOR3> MakeSoftShadowOffsets(int mode, float radius)
{
    if (mode < kSoftShadowMinMode)
        return {};
    const int rings = mode == kSoftShadowMinMode ? 4 : 8;
    const int segments = mode == kSoftShadowMinMode ? 3 : 7;
    const int count = segments * (rings + 1) + 2;
    std::vector<D3DXVECTOR3> offsets(static_cast<size_t>(count));
    offsets[0] = D3DXVECTOR3(0, radius, 0);
    offsets[static_cast<size_t>(count - 1)] = D3DXVECTOR3(0, -radius, 0);

    // The angles advance by adding single-precision steps to running sums, as the table always has.
    const float ringStep = 3.1415927f / static_cast<float>(rings + 2);
    const float segmentStep = 6.2831855f / static_cast<float>(segments);
    size_t k = 1;
    float theta = ringStep;
    for (int j = 0; j <= rings; ++j, theta += ringStep) {
        float phi = 0.0f;
        for (int s = 0; s < segments; ++s, phi += segmentStep) {
            offsets[k++] = D3DXVECTOR3(radius * std::sin(theta) * std::sin(phi), radius * std::cos(theta),
                                       radius * std::sin(theta) * std::cos(phi));
        }
    }
    return offsets;
}

} // namespace vex::texlight
