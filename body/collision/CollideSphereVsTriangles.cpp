#include "body/collision/CollideSphereVsTriangles.h"

namespace vex::collision {

bool CollideSphereVsTriangles(const D3DXVECTOR3& centre, float radius, std::span<const float> triangles,
                              SphereContact& out)
{
    if (radius == 0)
        return false;
    SphereTriangleAccumulator accumulator(centre, radius);
    for (size_t i = 0; i + 9 <= triangles.size(); i += 9) {
        const float* v = triangles.data() + i;
        accumulator.AddTriangle({v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7], v[8]});
    }
    return accumulator.GetContact(out);
}

} // namespace vex::collision
