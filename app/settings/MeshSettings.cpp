// "DX8 Mesh": one of {"grid": {"cells": [x, z], "size": [x, z]}, "box": [x, y, z],
// "sphere": {"radius", "slices", "stacks"}, "obj": "file.obj" (relative to the scene file),
// "shapes": [{"box": [x, y, z]} or {"sphere": {...}}, each with "offset" and "rotation" as a body item]}.
// "shapes" builds the visible form of a body made of several items, placed as the body places them.

#include "app/ChannelInterface.h"
#include "app/settings/Appliers.h"
#include "app/settings/GridSettings.h"
#include "host/siblings/Tav_MeshSetupInterface.h"
#include "siblings/mesh/MeshGenerators.h"

#include <algorithm>
#include <numbers>

namespace vex::app {

namespace {

struct SphereSettings {
    float radius = 1.0f;
    int slices = 16, stacks = 8;
};

SphereSettings ReadSphere(SettingsReader& sphere)
{
    SphereSettings s;
    sphere.Float("radius", s.radius, 1e-6f, 1.0e5f);
    sphere.Int("slices", s.slices, 3, vex::kMaxSphereSegments);
    sphere.Int("stacks", s.stacks, 2, vex::kMaxSphereSegments);
    sphere.Finish();
    return s;
}

/// The rotation of a body item with angles (about y, about x, about z): turn about z, then x, then y,
/// each the opposite way of the D3DX rotation of the same angle.
D3DXMATRIX ItemRotation(const D3DXVECTOR3& degrees)
{
    const float toRadians = std::numbers::pi_v<float> / 180.0f;
    D3DXMATRIX x, y, z;
    D3DXMatrixRotationX(&x, -degrees.x * toRadians);
    D3DXMatrixRotationY(&y, -degrees.y * toRadians);
    D3DXMatrixRotationZ(&z, -degrees.z * toRadians);
    return z * x * y;
}

/// Generates one shape, places it and appends it to merged (texture-coordinate sets kept per vertex).
void AppendShape(SettingsReader& shape, vex::MeshData& merged)
{
    vex::MeshData part;
    D3DXVECTOR3 box;
    if (shape.Vec3("box", box, 1e-6f, 1.0e5f)) {
        if (shape.Has("sphere"))
            shape.Fail("sphere", "a shape is a box or a sphere, not both");
        if (!vex::GenerateBox(box.x, box.y, box.z, part))
            shape.Fail("box", "cannot make this box");
    } else if (shape.Has("sphere")) {
        SettingsReader sphere = shape.Object("sphere");
        const SphereSettings s = ReadSphere(sphere);
        if (!vex::GenerateSphere(s.radius, s.slices, s.stacks, part))
            shape.Fail("sphere", "cannot make this sphere");
    } else {
        shape.Fail("box", "missing (a shape needs \"box\" or \"sphere\")");
    }
    D3DXVECTOR3 offset(0, 0, 0), rotation(0, 0, 0);
    shape.Vec3("offset", offset, -1.0e5f, 1.0e5f);
    shape.Vec3("rotation", rotation, -36000.0f, 36000.0f);
    shape.Finish();

    D3DXMATRIX place = ItemRotation(rotation);
    place._41 = offset.x;
    place._42 = offset.y;
    place._43 = offset.z;
    const int base = static_cast<int>(merged.positions.size());
    for (size_t v = 0; v < part.positions.size(); ++v) {
        D3DXVECTOR3 p, n;
        D3DXVec3TransformCoord(&p, &part.positions[v], &place);
        D3DXVec3TransformNormal(&n, &part.normals[v], &place);
        merged.positions.push_back(p);
        merged.normals.push_back(n);
    }
    // Sets present in every part so far are kept; a vertex needs a value in each set the mesh has.
    const size_t sets = merged.indices.empty() ? part.texCoordSets.size()
                                               : std::min(merged.texCoordSets.size(), part.texCoordSets.size());
    merged.texCoordSets.resize(sets);
    for (size_t s = 0; s < sets; ++s) {
        merged.texCoordSets[s].resize(static_cast<size_t>(base));
        merged.texCoordSets[s].insert(merged.texCoordSets[s].end(), part.texCoordSets[s].begin(),
                                      part.texCoordSets[s].end());
    }
    for (int index : part.indices)
        merged.indices.push_back(base + index);
}

} // namespace

void ApplyMeshSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context)
{
    auto& mesh = RequireInterface<Tav_MeshSetupInterface>(channel, "mesh settings");
    const int sources = settings.Has("grid") + settings.Has("box") + settings.Has("sphere") + settings.Has("obj") +
                        settings.Has("shapes");
    if (sources > 1)
        settings.Fail("grid", "give only one of grid, box, sphere, obj and shapes");
    auto refuse = [&](const char* key) { settings.Fail(key, "refused by the mesh"); };

    if (settings.Has("grid")) {
        SettingsReader grid = settings.Object("grid");
        const GridSettings g = ReadGrid(grid);
        grid.Finish();
        if (!mesh.SetGrid(g.cellsX, g.cellsZ, g.sizeX, g.sizeZ))
            refuse("grid");
    }
    D3DXVECTOR3 box;
    if (settings.Vec3("box", box, 1e-6f, 1.0e5f) && !mesh.SetBox(box.x, box.y, box.z))
        refuse("box");
    if (settings.Has("sphere")) {
        SettingsReader sphere = settings.Object("sphere");
        const SphereSettings s = ReadSphere(sphere);
        if (!mesh.SetSphere(s.radius, s.slices, s.stacks))
            refuse("sphere");
    }
    const nlohmann::json& shapes = settings.Raw("shapes");
    if (!shapes.is_null()) {
        if (!shapes.is_array() || shapes.empty())
            settings.Fail("shapes", "expected an array of shapes");
        vex::MeshData merged;
        for (size_t i = 0; i < shapes.size(); ++i) {
            SettingsReader shape(shapes[i], settings.File(),
                                 settings.FieldPath("shapes") + "[" + std::to_string(i) + "]");
            AppendShape(shape, merged);
        }
        if (!mesh.SetData(std::move(merged)))
            refuse("shapes");
    }
    std::string obj;
    if (settings.String("obj", obj) && !mesh.LoadObj(context.ResolvePath(obj)))
        refuse("obj");
}

} // namespace vex::app
