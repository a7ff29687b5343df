#include "app/LightMapChecks.h"

#include "app/ChannelInterface.h"
#include "app/InputError.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_LightMapInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/TypeGuids.h"

namespace vex::app {

void CheckLightMapInputs(const Scene& scene, const BuiltScene& built)
{
    for (const PendingChannel& p : built.pending) {
        const SceneChannel& entry = scene.channels[p.index];
        auto& map = RequireInterface<Tav_LightMapInterface>(*p.channel, "a light map");
        auto fail = [&](const std::string& problem) {
            throw InputError(scene.file, entry.field, "light map \"" + entry.name + "\" " + problem);
        };
        auto* object = dynamic_cast<Tav_3DObjectInterface*>(p.channel->GetChild(0));
        if (!object)
            fail("has no \"DX8 3D Object\" at link 0: nothing to compute the light map on");
        const int surfaceNr = map.GetShadowSurfaceNr();
        Tav_Channel* surface = object->GetChildFromLinkGuid(Guid(guids::kSurface), surfaceNr);
        if (!surface)
            fail("computes surface " + std::to_string(surfaceNr) + " of its 3D object, which has no such surface");
        if (!dynamic_cast<Tav_MeshInterface*>(surface->GetChild(0)))
            fail("computes a surface without a \"DX8 Mesh\" at its link 0");
    }
}

} // namespace vex::app
