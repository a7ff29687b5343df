#pragma once
// The functions that the fuzz targets and the regression replay feed with bytes. Each takes any input:
// bad data must end in a clear error, never in a crash, a sanitizer report or an unexpected exception.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vex::fuzz {

/// A whole project file through Vexcore::LoadProjectBytes with the real plug-ins; a project that loads is
/// saved again (to the null device) so every channel's SaveChannel runs on what it loaded.
void LoadProject(const uint8_t* data, size_t size);
/// One section through a fresh body channel's LoadChannel (in a graph with a world), then SaveChannel
/// and one frame, so the loaded items are built and simulated.
void LoadBodySection(const uint8_t* data, size_t size);
/// One section through a fresh texture-lighting channel's LoadChannel (a device exists), then SaveChannel.
void LoadTextureLightingSection(const uint8_t* data, size_t size);
/// A bitmap file image through the texture base: LoadTextureFromMemory, LoadTextureFromMemoryAndCopyBuffer,
/// RestoreTexture and the description of the texture that results.
void DecodeTextureBitmap(const uint8_t* data, size_t size);
/// Scene text through the runner's ParseScene, and a scene that parses through BuildScene in a fresh host.
void ParseAndBuildScene(const uint8_t* data, size_t size);
/// OBJ text through the collision object's and the mesh's OBJ readers.
void ReadObjMesh(const uint8_t* data, size_t size);

struct Target {
    const char* name; ///< the folder name under fuzz/corpus/ and fuzz/regressions/
    void (*run)(const uint8_t* data, size_t size);
};

/// Every target, in a fixed order.
const std::vector<Target>& Targets();

} // namespace vex::fuzz
