#include "texlight/MeshSnapshot.h"

#include "host/siblings/Tav_MeshInterface.h"
#include "platform/D3D8.h"
#include "texlight/SampleGrid.h"

namespace vex::texlight {

MeshSnapshot ReadMeshSnapshot(Tav_MeshInterface* mesh, int texCoordSet)
{
    MeshSnapshot snapshot;
    snapshot.source = mesh;
    snapshot.texCoordSet = texCoordSet;
    if (!mesh || !mesh->HasTexCoordSet(texCoordSet) || mesh->GetPrimitiveType() != D3DPT_TRIANGLELIST)
        return snapshot;
    snapshot.usable = true;

    const int indexCount = mesh->GetIndexCount();
    if (indexCount < 3)
        return snapshot;
    snapshot.triangles.resize(static_cast<size_t>(indexCount / 3));
    for (size_t t = 0; t < snapshot.triangles.size(); ++t) {
        SnapshotTriangle& tri = snapshot.triangles[t];
        for (int k = 0; k < 3; ++k) {
            const int vertex = mesh->GetVertexIndex(static_cast<int>(3 * t) + k);
            float uvScratch[2] = {0, 0};
            if (const float* uv = mesh->GetVertexTexCoord(uvScratch, texCoordSet, vertex)) {
                tri.u[k] = uv[0];
                tri.v[k] = uv[1];
            }
            D3DXVECTOR3 scratch;
            if (const D3DXVECTOR3* p = mesh->GetVertexPosition(&scratch, vertex))
                tri.position[k] = *p;
            if (const D3DXVECTOR3* n = mesh->GetVertexNormal(&scratch, vertex))
                tri.normal[k] = *n;
        }
        tri.edgeNormalValid = EdgePerpendicular(tri.position, tri.edgeNormal);
    }
    return snapshot;
}

} // namespace vex::texlight
