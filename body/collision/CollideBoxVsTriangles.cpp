#include "body/collision/CollideBoxVsTriangles.h"

namespace vex::collision {

D3DXMATRIX BoxPose::Matrix() const
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (int r = 0; r < 3; ++r) {
        m.m[r][0] = static_cast<float>(rotation[r]);
        m.m[r][1] = static_cast<float>(rotation[4 + r]);
        m.m[r][2] = static_cast<float>(rotation[8 + r]);
        m.m[r][3] = 0;
    }
    m.m[3][0] = static_cast<float>(centre[0]);
    m.m[3][1] = static_cast<float>(centre[1]);
    m.m[3][2] = static_cast<float>(centre[2]);
    m.m[3][3] = 1;
    return m;
}

unsigned long CollideBoxVsTriangles(const BoxPose& box, std::span<const float> triangles, unsigned long limit,
                                    dContactGeom* contacts, unsigned long stride)
{
    BoxTriangleCollector<> collector(box, limit, contacts, stride, nullptr, nullptr);
    for (size_t i = 0; i + 9 <= triangles.size() && !collector.IsFull(); i += 9) {
        const float* v = triangles.data() + i;
        collector.AddTriangle({v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7], v[8]});
    }
    return collector.Finish();
}

} // namespace vex::collision
