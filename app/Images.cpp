#include "app/Images.h"

#include "app/GraphWalk.h"
#include "app/InputError.h"
#include "app/LightMapChannel.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/TypeGuids.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vex::app {

namespace {

void AppendPngBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

struct Vertex {
    D3DXVECTOR3 world;
    D3DXVECTOR3 normal;
    float u = 0, v = 0;
};

/// Camera: view space with x right, y up, z forward; perspective projection onto the image.
struct Camera {
    D3DXVECTOR3 eye, right, up, forward;
    float focal; ///< pixels per unit of x / z
    float cx, cy;

    /// Pixel x, y and depth z of a world point; z <= near means behind the camera.
    D3DXVECTOR3 Project(const D3DXVECTOR3& p) const
    {
        const D3DXVECTOR3 d = p - eye;
        const float z = D3DXVec3Dot(&d, &forward);
        const float x = D3DXVec3Dot(&d, &right);
        const float y = D3DXVec3Dot(&d, &up);
        return {cx + focal * x / z, cy - focal * y / z, z};
    }
};

/// Nearest light-map colour at (u, v) in [0, 1] (wrapping like a texture).
D3DXVECTOR3 SampleMap(Tav_LightMapInterface& map, float u, float v)
{
    const int w = map.GetLightMapWidth(), h = map.GetLightMapHeight();
    if (w <= 0 || h <= 0)
        return {1, 1, 1};
    int x = static_cast<int>(std::floor(u * static_cast<float>(w)));
    int y = static_cast<int>(std::floor(v * static_cast<float>(h)));
    x = ((x % w) + w) % w;
    y = ((y % h) + h) % h;
    const int texel = map.GetLightMapTexel(x, y);
    return {static_cast<float>((texel >> 16) & 0xff) / 255.0f, static_cast<float>((texel >> 8) & 0xff) / 255.0f,
            static_cast<float>(texel & 0xff) / 255.0f};
}

/// One triangle of the preview in world space, and whether it lies on the light-mapped surface.
struct Triangle {
    Vertex v[3];
    bool lightMapped;
};

/// Every 3D object's triangles in world space; those of the light map's own surface carry its (u, v).
std::vector<Triangle> GatherTriangles(const Vexcore& host, const LightMapChannel& map)
{
    std::vector<Triangle> triangles;
    Tav_Channel* mapped = map.channel.GetChild(0);
    const int mappedSurface = map.map.GetShadowSurfaceNr();
    const int set = map.map.GetTextureCoordSetUse();
    for (Tav_Channel* channel : host.GetChannels()) {
        if (!IsType(channel, guids::kObject3D))
            continue;
        ForEachSurfaceMesh(channel, [&](int s, Tav_MeshInterface& mesh, const D3DXMATRIX& world) {
            const bool lightMapped = channel == mapped && s == mappedSurface && mesh.HasTexCoordSet(set);
            const int count = mesh.GetIndexCount();
            for (int i = 0; i + 2 < count; i += 3) {
                Triangle t{};
                t.lightMapped = lightMapped;
                for (int k = 0; k < 3; ++k) {
                    const int index = mesh.GetVertexIndex(i + k);
                    D3DXVECTOR3 p, n;
                    p = *mesh.GetVertexPosition(&p, index); // results are copied at once
                    n = *mesh.GetVertexNormal(&n, index);
                    D3DXVec3TransformCoord(&t.v[k].world, &p, &world);
                    D3DXVec3TransformNormal(&t.v[k].normal, &n, &world);
                    D3DXVec3Normalize(&t.v[k].normal, &t.v[k].normal);
                    if (lightMapped) {
                        float uv[2] = {0, 0};
                        const float* got = mesh.GetVertexTexCoord(uv, set, index);
                        t.v[k].u = got[0];
                        t.v[k].v = got[1];
                    }
                }
                triangles.push_back(t);
            }
        });
    }
    return triangles;
}

uint8_t* PixelAt(RgbImage& image, int x, int y)
{
    return &image.pixels[(static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 3];
}

/// A picture of the sky alone: a vertical gradient.
RgbImage SkyImage(int width, int height)
{
    RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = PixelAt(image, x, y);
            const float t = static_cast<float>(y) / static_cast<float>(height);
            p[0] = static_cast<uint8_t>(120 + 80 * t);
            p[1] = static_cast<uint8_t>(150 + 70 * t);
            p[2] = static_cast<uint8_t>(200 + 40 * t);
        }
    return image;
}

/// The triangles' bounding box centre and half its diagonal (at least 1e-3).
void SceneBounds(const std::vector<Triangle>& triangles, D3DXVECTOR3& centre, float& radius)
{
    D3DXVECTOR3 low(std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                    std::numeric_limits<float>::max());
    D3DXVECTOR3 high = -low;
    for (const Triangle& t : triangles)
        for (const Vertex& v : t.v) {
            low = {std::min(low.x, v.world.x), std::min(low.y, v.world.y), std::min(low.z, v.world.z)};
            high = {std::max(high.x, v.world.x), std::max(high.y, v.world.y), std::max(high.z, v.world.z)};
        }
    centre = (low + high) * 0.5f;
    const D3DXVECTOR3 extent = high - low;
    radius = std::max(0.5f * D3DXVec3Length(&extent), 1e-3f);
}

/// The camera's orientation and lens: from the front (-z), above and a little to the side, vertical field
/// of view 43 degrees. The eye is placed by FitCamera.
Camera OrientCamera(int width, int height)
{
    Camera camera;
    D3DXVECTOR3 back(0.45f, 0.75f, -1.0f);
    D3DXVec3Normalize(&back, &back);
    camera.forward = -back;
    const D3DXVECTOR3 worldUp(0, 1, 0);
    D3DXVec3Cross(&camera.right, &worldUp, &camera.forward);
    D3DXVec3Normalize(&camera.right, &camera.right);
    D3DXVec3Cross(&camera.up, &camera.forward, &camera.right);
    camera.focal = 0.5f * static_cast<float>(height) / std::tan(0.5f * 0.75f);
    camera.cx = 0.5f * static_cast<float>(width);
    camera.cy = 0.5f * static_cast<float>(height);
    return camera;
}

/// Places the eye so that the scene fills the picture. The view is fitted to the vertices rather than to
/// their bounding sphere. With the eye at centre - forward * d + right * sx + up * sy, a point whose offset
/// from the centre is (a, b, z0) along right, up, forward sits at (a - sx, b - sy, z0 + d) in view space;
/// it is inside the picture, with a margin, when |a - sx| <= tx (z0 + d) and |b - sy| <= ty (z0 + d).
/// Per axis the smallest d and its shift follow from the largest of a / t - z0 and -a / t - z0.
void FitCamera(Camera& camera, const std::vector<Triangle>& triangles, const D3DXVECTOR3& centre, float radius)
{
    const float margin = 0.92f;
    const float tx = margin * camera.cx / camera.focal, ty = margin * camera.cy / camera.focal;
    const float lowest = -std::numeric_limits<float>::max();
    float plusX = lowest, minusX = lowest, plusY = lowest, minusY = lowest, nearest = lowest;
    for (const Triangle& t : triangles)
        for (const Vertex& v : t.v) {
            const D3DXVECTOR3 d = v.world - centre;
            const float a = D3DXVec3Dot(&d, &camera.right), b = D3DXVec3Dot(&d, &camera.up);
            const float z0 = D3DXVec3Dot(&d, &camera.forward);
            plusX = std::max(plusX, a / tx - z0);
            minusX = std::max(minusX, -a / tx - z0);
            plusY = std::max(plusY, b / ty - z0);
            minusY = std::max(minusY, -b / ty - z0);
            nearest = std::max(nearest, -z0);
        }
    // Keep every vertex in front of the eye even for a scene seen end on.
    const float distance = std::max({0.5f * (plusX + minusX), 0.5f * (plusY + minusY), nearest + 0.1f * radius});
    const float shiftX = 0.5f * tx * (plusX - minusX), shiftY = 0.5f * ty * (plusY - minusY);
    camera.eye = centre - camera.forward * distance + camera.right * shiftX + camera.up * shiftY;
}

/// What the rasteriser shares between triangles: the picture, its depth buffer, the light map and the sun.
struct Raster {
    RgbImage& image;
    std::vector<float> depth;
    Tav_LightMapInterface& map;
    D3DXVECTOR3 sun;
};

/// Colour of a triangle at perspective-correct weights w (already divided by depth) and depth z: the
/// light map on the light-mapped surface, a plain sunlit colour elsewhere.
D3DXVECTOR3 ShadePoint(Raster& raster, const Triangle& t, const float w[3], float z)
{
    if (t.lightMapped) {
        const float u = (w[0] * t.v[0].u + w[1] * t.v[1].u + w[2] * t.v[2].u) * z;
        const float v = (w[0] * t.v[0].v + w[1] * t.v[1].v + w[2] * t.v[2].v) * z;
        return SampleMap(raster.map, u, v) * 0.9f;
    }
    D3DXVECTOR3 n = (t.v[0].normal * w[0] + t.v[1].normal * w[1] + t.v[2].normal * w[2]) * z;
    D3DXVec3Normalize(&n, &n);
    const float lambert = std::abs(D3DXVec3Dot(&n, &raster.sun));
    return D3DXVECTOR3(0.78f, 0.72f, 0.62f) * (0.3f + 0.7f * lambert);
}

/// Draws the pixels of one triangle (s: its projected corners) that are nearer than what is there.
void DrawTriangle(Raster& raster, const Triangle& t, const D3DXVECTOR3 s[3])
{
    const int width = raster.image.width, height = raster.image.height;
    const float area = (s[1].x - s[0].x) * (s[2].y - s[0].y) - (s[2].x - s[0].x) * (s[1].y - s[0].y);
    if (std::abs(area) < 1e-9f)
        return;
    const int x0 = std::max(0, static_cast<int>(std::floor(std::min({s[0].x, s[1].x, s[2].x}))));
    const int x1 = std::min(width - 1, static_cast<int>(std::ceil(std::max({s[0].x, s[1].x, s[2].x}))));
    const int y0 = std::max(0, static_cast<int>(std::floor(std::min({s[0].y, s[1].y, s[2].y}))));
    const int y1 = std::min(height - 1, static_cast<int>(std::ceil(std::max({s[0].y, s[1].y, s[2].y}))));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            float b[3];
            b[0] = ((s[1].x - px) * (s[2].y - py) - (s[2].x - px) * (s[1].y - py)) / area;
            b[1] = ((s[2].x - px) * (s[0].y - py) - (s[0].x - px) * (s[2].y - py)) / area;
            b[2] = 1.0f - b[0] - b[1];
            if (b[0] < 0 || b[1] < 0 || b[2] < 0)
                continue;
            // Perspective-correct weights: interpolate attribute / z and 1 / z.
            const float w[3] = {b[0] / s[0].z, b[1] / s[1].z, b[2] / s[2].z};
            const float z = 1.0f / (w[0] + w[1] + w[2]);
            float& stored = raster.depth[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            if (z >= stored)
                continue;
            stored = z;
            const D3DXVECTOR3 colour = ShadePoint(raster, t, w, z);
            uint8_t* p = PixelAt(raster.image, x, y);
            p[0] = static_cast<uint8_t>(std::clamp(colour.x, 0.0f, 1.0f) * 255.0f + 0.5f);
            p[1] = static_cast<uint8_t>(std::clamp(colour.y, 0.0f, 1.0f) * 255.0f + 0.5f);
            p[2] = static_cast<uint8_t>(std::clamp(colour.z, 0.0f, 1.0f) * 255.0f + 0.5f);
        }
}

} // namespace

