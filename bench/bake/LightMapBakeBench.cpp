// Light-map bake: a 512 x 512 light map of a floor with resting boxes and spheres, baked through the
// texture-lighting channel and the shadow scene, against the very same shadow segments traced straight
// through Embree's rtcOccluded1 on a plain scene of the same triangles, single-threaded.
//
//   LightMapBakeBench [runs]           (runs per case, default 3; times are the median, the minimum beside)
//   LightMapBakeBench threads [runs]   wall-clock bake at 1 and 2 threads, outputs compared
//   LightMapBakeBench scaling [runs]   one-thread bake as map size, samples and lights grow
//
// The segments are recorded by a pass-through shadow scene linked in place of the real one for one bake;
// the timed bakes use the real one directly ("bake": batched queries from 16 samples a texel) and, for
// comparison in the same run, the pass-through one without recording ("one-by-one bake": it offers no
// batches, so every segment is its own query, as before batching). The table against rtcOccluded1 bakes on one thread.

#include "common/PluginEntry.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_OctTreeInterface.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/light/Tvc_DX8_Light.h"
#include "siblings/mesh/MeshGenerators.h"
#include "siblings/mesh/Tvc_DX8_Mesh.h"
#include "siblings/octree/Tvc_DX8_OctTree.h"
#include "texlight/ShadowBuffer.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

/// CPU time of the calling thread: the bake and the replays all run on it, and on a shared machine its CPU
/// time is steadier than the wall clock.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

constexpr int kMapSize = 512;
constexpr float kFloorSize = 20; // world units, centred at the origin
constexpr int kFloorCells = 32;  // per side
constexpr int kSphereSlices = 32;
constexpr int kSphereStacks = 16;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "LightMapBakeBench: %s\n", what.c_str());
    std::exit(1);
}

struct Segment {
    float from[3];
    float to[3];
};

/// Passes every call to the real scene and keeps the segments it was asked about.
class RecordingOctTree : public Tav_OctTreeInterface {
public:
    explicit RecordingOctTree(Tav_OctTreeInterface* inner) : inner_(inner)
    {
        ChannelType record = vex::kInitialChannelType;
        vex::FillChannelType(record, "DX8 OctTree", vex::guids::kOctTree, vex::guids::kOctTree);
        SetChannelTypeRecord(record);
        SetChannelName("DX8 OctTree");
    }

    bool TraceRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                  float shadowColour[4], Tav_Channel* receivingMesh) override
    {
        return TraceRayWithCulling(origin, target, direction, shadowColour, receivingMesh, false);
    }
    bool TraceRayWithCulling(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                             float shadowColour[4], Tav_Channel* receivingMesh, bool cull) override
    {
        const bool blocked = inner_->TraceRayWithCulling(origin, target, direction, shadowColour, receivingMesh, cull);
        if (!recording)
            return blocked;
        std::lock_guard<std::mutex> lock(mutex_);
        segments.push_back({{origin->x, origin->y, origin->z}, {target->x, target->y, target->z}});
        receiver = receivingMesh;
        blockedCount += blocked ? 1 : 0;
        return blocked;
    }
    bool PrepareShadowTree(bool showProgress) override { return inner_->PrepareShadowTree(showProgress); }
    void SetUseCulling(bool useCulling) override { inner_->SetUseCulling(useCulling); }

    /// Off: only passes calls on; the bake then asks one segment at a time (this channel has no batches).
    bool recording = true;
    std::vector<Segment> segments;
    size_t blockedCount = 0;
    Tav_Channel* receiver = nullptr;

private:
    Tav_OctTreeInterface* inner_;
    std::mutex mutex_;
};

