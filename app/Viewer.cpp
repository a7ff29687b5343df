#include "app/Viewer.h"

#include "app/Images.h"
#include "app/InputError.h"
#include "app/Trajectory.h"
#include "app/ViewerAssets.h"
#include "app/ViewerData.h"
#include "host/ProjectFile.h"
#include "host/Vexcore.h"
#include "host/siblings/Tvc_DX8_Texture.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/texture/BitmapDecode.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace vex::app {

namespace {

using Json = nlohmann::json;

/// Room kept for the template, the script's growth and JSON punctuation when budgeting the frames.
constexpr size_t kPageMargin = 512u * 1024u;

std::string Base64(const std::vector<uint8_t>& bytes)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t chunk = (uint32_t{bytes[i]} << 16) | (left > 1 ? uint32_t{bytes[i + 1]} << 8 : 0) |
                               (left > 2 ? uint32_t{bytes[i + 2]} : 0);
        out += kDigits[(chunk >> 18) & 63];
        out += kDigits[(chunk >> 12) & 63];
        out += left > 1 ? kDigits[(chunk >> 6) & 63] : '=';
        out += left > 2 ? kDigits[chunk & 63] : '=';
    }
    return out;
}

/// Each light map as a PNG data URL, from the bitmap its channel holds when the run's folder has that very
/// bitmap as NAME.bmp: a bake writes it from the channel and the project keeps it. A light map that was
/// not baked (one that ran in the frame loop holds a placeholder) is left out and its surface shown plain.
Json LightMapImages(const Vexcore& host, const std::string& runFolder)
{
    Json images = Json::object();
    for (Tav_Channel* channel : host.GetChannels()) {
        if (channel->GetChannelType().typeGuid != Guid(guids::kTextureLighting))
            continue;
        // Its texture base is the primary one, as for every texture channel.
        auto* map = static_cast<Tvc_DX8_Texture*>(channel);
        const std::string name = host.GetChannelName(channel);
        if (map->GetBufferSize() <= 0 || !map->GetTextureBuffer())
            continue;
        const std::vector<uint8_t> held(map->GetTextureBuffer(), map->GetTextureBuffer() + map->GetBufferSize());
        std::vector<uint8_t> written;
        std::string error;
        const std::string bmpPath = (std::filesystem::path(runFolder) / (name + ".bmp")).string();
        if (!std::filesystem::exists(bmpPath) || !ReadFileBytes(bmpPath, written, &error) || written != held)
            continue;
        DecodedBitmap bitmap;
        if (!DecodeBitmap(held.data(), held.size(), false, bitmap, &error))
            throw RunError("light map \"" + name + "\" holds a bitmap that cannot be read: " + error);
        RgbImage image{bitmap.width, bitmap.height, {}};
        image.pixels.reserve(bitmap.texels.size() * 3);
        for (uint32_t texel : bitmap.texels)
            for (int shift : {16, 8, 0})
                image.pixels.push_back(static_cast<uint8_t>(texel >> shift));
        const std::vector<uint8_t> png = EncodePng(image);
        images[name] = "data:image/png;base64," + Base64(png);
    }
    return images;
}

/// The rows of the run's trajectory.csv, counted as they stream past (the file may be far larger than
/// the page it turns into).
size_t CountRows(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw InputError(path, "", "cannot be read");
    size_t lines = 0;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        lines += static_cast<size_t>(std::count(buffer, buffer + in.gcount(), '\n'));
    return lines > 0 ? lines - 1 : 0; // less the header
}

/// The run's trajectory.csv when there is one, else the final poses alone.
std::unique_ptr<std::istream> OpenTrajectory(const std::string& path, const std::string& final)
{
    if (!std::filesystem::is_regular_file(path))
        return std::make_unique<std::istringstream>(final);
    auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*in)
        throw InputError(path, "", "cannot be read");
    return in;
}

} // namespace

