#pragma once
// The host: plug-in libraries by GUID, the channel graph (instances, names, links), the frame loop and
// project files.

#include "host/ChannelLibrary.h"
#include "host/Tav_Channel.h"
#include "host/Tav_HostContext.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vex {
struct ProjectData;
}

class Vexcore : public Tav_HostContext {
public:
    /// Plug-in folders: those given, then each entry of the colon-separated VEX_PLUGIN_PATH variable.
    explicit Vexcore(std::vector<std::string> pluginFolders = {});
    /// Destroys the graph's channels in reverse order of creation, then unloads the libraries.
    ~Vexcore() override;

    // Tav_HostContext
    Tav_Channel* CreateChannelByGuid(_GUID type, int reserved1 = 0, int reserved2 = 0) override;
    Tav_Channel* GetChannelByGuid(_GUID type, int reserved = 0) override;
    unsigned long GetFrameCount() const override { return frame_; }
    void ChannelDestroyed(Tav_Channel* channel) override;
    int GetWorkerThreadCount() const override { return workerThreads_; }

    /// Threads for long computations; values below 1 count as 1. Default: the hardware's threads.
    void SetWorkerThreadCount(int threads) { workerThreads_ = threads < 1 ? 1 : threads; }
    /// The hardware's threads (1 when the system does not say).
    static int HardwareThreadCount();

    // Libraries.
    void AddPluginFolder(const std::string& folder) { folders_.push_back(folder); }
    const std::vector<std::string>& GetPluginFolders() const { return folders_; }
    /// Loads (once) the library of a type; null with a message on failure.
    const ChannelLibrary* LoadLibrary(const _GUID& type, std::string* error);
    /// The record GetType reported for a loaded type, or null.
    const ChannelType* GetLibraryType(const _GUID& type) const;

    // The graph: channels the host owns, called each frame in the order they were added.
    /// Creates a channel of that type, names it and adds it to the graph; then asks it for its
    /// dependencies and adds a channel of each needed type that the graph lacks. Null with a message.
    Tav_Channel* AddChannel(const _GUID& type, const std::string& name, std::string* error);
    /// Adds a channel of each type that `channel` needs (its DoDependencyInit) and the graph lacks. False,
    /// with the first failure in `error` ("needs a channel of type ...: why"), when one cannot be added.
    bool AddDependencies(Tav_Channel* channel, std::string* error);
    /// Takes ownership of a channel created elsewhere.
    void AdoptChannel(Tav_Channel* channel, const std::string& name);
    /// Deletes a channel of the graph (links to it are dropped).
    void RemoveChannel(Tav_Channel* channel);
    const std::vector<Tav_Channel*>& GetChannels() const { return order_; }
    Tav_Channel* FindChannel(const std::string& name) const;
    std::string GetChannelName(const Tav_Channel* channel) const;
    /// Links child under parent at a link position (-1: by type); false with a message when it cannot.
    bool Link(Tav_Channel* parent, Tav_Channel* child, int position, std::string* error);

    // Frames.
    /// One host frame: the frame counter advances, every graph channel gets CallChannel in order, then
    /// DoEvent(kTavEventFrameEnd, frame).
    void RunFrame();
    /// Advances the frame counter only (channels asked out of turn then run once more).
    void AdvanceFrame() { ++frame_; }

    // Projects.
    /// Saves the graph and each channel's section; the previous file survives any failure.
    bool SaveProject(const std::string& path, std::string* error);
    /// Replaces the graph with the project's; on any error the graph is left as it was.
    bool LoadProject(const std::string& path, std::string* error);
    /// The same from bytes in memory (used by the loader and the fuzzers); file paths the channels stored
    /// relative to the project are taken from projectFolder (from the working directory when empty).
    bool LoadProjectBytes(const std::vector<uint8_t>& bytes, std::string* error, const std::string& projectFolder = {});
    /// Writes "Vex 0.1.0 (git ...)" into saved projects unless set otherwise.
    void SetWriterName(std::string writer) { writer_ = std::move(writer); }

    /// Routes ShowDebugMessage to sink (the runner prints, tests capture).
    void SetMessageSink(Tav_DebugMessage::Sink sink) { ShowDebugMessage.SetSink(std::move(sink)); }

private:
    struct Entry {
        std::string name;
        std::unique_ptr<Tav_Channel> channel;
    };

    Tav_Channel* Instantiate(const _GUID& type, std::string* error);
    /// Runs one channel's LoadChannel; what the channel says while loading goes into the error when it fails
    /// (so the failure is one message), and to the message sink when it loads.
    bool LoadChannelSection(Tav_Channel& channel, const std::string& name, TavFileLoader& loader, std::string* error);
    void DestroyGraph();
    /// Every channel's library can be loaded and its section splits into chunks; else false with a message.
    bool CheckProjectChannels(const vex::ProjectData& project, std::string* error);
    /// Creates, links and loads the project's channels into the (empty) graph; false with why on failure,
    /// leaving what was built for the caller to destroy.
    bool BuildProjectGraph(const vex::ProjectData& project, const std::string& projectFolder, std::string& why);
    /// Runs the channel's DoDependencyInit and frees the list it fills; false when it threw.
    bool InitDependencies(Tav_Channel& channel);

    std::vector<std::string> folders_;
    std::map<std::string, std::unique_ptr<ChannelLibrary>> libraries_; ///< by GUID text
    std::map<std::string, ChannelType> types_;                         ///< by GUID text
    std::vector<Entry> entries_;
    std::vector<Tav_Channel*> order_;
    unsigned long frame_ = 0;
    unsigned long removals_ = 0; ///< channels taken out of the graph so far (RunFrame re-checks only after one)
    bool destroying_ = false;
    int workerThreads_ = HardwareThreadCount();
    std::string writer_;
};
