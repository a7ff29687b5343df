#pragma once
// The shadow queries of one texel asked ahead, one batch per light, so that the shadow scene can trace a
// texel's samples together; shading then takes the answers in the order it asks for them.

#include "texlight/Lighting.h"

#include <cstddef>
#include <vector>

class Tav_Channel;
class Tav_OctTreeBatchInterface;

namespace vex::texlight {

class TexelShadowBatch final : public ShadowTracer {
public:
    /// batch answers the queries asked ahead; single answers any query that was not (it may be null: the
    /// light then passes, as without a tracer).
    TexelShadowBatch(Tav_OctTreeBatchInterface* batch, ShadowTracer* single, Tav_Channel* receivingMesh, bool cull)
        : batch_(batch), single_(single), receivingMesh_(receivingMesh), cull_(cull)
    {
    }

    /// Asks, light by light, the queries that shading the covered ones of samples[0..count) will make.
    void Prepare(const LightSample* samples, int count, const LightSource* lights, size_t lightCount,
                 const LightingOptions& options, const D3DXVECTOR3* offsets, size_t offsetCount);
    /// Shading of sample s begins: its queries come one per shading light, in light order.
    void BeginSample(int s);
    /// The answer asked ahead for this query; one that differs in origin or target goes to the single tracer.
    void Trace(const D3DXVECTOR3& origin, const D3DXVECTOR3& target, ShadowColor& colour) override;

private:
    Tav_OctTreeBatchInterface* batch_;
    ShadowTracer* single_;
    Tav_Channel* receivingMesh_;
    bool cull_;
    int covered_ = 0;       ///< covered samples of the prepared texel: the queries per light
    int lightSlots_ = 0;    ///< shading lights asked ahead
    std::vector<int> rank_; ///< per sample, its place among the covered ones (-1: missed)
    int sampleRank_ = -1;   ///< of the sample being shaded
    int nextSlot_ = 0;      ///< the light of its next query
    // Per query, light-major (slot * covered_ + rank).
    std::vector<D3DXVECTOR3> origins_;
    std::vector<D3DXVECTOR3> targets_;
    std::vector<float> colours_; ///< four floats a query, starting as the free answer
};

} // namespace vex::texlight
