#pragma once
// Image outputs of a bake: the light map as PNG, and a preview of the scene with its light map.

#include <cstdint>
#include <string>
#include <vector>

class Tav_Channel;
class Vexcore;
class Tav_LightMapInterface;

namespace vex::app {

struct LightMapChannel;

/// An 8-bit RGB image, rows top to bottom.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; ///< width * height * 3
};

/// The PNG file bytes of an image; throws RunError when the encoder fails.
std::vector<uint8_t> EncodePng(const RgbImage& image);
/// The texels of a light map (0x00RRGGBB each) as an image.
RgbImage LightMapImage(Tav_LightMapInterface& map);
/// A view of the graph's 3D objects from above and in front, fitted so that they fill the picture; the
/// light map's surface shows the light map, other surfaces a plain shaded grey.
RgbImage RenderPreview(const Vexcore& host, const LightMapChannel& map, int width, int height);

} // namespace vex::app
