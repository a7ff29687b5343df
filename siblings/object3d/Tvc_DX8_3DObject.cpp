#include "siblings/object3d/Tvc_DX8_3DObject.h"

#include "common/PluginEntry.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"

#include <cmath>

namespace {

void SaveFloats(TavFileSaver& saver, const char* tag, const float* values, int count)
{
    vex::ByteWriter writer;
    for (int i = 0; i < count; ++i)
        writer.F32(values[i]);
    saver.SaveTag(tag);
    saver.SaveBlockSize(static_cast<int>(writer.Size()));
    saver.SaveDataToFile(writer.Data().data(), static_cast<int>(writer.Size()));
}

/// Reads exactly count finite floats; false (values untouched) otherwise.
bool LoadFloats(TavFileLoader& loader, const char* tag, float* values, int count)
{
    if (!loader.GetInfoIfTag(tag) || loader.GetTagDataSize() != 4 * count)
        return false;
    vex::ByteReader reader(loader.GetTagData(), static_cast<size_t>(4 * count));
    float read[4] = {};
    for (int i = 0; i < count; ++i)
        if (!reader.F32(read[i]) || !std::isfinite(read[i]))
            return false;
    for (int i = 0; i < count; ++i)
        values[i] = read[i];
    return true;
}

} // namespace

Tvc_DX8_3DObject::Tvc_DX8_3DObject()
{
    SetChannelName("DX8 3D Object");
    SetChildCreationCount(1);
    SetChildCreateType(vex::MakeChildCreation("Matrix", vex::Guid(vex::guids::kMatrix), 0, "Matrix"), kMatrixLink);
    SetChildCreateType(vex::MakeChildCreation("DX8 Surface", vex::Guid(vex::guids::kSurface), -1, "Surfaces"),
                       kSurfaceLink);
}

bool Tvc_DX8_3DObject::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_3DObjectInterface::SaveChannel(saver))
        return false;
    SaveFloats(saver, "OBST", shadowTint_, 3);
    SaveFloats(saver, "OBSO", &shadowOpacity_, 1);
    return true;
}

bool Tvc_DX8_3DObject::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_3DObjectInterface::LoadChannel(loader, group))
        return false;
    LoadFloats(loader, "OBST", shadowTint_, 3);
    LoadFloats(loader, "OBSO", &shadowOpacity_, 1);
    return true;
}

D3DXMATRIX* Tvc_DX8_3DObject::GetWorldMatrix(D3DXMATRIX* scratch)
{
    if (auto* matrix = dynamic_cast<Tvc_MatrixChannel*>(GetChild(kMatrixLink)))
        *scratch = matrix->GetMatrix();
    else
        D3DXMatrixIdentity(scratch);
    return scratch;
}

int Tvc_DX8_3DObject::GetSurfaceCount() { return GetChildTypeCount(vex::Guid(vex::guids::kSurface)); }

void Tvc_DX8_3DObject::SetShadowTint(float red, float green, float blue)
{
    shadowTint_[0] = red;
    shadowTint_[1] = green;
    shadowTint_[2] = blue;
}

void Tvc_DX8_3DObject::GetShadowTint(float out[3]) const
{
    for (int i = 0; i < 3; ++i)
        out[i] = shadowTint_[i];
}

VEX_CHANNEL_PLUGIN(Tvc_DX8_3DObject, "DX8 3D Object", vex::guids::kObject3D, vex::guids::kObject3D)
