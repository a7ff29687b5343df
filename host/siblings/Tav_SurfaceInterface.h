#pragma once
// A surface of a 3D object: its mesh is child 0, its textures are at link 2.

#include "host/Tav_Channel.h"

class Tav_SurfaceInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    /// The texture-coordinate set that texture stage `stage` uses.
    virtual int GetStageTexCoordSet(int stage) = 0;
    /// A channel whose texture children take the stages before the surface's own, or null.
    virtual Tav_Channel* GetLeadingTextureChannel() = 0;
    /// -1 when the surface's own textures start at stage 0.
    virtual int GetLeadingTextureIndex() = 0;

    /// Link position of the surface's texture channels.
    static constexpr int kTextureLink = 2;
};
