#include "body/collision/CollideBoxVsTriangles.h"

namespace vex::collision {

unsigned long CollideBoxVsTriangles(const BoxPose& box, std::span<const float> triangles, unsigned long limit,
                                    dContactGeom* contacts, unsigned long stride)
{
    BoxTriangleCollector collector(box, limit, contacts, stride, nullptr, nullptr);
    for (size_t i = 0; i + 9 <= triangles.size() && !collector.IsFull(); i += 9) {
        const float* v = triangles.data() + i;
        collector.AddTriangle({v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7], v[8]});
    }
    return collector.Finish();
}

} // namespace vex::collision
