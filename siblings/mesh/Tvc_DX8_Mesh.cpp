#include "siblings/mesh/Tvc_DX8_Mesh.h"

#include "common/PluginEntry.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/siblings/TypeGuids.h"

namespace {

/// Longest stored OBJ path, in bytes.
constexpr int kMaxPathBytes = 4096;

/// The payload of the next chunk with that tag, or false.
bool ChunkReader(TavFileLoader& loader, const char* tag, vex::ByteReader& reader)
{
    if (!loader.GetInfoIfTag(tag))
        return false;
    reader = loader.TagReader();
    return true;
}

void WriteData(const vex::MeshData& data, vex::ByteWriter& w)
{
    w.U32(static_cast<uint32_t>(data.positions.size()));
    w.U32(static_cast<uint32_t>(data.texCoordSets.size()));
    w.U32(static_cast<uint32_t>(data.indices.size()));
    for (const auto* list : {&data.positions, &data.normals})
        for (const D3DXVECTOR3& v : *list) {
            w.F32(v.x);
            w.F32(v.y);
            w.F32(v.z);
        }
    for (const auto& set : data.texCoordSets)
        for (const D3DXVECTOR2& uv : set) {
            w.F32(uv.x);
            w.F32(uv.y);
        }
    for (int index : data.indices)
        w.I32(index);
}

/// Reads what WriteData wrote; every count is checked against the bytes left before anything is sized.
bool ReadData(vex::ByteReader& r, vex::MeshData& data, std::string* error)
{
    uint32_t vertices = 0, sets = 0, indices = 0;
    if (!r.U32(vertices) || !r.U32(sets) || !r.U32(indices)) {
        *error = "mesh data header cut short";
        return false;
    }
    if (vertices > vex::kMaxMeshVertices || sets > vex::kMaxTexCoordSets || indices > vex::kMaxMeshIndices) {
        *error = "mesh data counts out of range";
        return false;
    }
    const uint64_t need = uint64_t(vertices) * (24 + 8 * uint64_t(sets)) + uint64_t(indices) * 4;
    if (need != r.Left()) {
        *error = "mesh data size does not match its counts";
        return false;
    }
    data = vex::MeshData{};
    data.positions.resize(vertices);
    data.normals.resize(vertices);
    data.texCoordSets.assign(sets, std::vector<D3DXVECTOR2>(vertices));
    data.indices.resize(indices);
    for (auto* list : {&data.positions, &data.normals})
        for (D3DXVECTOR3& v : *list)
            r.F32(v.x), r.F32(v.y), r.F32(v.z);
    for (auto& set : data.texCoordSets)
        for (D3DXVECTOR2& uv : set)
            r.F32(uv.x), r.F32(uv.y);
    for (int& index : data.indices) {
        int32_t v = 0;
        r.I32(v);
        index = v;
    }
    return vex::ValidateMesh(data, error);
}

} // namespace

Tvc_DX8_Mesh::Tvc_DX8_Mesh() { SetChannelName("DX8 Mesh"); }

void Tvc_DX8_Mesh::Report(const std::string& text) const
{
    if (host_)
        host_->ShowDebugMessage(text.c_str());
    else
        Tav_DebugMessage{}(text.c_str());
}

bool Tvc_DX8_Mesh::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_MeshInterface::SaveChannel(saver))
        return false;
    saver.SaveI32("MSKD", static_cast<int32_t>(source_));
    vex::ByteWriter w;
    switch (source_) {
    case Source::kNone:
        return true;
    case Source::kGrid:
        w.I32(gridCells_[0]);
        w.I32(gridCells_[1]);
        w.F32(gridSize_[0]);
        w.F32(gridSize_[1]);
        saver.SaveChunk("MSGR", w.Data());
        break;
    case Source::kBox:
        for (float s : boxSize_)
            w.F32(s);
        saver.SaveChunk("MSBX", w.Data());
        break;
    case Source::kSphere:
        w.F32(sphereRadius_);
        w.I32(sphereSegments_[0]);
        w.I32(sphereSegments_[1]);
        saver.SaveChunk("MSSP", w.Data());
        break;
    case Source::kObj: {
        const std::string stored = saver.StorePath(objPath_);
        w.Bytes(stored.data(), stored.size());
        saver.SaveChunk("MSOB", w.Data());
        break;
    }
    case Source::kData:
        WriteData(data_, w);
        saver.SaveChunk("MSDT", w.Data());
        break;
    }
    return true;
}