/// The shadow scene's triangles in a plain Embree scene: no filters, as a user tracing alone would build it.
RTCScene PlainScene(const vex::octree::ShadowScene& shadows)
{
    RTCDevice device = vex::octree::ShadowScene::Device();
    RTCScene scene = rtcNewScene(device);
    for (size_t m = 0; m < shadows.GetMeshCount(); ++m) {
        const std::vector<float>& p = shadows.GetMesh(m).positions;
        const size_t triangles = p.size() / 9;
        if (triangles == 0)
            continue;
        RTCGeometry g = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        auto* v = static_cast<float*>(
            rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 12, triangles * 3));
        auto* idx = static_cast<unsigned*>(
            rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 12, triangles));
        std::copy(p.begin(), p.end(), v);
        for (size_t i = 0; i < triangles * 3; ++i)
            idx[i] = unsigned(i);
        rtcCommitGeometry(g);
        rtcAttachGeometry(scene, g);
        rtcReleaseGeometry(g);
    }
    rtcCommitScene(scene);
    return scene;
}

/// Every segment through rtcOccluded1, ends pulled in by the same self-hit distance; returns the blocked count.
size_t Replay(RTCScene scene, const std::vector<Segment>& segments, float selfHit)
{
    size_t blocked = 0;
    for (const Segment& s : segments) {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRay ray{};
        ray.org_x = s.from[0];
        ray.org_y = s.from[1];
        ray.org_z = s.from[2];
        ray.dir_x = s.to[0] - s.from[0];
        ray.dir_y = s.to[1] - s.from[1];
        ray.dir_z = s.to[2] - s.from[2];
        const float length = std::sqrt(ray.dir_x * ray.dir_x + ray.dir_y * ray.dir_y + ray.dir_z * ray.dir_z);
        ray.tnear = selfHit / length;
        ray.tfar = 1 - selfHit / length;
        ray.mask = ~0u;
        rtcOccluded1(scene, &context, &ray);
        blocked += ray.tfar < 0 ? 1 : 0;
    }
    return blocked;
}

/// Every segment through the shadow scene channel, as the bake asks it; returns the blocked count.
size_t ReplayThroughChannel(Tav_OctTreeInterface& tree, const std::vector<Segment>& segments, Tav_Channel* receiver)
{
    size_t blocked = 0;
    for (const Segment& s : segments) {
        const D3DXVECTOR3 from(s.from[0], s.from[1], s.from[2]), to(s.to[0], s.to[1], s.to[2]);
        const D3DXVECTOR3 dir = to - from;
        float colour[4] = {1, 1, 1, 0};
        blocked += tree.TraceRay(&from, &to, &dir, colour, receiver) ? 1 : 0;
    }
    return blocked;
}

struct Timing {
    double median;
    double minimum;
};

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

/// Median and minimum of runs timings of f on a clock (the thread's CPU time unless told).
template <class F> Timing Time(int runs, F&& f, double (*clock)() = ThreadSeconds)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const double start = clock();
        f();
        t.push_back(clock() - start);
    }
    std::sort(t.begin(), t.end());
    return {t[t.size() / 2], t.front()};
}

