#include "app/settings/Appliers.h"

#include "host/siblings/TypeGuids.h"

#include <filesystem>

namespace vex::app {

std::string ApplyContext::ResolvePath(const std::string& path) const
{
    const std::filesystem::path p(path);
    if (p.is_absolute() || sceneFolder.empty())
        return path;
    return (std::filesystem::path(sceneFolder) / p).lexically_normal().string();
}

SettingsApplier FindSettingsApplier(const _GUID& type)
{
    struct Entry {
        const char* guid;
        SettingsApplier apply;
    };
    static const Entry kAppliers[] = {
        {guids::kMatrix, ApplyMatrixSettings},
        {guids::kValue, ApplyValueSettings},
        {guids::kDampingFactor, ApplyDampingFactorSettings},
        {guids::kBody, ApplyBodySettings},
        {guids::kWorld, ApplyWorldSettings},
        {guids::kCollisionObject, ApplyCollisionObjectSettings},
        {guids::kMesh, ApplyMeshSettings},
        {guids::kSurface, ApplySurfaceSettings},
        {guids::kObject3D, ApplyObject3DSettings},
        {guids::kOctTree, ApplyOctTreeSettings},
        {guids::kLight, ApplyLightSettings},
        {guids::kTextureLighting, ApplyTextureLightingSettings},
    };
    for (const Entry& e : kAppliers)
        if (Guid(e.guid) == type)
            return e.apply;
    return nullptr;
}

} // namespace vex::app
