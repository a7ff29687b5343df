#include "app/Scene.h"

#include "app/InputError.h"
#include "app/settings/Appliers.h"
#include "host/ProjectFile.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>

namespace vex::app {

namespace {

/// Line and column (both from 1) of a byte offset, for JSON syntax errors.
std::string Where(const std::string& text, size_t offset)
{
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

/// The text around a byte offset for a message: at most 16 bytes either side, on one line, with control
/// characters and quotes shown as escapes.
std::string Excerpt(const std::string& text, size_t offset)
{
    const size_t begin = offset > 16 ? offset - 16 : 0;
    const size_t end = std::min(text.size(), offset + 16);
    std::string shown;
    for (size_t i = begin; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\r')
            break;
        if (c < 0x20 || c == 0x7f || c == '\'') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return "'" + shown + "'";
}

/// Refuses text nested deeper than kMaxJsonDepth before the JSON library sees it: the library's parse
/// and copies recurse once per level, and a deep enough file exhausts the stack.
void CheckJsonDepth(const std::string& text, const std::string& file)
{
    int depth = 0;
    bool inString = false, escaped = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth)
                throw InputError(file, Where(text, i),
                                 "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels near " +
                                     Excerpt(text, i));
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

/// A name for a message: control characters as escapes, cut after kMaxSceneNameBytes.
std::string Printable(const std::string& name)
{
    std::string shown;
    for (size_t i = 0; i < name.size() && i < kMaxSceneNameBytes; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return name.size() > kMaxSceneNameBytes ? shown + "..." : shown;
}

void CheckKeys(const nlohmann::json& object, const std::set<std::string>& allowed, const std::string& file,
               const std::string& path)
{
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!allowed.count(it.key()))
            throw InputError(file, path.empty() ? it.key() : path + "." + it.key(), "unknown field");
}

std::string RequireString(const nlohmann::json& object, const char* key, const std::string& file,
                          const std::string& path)
{
    const std::string field = path + "." + key;
    if (!object.contains(key))
        throw InputError(file, field, "missing");
    const nlohmann::json& value = object.at(key);
    if (!value.is_string())
        throw InputError(file, field, "expected a string, found " + JsonKindName(value));
    std::string text = value.get<std::string>();
    if (text.empty())
        throw InputError(file, field, "empty");
    return text;
}

SceneLink ParseLink(const nlohmann::json& link, const std::string& file, const std::string& path)
{
    if (!link.is_object())
        throw InputError(file, path, "expected {\"position\": n, \"channel\": name}, found " + JsonKindName(link));
    CheckKeys(link, {"position", "channel"}, file, path);
    SceneLink result;
    result.field = path;
    result.channel = RequireString(link, "channel", file, path);
    if (link.contains("position")) {
        const nlohmann::json& p = link.at("position");
        if (!p.is_number_integer())
            throw InputError(file, path + ".position",
                             "expected a whole number, found " +
                                 (p.is_number() ? std::string("a fraction") : JsonKindName(p)));
        const bool tooBig = p.is_number_unsigned() && p.get<unsigned long long>() > 1000ull;
        const long long position = tooBig ? 1001 : p.get<long long>();
        if (position < -1 || position > 1000)
            throw InputError(file, path + ".position", p.dump() + " is not a link position (-1 to 1000)");
        result.position = static_cast<int>(position);
    }
    return result;
}

} // namespace

std::string ChannelNameProblem(const std::string& name)
{
    if (name.size() > kMaxSceneNameBytes)
        return "is longer than " + std::to_string(kMaxSceneNameBytes) + " bytes";
    for (const char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return "holds a control character";
        if (c == '/' || c == '\\')
            return "holds a path separator";
    }
    if (name.find("..") != std::string::npos)
        return "holds \"..\"";
    // Light maps are written as NAME.bmp and NAME.png beside the runner's own outputs; compared without
    // case, so that the outputs stay apart on file systems that ignore it too.
    static const char* const kReserved[] = {"preview", "trajectory", "matrices",  "scene",
                                            "run",     "viewer",     "demo-scene"};
    std::string lower;
    for (const char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* reserved : kReserved)
        if (lower == reserved)
            return "is the name of one of the runner's own outputs";
    return {};
}

namespace {

/// The scene text as JSON; a text that does not parse gets one line naming where and why.
nlohmann::json ParseJson(const std::string& text, const std::string& file)
{
    CheckJsonDepth(text, file);
    try {
        return nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        // The library's text repeats the position and shows the text read so far; keep its reason and
        // show the text around the fault instead.
        std::string reason = e.what();
        if (const size_t colon = reason.find(": "); colon != std::string::npos)
            reason = reason.substr(colon + 2);
        if (const size_t last = reason.find("; last read"); last != std::string::npos)
            reason = reason.substr(0, last) + reason.substr(std::min(reason.size(), reason.find(';', last + 1)));
        const size_t at = e.byte > 0 ? e.byte - 1 : 0;
        throw InputError(file, Where(text, at), "bad JSON: " + reason + " near " + Excerpt(text, at));
    } catch (const nlohmann::json::exception& e) {
        // Other reader failures, e.g. a number too large for any numeric type.
        std::string reason = e.what();
        if (const size_t bracket = reason.find("] "); bracket != std::string::npos)
            reason = reason.substr(bracket + 2);
        throw InputError(file, "(top level)", "bad JSON: " + reason);
    }
}

/// One entry of "channels"; its name must be new to `names`, which then holds it.
SceneChannel ParseChannel(const nlohmann::json& c, const std::string& file, const std::string& path,
                          std::set<std::string>& names)
{
    if (!c.is_object())
        throw InputError(file, path, "expected a channel object, found " + JsonKindName(c));
    CheckKeys(c, {"name", "type", "settings", "links"}, file, path);
    SceneChannel channel;
    channel.field = path;
    channel.name = RequireString(c, "name", file, path);
    if (const std::string problem = ChannelNameProblem(channel.name); !problem.empty())
        throw InputError(file, path + ".name", "\"" + Printable(channel.name) + "\" " + problem);
    if (!names.insert(channel.name).second)
        throw InputError(file, path + ".name", "\"" + channel.name + "\" is used by an earlier channel");
    channel.type = RequireString(c, "type", file, path);
    if (c.contains("settings")) {
        channel.settings = c.at("settings");
        if (!channel.settings.is_object())
            throw InputError(file, path + ".settings", "expected an object, found " + JsonKindName(channel.settings));
    }
    if (c.contains("links")) {
        const nlohmann::json& links = c.at("links");
        if (!links.is_array())
            throw InputError(file, path + ".links", "expected an array, found " + JsonKindName(links));
        for (size_t k = 0; k < links.size(); ++k)
            channel.links.push_back(ParseLink(links[k], file, path + ".links[" + std::to_string(k) + "]"));
    }
    return channel;
}

/// Links may name channels listed later, so they are checked once all names are known.
void CheckLinkTargets(const Scene& scene, const std::set<std::string>& names)
{
    for (const SceneChannel& channel : scene.channels)
        for (const SceneLink& link : channel.links) {
            if (!names.count(link.channel))
                throw InputError(scene.file, link.field + ".channel", "no channel named \"" + link.channel + "\"");
            if (link.channel == channel.name)
                throw InputError(scene.file, link.field + ".channel", "a channel cannot link to itself");
        }
}

/// The optional top-level "frames" and "output".
void ParseRunFields(const nlohmann::json& root, Scene& scene)
{
    const std::string& file = scene.file;
    if (root.contains("frames")) {
        const nlohmann::json& f = root.at("frames");
        if (!f.is_number_integer())
            throw InputError(file, "frames",
                             "expected a whole number, found " +
                                 (f.is_number() ? std::string("a fraction") : JsonKindName(f)));
        const bool tooBig =
            f.is_number_unsigned() && f.get<unsigned long long>() > static_cast<unsigned long long>(kMaxFrames);
        const long long frames = tooBig ? -1 : f.get<long long>();
        if (frames < 0 || frames > kMaxFrames)
            throw InputError(file, "frames", f.dump() + " is outside [0, " + std::to_string(kMaxFrames) + "]");
        scene.frames = static_cast<int>(frames);
    }
    if (root.contains("output")) {
        const nlohmann::json& o = root.at("output");
        if (!o.is_string() || o.get<std::string>().empty())
            throw InputError(file, "output", "expected a folder name, found " + JsonKindName(o));
        scene.output = o.get<std::string>();
    }
}

} // namespace

Scene ParseScene(const std::string& text, const std::string& file)
{
    const nlohmann::json root = ParseJson(text, file);
    if (!root.is_object())
        throw InputError(file, "(top level)", "expected an object with \"channels\", found " + JsonKindName(root));
    CheckKeys(root, {"channels", "frames", "output"}, file, "");

    Scene scene;
    scene.file = file;
    if (!root.contains("channels"))
        throw InputError(file, "channels", "missing");
    const nlohmann::json& channels = root.at("channels");
    if (!channels.is_array())
        throw InputError(file, "channels", "expected an array, found " + JsonKindName(channels));
    std::set<std::string> names;
    for (size_t i = 0; i < channels.size(); ++i)
        scene.channels.push_back(ParseChannel(channels[i], file, "channels[" + std::to_string(i) + "]", names));
    CheckLinkTargets(scene, names);
    ParseRunFields(root, scene);
    return scene;
}

Scene ReadSceneFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadFileBytes(path, bytes, &error, kMaxSceneBytes))
        throw InputError(path, "", error);
    return ParseScene(std::string(bytes.begin(), bytes.end()), path);
}

TypeCatalog::TypeCatalog(Vexcore& host) : host_(host)
{
    // Every type this system knows a GUID for; a library that is not built is simply not offered.
    static const char* const kKnown[] = {
        guids::kMatrix,          guids::kValue,   guids::kDampingFactor, guids::kWorld,           guids::kBody,
        guids::kTextureLighting, guids::kTexture, guids::kDeviceUse,     guids::kCollisionObject, guids::kObject3D,
        guids::kSurface,         guids::kMesh,    guids::kOctTree,       guids::kLight,           guids::kProgress,
        guids::kInput,           guids::kDevice,  guids::k3DRender,
    };
    for (const char* text : kKnown) {
        const _GUID type = Guid(text);
        std::string ignored;
        if (!host_.LoadLibrary(type, &ignored))
            continue;
        if (const ChannelType* record = host_.GetLibraryType(type); record && record->name[0] != 0)
            byName_.emplace(std::string(record->name, strnlen(record->name, sizeof record->name)), type);
    }
}

std::optional<_GUID> TypeCatalog::Resolve(const std::string& nameOrGuid) const
{
    if (auto it = byName_.find(nameOrGuid); it != byName_.end())
        return it->second;
    if (std::optional<_GUID> guid = ParseGuid(nameOrGuid)) {
        std::string ignored;
        if (host_.LoadLibrary(*guid, &ignored))
            return guid;
    }
    return std::nullopt;
}

std::string TypeCatalog::NameOf(const _GUID& type) const
{
    for (const auto& [name, guid] : byName_)
        if (guid == type)
            return name;
    if (const ChannelType* record = host_.GetLibraryType(type); record && record->name[0] != 0)
        return std::string(record->name, strnlen(record->name, sizeof record->name));
    return GuidToString(type);
}

std::string TypeCatalog::KnownNames() const
{
    std::string list;
    for (const auto& [name, guid] : byName_)
        list += (list.empty() ? "\"" : ", \"") + name + "\"";
    return list.empty() ? "none (no channel libraries found)" : list;
}

namespace {

/// Texture channels find their device in the graph when they first need it; a scene does not have to
/// list one.
void EnsureDevice(Vexcore& host)
{
    const _GUID device = Guid(guids::kDevice);
    if (host.GetChannelByGuid(device, 0))
        return;
    std::string error;
    if (!host.AddChannel(device, "device", &error))
        throw RunError("cannot add the device channel that light maps need: " + error);
}

} // namespace

namespace {

/// The type of a scene channel, checked against what the graph holds so far.
_GUID ResolveChannelType(Vexcore& host, const TypeCatalog& catalog, const Scene& scene, const SceneChannel& channel,
                         bool& worldSeen)
{
    const std::optional<_GUID> type = catalog.Resolve(channel.type);
    if (!type)
        throw InputError(scene.file, channel.field + ".type",
                         "unknown channel type \"" + channel.type + "\" (known: " + catalog.KnownNames() + ")");
    // A body looks its world up while it is being constructed, so the world has to exist first.
    if (*type == Guid(guids::kWorld))
        worldSeen = true;
    if (*type == Guid(guids::kBody) && !worldSeen)
        throw InputError(scene.file, channel.field + ".type",
                         "\"" + channel.type + "\" needs a \"" + catalog.NameOf(Guid(guids::kWorld)) +
                             "\" channel listed before it");
    if (host.FindChannel(channel.name))
        throw InputError(scene.file, channel.field + ".name",
                         "\"" + channel.name + "\" is already used by a channel the host added");
    return *type;
}

/// Makes scene channel `index`: in the graph, or held apart when it is a light map to be baked later.
Tav_Channel* CreateSceneChannel(Vexcore& host, const Scene& scene, size_t index, const _GUID& type,
                                const BuildOptions& options, BuiltScene& built)
{
    const SceneChannel& channel = scene.channels[index];
    std::string error;
    Tav_Channel* created = nullptr;
    if (type == Guid(guids::kTextureLighting) && options.deferLightMaps) {
        created = host.CreateChannelByGuid(type, 0, 0);
        if (created)
            built.pending.push_back({index, std::unique_ptr<Tav_Channel>(created)});
    } else {
        created = host.AddChannel(type, channel.name, &error);
    }
    if (!created)
        throw RunError(scene.file + ": " + channel.field + ": cannot create \"" + channel.type + "\": " + error);
    built.channels.push_back(created);
    return created;
}

/// Sets a new channel from its scene settings; every field must be one its type knows.
void ApplySceneSettings(Vexcore& host, const Scene& scene, const SceneChannel& channel, const _GUID& type,
                        Tav_Channel& created, BuiltScene& built)
{
    SettingsReader settings(channel.settings, scene.file, channel.field + ".settings");
    if (SettingsApplier apply = FindSettingsApplier(type)) {
        ApplyContext context{host, &built.frameSeconds, std::filesystem::path(scene.file).parent_path().string()};
        // A setter that refuses says why through the host: that reason goes into the one-line error.
        Tav_MessageCapture said(host.ShowDebugMessage);
        try {
            apply(created, settings, context);
        } catch (const InputError& e) {
            throw InputError(e.File(), e.Field(), said.Join(e.Problem()));
        }
        said.Forward();
    }
    settings.Finish();
}

/// Makes the scene's links between the built channels.
void LinkSceneChannels(Vexcore& host, const Scene& scene, const BuiltScene& built)
{
    auto isPending = [&](size_t index) {
        for (const PendingChannel& p : built.pending)
            if (p.index == index)
                return true;
        return false;
    };
    for (size_t i = 0; i < scene.channels.size(); ++i) {
        for (const SceneLink& link : scene.channels[i].links) {
            size_t childIndex = 0;
            while (scene.channels[childIndex].name != link.channel)
                ++childIndex;
            Tav_Channel* parent = built.channels[i];
            Tav_Channel* child = built.channels[childIndex];
            std::string error;
            if (!host.Link(parent, child, link.position, &error))
                throw InputError(scene.file, link.field, error);
            // A channel of the graph must not reach a pending one during the frames: the link is checked
            // now and made again when the pending channel joins the graph.
            if (isPending(childIndex) && !isPending(i))
                parent->RemoveChild(child);
        }
    }
}

} // namespace

BuiltScene BuildScene(Vexcore& host, const Scene& scene, const BuildOptions& options)
{
    TypeCatalog catalog(host);
    BuiltScene built;
    bool worldSeen = false;
    bool needsDevice = false;
    for (size_t i = 0; i < scene.channels.size(); ++i) {
        const SceneChannel& channel = scene.channels[i];
        const _GUID type = ResolveChannelType(host, catalog, scene, channel, worldSeen);
        needsDevice = needsDevice || type == Guid(guids::kTextureLighting);
        Tav_Channel* created = CreateSceneChannel(host, scene, i, type, options, built);
        ApplySceneSettings(host, scene, channel, type, *created, built);
    }
    if (needsDevice)
        EnsureDevice(host);
    LinkSceneChannels(host, scene, built);
    return built;
}

std::vector<Tav_Channel*> AddPendingChannels(Vexcore& host, const Scene& scene, BuiltScene& built)
{
    std::vector<Tav_Channel*> added;
    std::vector<size_t> indices;
    for (PendingChannel& p : built.pending) {
        Tav_Channel* channel = p.channel.release();
        host.AdoptChannel(channel, scene.channels[p.index].name);
        std::string error;
        if (!host.AddDependencies(channel, &error))
            throw RunError("channel \"" + scene.channels[p.index].name + "\" " + error);
        added.push_back(channel);
        indices.push_back(p.index);
    }
    built.pending.clear();
    auto wasPending = [&](size_t index) { return std::find(indices.begin(), indices.end(), index) != indices.end(); };
    for (size_t i = 0; i < scene.channels.size(); ++i) {
        if (wasPending(i))
            continue;
        for (const SceneLink& link : scene.channels[i].links) {
            size_t childIndex = 0;
            while (scene.channels[childIndex].name != link.channel)
                ++childIndex;
            std::string error;
            if (wasPending(childIndex) &&
                !host.Link(built.channels[i], built.channels[childIndex], link.position, &error))
                throw InputError(scene.file, link.field, error);
        }
    }
    return added;
}

} // namespace vex::app
