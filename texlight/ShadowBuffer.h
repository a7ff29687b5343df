#pragma once
// The light map of a texture-lighting channel: its texel store and the computation that fills it, texel by
// texel, from the samples that the channel's surface, lights and shadow scene give.

#include "platform/D3DXMath.h"
#include "texlight/LightSample.h"
#include "texlight/Lighting.h"
#include "texlight/MeshSnapshot.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class Tav_HostContext;
class Tav_OctTreeBatchInterface;
class Tav_Channel;
class Tav_MeshInterface;
class Tav_SurfaceInterface;
class Tvc_DX8_TextureShadow;
class UVTreeNode;
namespace vex::texlight {
class TexelShadowBatch;
}

class ShadowBuffer {
public:
    explicit ShadowBuffer(Tav_HostContext* host);
    /// Copies the texels and the last computation's matrix and mode; the tree and the soft-shadow table
    /// are rebuilt by the next computation. The owner must be set again.
    ShadowBuffer(const ShadowBuffer& other);
    ShadowBuffer& operator=(const ShadowBuffer&) = delete;

    // Virtual slots, in this order.
    virtual ~ShadowBuffer();
    virtual void SetOwner(Tvc_DX8_TextureShadow* owner);
    /// placeholder true: Reset only. false: computes the whole light map; false when a precondition
    /// fails or the user stops it.
    virtual bool Calculate(bool placeholder);
    /// Storage at the owner's desired size (32 where that is 0 or less) filled with the placeholder.
    virtual void Reset();
    /// Sample s of texel (x, y) on mesh, with the tree and matrix of the last computation.
    virtual LightSample GetSample(int x, int y, Tav_MeshInterface* mesh, int sampleIndex);
    virtual D3DXVECTOR3 InterpolateNormal(const D3DXVECTOR3 positions[3], const D3DXVECTOR3 normals[3],
                                          D3DXVECTOR3 point);
    virtual float GetPlaneRatio(D3DXVECTOR3 n, D3DXVECTOR3 point, D3DXVECTOR3 p0, D3DXVECTOR3 p1);
    /// 0x00RRGGBB of texel (x, y); 0 outside the map.
    virtual int GetTexel(int x, int y);
    virtual int GetWidth();
    virtual int GetHeight();
    virtual int IntersectTriangle(const D3DXVECTOR3* origin, const D3DXVECTOR3* direction, const D3DXVECTOR3* T0,
                                  const D3DXVECTOR3* T1, const D3DXVECTOR3* T2, float* t, float* b1, float* b2);
    /// Colour of one sample from the owner's lights and settings, read afresh.
    virtual void ShadeSample(LightSample* sample, int sampleIndex);
    /// from + ratio (to - from): the edge points of the normal interpolation.
    virtual D3DXVECTOR3 InterpolateLine(D3DXVECTOR3 from, D3DXVECTOR3 to, float ratio);
    /// Shadow query from the sample's position towards target.
    virtual ShadowColor GetShadowColor(LightSample* sample, D3DXVECTOR3 target);
    /// Lets the shadow scene prepare itself for a computation.
    virtual void PrepareShadowScene();
    /// Resolves scene and receiving mesh and asks the scene; false when there is nothing to ask.
    virtual bool TraceShadowRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                                float shadowColor[4]);
    /// Light offsets for soft shadows at the owner's anti-alias mode (2 or 3) and radius.
    virtual void CreateSoftShadowOffsets();
    /// Reads the mesh and replaces the uv tree by one for it; nothing for a null mesh.
    virtual void BuildUVTree(Tav_MeshInterface* mesh);
    virtual void DeleteUVTree();

    // Not part of the interface other libraries call.
    bool IsReady() const { return ready_; }
    /// 0 for a texel computed from a covered sample, 1 otherwise (also outside the map).
    uint8_t GetCoverage(int x, int y) const;
    int GetSampleGridMode() const { return sampleGridMode_; }
    const std::vector<D3DXVECTOR3>& GetSoftShadowOffsets() const { return softShadowOffsets_; }
    UVTreeNode* GetUVTreeRoot() const { return uvTreeRoot_; }
    Tav_Channel* GetSurfaceMesh() const { return surfaceMesh_; }

private:
    /// What the texel loop reads besides the light-map object's own fields.
    struct ColumnInputs {
        int samples;
        const vex::texlight::LightSource* lights;
        size_t lightCount;
        vex::texlight::LightingOptions options;
        vex::texlight::ShadowTracer* tracer; ///< one query at a time
        /// The shadow scene's batched query, when it has one; with the receiving mesh and culling flag.
        Tav_OctTreeBatchInterface* batch;
        Tav_Channel* receivingMesh;
        bool cull;
    };

    bool Compute();
    /// The owner's object and the mesh to light, after the computation's checks; null mesh when one fails.
    Tav_MeshInterface* CheckTarget(class Tav_3DObjectInterface*& object);
    /// Sample-grid mode, soft-shadow table and uv tree for a computation; returns the samples a texel.
    int PrepareSampling(Tav_MeshInterface* mesh);
    Tav_MeshInterface* ResolveTarget(class Tav_3DObjectInterface* object);
    void AdoptStageTexCoordSet(Tav_SurfaceInterface* surface);
    /// Every column, on the host's worker threads; report(done columns) on this thread, false to stop.
    bool ComputeAllColumns(const ColumnInputs& inputs, const std::function<bool(int)>& report);
    bool ComputeColumn(int x, uint8_t* column, const std::atomic<bool>* stop, const ColumnInputs& inputs);
    /// Colour and coverage of one texel from its samples (missed ones skipped) into texel's four bytes.
    void ShadeTexel(LightSample* samples, const ColumnInputs& inputs, vex::texlight::TexelShadowBatch* batch,
                    uint8_t* texel) const;
    std::vector<vex::texlight::LightSource> ReadLights() const;
    vex::texlight::LightingOptions ReadLightingOptions() const;
    /// Owner's anti-alias mode limited to the modes that have a sample grid and a soft-shadow table.
    int ClampedAntiAliasMode() const;
    void Message(const char* text) const;
    void FreeStorage();

    Tav_HostContext* host_;
    Tvc_DX8_TextureShadow* owner_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> texels_; ///< column-major, 4 bytes a texel: red, green, blue, coverage
    bool ready_ = false;
    Tav_Channel* surfaceMesh_ = nullptr;
    int sampleGridMode_ = 0;
    D3DXMATRIX worldMatrix_;
    std::vector<D3DXVECTOR3> softShadowOffsets_;
    UVTreeNode* uvTreeRoot_ = nullptr;
    vex::texlight::MeshSnapshot mesh_; ///< the mesh as read by the last BuildUVTree
};
