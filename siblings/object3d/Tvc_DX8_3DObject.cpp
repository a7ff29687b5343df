#include "siblings/object3d/Tvc_DX8_3DObject.h"

#include "common/PluginEntry.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"

Tvc_DX8_3DObject::Tvc_DX8_3DObject()
{
    SetChannelName("DX8 3D Object");
    SetChildCreationCount(1);
    SetChildCreateType(vex::MakeChildCreation("Matrix", vex::Guid(vex::guids::kMatrix), 0, "Matrix"), kMatrixLink);
    SetChildCreateType(vex::MakeChildCreation("DX8 Surface", vex::Guid(vex::guids::kSurface), -1, "Surfaces"),
                       kSurfaceLink);
}

D3DXMATRIX* Tvc_DX8_3DObject::GetWorldMatrix(D3DXMATRIX* scratch)
{
    // Known by its type record rather than dynamic_cast, which would tie this library to the matrix
    // channel's library for the class's type information.
    Tav_Channel* child = GetChild(kMatrixLink);
    const _GUID matrixType = vex::Guid(vex::guids::kMatrix);
    const bool isMatrix =
        child && (child->GetChannelType().typeGuid == matrixType || child->GetChannelType().baseTypeGuid == matrixType);
    if (isMatrix)
        *scratch = static_cast<Tvc_MatrixChannel*>(child)->GetMatrix();
    else
        D3DXMatrixIdentity(scratch);
    return scratch;
}

int Tvc_DX8_3DObject::GetSurfaceCount() { return GetChildTypeCount(vex::Guid(vex::guids::kSurface)); }

VEX_CHANNEL_PLUGIN(Tvc_DX8_3DObject, "DX8 3D Object", vex::guids::kObject3D, vex::guids::kObject3D)
