#pragma once
// The grid description shared by mesh and collision-object settings: {"cells": [x, z], "size": [x, z]}.

#include "app/settings/SettingsReader.h"

namespace vex::app {

struct GridSettings {
    int cellsX = 1, cellsZ = 1;
    float sizeX = 1, sizeZ = 1;
};

/// Reads "cells" (whole numbers from 1) and "size" (positive) of a grid object; both are required.
GridSettings ReadGrid(SettingsReader& grid);

} // namespace vex::app
