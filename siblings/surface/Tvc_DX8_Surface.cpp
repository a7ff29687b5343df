#include "siblings/surface/Tvc_DX8_Surface.h"

#include "common/PluginEntry.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/siblings/TypeGuids.h"

Tvc_DX8_Surface::Tvc_DX8_Surface()
{
    SetChannelName("DX8 Surface");
    SetChildCreationCount(1);
    SetChildCreateType(vex::MakeChildCreation("DX8 Mesh", vex::Guid(vex::guids::kMesh), 0, "Mesh"), kMeshLink);
    SetChildCreateType(vex::MakeChildCreation("Reserved", vex::Guid(kReservedLinkType), 0, "Reserved"), kReservedLink);
    SetChildCreateType(vex::MakeChildCreation("DX8 Texture", vex::Guid(vex::guids::kTexture), -1, "Textures"),
                       kTextureLink);
}

bool Tvc_DX8_Surface::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_SurfaceInterface::SaveChannel(saver))
        return false;
    vex::ByteWriter writer;
    for (int set : stageSets_)
        writer.I32(set);
    saver.SaveChunk("SFTC", writer.Data());
    return true;
}

bool Tvc_DX8_Surface::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_SurfaceInterface::LoadChannel(loader, group))
        return false;
    if (loader.GetInfoIfTag("SFTC") && loader.GetTagDataSize() == 4 * kStageCount) {
        vex::ByteReader reader = loader.TagReader();
        int read[kStageCount];
        bool valid = true;
        for (int& set : read) {
            int32_t v = -1;
            valid = reader.I32(v) && v >= 0 && valid;
            set = v;
        }
        if (valid)
            for (int i = 0; i < kStageCount; ++i)
                stageSets_[i] = read[i];
    }
    return true;
}

int Tvc_DX8_Surface::GetStageTexCoordSet(int stage)
{
    if (stage < 0)
        return 0;
    return stage < kStageCount ? stageSets_[stage] : stage;
}

bool Tvc_DX8_Surface::SetStageTexCoordSet(int stage, int set)
{
    if (stage < 0 || stage >= kStageCount || set < 0)
        return false;
    stageSets_[stage] = set;
    return true;
}

VEX_CHANNEL_PLUGIN(Tvc_DX8_Surface, "DX8 Surface", vex::guids::kSurface, vex::guids::kSurface)
