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
    virtual bool TraceRayWithCulling(const D3DXVECTOR3* origin, const D3DXVECTOR3* target,
                                     const D3DXVECTOR3* direction, float shadowColour[4], Tav_Channel* receivingMesh,
                                     bool cull) = 0;
};
