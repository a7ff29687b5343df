#include "app/settings/GridSettings.h"

#include <cmath>

namespace vex::app {

namespace {

/// Two numbers [x, z]; whole numbers within [1, max] when `whole`, else finite positive floats.
void ReadPair(SettingsReader& reader, const char* key, bool whole, double max, double out[2])
{
    const nlohmann::json& value = reader.Raw(key);
    if (value.is_null())
        reader.Fail(key, "missing");
    if (!value.is_array() || value.size() != 2)
        reader.Fail(key, "expected [x, z], found " + JsonKindName(value));
    for (int i = 0; i < 2; ++i) {
        const nlohmann::json& e = value[static_cast<size_t>(i)];
        const std::string element = std::string(key) + "[" + std::to_string(i) + "]";
        if (whole ? !e.is_number_integer() : !e.is_number())
            reader.Fail(element.c_str(), whole ? "expected a whole number" : "expected a number");
        const double v = e.get<double>();
        if (!(v > 0) || v > max || (whole && v < 1))
            reader.Fail(element.c_str(),
                        e.dump() + " is outside (0, " + std::to_string(static_cast<long long>(max)) + "]");
        out[i] = v;
    }
}

} // namespace

GridSettings ReadGrid(SettingsReader& grid)
{
    double cells[2], size[2];
    ReadPair(grid, "cells", true, 1024, cells);
    ReadPair(grid, "size", false, 1.0e5, size);
    return {static_cast<int>(cells[0]), static_cast<int>(cells[1]), static_cast<float>(size[0]),
            static_cast<float>(size[1])};
}

} // namespace vex::app