ViewerTarget ResolveViewerTarget(const std::string& path)
{
    ViewerTarget target;
    if (std::filesystem::is_directory(path)) {
        target.project = (std::filesystem::path(path) / "scene.vxp").string();
        target.folder = path;
        if (!std::filesystem::is_regular_file(target.project))
            throw InputError(path, "", "no scene.vxp in this folder (not an output folder of run, bake or demo)");
    } else if (std::filesystem::is_regular_file(path)) {
        target.project = path;
        target.folder = std::filesystem::path(path).parent_path().string();
        if (target.folder.empty())
            target.folder = ".";
    } else {
        throw InputError(path, "", "no such project file or output folder");
    }
    return target;
}

std::string ComposeViewerPage(const std::string& dataJson)
{
    const std::string page(kViewerTemplate, kViewerTemplateSize);
    // '<' occurs in JSON only inside strings, where \u003c reads the same; without it a name holding
    // "</script>" or "<!--" would end or confuse the element that carries the data.
    std::string data;
    data.reserve(dataJson.size());
    for (char c : dataJson)
        data += c == '<' ? std::string("\\u003c") : std::string(1, c);
    const std::string dataMark = "<!--VEX_DATA-->", scriptMark = "<!--VEX_SCRIPT-->";
    const size_t dataAt = page.find(dataMark), scriptAt = page.find(scriptMark);
    if (dataAt == std::string::npos || scriptAt == std::string::npos || scriptAt < dataAt)
        throw RunError("the embedded viewer template lacks its data and script marks");
    return page.substr(0, dataAt) + data + page.substr(dataAt + dataMark.size(), scriptAt - dataAt - dataMark.size()) +
           std::string(kViewerScript, kViewerScriptSize) + page.substr(scriptAt + scriptMark.size());
}

std::string WriteViewerPage(const Vexcore& host, const std::string& runFolder, const std::string& pageFolder,
                            const std::string& title)
{
    if (kViewerScriptSize == 0)
        throw RunError("this vexhost was built without the viewer page (node was missing at build time)");
    Json data = ViewerSceneData(host);
    data["title"] = title;
    data["lightMaps"] = LightMapImages(host, runFolder);
    data["restSpeed"] = std::round(double{kRestSpeed} * 1e6) / 1e6; // without its float noise
    data["pageLimit"] = kViewerPageLimit;
    const std::string trajectoryPath = (std::filesystem::path(runFolder) / "trajectory.csv").string();
    const std::vector<Tav_Channel*> bodyChannels = FindBodies(host);
    std::string final = kTrajectoryHeader;
    AppendTrajectoryRows(final, host, bodyChannels, 0, 0.0);
    const size_t bodies = bodyChannels.size();
    const size_t rows = std::filesystem::is_regular_file(trajectoryPath) ? CountRows(trajectoryPath) : bodies;
    const size_t recorded = bodies ? rows / bodies + 1 : 0;
    const size_t fixed = data.dump().size() + kViewerTemplateSize + kViewerScriptSize + kPageMargin;
    size_t stride = StrideForBudget(recorded, bodies, fixed < kViewerPageLimit ? kViewerPageLimit - fixed : 1);
    std::string page;
    // The stride is an estimate; thin further while the page comes out too large.
    for (;;) {
        data["timeline"] = ViewerFrames(*OpenTrajectory(trajectoryPath, final), trajectoryPath, stride, final);
        page = ComposeViewerPage(data.dump());
        if (page.size() <= kViewerPageLimit || stride >= recorded)
            break;
        stride = std::max(stride + 1, stride * page.size() / kViewerPageLimit + 1);
    }
    const std::string path = (std::filesystem::path(pageFolder) / "viewer.html").string();
    WriteOutputFile(path, page);
    return path;
}

std::string WriteViewerAfterRun(const Vexcore& host, const std::string& folder, const std::string& title)
{
    if (kViewerScriptSize == 0) {
        std::printf("viewer.html not written: this vexhost was built without the viewer page "
                    "(no node at build time)\n");
        return "";
    }
    try {
        const std::string page = WriteViewerPage(host, folder, folder, title);
        std::printf("wrote %s\n", page.c_str());
        return page;
    } catch (const InputError& e) {
        // The run's own outputs are fine; what the page could not read is a failure of this step, not bad input.
        throw RunError(std::string("cannot write the viewer page: ") + e.what());
    }
}

} // namespace vex::app
