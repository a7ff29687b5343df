#include "app/ViewerData.h"

#include "app/ChannelInterface.h"
#include "app/GraphWalk.h"
#include "app/InputError.h"
#include "app/Trajectory.h"
#include "body/ODE_GeometryItem.h"
#include "host/Tav_List.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_BodySetupInterface.h"
#include "host/siblings/Tav_CollisionObjectInterface.h"
#include "host/siblings/Tav_LightInterface.h"
#include "host/siblings/Tav_LightMapInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/TypeGuids.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

namespace vex::app {

namespace {

using Json = nlohmann::json;

/// A float with `digits` significant digits, so that the page does not carry float noise ("0.1" rather
/// than "0.10000000149011612"). Non-finite values become 0: JSON has no spelling for them.
double Short(float value, int digits = 6)
{
    if (!std::isfinite(value))
        return 0.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    return std::strtod(text, nullptr);
}

Json Vec3(const D3DXVECTOR3& v) { return Json::array({Short(v.x), Short(v.y), Short(v.z)}); }

/// A matrix in row-vector order, m11 m12 ... m44: read column by column it is the same transform for
/// column vectors, which is how the page's library reads a flat array.
Json Matrix16(const D3DXMATRIX& m)
{
    Json out = Json::array();
    for (int i = 0; i < 16; ++i)
        out.push_back(Short(m.m[i / 4][i % 4], 7));
    return out;
}

Json BodyShapes(Tav_BodySetupInterface& body, Json& planes)
{
    Json shapes = Json::array();
    for (int i = 0; i < body.GetGeometryCount(); ++i) {
        ODE_GeometryItem* item = body.GetGeometryItem(i);
        if (!item)
            continue;
        if (item->kind == kShapePlane) {
            planes.push_back({{"body", std::string(item->name)}, {"normal", {0, 1, 0}}, {"distance", 0}});
            continue;
        }
        if (item->kind != kShapeBox && item->kind != kShapeSphere)
            continue; // mesh shapes are drawn from their collision objects
        D3DXMATRIX offset, local;
        D3DXMatrixTranslation(&offset, item->offset.x, item->offset.y, item->offset.z);
        const D3DXMATRIX rotation = item->GetRotationMatrix();
        D3DXMatrixMultiply(&local, &rotation, &offset);
        Json shape = {{"matrix", Matrix16(local)}};
        if (item->kind == kShapeBox)
            shape["box"] = Vec3(item->size);
        else
            shape["sphere"] = Short(item->radius);
        shapes.push_back(std::move(shape));
    }
    return shapes;
}

/// The light map each 3D object's surface shows: (object, surface number) -> light-map channel name.
std::map<std::pair<Tav_Channel*, int>, std::pair<std::string, int>> LightMapsByObject(const Vexcore& host)
{
    std::map<std::pair<Tav_Channel*, int>, std::pair<std::string, int>> maps;
    for (Tav_Channel* channel : host.GetChannels()) {
        if (!IsType(channel, guids::kTextureLighting))
            continue;
        auto* map = dynamic_cast<Tav_LightMapInterface*>(channel);
        if (Tav_Channel* object = map ? channel->GetChild(0) : nullptr)
            maps[{object, map->GetShadowSurfaceNr()}] = {host.GetChannelName(channel), map->GetTextureCoordSetUse()};
    }
    return maps;
}

/// One surface's triangles in world space, flattened; texture coordinates only when a light map shows.
Json SurfaceMesh(Tav_MeshInterface& mesh, const D3DXMATRIX& world, int set)
{
    Json positions = Json::array(), normals = Json::array(), uvs = Json::array();
    const int count = mesh.GetIndexCount();
    for (int i = 0; i + 2 < count; i += 3)
        for (int k = 0; k < 3; ++k) {
            const int index = mesh.GetVertexIndex(i + k);
            D3DXVECTOR3 p, n, wp, wn;
            p = *mesh.GetVertexPosition(&p, index); // results are copied at once
            n = *mesh.GetVertexNormal(&n, index);
            D3DXVec3TransformCoord(&wp, &p, &world);
            D3DXVec3TransformNormal(&wn, &n, &world);
            D3DXVec3Normalize(&wn, &wn);
            for (float v : {wp.x, wp.y, wp.z})
                positions.push_back(Short(v));
            for (float v : {wn.x, wn.y, wn.z})
                normals.push_back(Short(v, 3));
            if (set >= 0) {
                float scratch[2] = {0, 0};
                const float* uv = mesh.GetVertexTexCoord(scratch, set, index);
                uvs.push_back(Short(uv[0]));
                uvs.push_back(Short(uv[1]));
            }
        }
    Json out = {{"positions", positions}, {"normals", normals}};
    if (set >= 0)
        out["uvs"] = uvs;
    return out;
}

void AddObjectMeshes(const Vexcore& host, Tav_Channel* channel, Json& meshes,
                     const std::map<std::pair<Tav_Channel*, int>, std::pair<std::string, int>>& lightMaps)
{
    ForEachSurfaceMesh(channel, [&](int s, Tav_MeshInterface& mesh, const D3DXMATRIX& world) {
        const auto lit = lightMaps.find({channel, s});
        const bool mapped = lit != lightMaps.end() && mesh.HasTexCoordSet(lit->second.second);
        Json out = SurfaceMesh(mesh, world, mapped ? lit->second.second : -1);
        out["name"] = host.GetChannelName(channel);
        if (mapped)
            out["lightMap"] = lit->second.first;
        meshes.push_back(std::move(out));
    });
}

Json CollisionTriangles(Tav_CollisionObjectInterface& object)
{
    const D3DXMATRIX world = object.GetCollisionMatrix();
    D3DXVECTOR3 low(-3e38f, -3e38f, -3e38f), high(3e38f, 3e38f, 3e38f);
    Tav_List polygons;
    object.GetPolygonsInBox(&polygons, &low, &high);
    Json positions = Json::array();
    for (int i = 0; i < polygons.GetItemCount(); ++i) {
        const float* v = object.GetPolygonVertices(polygons.GetItem(i));
        if (!v)
            continue;
        for (int k = 0; k < 3; ++k) {
            const D3DXVECTOR3 p(v[3 * k], v[3 * k + 1], v[3 * k + 2]);
            D3DXVECTOR3 w;
            D3DXVec3TransformCoord(&w, &p, &world);
            for (float c : {w.x, w.y, w.z})
                positions.push_back(Short(c));
        }
    }
    return positions;
}

Json Lamp(const std::string& name, Tav_LightInterface& light)
{
    D3DLIGHT8 scratch;
    const D3DLIGHT8 l = *light.GetLight(&scratch);
    const char* type = l.Type == D3DLIGHT_SPOT ? "spot" : l.Type == D3DLIGHT_DIRECTIONAL ? "directional" : "point";
    return {{"name", name},
            {"type", type},
            {"position", Vec3(l.Position)},
            {"direction", Vec3(l.Direction)},
            {"colour", {Short(l.Diffuse.r, 3), Short(l.Diffuse.g, 3), Short(l.Diffuse.b, 3)}},
            {"range", Short(l.Range)},
            {"inner", Short(l.Theta)},
            {"outer", Short(l.Phi)}};
}

/// Bytes one pose value takes on the page, on average ("-1.2345678,"); a first guess the page's writer
/// corrects when the page comes out larger.
constexpr size_t kBytesPerPoseValue = 12;

/// One trajectory row: frame, time, name, then seven numbers. The name is whatever lies between the
/// second comma and the seventh from the end, so a name with a comma in it still reads.
struct PoseRow {
    unsigned long frame = 0;
    double time = 0;
    std::string name;
    double values[7] = {};
};

bool ParseNumber(const std::string& text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out);
}

bool ParseRow(const std::string& line, PoseRow& row)
{
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, ',');)
        fields.push_back(field);
    if (fields.size() < 10)
        return false;
    const size_t n = fields.size();
    double frame = 0;
    if (!ParseNumber(fields[0], frame) || frame < 0 || frame != std::floor(frame) || !ParseNumber(fields[1], row.time))
        return false;
    row.frame = static_cast<unsigned long>(frame);
    row.name = fields[2];
    for (size_t i = 3; i + 7 < n; ++i)
        row.name += "," + fields[i];
    for (int i = 0; i < 7; ++i)
        if (!ParseNumber(fields[n - 7 + static_cast<size_t>(i)], row.values[i]))
            return false;
    return true;
}

