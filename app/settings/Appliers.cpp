#include "app/settings/Appliers.h"

#include "host/siblings/TypeGuids.h"

namespace vex::app {

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
    };
    for (const Entry& e : kAppliers)
        if (Guid(e.guid) == type)
            return e.apply;
    return nullptr;
}

} // namespace vex::app
