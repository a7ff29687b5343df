#include "body/CandidateQuery.h"

#include "body/collision/CollisionGeometry.h"
#include "host/InterfaceCast.h"
#include "host/siblings/Tav_OrientedBoxQueryInterface.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vex::body {

namespace {

std::atomic<bool>& OrientedBoxQuerySetting()
{
    static std::atomic<bool> enabled{[] {
        const char* value = std::getenv("VEX_OBB");
        return value && std::strcmp(value, "1") == 0;
    }()};
    return enabled;
}

} // namespace

bool OrientedBoxQueryEnabled() { return OrientedBoxQuerySetting().load(std::memory_order_relaxed); }

void SetOrientedBoxQueryEnabled(bool enabled) { OrientedBoxQuerySetting().store(enabled, std::memory_order_relaxed); }

bool GetBoxCandidates(Tav_CollisionObjectInterface& object, const D3DXMATRIX& objectMatrix, Tav_List& polygons,
                      D3DXVECTOR3& low, D3DXVECTOR3& high, const CandidateBox& box)
{
    auto* oriented = OrientedBoxQueryEnabled() ? InterfaceCast<Tav_OrientedBoxQueryInterface>(object) : nullptr;
    if (!oriented || !collision::IsIdentity(objectMatrix))
        return object.GetPolygonsInBox(&polygons, &low, &high);
    const D3DXVECTOR3 centre(static_cast<float>(box.centre[0]), static_cast<float>(box.centre[1]),
                             static_cast<float>(box.centre[2]));
    const double* R = box.rotation;
    const D3DXVECTOR3 axes[3] = {{static_cast<float>(R[0]), static_cast<float>(R[4]), static_cast<float>(R[8])},
                                 {static_cast<float>(R[1]), static_cast<float>(R[5]), static_cast<float>(R[9])},
                                 {static_cast<float>(R[2]), static_cast<float>(R[6]), static_cast<float>(R[10])}};
    const float half[3] = {static_cast<float>(box.halfLengths[0]), static_cast<float>(box.halfLengths[1]),
                           static_cast<float>(box.halfLengths[2])};
    return oriented->GetPolygonsInOrientedBox(&polygons, &low, &high, &centre, axes, half);
}

} // namespace vex::body