class BakeScene {
public:
    BakeScene() : host_({VEX_PLUGIN_DIR})
    {
        host_.SetMessageSink([](const std::string& text) { std::fprintf(stderr, "message: %s\n", text.c_str()); });

        Add(vex::guids::kDevice, "device"); // the light map's texture is made on it

        vex::MeshData floor;
        if (!vex::GenerateGrid(kFloorCells, kFloorCells, kFloorSize, kFloorSize, floor))
            Fail("floor grid");
        floorObject_ = AddObject("floor", std::move(floor));

        // Casters resting on the floor (y = 0): boxes and spheres in a fixed arrangement.
        struct Box {
            float x, z, sx, sy, sz;
        };
        const Box boxes[] = {{-6, -5, 2, 3, 2},     {5, -6, 3, 1.5f, 1.5f}, {-3, 4, 1.5f, 4, 1.5f},
                             {6, 5, 2.5f, 2, 2.5f}, {0, -2, 1, 1, 4},       {-7, 7, 1.5f, 1, 1.5f}};
        int n = 0;
        for (const Box& b : boxes) {
            vex::MeshData mesh;
            if (!vex::GenerateBox(b.sx, b.sy, b.sz, mesh))
                Fail("box");
            Move(mesh, b.x, b.sy / 2, b.z);
            casters_.push_back(AddObject("box" + std::to_string(n++), std::move(mesh)));
        }
        struct Ball {
            float x, z, r;
        };
        const Ball balls[] = {{2, 2, 1.5f}, {-2, -6, 1}, {7, -1, 1.2f}, {-6, 0, 0.8f}, {3, 7, 1}, {0, 8, 0.6f}};
        for (const Ball& s : balls) {
            vex::MeshData mesh;
            if (!vex::GenerateSphere(s.r, kSphereSlices, kSphereStacks, mesh))
                Fail("sphere");
            Move(mesh, s.x, s.r, s.z);
            casters_.push_back(AddObject("sphere" + std::to_string(n++), std::move(mesh)));
        }

        octree_ = static_cast<Tvc_DX8_OctTree*>(Add(vex::guids::kOctTree, "shadow scene"));
        Link(octree_, floorObject_, Tvc_DX8_OctTree::kObjectsLink);
        for (Tav_Channel* c : casters_)
            Link(octree_, c, Tvc_DX8_OctTree::kObjectsLink);
        recorder_ = std::make_unique<RecordingOctTree>(octree_);

        const float lightSpots[4][3] = {{1, 14, 1}, {-9, 10, 7}, {10, 11, -6}, {5, 16, 10}};
        for (int i = 0; i < 4; ++i) {
            auto* light = static_cast<Tvc_DX8_Light*>(Add(vex::guids::kLight, "light" + std::to_string(i)));
            D3DLIGHT8 scratch;
            D3DLIGHT8 l = *light->GetLight(&scratch);
            l.Type = D3DLIGHT_POINT;
            l.Diffuse = {0.6f, 0.55f, 0.5f, 1};
            l.Position = D3DXVECTOR3(lightSpots[i][0], lightSpots[i][1], lightSpots[i][2]);
            l.Attenuation0 = 1;
            l.Attenuation1 = 0.01f;
            light->SetLight(l);
            lights_.push_back(light);
        }

        channel_ = static_cast<Tvc_DX8_TextureShadow*>(Add(vex::guids::kTextureLighting, "light map"));
        Link(channel_, floorObject_, 0);
        channel_->SetChild(octree_, 1, -1);
        channel_->SetDesiredWidth(kMapSize);
        channel_->SetDesiredHeight(kMapSize);
        channel_->SetTestTexture();
        channel_->SetUseProgressBar(false);
        channel_->SetSoftShadowRadius(0.3f);
    }

    ~BakeScene() { channel_->RemoveChild(recorder_.get()); }

    void SetThreads(int threads) { host_.SetWorkerThreadCount(threads); }

    void SetMapSize(int side)
    {
        channel_->SetDesiredWidth(side);
        channel_->SetDesiredHeight(side);
        channel_->SetTestTexture();
    }

    void Configure(int samplesPerTexel, int lightCount)
    {
        const int mode = samplesPerTexel == 1 ? 0 : samplesPerTexel == 4 ? 1 : samplesPerTexel == 16 ? 2 : 3;
        channel_->SetAntiAliasMode(mode);
        channel_->SetSoftUseShadows(samplesPerTexel > 4);
        for (Tvc_DX8_Light* l : lights_)
            channel_->RemoveChild(l);
        for (int i = 0; i < lightCount; ++i)
            Link(channel_, lights_[size_t(i)], 3);
    }

    void Bake()
    {
        if (!channel_->CalculateShadowBuffer())
            Fail("the light map could not be computed");
    }

    /// One bake through the pass-through channel without recording: the one-segment-at-a-time path.
    void BakeOneByOne()
    {
        recorder_->recording = false;
        Record();
        recorder_->recording = true;
    }

    /// One bake through the recorder; returns its segments.
    RecordingOctTree& Record()
    {
        recorder_->segments.clear();
        recorder_->blockedCount = 0;
        channel_->RemoveChild(octree_);
        channel_->SetChild(recorder_.get(), 1, -1);
        Bake();
        channel_->RemoveChild(recorder_.get());
        channel_->SetChild(octree_, 1, -1);
        return *recorder_;
    }

