#include "texlight/TexelShadowBatch.h"

#include "host/siblings/Tav_OctTreeInterface.h"

#include <algorithm>
#include <cstring>

namespace vex::texlight {

void TexelShadowBatch::Prepare(const LightSample* samples, int count, const LightSource* lights, size_t lightCount,
                               const LightingOptions& options, const D3DXVECTOR3* offsets, size_t offsetCount)
{
    rank_.assign(static_cast<size_t>(std::max(count, 0)), -1);
    covered_ = 0;
    for (int s = 0; s < count; ++s)
        if (!samples[s].missed)
            rank_[static_cast<size_t>(s)] = covered_++;
    lightSlots_ = 0;
    if (!options.useShadow || !batch_ || !receivingMesh_ || covered_ == 0)
        return;
    for (size_t i = 0; i < lightCount; ++i)
        lightSlots_ += IsShadingLightType(lights[i].type) ? 1 : 0;
    const size_t queries = static_cast<size_t>(lightSlots_) * static_cast<size_t>(covered_);
    origins_.resize(queries);
    targets_.resize(queries);
    colours_.resize(4 * queries);
    const ShadowColor free;
    for (size_t q = 0; q < queries; ++q)
        std::copy(free.rgba, free.rgba + 4, &colours_[4 * q]);

    size_t q = 0;
    for (size_t i = 0; i < lightCount; ++i) {
        if (!IsShadingLightType(lights[i].type))
            continue;
        // A directional light's target lies far against its direction whatever the sample: found once.
        const bool fixedTarget = lights[i].type == kLightDirectional;
        const D3DXVECTOR3 fixed = fixedTarget ? ShadowTarget(lights[i], lights[i].light.Position) : D3DXVECTOR3();
        for (int s = 0; s < count; ++s) {
            if (samples[s].missed)
                continue;
            origins_[q] = samples[s].position;
            targets_[q] =
                fixedTarget
                    ? fixed
                    : ShadowTarget(lights[i], SampleLightPosition(lights[i].light, s, options, offsets, offsetCount));
            ++q;
        }
    }
    for (int slot = 0; slot < lightSlots_; ++slot) {
        const size_t first = static_cast<size_t>(slot) * static_cast<size_t>(covered_);
        batch_->TraceRaysWithCulling(covered_, &origins_[first], &targets_[first], &colours_[4 * first], nullptr,
                                     receivingMesh_, cull_);
    }
}

void TexelShadowBatch::BeginSample(int s)
{
    sampleRank_ = s >= 0 && static_cast<size_t>(s) < rank_.size() ? rank_[static_cast<size_t>(s)] : -1;
    nextSlot_ = 0;
}

void TexelShadowBatch::Trace(const D3DXVECTOR3& origin, const D3DXVECTOR3& target, ShadowColor& colour)
{
    const int slot = nextSlot_++;
    if (sampleRank_ >= 0 && slot < lightSlots_) {
        const size_t q = static_cast<size_t>(slot) * static_cast<size_t>(covered_) + static_cast<size_t>(sampleRank_);
        // Compared bit for bit: the answer stands only for the very segment it was asked for.
        if (std::memcmp(&origins_[q], &origin, sizeof origin) == 0 &&
            std::memcmp(&targets_[q], &target, sizeof target) == 0) {
            // Unblocked answers stay the free answer the query arrives with, as the scene leaves it.
            std::copy(&colours_[4 * q], &colours_[4 * q] + 4, colour.rgba);
            return;
        }
    }
    if (single_)
        single_->Trace(origin, target, colour);
}

} // namespace vex::texlight
