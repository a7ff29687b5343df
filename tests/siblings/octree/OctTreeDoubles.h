#pragma once
// Small stand-ins for the 3D object, surface and mesh types, and scene helpers, for the octree tests.

#include "common/PluginEntry.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/Tav_SurfaceInterface.h"
#include "host/siblings/TypeGuids.h"

#include <memory>
#include <vector>

namespace vex::testing {

inline ChannelType TypeRecord(const char* name, const char* guid)
{
    ChannelType record = kInitialChannelType;
    FillChannelType(record, name, guid, guid);
    return record;
}

class FakeMesh : public Tav_MeshInterface {
public:
    FakeMesh() { SetChannelTypeRecord(TypeRecord("DX8 Mesh", guids::kMesh)); }

    int GetIndexCount() override { return int(indices.size()); }
    int GetVertexIndex(int position) override { return indices.at(size_t(position)); }
    D3DXVECTOR3* GetVertexPosition(D3DXVECTOR3* scratch, int vertex) override
    {
        if (vertex < 0 || size_t(vertex) >= positions.size())
            return nullptr;
        *scratch = positions[size_t(vertex)];
        return scratch;
    }
    D3DXVECTOR3* GetVertexNormal(D3DXVECTOR3* scratch, int) override
    {
        *scratch = {0, 0, 1};
        return scratch;
    }
    float* GetVertexTexCoord(float* scratch, int, int) override
    {
        scratch[0] = scratch[1] = 0;
        return scratch;
    }
    int GetPrimitiveType() override { return primitiveType; }
    bool HasTexCoordSet(int) override { return false; }

    /// Appends triangles given as corner triples.
    void AddTriangle(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c)
    {
        for (const D3DXVECTOR3& p : {a, b, c}) {
            indices.push_back(int(positions.size()));
            positions.push_back(p);
        }
    }

    std::vector<D3DXVECTOR3> positions;
    std::vector<int> indices;
    int primitiveType = 4;
};

class FakeSurface : public Tav_SurfaceInterface {
public:
    FakeSurface() { SetChannelTypeRecord(TypeRecord("DX8 Surface", guids::kSurface)); }
    int GetStageTexCoordSet(int) override { return 0; }
    Tav_Channel* GetLeadingTextureChannel() override { return nullptr; }
    int GetLeadingTextureIndex() override { return -1; }
};

class FakeObject : public Tav_3DObjectInterface {
public:
    FakeObject()
    {
        SetChannelTypeRecord(TypeRecord("DX8 3D Object", guids::kObject3D));
        D3DXMatrixIdentity(&world);
    }
    D3DXMATRIX* GetWorldMatrix(D3DXMATRIX* scratch) override
    {
        *scratch = world;
        return scratch;
    }
    int GetSurfaceCount() override { return GetChildTypeCount(Guid(guids::kSurface)); }

    D3DXMATRIX world;
};

/// An object with one surface per mesh; owns all three levels.
struct TestObject {
    std::unique_ptr<FakeObject> object = std::make_unique<FakeObject>();
    std::vector<std::unique_ptr<FakeSurface>> surfaces;
    std::vector<std::unique_ptr<FakeMesh>> meshes;

    FakeMesh& AddMesh()
    {
        surfaces.push_back(std::make_unique<FakeSurface>());
        meshes.push_back(std::make_unique<FakeMesh>());
        surfaces.back()->SetChild(meshes.back().get(), -1, -1);
        object->SetChild(surfaces.back().get(), -1, -1);
        return *meshes.back();
    }
};

/// Two triangles covering [x0, x1] x [y0, y1] at height z, front side +z when up is true.
inline void AddSquare(FakeMesh& mesh, float x0, float y0, float x1, float y1, float z, bool up = true)
{
    const D3DXVECTOR3 a{x0, y0, z}, b{x1, y0, z}, c{x1, y1, z}, d{x0, y1, z};
    if (up) {
        mesh.AddTriangle(a, b, c);
        mesh.AddTriangle(a, c, d);
    } else {
        mesh.AddTriangle(a, c, b);
        mesh.AddTriangle(a, d, c);
    }
}

/// World-space positions (nine floats per triangle) of an axis-aligned square at height z, front +z.
inline std::vector<float> SquarePositions(float x0, float y0, float x1, float y1, float z)
{
    return {x0, y0, z, x1, y0, z, x1, y1, z, x0, y0, z, x1, y1, z, x0, y1, z};
}

} // namespace vex::testing
