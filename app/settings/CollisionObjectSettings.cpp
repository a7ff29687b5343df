// "DX8 CollisionObject": one mesh source of {"grid", "heightField", "obj", "triangles"} and "matrix" (the
// object's own matrix, used when no matrix channel is linked).
//   "grid": {"cells": [x, z], "size": [x, z]}
//   "heightField": {"cells": [x, z], "size": [x, z], "amplitude": a, "frequency": [fx, fz]}
//   "obj": "file.obj" (relative to the scene file)
//   "triangles": [x0, y0, z0, x1, y1, z1, x2, y2, z2, ...]

#include "app/ChannelInterface.h"
#include "app/settings/Appliers.h"
#include "app/settings/GridSettings.h"
#include "common/SceneLimits.h"
#include "host/siblings/Tav_CollisionObjectSetupInterface.h"

#include <cmath>

namespace vex::app {

void ApplyCollisionObjectSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context)
{
    auto& object = RequireInterface<Tav_CollisionObjectSetupInterface>(channel, "collision object settings");
    const int sources =
        settings.Has("grid") + settings.Has("heightField") + settings.Has("obj") + settings.Has("triangles");
    if (sources > 1)
        settings.Fail("grid", "give only one of grid, heightField, obj and triangles");
    auto refuse = [&](const char* key) { settings.Fail(key, "refused by the collision object"); };

    if (settings.Has("grid")) {
        SettingsReader grid = settings.Object("grid");
        const GridSettings g = ReadGrid(grid);
        grid.Finish();
        if (!object.SetGridSource(g.cellsX, g.cellsZ, g.sizeX, g.sizeZ))
            refuse("grid");
    }
    if (settings.Has("heightField")) {
        SettingsReader field = settings.Object("heightField");
        const GridSettings g = ReadGrid(field);
        float amplitude = 0.0f;
        float frequency[2] = {0.0f, 0.0f};
        field.Float("amplitude", amplitude, -1.0e4f, 1.0e4f);
        const nlohmann::json& f = field.Raw("frequency");
        if (!f.is_null()) {
            if (!f.is_array() || f.size() != 2)
                field.Fail("frequency", "expected [fx, fz], found " + JsonKindName(f));
            for (int i = 0; i < 2; ++i) {
                const nlohmann::json& e = f[static_cast<size_t>(i)];
                if (!e.is_number() || std::abs(e.get<double>()) > 1.0e4)
                    field.Fail("frequency", "expected numbers within [-10000, 10000]");
                frequency[i] = e.get<float>();
            }
        }
        field.Finish();
        if (!object.SetHeightFieldSource(g.cellsX, g.cellsZ, g.sizeX, g.sizeZ, amplitude, frequency[0], frequency[1]))
            refuse("heightField");
    }
    std::string obj;
    if (settings.String("obj", obj) && !object.SetObjSource(context.ResolvePath(obj)))
        refuse("obj");
    const nlohmann::json& triangles = settings.Raw("triangles");
    if (!triangles.is_null()) {
        if (!triangles.is_array() || triangles.empty() || triangles.size() % 9 != 0)
            settings.Fail("triangles", "expected nine numbers per triangle");
        std::vector<float> values;
        for (const nlohmann::json& v : triangles) {
            if (!v.is_number())
                settings.Fail("triangles", "expected numbers, found " + JsonKindName(v));
            if (!(std::fabs(v.get<double>()) <= limits::kMaxCoordinate))
                settings.Fail("triangles", v.dump() + " is outside [-1e+06, 1e+06]");
            values.push_back(v.get<float>());
        }
        if (!object.SetTriangles(values))
            refuse("triangles");
    }
    D3DXMATRIX m;
    if (settings.Matrix("matrix", m))
        object.SetOwnMatrix(m);
}

} // namespace vex::app
