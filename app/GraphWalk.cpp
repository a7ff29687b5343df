#include "app/GraphWalk.h"

#include "host/Tav_Channel.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/TypeGuids.h"

namespace vex::app {

bool IsType(Tav_Channel* channel, const char* guid)
{
    return channel && channel->GetChannelType().typeGuid == Guid(guid);
}

void ForEachSurfaceMesh(Tav_Channel* object,
                        const std::function<void(int, Tav_MeshInterface&, const D3DXMATRIX&)>& visit)
{
    D3DXMATRIX scratch;
    const D3DXMATRIX world = *static_cast<Tav_3DObjectInterface*>(object)->GetWorldMatrix(&scratch);
    for (int s = 0;; ++s) {
        Tav_Channel* surface = object->GetChildFromLinkGuid(Guid(guids::kSurface), s);
        if (!surface)
            break;
        Tav_Channel* mesh = surface->GetChild(0);
        if (IsType(mesh, guids::kMesh))
            visit(s, *static_cast<Tav_MeshInterface*>(mesh), world);
    }
}

} // namespace vex::app
