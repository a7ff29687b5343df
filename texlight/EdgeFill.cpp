#include "texlight/EdgeFill.h"

#include "texlight/TexLightConstants.h"

namespace vex::texlight {

void FillPlaceholder(uint8_t* texels, int width, int height)
{
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            uint8_t* texel = texels + TexelOffset(x, y, height);
            const uint8_t black[3] = {0, 0, 0};
            const uint8_t* colour = black;
            if (x % kPlaceholderGridStep == 0 || y % kPlaceholderGridStep == 0)
                colour = kPlaceholderGrid;
            if (x == 0 || x == width - 1 || y == 0 || y == height - 1)
                colour = kPlaceholderBorder;
            texel[0] = colour[0];
            texel[1] = colour[1];
            texel[2] = colour[2];
            texel[3] = kNotCovered;
        }
    }
}

void EdgeFill(uint8_t* texels, int width, int height)
{
    static constexpr int kNeighbours[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            uint8_t* texel = texels + TexelOffset(x, y, height);
            if (texel[3] == kCovered)
                continue;
            int sum[3] = {0, 0, 0};
            int n = 0;
            for (const auto& d : kNeighbours) {
                const int nx = x + d[0];
                const int ny = y + d[1];
                if (nx < 0 || nx >= width || ny < 0 || ny >= height)
                    continue;
                const uint8_t* neighbour = texels + TexelOffset(nx, ny, height);
                if (neighbour[3] != kCovered)
                    continue;
                for (int k = 0; k < 3; ++k)
                    sum[k] += neighbour[k];
                ++n;
            }
            for (int k = 0; k < 3; ++k)
                texel[k] = n > 0 ? static_cast<uint8_t>(static_cast<float>(sum[k]) / static_cast<float>(n)) : 0;
        }
    }
}

} // namespace vex::texlight
