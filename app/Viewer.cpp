#include "app/Viewer.h"

#include "app/Images.h"
#include "app/InputError.h"
#include "app/Trajectory.h"
#include "app/ViewerAssets.h"
#include "app/ViewerData.h"
#include "host/ProjectFile.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "texlight/ShadowBuffer.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>

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

/// Each light map as a PNG data URL: encoded from the channel when it holds a computed map, else read
/// from the NAME.png a bake left in the folder.
Json LightMapImages(const Vexcore& host, const std::string& folder)
{
    Json images = Json::object();
    for (Tav_Channel* channel : host.GetChannels()) {
        if (channel->GetChannelType().typeGuid != Guid(guids::kTextureLighting))
            continue;
        auto* map = static_cast<Tvc_DX8_TextureShadow*>(channel);
        const std::string name = host.GetChannelName(channel);
        std::vector<uint8_t> png;
        if (ShadowBuffer* buffer = map->GetShadowBuffer(); buffer && buffer->GetWidth() > 0 && buffer->GetHeight() > 0) {
            png = EncodePng(LightMapImage(*map));
        } else {
            std::string error;
            const std::string path = (std::filesystem::path(folder) / (name + ".png")).string();
            if (std::filesystem::exists(path) && !ReadFileBytes(path, png, &error))
                throw InputError(path, "", error);
        }
        if (!png.empty())
            images[name] = "data:image/png;base64," + Base64(png);
    }
    return images;
}

/// The frames the folder's trajectory.csv recorded, ending on the poses the host holds.
Json Frames(const Vexcore& host, const std::string& folder, size_t budget)
{
    const std::string path = (std::filesystem::path(folder) / "trajectory.csv").string();
    Trajectory final(host);
    final.Record(0, 0.0);
    std::string text = final.Text();
    if (std::filesystem::exists(path)) {
        std::vector<uint8_t> bytes;
        std::string error;
        if (!ReadFileBytes(path, bytes, &error))
            throw InputError(path, "", error);
        text.assign(bytes.begin(), bytes.end());
    }
    // Rows per frame are the body count; count frames by their rows.
    const size_t bodies = FindBodies(host).size();
    const size_t rows = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    const size_t recorded = bodies ? (rows > 0 ? rows - 1 : 0) / bodies + 1 : 0;
    return ViewerFrames(text, path, StrideForBudget(recorded, bodies, budget), final.Text());
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
    const size_t fixed = data.dump().size() + kViewerTemplateSize + kViewerScriptSize + kPageMargin;
    data["timeline"] = Frames(host, runFolder, fixed < kViewerPageLimit ? kViewerPageLimit - fixed : 1);
    const std::string path = (std::filesystem::path(pageFolder) / "viewer.html").string();
    WriteOutputFile(path, ComposeViewerPage(data.dump()));
    return path;
}

} // namespace vex::app