using Frame = std::vector<PoseRow>;

/// A trajectory read row by row, keeping every `stride`-th frame: memory follows the kept frames, not the
/// length of the run. The last frame is held apart, since it is shown whether or not the stride keeps it.
struct FrameReading {
    std::vector<Frame> kept;
    Frame last;
    double timeBeforeLast = 0; ///< the time of the frame before the last (the last's own when alone)
    size_t recorded = 0;       ///< every frame read
    bool lastKept = false;     ///< the stride kept the last frame
};

FrameReading ReadFrames(std::istream& lines, const std::string& file, size_t stride)
{
    FrameReading r;
    Frame current;
    auto close = [&] {
        if (current.empty())
            return;
        if (r.recorded > 0 && current.size() != r.last.size())
            throw InputError(file, "frame " + std::to_string(current.front().frame),
                             "has " + std::to_string(current.size()) + " bodies, the one before " +
                                 std::to_string(r.last.size()));
        r.timeBeforeLast = r.recorded > 0 ? r.last.front().time : current.front().time;
        r.lastKept = r.recorded % stride == 0;
        if (r.lastKept)
            r.kept.push_back(current);
        r.last = std::move(current);
        ++r.recorded;
        current.clear();
    };
    std::string line;
    std::getline(lines, line); // the header
    for (size_t number = 2; std::getline(lines, line); ++number) {
        if (line.empty())
            continue;
        PoseRow row;
        if (!ParseRow(line, row))
            throw InputError(file, "line " + std::to_string(number), "expected frame,time,name,x,y,z,qw,qx,qy,qz");
        if (!current.empty() && current.front().frame != row.frame)
            close();
        current.push_back(std::move(row));
    }
    close();
    return r;
}

