#pragma once
// The collision object ("DX8 CollisionObject"): a triangle mesh in its local space, answered from an
// AABB tree, and a local-to-world matrix taken from a linked matrix channel (link 0) or its own matrix.
// Offers the oriented-box query, the triangles-in-box query and the polygon revision extensions besides
// the collision object interface.

#include "host/ByteIO.h"
#include "host/siblings/Tav_CollisionObjectInterface.h"
#include "host/siblings/Tav_CollisionObjectSetupInterface.h"
#include "host/siblings/Tav_OrientedBoxQueryInterface.h"
#include "host/siblings/Tav_PolygonRevisionInterface.h"
#include "host/siblings/Tav_TrianglesInBoxInterface.h"
#include "siblings/collisionobject/AabbTree.h"
#include "siblings/collisionobject/MeshSources.h"
#include "siblings/collisionobject/OrientedBoxQuery.h"

#include <string>
#include <vector>

// The collision object interface stays the primary base: its slots keep their places.
class Tvc_DX8_CollisionObject : public Tav_CollisionObjectInterface,
                                public Tav_CollisionObjectSetupInterface,
                                public Tav_OrientedBoxQueryInterface,
                                public Tav_PolygonRevisionInterface,
                                public Tav_TrianglesInBoxInterface {
public:
    /// Where the triangles come from; saved with the project.
    enum class MeshSource : uint8_t { None = 0, Triangles = 1, Grid = 2, HeightField = 3, Obj = 4 };

    Tvc_DX8_CollisionObject();
    ~Tvc_DX8_CollisionObject() override;

    bool SaveChannel(TavFileSaver& saver) override;
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    D3DXMATRIX GetCollisionMatrix() override;
    bool GetPolygonsInBox(Tav_List* list, D3DXVECTOR3* low, D3DXVECTOR3* high) override;
    float* GetPolygonVertices(void* polygon) override;
    uint64_t GetPolygonRevision() const override { return revision_; }
    bool GetPolygonsInOrientedBox(Tav_List* list, const D3DXVECTOR3* low, const D3DXVECTOR3* high,
                                  const D3DXVECTOR3* centre, const D3DXVECTOR3 axes[3],
                                  const float halfLengths[3]) override;
    int GetTrianglesInBox(const D3DXVECTOR3* low, const D3DXVECTOR3* high, float* out, int capacity) override;

    // Mesh source. Each setter rebuilds the mesh and its tree at once; false (mesh left empty, the user
    // told through the host) when the source is not usable.
    /// A flat grid of cellsX x cellsZ cells over sizeX x sizeZ, centred on the origin, facing +y.
    bool SetGridSource(int cellsX, int cellsZ, float sizeX, float sizeZ) override;
    /// The grid lifted to y = amplitude * sin(x * frequencyX) * cos(z * frequencyZ).
    bool SetHeightFieldSource(int cellsX, int cellsZ, float sizeX, float sizeZ, float amplitude, float frequencyX,
                              float frequencyZ) override;
    bool SetObjSource(const std::string& path) override;
    /// Explicit triangles, nine floats each (a trailing partial triangle is dropped).
    bool SetTriangles(const std::vector<float>& triangles) override;

    /// The matrix used when no matrix channel is linked (identity by default); saved with the project.
    void SetOwnMatrix(const D3DXMATRIX& m) override { ownMatrix_ = m; }
    D3DXMATRIX GetOwnMatrix() const { return ownMatrix_; }

    MeshSource GetMeshSource() const { return source_; }
    const vex::GridParameters& GetGridParameters() const { return grid_; }
    const std::string& GetObjPath() const { return objPath_; }
    int GetTriangleCount() const { return tree_.GetTriangleCount(); }

private:
    // Steps of LoadChannel: the object's own matrix (COMX) and its mesh source (COMS).
    bool LoadMatrix(vex::ByteReader reader);
    bool LoadSource(TavFileLoader& loader);
    bool LoadTriangles(vex::ByteReader& reader);
    bool ApplyGrid(MeshSource source, const vex::GridParameters& grid);
    void SetMesh(MeshSource source, const std::vector<float>& triangles);
    void Report(const std::string& text) const;

    MeshSource source_ = MeshSource::None;
    vex::GridParameters grid_;
    std::string objPath_;
    /// Kept for saving when the source is explicit triangles.
    std::vector<float> explicitTriangles_;
    vex::AabbTree tree_;
    /// vex::CoordinateScale of the tree, for the oriented-box query.
    float coordinateScale_ = 0;
    D3DXMATRIX ownMatrix_;
    uint64_t revision_ = vex::NewPolygonRevision(); ///< a new one with every mesh (SetMesh)
};
