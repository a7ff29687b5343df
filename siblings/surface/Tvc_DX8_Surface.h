#pragma once
// A surface ("DX8 Surface") of a 3D object: its mesh at link 0, its textures at link 2, and for each
// texture stage the texture-coordinate set that the stage reads.

#include "host/siblings/Tav_SurfaceInterface.h"
#include "host/siblings/Tav_SurfaceSetupInterface.h"

class Tvc_DX8_Surface : public Tav_SurfaceInterface, public Tav_SurfaceSetupInterface {
public:
    static constexpr int kMeshLink = 0;
    /// Kept free for a material; takes no channel of any type in use.
    static constexpr int kReservedLink = 1;
    /// Stages whose texture-coordinate set can be chosen; later stages use the set of their own number.
    static constexpr int kStageCount = Tav_SurfaceSetupInterface::kStageCount;
    /// Type of the reserved link, which no channel library registers.
    static constexpr const char* kReservedLinkType = "0B5E7A52-91C4-4D3E-8F06-7A2C1E9D4B83";

    Tvc_DX8_Surface();
    Tvc_DX8_Surface(const Tvc_DX8_Surface& other) = default;
    Tvc_DX8_Surface& operator=(const Tvc_DX8_Surface& other) = default;
    ~Tvc_DX8_Surface() override = default;

    /// Saves the stage sets ("SFTC": one int32 per stage).
    bool SaveChannel(TavFileSaver& saver) override;
    /// A "SFTC" chunk of the wrong size or with a negative set is ignored.
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    /// Stages 0..kStageCount-1 return their chosen set, later stages their own number, negative ones 0.
    int GetStageTexCoordSet(int stage) override;
    Tav_Channel* GetLeadingTextureChannel() override { return leadingChannel_; }
    int GetLeadingTextureIndex() override { return leadingIndex_; }

    /// False (nothing changed) for a stage outside 0..kStageCount-1 or a negative set.
    bool SetStageTexCoordSet(int stage, int set) override;
    /// A channel (borrowed) whose texture children take the stages before this surface's own; index -1
    /// when the surface's textures start at stage 0.
    void SetLeadingTexture(Tav_Channel* channel, int index)
    {
        leadingChannel_ = channel;
        leadingIndex_ = index;
    }

private:
    int stageSets_[kStageCount] = {0, 1, 2, 3, 4, 5, 6, 7};
    Tav_Channel* leadingChannel_ = nullptr;
    int leadingIndex_ = -1;
};
