#pragma once
// A mesh ("DX8 Mesh"): a triangle list with positions, normals and texture-coordinate sets, made by a
// generator or read from an OBJ file. The source (generator and parameters, the OBJ path, or the data
// itself) is what is saved; the mesh is rebuilt from it on load.

#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/Tav_MeshSetupInterface.h"
#include "platform/D3D8.h"
#include "siblings/mesh/MeshGenerators.h"

#include <string>

class Tvc_DX8_Mesh : public Tav_MeshInterface, public Tav_MeshSetupInterface {
public:
    /// Where the mesh came from; stored in "MSKD".
    enum class Source : int32_t { kNone = 0, kGrid = 1, kBox = 2, kSphere = 3, kObj = 4, kData = 5 };

    Tvc_DX8_Mesh();
    Tvc_DX8_Mesh(const Tvc_DX8_Mesh& other) = default;
    Tvc_DX8_Mesh& operator=(const Tvc_DX8_Mesh& other) = default;
    ~Tvc_DX8_Mesh() override = default;

    /// Saves "MSKD" (source) and the source's chunk: "MSGR" grid, "MSBX" box, "MSSP" sphere, "MSOB" OBJ
    /// path, "MSDT" data.
    bool SaveChannel(TavFileSaver& saver) override;
    /// Rebuilds the mesh from the stored source; a bad source leaves an empty mesh and a message.
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    int GetIndexCount() override;
    /// Out of range: 0.
    int GetVertexIndex(int position) override;
    /// Out-of-range vertices give the origin (and a zero normal, and uv (0, 0)).
    D3DXVECTOR3* GetVertexPosition(D3DXVECTOR3* scratch, int vertex) override;
    D3DXVECTOR3* GetVertexNormal(D3DXVECTOR3* scratch, int vertex) override;
    float* GetVertexTexCoord(float* scratch, int set, int vertex) override;
    int GetPrimitiveType() override { return D3DPT_TRIANGLELIST; }
    bool HasTexCoordSet(int set) override;

    /// Generators (see MeshGenerators.h); parameters out of range give false, a message naming them, and
    /// leave the mesh unchanged.
    bool SetGrid(int cellsX, int cellsZ, float sizeX, float sizeZ) override;
    bool SetBox(float sizeX, float sizeY, float sizeZ) override;
    bool SetSphere(float radius, int slices, int stacks) override;
    /// Reads an OBJ file. On failure one message names the file and the problem, and the mesh is empty.
    bool LoadObj(const std::string& path) override;
    /// Takes explicit data; false, a message and nothing changed when it is inconsistent (ValidateMesh).
    bool SetData(vex::MeshData data) override;

    const vex::MeshData& GetData() const { return data_; }
    Source GetSource() const { return source_; }

private:
    /// Shows a message through the host (standard error without one).
    void Report(const std::string& text) const;

    /// What reading a source's parameter chunk came to: loaded; refused by the setter (which said why);
    /// or a missing or malformed chunk, which LoadChannel reports.
    enum class SourceLoad { kLoaded, kRefused, kBad };
    SourceLoad LoadGridChunk(TavFileLoader& loader);
    SourceLoad LoadBoxChunk(TavFileLoader& loader);
    SourceLoad LoadSphereChunk(TavFileLoader& loader);
    SourceLoad LoadObjChunk(TavFileLoader& loader);
    /// why: ReadData's reason, or "missing mesh data (MSDT)".
    SourceLoad LoadDataChunk(TavFileLoader& loader, std::string& why);

    vex::MeshData data_;
    Source source_ = Source::kNone;
    int gridCells_[2] = {0, 0};
    float gridSize_[2] = {0, 0};
    float boxSize_[3] = {0, 0, 0};
    float sphereRadius_ = 0;
    int sphereSegments_[2] = {0, 0};
    std::string objPath_;
};