// Source kind (MSKD) -> that source's parameter chunk -> the setter that rebuilds the mesh.
bool Tvc_DX8_Mesh::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_MeshInterface::LoadChannel(loader, group))
        return false;
    vex::ByteReader r(nullptr, 0);
    int32_t kind = 0;
    if (!ChunkReader(loader, "MSKD", r))
        return true; // no stored source: keep the mesh as it is
    data_ = vex::MeshData{};
    source_ = Source::kNone;
    if (r.Left() != 4 || !r.I32(kind)) {
        Report("Tvc_DX8_Mesh::LoadChannel: bad mesh source (MSKD)");
        return false;
    }
    SourceLoad result = SourceLoad::kBad;
    std::string why;
    switch (static_cast<Source>(kind)) {
    case Source::kNone:
        return true;
    case Source::kGrid:
        why = "bad grid parameters (MSGR)";
        result = LoadGridChunk(loader);
        break;
    case Source::kBox:
        why = "bad box parameters (MSBX)";
        result = LoadBoxChunk(loader);
        break;
    case Source::kSphere:
        why = "bad sphere parameters (MSSP)";
        result = LoadSphereChunk(loader);
        break;
    case Source::kObj:
        why = "bad OBJ path (MSOB)";
        result = LoadObjChunk(loader);
        break;
    case Source::kData:
        result = LoadDataChunk(loader, why);
        break;
    default:
        why = "unknown mesh source " + std::to_string(kind);
        break;
    }
    if (result == SourceLoad::kBad) {
        data_ = vex::MeshData{};
        source_ = Source::kNone;
        Report("Tvc_DX8_Mesh::LoadChannel: " + why);
        return false;
    }
    return result == SourceLoad::kLoaded;
}

Tvc_DX8_Mesh::SourceLoad Tvc_DX8_Mesh::LoadGridChunk(TavFileLoader& loader)
{
    vex::ByteReader r(nullptr, 0);
    int32_t cx = 0, cz = 0;
    float sx = 0, sz = 0;
    if (!(ChunkReader(loader, "MSGR", r) && r.Left() == 16 && r.I32(cx) && r.I32(cz) && r.F32(sx) && r.F32(sz)))
        return SourceLoad::kBad;
    return SetGrid(cx, cz, sx, sz) ? SourceLoad::kLoaded : SourceLoad::kRefused;
}

Tvc_DX8_Mesh::SourceLoad Tvc_DX8_Mesh::LoadBoxChunk(TavFileLoader& loader)
{
    vex::ByteReader r(nullptr, 0);
    float s[3] = {};
    if (!(ChunkReader(loader, "MSBX", r) && r.Left() == 12 && r.F32(s[0]) && r.F32(s[1]) && r.F32(s[2])))
        return SourceLoad::kBad;
    return SetBox(s[0], s[1], s[2]) ? SourceLoad::kLoaded : SourceLoad::kRefused;
}

Tvc_DX8_Mesh::SourceLoad Tvc_DX8_Mesh::LoadSphereChunk(TavFileLoader& loader)
{
    vex::ByteReader r(nullptr, 0);
    float radius = 0;
    int32_t slices = 0, stacks = 0;
    if (!(ChunkReader(loader, "MSSP", r) && r.Left() == 12 && r.F32(radius) && r.I32(slices) && r.I32(stacks)))
        return SourceLoad::kBad;
    return SetSphere(radius, slices, stacks) ? SourceLoad::kLoaded : SourceLoad::kRefused;
}

Tvc_DX8_Mesh::SourceLoad Tvc_DX8_Mesh::LoadObjChunk(TavFileLoader& loader)
{
    vex::ByteReader r(nullptr, 0);
    if (!(ChunkReader(loader, "MSOB", r) && r.Left() > 0 && r.Left() <= kMaxPathBytes))
        return SourceLoad::kBad;
    std::string path(r.Left(), '\0');
    r.Bytes(path.data(), path.size());
    // Stored relative to the project's folder; LoadObj reports its own failure, naming the file.
    return LoadObj(loader.ResolvePath(path)) ? SourceLoad::kLoaded : SourceLoad::kRefused;
}

Tvc_DX8_Mesh::SourceLoad Tvc_DX8_Mesh::LoadDataChunk(TavFileLoader& loader, std::string& why)
{
    vex::ByteReader r(nullptr, 0);
    vex::MeshData data;
    const bool read = ChunkReader(loader, "MSDT", r) && ReadData(r, data, &why);
    if (why.empty())
        why = "missing mesh data (MSDT)";
    // Data that SetData refuses counts as a bad chunk: the source is cleared as well.
    return read && SetData(std::move(data)) ? SourceLoad::kLoaded : SourceLoad::kBad;
}

int Tvc_DX8_Mesh::GetIndexCount() { return static_cast<int>(data_.indices.size()); }

int Tvc_DX8_Mesh::GetVertexIndex(int position)
{
    if (position < 0 || static_cast<size_t>(position) >= data_.indices.size())
        return 0;
    return data_.indices[static_cast<size_t>(position)];
}

