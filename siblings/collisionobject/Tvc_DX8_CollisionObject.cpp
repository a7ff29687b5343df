#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"

#include "common/PluginEntry.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kMatrixLink = 0;
constexpr const char* kSourceTag = "COMS";
constexpr const char* kMatrixTag = "COMX";
/// Longest OBJ path a project may hold, in bytes.
constexpr size_t kMaxPathLength = 4096;
/// Most explicit triangles a project may hold (36 bytes each).
constexpr uint32_t kMaxStoredTriangles = 1u << 22;

} // namespace

Tvc_DX8_CollisionObject::Tvc_DX8_CollisionObject()
{
    SetChannelName("DX8 CollisionObject");
    SetChildCreateType(vex::MakeChildCreation("Matrix", vex::Guid(vex::guids::kMatrix), 0, "Collision matrix"),
                       kMatrixLink);
    D3DXMatrixIdentity(&ownMatrix_);
}

Tvc_DX8_CollisionObject::~Tvc_DX8_CollisionObject() = default;

void Tvc_DX8_CollisionObject::Report(const std::string& text) const
{
    if (host_)
        host_->ShowDebugMessage(text.c_str());
}

D3DXMATRIX Tvc_DX8_CollisionObject::GetCollisionMatrix()
{
    // The host type-checked the link: only matrix channels sit at this position.
    if (auto* matrix = static_cast<Tvc_MatrixChannel*>(GetChild(kMatrixLink)))
        return matrix->GetMatrix();
    return ownMatrix_;
}

bool Tvc_DX8_CollisionObject::GetPolygonsInBox(Tav_List* list, D3DXVECTOR3* low, D3DXVECTOR3* high)
{
    if (!list || !low || !high)
        return false;
    const float lo[3] = {low->x, low->y, low->z};
    const float hi[3] = {high->x, high->y, high->z};
    // A handle is the triangle's position plus one, so that no handle is null and a stale or foreign one
    // can be recognised by its range.
    tree_.Query(lo, hi, [&](int index) { list->AddItem(reinterpret_cast<void*>(static_cast<uintptr_t>(index) + 1)); });
    return true;
}

bool Tvc_DX8_CollisionObject::GetPolygonsInOrientedBox(Tav_List* list, const D3DXVECTOR3* low, const D3DXVECTOR3* high,
                                                       const D3DXVECTOR3* centre, const D3DXVECTOR3 axes[3],
                                                       const float halfLengths[3])
{
    if (!list || !low || !high || !centre || !axes || !halfLengths)
        return false;
    const float lo[3] = {low->x, low->y, low->z};
    const float hi[3] = {high->x, high->y, high->z};
    vex::OrientedBox box{{centre->x, centre->y, centre->z}, {}, {halfLengths[0], halfLengths[1], halfLengths[2]}};
    for (int i = 0; i < 3; ++i) {
        box.axes[i][0] = axes[i].x;
        box.axes[i][1] = axes[i].y;
        box.axes[i][2] = axes[i].z;
    }
    // Reused between queries (no allocation per query) and per thread (queries share no state).
    thread_local std::vector<uint32_t> found;
    found.clear();
    vex::QueryOrientedBox(tree_, coordinateScale_, lo, hi, box, found);
    for (const uint32_t index : found)
        list->AddItem(reinterpret_cast<void*>(static_cast<uintptr_t>(index) + 1));
    return true;
}

int Tvc_DX8_CollisionObject::GetTrianglesInBox(const D3DXVECTOR3* low, const D3DXVECTOR3* high, float* out,
                                               int capacity)
{
    if (!low || !high || (!out && capacity > 0))
        return -1;
    const float lo[3] = {low->x, low->y, low->z};
    const float hi[3] = {high->x, high->y, high->z};
    int count = 0;
    tree_.Query(lo, hi, [&](int index) {
        if (count < capacity)
            std::memcpy(out + 9 * static_cast<size_t>(count), tree_.GetTriangle(index), 9 * sizeof(float));
        ++count;
    });
    return count;
}

float* Tvc_DX8_CollisionObject::GetPolygonVertices(void* polygon)
{
    const uintptr_t handle = reinterpret_cast<uintptr_t>(polygon);
    if (handle == 0 || handle > static_cast<uintptr_t>(tree_.GetTriangleCount()))
        return nullptr;
    return const_cast<float*>(tree_.GetTriangle(static_cast<int>(handle - 1)));
}

void Tvc_DX8_CollisionObject::SetMesh(MeshSource source, const std::vector<float>& triangles)
{
    source_ = source;
    tree_.Build(triangles);
    coordinateScale_ = vex::CoordinateScale(tree_);
    revision_ = vex::NewPolygonRevision();
}

bool Tvc_DX8_CollisionObject::ApplyGrid(MeshSource source, const vex::GridParameters& grid)
{
    const std::string problem = vex::CheckGridParameters(grid);
    grid_ = grid;
    explicitTriangles_.clear();
    objPath_.clear();
    if (!problem.empty()) {
        Report("CollisionObject: grid not built: " + problem);
        SetMesh(source, {});
        return false;
    }
    SetMesh(source, vex::GenerateGridTriangles(grid));
    return true;
}

bool Tvc_DX8_CollisionObject::SetGridSource(int cellsX, int cellsZ, float sizeX, float sizeZ)
{
    vex::GridParameters grid;
    grid.cellsX = cellsX;
    grid.cellsZ = cellsZ;
    grid.sizeX = sizeX;
    grid.sizeZ = sizeZ;
    grid.amplitude = 0.0f;
    return ApplyGrid(MeshSource::Grid, grid);
}