    std::vector<int> Texels() const
    {
        std::vector<int> t;
        ShadowBuffer* b = channel_->GetShadowBuffer();
        for (int y = 0; y < b->GetHeight(); ++y)
            for (int x = 0; x < b->GetWidth(); ++x)
                t.push_back(b->GetTexel(x, y));
        return t;
    }

    const vex::octree::ShadowScene& Shadows() const { return octree_->GetShadowScene(); }
    int TriangleCount() const { return octree_->GetShadowTriangleCount(); }
    Tav_OctTreeInterface& Tree() const { return *octree_; }

private:
    static void Move(vex::MeshData& mesh, float x, float y, float z)
    {
        for (D3DXVECTOR3& p : mesh.positions)
            p += D3DXVECTOR3(x, y, z);
    }

    Tav_Channel* Add(const char* guid, const std::string& name)
    {
        std::string error;
        Tav_Channel* c = host_.AddChannel(vex::Guid(guid), name, &error);
        if (!c)
            Fail(name + ": " + error);
        return c;
    }

    void Link(Tav_Channel* parent, Tav_Channel* child, int position)
    {
        std::string error;
        if (!host_.Link(parent, child, position, &error))
            Fail(error);
    }

    Tav_Channel* AddObject(const std::string& name, vex::MeshData data)
    {
        Tav_Channel* object = Add(vex::guids::kObject3D, name);
        Tav_Channel* surface = Add(vex::guids::kSurface, name + " surface");
        auto* mesh = static_cast<Tvc_DX8_Mesh*>(Add(vex::guids::kMesh, name + " mesh"));
        if (!mesh->SetData(std::move(data)))
            Fail(name + ": mesh data refused");
        Link(surface, mesh, 0);
        Link(object, surface, 1);
        return object;
    }

    Vexcore host_;
    Tav_Channel* floorObject_ = nullptr;
    std::vector<Tav_Channel*> casters_;
    std::vector<Tvc_DX8_Light*> lights_;
    Tvc_DX8_OctTree* octree_ = nullptr;
    Tvc_DX8_TextureShadow* channel_ = nullptr;
    std::unique_ptr<RecordingOctTree> recorder_;
};

} // namespace

/// Wall-clock bakes at 1 and 2 threads (16 samples, 4 lights): the speed-up, and the maps compared.
int CompareThreads(BakeScene& scene, int runs)
{
    scene.Configure(16, 4);
    std::printf("| threads | bake wall s | speed-up | same map |\n|---:|---:|---:|---|\n");
    std::vector<int> serial;
    double serialSeconds = 0;
    for (int threads : {1, 2}) {
        scene.SetThreads(threads);
        const Timing t = Time(
            runs, [&] { scene.Bake(); }, WallSeconds);
        if (threads == 1) {
            serial = scene.Texels();
            serialSeconds = t.median;
        }
        std::printf("| %d | %.3f (%.3f) | %.2f | %s |\n", threads, t.median, t.minimum, serialSeconds / t.median,
                    scene.Texels() == serial ? "yes" : "NO");
        std::fflush(stdout);
    }
    return 0;
}

/// One-thread CPU time of the bake as map size, samples per texel and lights grow, per shadow ray.
int Scaling(BakeScene& scene, int runs)
{
    scene.SetThreads(1);
    std::printf("| map | samples/texel | lights | rays | bake s | ns per ray |\n|---:|---:|---:|---:|---:|---:|\n");
    for (int side : {128, 256, 512})
        for (int samples : {1, 4, 16, 64})
            for (int lights : {1, 2, 4}) {
                if (side == 512 && samples == 64 && lights > 1)
                    continue; // the largest cases say nothing the others do not, at minutes a run
                scene.SetMapSize(side);
                scene.Configure(samples, lights);
                const Timing t = Time(runs, [&] { scene.Bake(); });
                const double rays = double(side) * side * samples * lights;
                std::printf("| %d | %d | %d | %.0f | %.3f (%.3f) | %.1f |\n", side, samples, lights, rays, t.median,
                            t.minimum, t.median / rays * 1e9);
                std::fflush(stdout);
            }
    return 0;
}

