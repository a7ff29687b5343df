// Writes the seed corpus of every fuzz target from real saved data: the example scenes are built with the
// real plug-ins, saved as projects, and their channels' sections and bitmaps are written out one by one.
//   vex_fuzz_seeds <corpus folder>
#include "app/Scene.h"
#include "host/ByteIO.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tvc_DX8_Texture.h"
#include "host/siblings/TypeGuids.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

/// Each folder keeps one copy of identical contents.
std::map<fs::path, std::set<std::vector<uint8_t>>> gWritten;

/// Seeds stay small: libFuzzer mutates small inputs far faster.
constexpr size_t kMaxSeedBytes = 16 * 1024;

void Write(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    if (bytes.size() > kMaxSeedBytes || !gWritten[path.parent_path()].insert(bytes).second)
        return;
    fs::create_directories(path.parent_path());
    std::string error;
    if (!TavFileSaver::WriteFileAtomically(path.string(), bytes, &error))
        throw std::runtime_error(error);
}

void WriteText(const fs::path& path, const std::string& text)
{
    Write(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Safe(std::string name)
{
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '-';
    return name;
}

/// A small uncompressed bitmap file image: 24 or 32 bits, bottom-up.
std::vector<uint8_t> Bitmap(int width, int height, int bits)
{
    const int bytesPerPixel = bits / 8;
    const int stride = (width * bytesPerPixel + 3) & ~3;
    vex::ByteWriter w;
    w.U8('B');
    w.U8('M');
    w.U32(static_cast<uint32_t>(54 + stride * height));
    w.U32(0);
    w.U32(54);
    w.U32(40);
    w.I32(width);
    w.I32(height);
    w.U16(1);
    w.U16(static_cast<uint16_t>(bits));
    w.U32(0);
    w.U32(static_cast<uint32_t>(stride * height));
    w.I32(2835);
    w.I32(2835);
    w.U32(0);
    w.U32(0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < bytesPerPixel; ++c)
                w.U8(static_cast<uint8_t>(40 * x + 70 * y + 30 * c));
        w.Zeros(static_cast<size_t>(stride - width * bytesPerPixel));
    }
    return w.Take();
}

const char* const kSmallScene = R"({
  "frames": 3,
  "channels": [
    {"name": "world", "type": "ODE World"},
    {"name": "start", "type": "Matrix", "settings": {"matrix": {"position": [0, 2, 0], "rotation": [10, 20, 30]}}},
    {"name": "floor", "type": "ODE Body", "settings": {"dynamic": false, "items": [{"shape": "plane"}]}},
    {"name": "box", "type": "ODE Body",
     "settings": {"items": [{"shape": "box", "size": [1, 0.5, 2], "mass": 4},
                            {"shape": "sphere", "radius": 0.3, "mass": 1, "offset": [0, 1, 0]}]},
     "links": [{"position": 0, "channel": "start"}]}
  ]
})";

const char* const kCubeObj = R"(# a unit cube
v -0.5 -0.5 -0.5
v 0.5 -0.5 -0.5
v 0.5 0.5 -0.5
v -0.5 0.5 -0.5
v -0.5 -0.5 0.5
v 0.5 -0.5 0.5
v 0.5 0.5 0.5
v -0.5 0.5 0.5
f 1 2 3 4
f 5 8 7 6
f 1 5 6 2
f 2 6 7 3
f 3 7 8 4
f 5 1 4 8
)";

const char* const kQuadObj = R"(o quad
v 0 0 0
v 1 0 0
v 1 0 1
v 0 0 1
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vn 0 1 0
f 1/1/1 2/2/1 3/3/1
f 1/1/1 3/3/1 4/4/1
)";

void SaveScene(const std::string& name, const std::string& text, const fs::path& out)
{
    WriteText(out / "scene" / (name + ".json"), text);
    const vex::app::Scene scene = vex::app::ParseScene(text, name);
    Vexcore host({VEX_PLUGIN_DIR});
    host.SetMessageSink([](const std::string&) {});
    vex::app::BuiltScene built = vex::app::BuildScene(host, scene, {});
    host.RunFrame();
    std::string error;
    if (!host.SaveProject((out / "project" / (name + ".vxp")).string(), &error))
        throw std::runtime_error(error);
    for (Tav_Channel* channel : built.channels) {
        const _GUID type = channel->GetChannelType().typeGuid;
        const std::string file = name + "-" + Safe(host.GetChannelName(channel)) + ".bin";
        const char* folder = type == vex::Guid(vex::guids::kBody)              ? "body_section"
                             : type == vex::Guid(vex::guids::kTextureLighting) ? "texlight_section"
                                                                               : nullptr;
        if (!folder)
            continue;
        TavFileSaver saver;
        if (!channel->SaveChannel(saver))
            throw std::runtime_error("cannot save " + file);
        Write(out / folder / file, saver.GetBytes());
        if (type == vex::Guid(vex::guids::kTextureLighting)) {
            auto* texture = static_cast<Tvc_DX8_Texture*>(channel);
            const unsigned char* buffer = texture->GetTextureBuffer();
            if (buffer && texture->GetBufferSize() > 0)
                Write(out / "texture_bitmap" / (name + "-lightmap.bmp"),
                      std::vector<uint8_t>(buffer, buffer + texture->GetBufferSize()));
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: vex_fuzz_seeds <corpus folder>\n";
        return 2;
    }
    const fs::path out = argv[1];
    try {
        for (const char* folder : {"project", "body_section", "texlight_section", "texture_bitmap", "scene", "obj"})
            fs::create_directories(out / folder);
        SaveScene("small", kSmallScene, out);
        for (const auto& entry : fs::directory_iterator(fs::path(VEX_SOURCE_DIR) / "examples"))
            if (entry.path().extension() == ".json" && fs::file_size(entry.path()) <= kMaxSeedBytes)
                SaveScene(entry.path().stem().string(), ReadText(entry.path()), out);
        Write(out / "texture_bitmap" / "rgb-3x2.bmp", Bitmap(3, 2, 24));
        Write(out / "texture_bitmap" / "argb-2x3.bmp", Bitmap(2, 3, 32));
        WriteText(out / "obj" / "cube.obj", kCubeObj);
        WriteText(out / "obj" / "quad.obj", kQuadObj);
    } catch (const std::exception& e) {
        std::cerr << "vex_fuzz_seeds: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
