#include "app/ViewerData.h"

#include "app/InputError.h"
#include "app/Trajectory.h"
#include "body/Tvc_ODE_BodyCollision.h"
#include "host/Tav_List.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_CollisionObjectInterface.h"
#include "host/siblings/Tav_LightInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/TypeGuids.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

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

bool IsType(Tav_Channel* channel, const char* guid)
{
    return channel && channel->GetChannelType().typeGuid == Guid(guid);
}

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

Json BodyShapes(Tvc_ODE_BodyCollision& body, Json& planes)
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
        auto* map = static_cast<Tvc_DX8_TextureShadow*>(channel);
        if (Tav_Channel* object = map->GetChild(0))
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
    auto* object = static_cast<Tav_3DObjectInterface*>(channel);
    D3DXMATRIX scratch;
    const D3DXMATRIX world = *object->GetWorldMatrix(&scratch);
    for (int s = 0;; ++s) {
        Tav_Channel* surface = channel->GetChildFromLinkGuid(Guid(guids::kSurface), s);
        if (!surface)
            break;
        Tav_Channel* meshChannel = surface->GetChild(0);
        if (!IsType(meshChannel, guids::kMesh))
            continue;
        auto* mesh = static_cast<Tav_MeshInterface*>(meshChannel);
        const auto lit = lightMaps.find({channel, s});
        const bool mapped = lit != lightMaps.end() && mesh->HasTexCoordSet(lit->second.second);
        Json out = SurfaceMesh(*mesh, world, mapped ? lit->second.second : -1);
        out["name"] = host.GetChannelName(channel);
        if (mapped)
            out["lightMap"] = lit->second.first;
        meshes.push_back(std::move(out));
    }
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

/// Rows grouped by frame, in file order.
std::vector<std::vector<PoseRow>> ReadFrames(const std::string& text, const std::string& file)
{
    std::vector<std::vector<PoseRow>> frames;
    std::stringstream lines(text);
    std::string line;
    std::getline(lines, line); // the header
    for (size_t number = 2; std::getline(lines, line); ++number) {
        if (line.empty())
            continue;
        PoseRow row;
        if (!ParseRow(line, row))
            throw InputError(file, "line " + std::to_string(number), "expected frame,time,name,x,y,z,qw,qx,qy,qz");
        if (frames.empty() || frames.back().front().frame != row.frame)
            frames.emplace_back();
        frames.back().push_back(std::move(row));
    }
    return frames;
}

/// Appends the final poses as one more frame when they are not the last recorded ones: a bake evaluates
/// one more frame after the recorded run, and the project and matrices.csv hold its poses.
void AppendFinalFrame(std::vector<std::vector<PoseRow>>& frames, std::vector<PoseRow> final)
{
    if (frames.empty() || final.size() != frames.back().size())
        return;
    bool same = true;
    for (size_t i = 0; i < final.size(); ++i)
        for (int k = 0; k < 7; ++k)
            same = same && static_cast<float>(final[i].values[k]) == static_cast<float>(frames.back()[i].values[k]);
    if (same)
        return;
    const PoseRow& last = frames.back().front();
    const double step = frames.size() > 1 ? last.time - frames[frames.size() - 2].front().time : 0.0;
    for (PoseRow& row : final) {
        row.frame = last.frame + 1;
        row.time = last.time + step;
    }
    frames.push_back(std::move(final));
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
            auto* body = static_cast<Tvc_ODE_BodyCollision*>(channel);
            bodies.push_back({{"name", name}, {"dynamic", body->GetBodyID() != nullptr},
                              {"shapes", BodyShapes(*body, planes)}});
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

Json ViewerFrames(const std::string& trajectoryCsv, const std::string& file, size_t stride,
                  const std::string& finalPosesCsv)
{
    std::vector<std::vector<PoseRow>> frames = ReadFrames(trajectoryCsv, file);
    if (std::vector<std::vector<PoseRow>> final = ReadFrames(finalPosesCsv, "(final poses)"); final.size() == 1)
        AppendFinalFrame(frames, std::move(final.front()));
    Json names = Json::array(), numbers = Json::array(), times = Json::array(), poses = Json::array();
    if (!frames.empty())
        for (const PoseRow& row : frames.front())
            names.push_back(row.name);
    stride = std::max<size_t>(1, stride);
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i % stride != 0 && i + 1 != frames.size())
            continue;
        if (frames[i].size() != names.size())
            throw InputError(file, "frame " + std::to_string(frames[i].front().frame),
                             "has " + std::to_string(frames[i].size()) + " bodies, the first frame " +
                                 std::to_string(names.size()));
        numbers.push_back(frames[i].front().frame);
        times.push_back(frames[i].front().time);
        for (const PoseRow& row : frames[i])
            for (double v : row.values)
                poses.push_back(Short(static_cast<float>(v), 8));
    }
    return {{"names", names}, {"frames", numbers}, {"times", times}, {"poses", poses}, {"stride", stride},
            {"recorded", frames.size()}};
}

} // namespace vex::app