/// The machine's load averages as `uptime` gives them, so that every table says how busy the machine was.
void PrintLoad(const char* when)
{
    char text[128] = "unknown";
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, f))
            std::snprintf(text, sizeof text, "unknown");
        std::fclose(f);
    }
    text[std::strcspn(text, "\n")] = 0;
    std::printf("load average %s: %s (1, 5, 15 min)\n", when, text);
    std::fflush(stdout);
}

int RunMode(const std::string& mode, int runs, BakeScene& scene);

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 && !std::isdigit(static_cast<unsigned char>(argv[1][0])) ? argv[1] : "";
    const int runsArg = mode.empty() ? 1 : 2;
    const int runs = argc > runsArg ? std::max(1, std::atoi(argv[runsArg])) : 3;
    BakeScene scene;
    scene.SetThreads(1); // the recorder keeps the segments in the serial order
    scene.Configure(1, 1);
    scene.Bake(); // builds the shadow scene once
    PrintLoad("at start");
    const int status = RunMode(mode, runs, scene);
    PrintLoad("at end");
    return status;
}

int RunMode(const std::string& mode, int runs, BakeScene& scene)
{
    if (mode == "threads")
        return CompareThreads(scene, runs);
    if (mode == "scaling")
        return Scaling(scene, runs);
    if (!mode.empty())
        Fail("unknown mode " + mode + " (threads, scaling, or a number of runs)");

    RTCScene plain = PlainScene(scene.Shadows());
    const float selfHit = scene.Shadows().GetSelfHitDistance();
    std::printf("Light-map bake: %d x %d floor light map, %d shadow triangles, 4 point lights available;\n"
                "thread CPU seconds, median of %d runs (minimum in brackets)\n\n",
                kMapSize, kMapSize, scene.TriangleCount(), runs);
    std::printf("| samples/texel | lights | rays | bake s | one-by-one bake s | channel rays s | pure rays s | "
                "bake Mrays/s | pure Mrays/s | bake / pure | one-by-one / pure | channel / pure |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");

    for (int samples : {1, 16})
        for (int lights : {1, 4}) {
            scene.Configure(samples, lights);
            const RecordingOctTree& recorded = scene.Record();
            const std::vector<int> recordedTexels = scene.Texels();
            const std::vector<Segment> segments = recorded.segments;
            const size_t bakeBlocked = recorded.blockedCount;
            Tav_Channel* receiver = recorded.receiver;

            const Timing bake = Time(runs, [&] { scene.Bake(); });
            if (scene.Texels() != recordedTexels)
                Fail("the recorded and the timed bakes differ");
            const Timing single = Time(runs, [&] { scene.BakeOneByOne(); });
            if (scene.Texels() != recordedTexels)
                Fail("the one-by-one and the timed bakes differ");
            size_t channelBlocked = 0, pureBlocked = 0;
            const Timing channel =
                Time(runs, [&] { channelBlocked = ReplayThroughChannel(scene.Tree(), segments, receiver); });
            const Timing pure = Time(runs, [&] { pureBlocked = Replay(plain, segments, selfHit); });
            if (channelBlocked != bakeBlocked)
                Fail("the replayed segments do not give the bake's answers");

            const double rays = double(segments.size());
            std::printf("| %d | %d | %zu | %.3f (%.3f) | %.3f (%.3f) | %.3f (%.3f) | %.3f (%.3f) | %.2f | %.2f | "
                        "%.2f | %.2f | %.2f |\n",
                        samples, lights, segments.size(), bake.median, bake.minimum, single.median, single.minimum,
                        channel.median, channel.minimum, pure.median, pure.minimum, rays / bake.median / 1e6,
                        rays / pure.median / 1e6, bake.median / pure.median, single.median / pure.median,
                        channel.median / pure.median);
            std::fprintf(stderr, "  blocked segments: bake %zu, pure rays %zu\n", bakeBlocked, pureBlocked);
            std::fflush(stdout);
        }
    rtcReleaseScene(plain);
    return 0;
}
