#pragma once
// Constants of the texture-lighting channel, each with its unit and the reason for its value.

#include <cstdint>

namespace vex::texlight {

/// Texels a side of a new light map, and of one made while the desired size is 0 or negative.
inline constexpr int kDefaultLightMapSize = 32;
/// Largest light map side in texels: the largest texture the device makes, and small enough that the
/// bitmap image (3 bytes a texel plus headers) still fits a 32-bit byte count.
inline constexpr int kMaxLightMapSide = 16384;
/// Bytes a texel: red, green, blue and the coverage flag.
inline constexpr int kTexelBytes = 4;
/// Coverage flag values: computed from at least one covered sample, or not.
inline constexpr uint8_t kCovered = 0;
inline constexpr uint8_t kNotCovered = 1;

/// Placeholder pattern: a grid line every 8 texels, a light green border, black between.
inline constexpr int kPlaceholderGridStep = 8;
inline constexpr uint8_t kPlaceholderGrid[3] = {20, 125, 40};
inline constexpr uint8_t kPlaceholderBorder[3] = {50, 255, 90};

/// Largest anti-alias mode with a sample grid and a soft-shadow table: 4^3 = 64 samples a texel.
inline constexpr int kMaxSampleGridMode = 3;
/// Fewest samples a texel whose shadow queries go to the shadow scene in batches: one segment per light
/// gains nothing from a batch, and at 4 samples the ramp example's bake measured slower batched (2.5 to
/// 3.0 s against 2.0 to 2.8 s at 1024 x 1024) than one by one.
inline constexpr int kMinBatchedSamples = 16;
/// Anti-alias modes from this one on move the light for soft shadows (16 and 64 samples a texel).
inline constexpr int kSoftShadowMinMode = 2;

/// Full intensity of one colour channel, and the running-sum limit with overbright: a quarter of 1023,
/// truncated, still fits a byte.
inline constexpr int kFullIntensity = 255;
inline constexpr int kOverbrightLimit = 1023;
/// Overbright stores a quarter of the summed light so that up to four times full light fits.
inline constexpr float kOverbrightScale = 0.25f;
/// Distance in world units of the point that shadow rays towards a directional light aim at.
inline constexpr float kDirectionalShadowDistance = 9000.0f;
/// Exponent scale of a spot light's cone fall-off: cos(angle) ^ (100 x Theta).
inline constexpr double kSpotExponentScale = 100.0;

/// A uv-tree node is split while it holds at least this many triangles...
inline constexpr int kUVTreeLeafSize = 8;
/// ...and lies no deeper than this below the root (so at most 17 levels).
inline constexpr int kUVTreeMaxDepth = 16;
/// Texture-space distance within which a vertex counts as lying on a split line (the triangle then goes
/// to both halves, so that no sample near the line loses its triangle to rounding).
inline constexpr double kUVTreeSplitEpsilon = 0.0001;

/// Longest progress base text kept, in characters (the text buffer holds 500 bytes).
inline constexpr int kProgressBaseTextMax = 499;
/// Significant digits of the elapsed seconds in the progress text.
inline constexpr int kProgressSecondsDigits = 5;
/// Milliseconds to seconds, in single precision as the progress text has always used it.
inline constexpr float kMillisecondsToSeconds = 0.001f;

} // namespace vex::texlight
