#pragma once
// The shadow scene ("DX8 OctTree"): traces shadow segments through the triangles of its child objects.

#include "host/Tav_Channel.h"
#include "platform/D3DXMath.h"

class Tav_OctTreeInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    /// Tests the segment origin -> target (direction = target - origin). shadowColour arrives as
    /// (1, 1, 1, 0) and stays so when nothing blocks; otherwise it receives the red, green and blue of the
    /// light that passes and the opacity. Safe to call from several threads at once.
    virtual bool TraceRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                          float shadowColour[4], Tav_Channel* receivingMesh) = 0;
    /// Builds or refreshes the ray-tracing scene; called once before each light-map computation.
    virtual bool PrepareShadowTree(bool showProgress) = 0;
    virtual void SetUseCulling(bool useCulling) = 0;
    /// TraceRay with the culling flag given with the query rather than the one SetUseCulling stored, so
    /// that concurrent queries share no state that a call can change.
    virtual bool TraceRayWithCulling(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                                     float shadowColour[4], Tav_Channel* receivingMesh, bool cull) = 0;
};

/// Optional extension of a shadow scene: many segments in one call, which a scene can trace faster than
/// one at a time. Callers find it with dynamic_cast and, where a scene lacks it, ask TraceRayWithCulling
/// segment by segment; that keeps the slots of Tav_OctTreeInterface as they are.
class Tav_OctTreeBatchInterface {
public:
    /// For each i below count: what TraceRayWithCulling(&origins[i], &targets[i], direction,
    /// shadowColours + 4 i, receivingMesh, cull) writes, its return value into blocked[i] (blocked may be
    /// null). Safe to call from several threads at once.
    virtual void TraceRaysWithCulling(int count, const D3DXVECTOR3* origins, const D3DXVECTOR3* targets,
                                      float* shadowColours, bool* blocked, Tav_Channel* receivingMesh, bool cull) = 0;

protected:
    ~Tav_OctTreeBatchInterface() = default; // not deleted through this interface
};