bool Tvc_DX8_CollisionObject::SetHeightFieldSource(int cellsX, int cellsZ, float sizeX, float sizeZ, float amplitude,
                                                   float frequencyX, float frequencyZ)
{
    const vex::GridParameters grid{cellsX, cellsZ, sizeX, sizeZ, amplitude, frequencyX, frequencyZ};
    return ApplyGrid(MeshSource::HeightField, grid);
}

bool Tvc_DX8_CollisionObject::SetObjSource(const std::string& path)
{
    objPath_ = path;
    explicitTriangles_.clear();
    std::vector<float> triangles;
    std::string error;
    const bool loaded = vex::LoadObjTriangles(path, triangles, error);
    if (!loaded)
        Report("OBJ file " + path + ": " + error);
    SetMesh(MeshSource::Obj, triangles);
    return loaded;
}

bool Tvc_DX8_CollisionObject::SetTriangles(const std::vector<float>& triangles)
{
    objPath_.clear();
    explicitTriangles_.assign(triangles.begin(),
                              triangles.begin() + static_cast<std::ptrdiff_t>(triangles.size() / 9 * 9));
    SetMesh(MeshSource::Triangles, explicitTriangles_);
    return true;
}

// COMS: u8 source; then for a grid or height field i32 cellsX, cellsZ and f32 sizeX, sizeZ, amplitude,
// frequencyX, frequencyZ; for an OBJ file u32 length and the path bytes; for explicit triangles u32 count
// and nine f32 per triangle. COMX: sixteen f32, the own matrix row by row.
bool Tvc_DX8_CollisionObject::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_Channel::SaveChannel(saver))
        return false;
    vex::ByteWriter source;
    source.U8(static_cast<uint8_t>(source_));
    switch (source_) {
    case MeshSource::Grid:
    case MeshSource::HeightField:
        source.I32(grid_.cellsX);
        source.I32(grid_.cellsZ);
        source.F32(grid_.sizeX);
        source.F32(grid_.sizeZ);
        source.F32(grid_.amplitude);
        source.F32(grid_.frequencyX);
        source.F32(grid_.frequencyZ);
        break;
    case MeshSource::Obj:
        source.String(saver.StorePath(objPath_));
        break;
    case MeshSource::Triangles:
        source.U32(static_cast<uint32_t>(explicitTriangles_.size() / 9));
        for (float f : explicitTriangles_)
            source.F32(f);
        break;
    case MeshSource::None:
        break;
    }
    saver.SaveChunk(kSourceTag, source.Data());

    vex::ByteWriter matrix;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            matrix.F32(ownMatrix_.m[r][c]);
    saver.SaveChunk(kMatrixTag, matrix.Data());
    return true;
}

bool Tvc_DX8_CollisionObject::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_Channel::LoadChannel(loader, group))
        return false;
    if (loader.GetInfoIfTag(kMatrixTag) && !LoadMatrix(loader.TagReader()))
        return false;
    if (!loader.GetInfoIfTag(kSourceTag))
        return true;
    return LoadSource(loader);
}

bool Tvc_DX8_CollisionObject::LoadMatrix(vex::ByteReader reader)
{
    D3DXMATRIX m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!reader.F32(m.m[r][c]) || !std::isfinite(m.m[r][c])) {
                Report("CollisionObject load: chunk COMX is not sixteen finite numbers");
                return false;
            }
        }
    }
    ownMatrix_ = m;
    return true;
}

bool Tvc_DX8_CollisionObject::LoadSource(TavFileLoader& loader)
{
    vex::ByteReader reader = loader.TagReader();
    uint8_t kind = 0;
    if (!reader.U8(kind)) {
        Report("CollisionObject load: chunk COMS is empty");
        return false;
    }
    switch (static_cast<MeshSource>(kind)) {
    case MeshSource::None:
        SetMesh(MeshSource::None, {});
        return true;
    case MeshSource::Grid:
    case MeshSource::HeightField: {
        vex::GridParameters grid;
        if (!reader.I32(grid.cellsX) || !reader.I32(grid.cellsZ) || !reader.F32(grid.sizeX) ||
            !reader.F32(grid.sizeZ) || !reader.F32(grid.amplitude) || !reader.F32(grid.frequencyX) ||
            !reader.F32(grid.frequencyZ)) {
            Report("CollisionObject load: chunk COMS too short for grid parameters (" +
                   std::to_string(loader.GetTagDataSize()) + " bytes)");
            return false;
        }
        // A bad grid is reported by ApplyGrid and fails the load.
        return ApplyGrid(static_cast<MeshSource>(kind), grid);
    }
    case MeshSource::Obj: {
        std::string path;
        if (!reader.String(path, kMaxPathLength)) {
            Report("CollisionObject load: chunk COMS holds no valid OBJ path");
            return false;
        }
        // Stored relative to the project's folder; SetObjSource reports a missing or bad file, naming it.
        return SetObjSource(loader.ResolvePath(path));
    }
    case MeshSource::Triangles:
        return LoadTriangles(reader);
    }
    Report("CollisionObject load: chunk COMS names an unknown mesh source " + std::to_string(kind));
    return false;
}

bool Tvc_DX8_CollisionObject::LoadTriangles(vex::ByteReader& reader)
{
    uint32_t count = 0;
    if (!reader.U32(count) || count > kMaxStoredTriangles || reader.Left() < size_t{count} * 36) {
        Report("CollisionObject load: chunk COMS triangle count does not match its size");
        return false;
    }
    std::vector<float> triangles(size_t{count} * 9);
    for (float& f : triangles)
        reader.F32(f);
    return SetTriangles(triangles);
}

VEX_CHANNEL_PLUGIN(Tvc_DX8_CollisionObject, "DX8 CollisionObject", vex::guids::kCollisionObject,
                   vex::guids::kCollisionObject)