std::vector<uint8_t> EncodePng(const RgbImage& image)
{
    std::vector<uint8_t> bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        throw RunError("cannot start the PNG encoder");
    }
    // libpng reports errors by longjmp; nothing with a destructor lives between here and the jump.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw RunError("the PNG encoder failed");
    }
    png_set_write_fn(png, &bytes, AppendPngBytes, FlushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width) * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

RgbImage LightMapImage(Tav_LightMapInterface& map)
{
    RgbImage image;
    image.width = std::max(0, map.GetLightMapWidth());
    image.height = std::max(0, map.GetLightMapHeight());
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const int texel = map.GetLightMapTexel(x, y);
            uint8_t* p = PixelAt(image, x, y);
            p[0] = static_cast<uint8_t>(texel >> 16);
            p[1] = static_cast<uint8_t>(texel >> 8);
            p[2] = static_cast<uint8_t>(texel);
        }
    return image;
}

RgbImage RenderPreview(const Vexcore& host, const LightMapChannel& map, int width, int height)
{
    const std::vector<Triangle> triangles = GatherTriangles(host, map);
    RgbImage image = SkyImage(width, height);
    if (triangles.empty())
        return image;
    D3DXVECTOR3 centre;
    float radius = 0;
    SceneBounds(triangles, centre, radius);
    Camera camera = OrientCamera(width, height);
    FitCamera(camera, triangles, centre, radius);

    D3DXVECTOR3 sun(0.3f, 1.0f, -0.5f);
    D3DXVec3Normalize(&sun, &sun);
    Raster raster{
        image,
        std::vector<float>(static_cast<size_t>(width) * static_cast<size_t>(height), std::numeric_limits<float>::max()),
        map.map, sun};
    const float nearPlane = radius * 0.01f;
    for (const Triangle& t : triangles) {
        D3DXVECTOR3 s[3];
        bool visible = true;
        for (int k = 0; k < 3; ++k) {
            s[k] = camera.Project(t.v[k].world);
            visible = visible && s[k].z > nearPlane;
        }
        // A preview can drop triangles that cross the near plane.
        if (visible)
            DrawTriangle(raster, t, s);
    }
    return image;
}

} // namespace vex::app
