#pragma once
// The colour of one sample: the sum over the lights of what each casts onto the point, dimmed or tinted by
// what lies between (asked of a shadow tracer), with attenuation, spot cones, overbright and soft-shadow
// light offsets.

#include "platform/D3D8.h"
#include "texlight/LightSample.h"

#include <cstddef>
#include <vector>

class Tav_OctTreeInterface;
class Tav_Channel;

namespace vex::texlight {

/// Light type codes that light channels report.
enum LightTypeCode : int { kLightDirectional = 0, kLightSpot = 1, kLightPoint = 2 };

/// A light as the computation sees it: a copy of its description and its type code.
struct LightSource {
    D3DLIGHT8 light;
    int type = kLightPoint;
};

/// The channel settings that shading reads.
struct LightingOptions {
    bool useOverbright = false;
    bool useShadow = true;
    bool useLighting = true;
    bool useColorTransparency = true;
    /// Soft shadows in effect: SoftUseShadows on and a sample-grid mode of 2 or more.
    bool softShadows = false;
};

/// Answers shadow queries from origin towards target; colour arrives as (1, 1, 1, 0).
class ShadowTracer {
public:
    virtual ~ShadowTracer() = default;
    virtual void Trace(const D3DXVECTOR3& origin, const D3DXVECTOR3& target, ShadowColor& colour) = 0;
};

/// Traces through an octree channel with the receiving mesh and culling flag; without a channel or a mesh
/// the light passes unchanged.
class OctTreeShadowTracer final : public ShadowTracer {
public:
    OctTreeShadowTracer(Tav_OctTreeInterface* octree, Tav_Channel* receivingMesh, bool cull)
        : octree_(octree), receivingMesh_(receivingMesh), cull_(cull)
    {
    }
    /// Thread-safe: the culling flag goes with every query.
    void Trace(const D3DXVECTOR3& origin, const D3DXVECTOR3& target, ShadowColor& colour) override;

private:
    Tav_OctTreeInterface* octree_;
    Tav_Channel* receivingMesh_;
    bool cull_;
};

/// Adds v to a running channel sum: nothing unless v > 0 (NaN adds nothing); the sum stops at limit;
/// otherwise v is truncated toward zero before it is added.
void AddClamped(int& sum, float v, int limit);

/// The shadow query of a sample towards target: (1, 1, 1, 0) when nothing blocks.
ShadowColor QueryShadow(ShadowTracer* tracer, const D3DXVECTOR3& position, const D3DXVECTOR3& target);

/// A light type that casts light and shadows (directional, spot or point); other codes add nothing.
bool IsShadingLightType(int type);
/// Where the light stands for sample sampleIndex: its position, moved by the sample's soft-shadow offset
/// when soft shadows are on and the table has one.
D3DXVECTOR3 SampleLightPosition(const D3DLIGHT8& light, int sampleIndex, const LightingOptions& options,
                                const D3DXVECTOR3* offsets, size_t offsetCount);
/// The end of a sample's shadow query: the light's (moved) position, or far against a directional
/// light's direction.
D3DXVECTOR3 ShadowTarget(const LightSource& light, const D3DXVECTOR3& lightPosition);

/// Fills sample.colour from the lights. sampleIndex picks the soft-shadow offset (ignored when it has
/// none). tracer may be null: no shadows.
void ShadeSampleWithLights(LightSample& sample, int sampleIndex, const LightSource* lights, size_t lightCount,
                           const LightingOptions& options, const D3DXVECTOR3* offsets, size_t offsetCount,
                           ShadowTracer* tracer);

/// Points on a sphere of the radius around the light, one per sample of a texel and two more: the north
/// pole first, then rings from the north down, the south pole last. Empty for modes below 2; modes above
/// 3 take the table of mode 3.
std::vector<D3DXVECTOR3> MakeSoftShadowOffsets(int mode, float radius);

} // namespace vex::texlight
