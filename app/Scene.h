#pragma once
// Scene files: a JSON object with "channels" (name, type, settings, links) and optional "frames" and
// "output". ParseScene checks the structure without a host; BuildScene creates the channels in a host,
// applies their settings and links them. Both throw InputError for bad input.

#include "platform/Guid.h"

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Tav_Channel;
class Vexcore;

namespace vex::app {

struct SceneLink {
    int position = -1; ///< -1: the first link that takes the child's type
    std::string channel;
    std::string field; ///< "channels[2].links[0]" for messages
};

struct SceneChannel {
    std::string name;
    std::string type; ///< a type name ("ODE Body") or a GUID text
    nlohmann::json settings = nlohmann::json::object();
    std::vector<SceneLink> links;
    std::string field; ///< "channels[2]"
};

struct Scene {
    std::string file; ///< shown in messages
    std::vector<SceneChannel> channels;
    std::optional<int> frames;
    std::optional<std::string> output;
};

/// Most frames a scene may ask for (about 46 hours at 60 frames a second).
inline constexpr int kMaxFrames = 10'000'000;
/// Most threads `--threads` takes: far beyond any machine the runner meets, low enough to refuse a typo.
inline constexpr int kMaxThreads = 1024;

/// Largest scene file read, in bytes.
inline constexpr size_t kMaxSceneBytes = size_t(16) << 20;
/// Deepest nesting of arrays and objects in a scene (a scene needs about eight levels).
inline constexpr int kMaxJsonDepth = 64;
/// Longest channel name in bytes: names become output file names (NAME.bmp, NAME.png).
inline constexpr size_t kMaxSceneNameBytes = 100;

/// Why a channel name cannot be used ("holds a path separator", ...), or empty when it can: names become
/// file names, so they hold no path separator, "..", control character, and are none of the runner's own
/// output names.
std::string ChannelNameProblem(const std::string& name);
/// Parses scene text; `file` names it in messages.
Scene ParseScene(const std::string& text, const std::string& file);
/// Reads and parses a scene file.
Scene ReadSceneFile(const std::string& path);

/// Type names of the channel libraries the host can load, resolved by reading their type records.
class TypeCatalog {
public:
    explicit TypeCatalog(Vexcore& host);
    /// The type for a name or GUID text, or nullopt.
    std::optional<_GUID> Resolve(const std::string& nameOrGuid) const;
    /// The type name of a GUID, or its text when unknown.
    std::string NameOf(const _GUID& type) const;
    /// "Matrix", "ODE Body", ... for messages.
    std::string KnownNames() const;

private:
    Vexcore& host_;
    std::map<std::string, _GUID> byName_;
};

struct BuildOptions {
    /// Light maps ("DX8 TextureLighting" channels) are created, set and linked to their children as
    /// usual, but join the graph only in AddPendingChannels: a light map recomputes on every frame it is
    /// called, so a bake simulates first and computes each light map once, on the final poses.
    bool deferLightMaps = false;
};

/// A channel that is built but not yet in the host's graph.
struct PendingChannel {
    size_t index; ///< in Scene::channels
    std::unique_ptr<Tav_Channel> channel;
};

/// Result of building a scene.
struct BuiltScene {
    std::vector<Tav_Channel*> channels; ///< in scene order (pending ones included)
    std::vector<PendingChannel> pending;
    double frameSeconds = 1.0 / 60.0; ///< simulated time per frame
};

/// Creates the scene's channels in the host, in order, applies their settings and links them. Every
/// error in the scene, pending channels included, is found here.
BuiltScene BuildScene(Vexcore& host, const Scene& scene, const BuildOptions& options = {});
/// Moves the pending channels into the graph (with the channels they depend on) and makes the links
/// that lead to them. Returns them in scene order.
std::vector<Tav_Channel*> AddPendingChannels(Vexcore& host, const Scene& scene, BuiltScene& built);

} // namespace vex::app