D3DXVECTOR3* Tvc_DX8_Mesh::GetVertexPosition(D3DXVECTOR3* scratch, int vertex)
{
    const bool inRange = vertex >= 0 && static_cast<size_t>(vertex) < data_.positions.size();
    *scratch = inRange ? data_.positions[static_cast<size_t>(vertex)] : D3DXVECTOR3();
    return scratch;
}

D3DXVECTOR3* Tvc_DX8_Mesh::GetVertexNormal(D3DXVECTOR3* scratch, int vertex)
{
    const bool inRange = vertex >= 0 && static_cast<size_t>(vertex) < data_.normals.size();
    *scratch = inRange ? data_.normals[static_cast<size_t>(vertex)] : D3DXVECTOR3();
    return scratch;
}

float* Tvc_DX8_Mesh::GetVertexTexCoord(float* scratch, int set, int vertex)
{
    scratch[0] = scratch[1] = 0.0f;
    if (HasTexCoordSet(set) && vertex >= 0 && static_cast<size_t>(vertex) < data_.positions.size()) {
        const D3DXVECTOR2& uv = data_.texCoordSets[static_cast<size_t>(set)][static_cast<size_t>(vertex)];
        scratch[0] = uv.x;
        scratch[1] = uv.y;
    }
    return scratch;
}

bool Tvc_DX8_Mesh::HasTexCoordSet(int set) { return set >= 0 && static_cast<size_t>(set) < data_.texCoordSets.size(); }

bool Tvc_DX8_Mesh::SetGrid(int cellsX, int cellsZ, float sizeX, float sizeZ)
{
    vex::MeshData data;
    if (!vex::GenerateGrid(cellsX, cellsZ, sizeX, sizeZ, data)) {
        Report("Tvc_DX8_Mesh::SetGrid: refused " + std::to_string(cellsX) + " x " + std::to_string(cellsZ) +
               " cells of size " + std::to_string(sizeX) + " x " + std::to_string(sizeZ) + " (cells 1 to " +
               std::to_string(vex::kMaxGridCells) + " a side, sizes finite and positive)");
        return false;
    }
    data_ = std::move(data);
    source_ = Source::kGrid;
    gridCells_[0] = cellsX;
    gridCells_[1] = cellsZ;
    gridSize_[0] = sizeX;
    gridSize_[1] = sizeZ;
    return true;
}

bool Tvc_DX8_Mesh::SetBox(float sizeX, float sizeY, float sizeZ)
{
    vex::MeshData data;
    if (!vex::GenerateBox(sizeX, sizeY, sizeZ, data)) {
        Report("Tvc_DX8_Mesh::SetBox: refused size " + std::to_string(sizeX) + " x " + std::to_string(sizeY) + " x " +
               std::to_string(sizeZ) + " (edges finite and positive)");
        return false;
    }
    data_ = std::move(data);
    source_ = Source::kBox;
    boxSize_[0] = sizeX;
    boxSize_[1] = sizeY;
    boxSize_[2] = sizeZ;
    return true;
}

bool Tvc_DX8_Mesh::SetSphere(float radius, int slices, int stacks)
{
    vex::MeshData data;
    if (!vex::GenerateSphere(radius, slices, stacks, data)) {
        Report("Tvc_DX8_Mesh::SetSphere: refused radius " + std::to_string(radius) + " with " + std::to_string(slices) +
               " slices and " + std::to_string(stacks) + " stacks (radius finite and " + "positive, slices 3 to " +
               std::to_string(vex::kMaxSphereSegments) + ", stacks 2 to " + std::to_string(vex::kMaxSphereSegments) +
               ")");
        return false;
    }
    data_ = std::move(data);
    source_ = Source::kSphere;
    sphereRadius_ = radius;
    sphereSegments_[0] = slices;
    sphereSegments_[1] = stacks;
    return true;
}

bool Tvc_DX8_Mesh::LoadObj(const std::string& path)
{
    source_ = Source::kObj;
    objPath_ = path;
    std::string error;
    if (!vex::LoadObjMesh(path, data_, &error)) {
        Report("OBJ file " + path + ": " + error);
        return false;
    }
    return true;
}

bool Tvc_DX8_Mesh::SetData(vex::MeshData data)
{
    std::string error;
    if (data.positions.size() > vex::kMaxMeshVertices || data.indices.size() > vex::kMaxMeshIndices)
        error = "too many vertices or indices";
    if (!error.empty() || !vex::ValidateMesh(data, &error)) {
        Report("Tvc_DX8_Mesh::SetData: refused mesh: " + error);
        return false;
    }
    data_ = std::move(data);
    source_ = Source::kData;
    return true;
}

VEX_CHANNEL_PLUGIN(Tvc_DX8_Mesh, "DX8 Mesh", vex::guids::kMesh, vex::guids::kMesh)
