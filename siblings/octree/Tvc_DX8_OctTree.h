#pragma once
// The shadow scene channel ("DX8 OctTree"): the 3D objects linked at "Objects" cast shadows; segments are
// traced through their triangles in world space.
//
// Each linked object has a shadow tint and an opacity, kept here per link index (object i of "Objects"
// takes settings i) and saved with this channel, so that any 3D object can cast coloured shadows without
// the object type knowing about it. Defaults: tint (0, 0, 0), opacity 1 (opaque black).

#include "host/siblings/Tav_OctTreeInterface.h"
#include "host/siblings/Tav_ShadowSceneSetupInterface.h"
#include "siblings/octree/ShadowScene.h"

#include <atomic>
#include <mutex>
#include <vector>

class Tvc_DX8_OctTree : public Tav_OctTreeInterface,
                        public Tav_OctTreeBatchInterface,
                        public Tav_ShadowSceneSetupInterface {
public:
    static constexpr int kObjectsLink = 0;

    Tvc_DX8_OctTree();
    ~Tvc_DX8_OctTree() override;
    Tvc_DX8_OctTree(const Tvc_DX8_OctTree&) = delete;
    Tvc_DX8_OctTree& operator=(const Tvc_DX8_OctTree&) = delete;

    bool SaveChannel(TavFileSaver& saver) override;
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    // Tav_OctTreeInterface
    /// Writes the tint and opacity of what lies on the segment (see ShadowScene for the rules); true when
    /// something blocks. Scene, settings and culling are only read, so threads may trace at once; the
    /// scene is built on first use when PrepareShadowTree was never called.
    bool TraceRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                  float shadowColour[4], Tav_Channel* receivingMesh) override;
    /// Gathers the linked objects' triangles in world space; rebuilds the scene only when they differ
    /// from the last build, and takes the current tints and opacities either way. Not to be called
    /// while other threads trace.
    bool PrepareShadowTree(bool showProgress) override;
    void SetUseCulling(bool useCulling) override;
    bool TraceRayWithCulling(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                             float shadowColour[4], Tav_Channel* receivingMesh, bool cull) override;

    // Further slots of this channel.
    virtual bool GetUseCulling();
    /// Settings of object `objectIndex` of "Objects"; values are clamped into [0, 1]; false for an index
    /// below 0 or beyond the stored limit. Taken by the next PrepareShadowTree.
    virtual bool SetObjectShadowTint(int objectIndex, float red, float green, float blue) override;
    virtual bool SetObjectShadowOpacity(int objectIndex, float opacity) override;
    /// Tint into rgb[3]; defaults for an object without settings.
    virtual void GetObjectShadowTint(int objectIndex, float rgb[3]);
    virtual float GetObjectShadowOpacity(int objectIndex);
    /// Triangles in the scene that the last PrepareShadowTree built.
    virtual int GetShadowTriangleCount();
    /// Scene builds so far (a prepare that found the same triangles builds nothing).
    virtual int GetShadowTreeBuildCount();

    // Tav_OctTreeBatchInterface (declared last: its slot follows every slot above)
    /// The segments in packets where the scene allows (see ShadowScene::TraceMany), same answers.
    void TraceRaysWithCulling(int count, const D3DXVECTOR3* origins, const D3DXVECTOR3* targets, float* shadowColours,
                              bool* blocked, Tav_Channel* receivingMesh, bool cull) override;

    /// The scene itself, for callers that trace it directly (benchmarks); valid until the next prepare.
    const vex::octree::ShadowScene& GetShadowScene() const { return scene_; }

private:
    vex::octree::ShadowMaterial MaterialOf(int objectIndex) const;
    bool PrepareLocked(bool showProgress);
    /// Builds the scene for a caller that traces without having prepared it.
    void EnsurePrepared();
    /// World-space triangles of every linked object's surface meshes.
    std::vector<vex::octree::ShadowMesh> GatherMeshes(class Tav_ProgressInterface* progress);
    void ShowMessage(const char* text);

    std::vector<vex::octree::ShadowMaterial> settings_; ///< by link index of "Objects"
    std::atomic<bool> useCulling_{false};               ///< TraceRay's flag; may be set while others trace
    vex::octree::ShadowScene scene_;
    std::mutex prepareMutex_;
    std::atomic<bool> prepared_{false};
    int buildCount_ = 0;
};