/// Whether two frames hold the same poses, as the floats the run wrote.
bool SamePoses(const Frame& a, const Frame& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        for (int k = 0; k < 7; ++k)
            if (static_cast<float>(a[i].values[k]) != static_cast<float>(b[i].values[k]))
                return false;
    return true;
}

/// The frames to show: the kept ones and the last, or, when the final poses are not the last recorded
/// ones, the final poses as one frame more in place of the last. A bake evaluates one more frame after
/// the recorded run, and the project and matrices.csv hold its poses. Returns the frames counted.
size_t CloseFrames(FrameReading& r, Frame final)
{
    if (r.recorded == 0)
        return 0;
    if (final.size() == r.last.size() && !SamePoses(final, r.last)) {
        const PoseRow& last = r.last.front();
        const double step = r.recorded > 1 ? last.time - r.timeBeforeLast : 0.0;
        for (PoseRow& row : final) {
            row.frame = last.frame + 1;
            row.time = last.time + step;
        }
        r.kept.push_back(std::move(final));
        return r.recorded + 1;
    }
    if (!r.lastKept)
        r.kept.push_back(std::move(r.last));
    return r.recorded;
}

} // namespace

Json ViewerSceneData(const Vexcore& host)
{
    Json bodies = Json::array(), meshes = Json::array(), collision = Json::array(), planes = Json::array(),
         lamps = Json::array();
    const auto lightMaps = LightMapsByObject(host);
    for (Tav_Channel* channel : host.GetChannels()) {
        const std::string name = host.GetChannelName(channel);
        if (IsType(channel, guids::kBody)) {
            auto& body = RequireInterface<Tav_BodySetupInterface>(*channel, "a body's shapes");
            bodies.push_back(
                {{"name", name}, {"dynamic", body.GetBodyID() != nullptr}, {"shapes", BodyShapes(body, planes)}});
        } else if (IsType(channel, guids::kObject3D) && !IsType(channel->GetChild(0), guids::kBody)) {
            AddObjectMeshes(host, channel, meshes, lightMaps);
        } else if (IsType(channel, guids::kCollisionObject)) {
            auto* object = static_cast<Tav_CollisionObjectInterface*>(channel);
            collision.push_back({{"name", name}, {"positions", CollisionTriangles(*object)}});
        } else if (IsType(channel, guids::kLight)) {
            lamps.push_back(Lamp(name, *static_cast<Tav_LightInterface*>(channel)));
        }
    }
    return {{"bodies", bodies}, {"meshes", meshes}, {"collision", collision}, {"planes", planes}, {"lamps", lamps}};
}

} // namespace vex::app

namespace vex::app {

size_t StrideForBudget(size_t recordedFrames, size_t bodies, size_t budgetBytes)
{
    const size_t perFrame = bodies * 7 * kBytesPerPoseValue;
    if (perFrame == 0 || budgetBytes == 0)
        return 1;
    const size_t fit = std::max<size_t>(1, budgetBytes / perFrame);
    return std::max<size_t>(1, (recordedFrames + fit - 1) / fit);
}

Json ViewerFrames(std::istream& trajectoryCsv, const std::string& file, size_t stride, const std::string& finalPosesCsv)
{
    stride = std::max<size_t>(1, stride);
    FrameReading reading = ReadFrames(trajectoryCsv, file, stride);
    std::istringstream finalLines(finalPosesCsv);
    FrameReading final = ReadFrames(finalLines, "(final poses)", 1);
    const size_t recorded = CloseFrames(reading, final.recorded == 1 ? std::move(final.last) : Frame{});
    const std::vector<Frame>& frames = reading.kept;
    Json names = Json::array(), numbers = Json::array(), times = Json::array(), poses = Json::array();
    if (!frames.empty())
        for (const PoseRow& row : frames.front())
            names.push_back(row.name);
    for (const Frame& frame : frames) {
        numbers.push_back(frame.front().frame);
        times.push_back(frame.front().time);
        for (const PoseRow& row : frame)
            for (double v : row.values)
                poses.push_back(Short(static_cast<float>(v), 8));
    }
    return {{"names", names}, {"frames", numbers}, {"times", times},
            {"poses", poses}, {"stride", stride},  {"recorded", recorded}};
}

} // namespace vex::app
