#pragma once
// A 3D object ("DX8 3D Object"): its world matrix and surfaces (surface channels are its children).

#include "host/Tav_Channel.h"
#include "platform/D3DXMath.h"

class Tav_3DObjectInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    /// Pointer to the object-to-world matrix (may be scratch); copy it at once.
    virtual D3DXMATRIX* GetWorldMatrix(D3DXMATRIX* scratch) = 0;
    virtual int GetSurfaceCount() = 0;
};
