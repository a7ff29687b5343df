#include "host/Vexcore.h"

#include "host/ProjectFile.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Version.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <thread>

namespace {

std::string Key(const _GUID& type) { return vex::GuidToString(type); }

bool HasType(Tav_Channel* channel, const _GUID& type)
{
    const ChannelType record = channel->GetChannelType();
    return record.typeGuid == type || record.baseTypeGuid == type;
}

} // namespace

int Vexcore::HardwareThreadCount()
{
    const unsigned threads = std::thread::hardware_concurrency();
    return threads == 0 ? 1 : static_cast<int>(std::min(threads, 1024u));
}

Vexcore::Vexcore(std::vector<std::string> pluginFolders) : folders_(std::move(pluginFolders))
{
    if (const char* path = std::getenv("VEX_PLUGIN_PATH")) {
        std::string list = path;
        size_t start = 0;
        while (start <= list.size()) {
            const size_t end = std::min(list.find(':', start), list.size());
            if (end > start)
                folders_.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
}

Vexcore::~Vexcore()
{
    DestroyGraph();
    // Libraries unload after every instance is gone (std::map member destruction).
}

void Vexcore::DestroyGraph()
{
    destroying_ = true;
    while (!order_.empty())
        RemoveChannel(order_.back());
    destroying_ = false;
}

const ChannelLibrary* Vexcore::LoadLibrary(const _GUID& type, std::string* error)
{
    const std::string key = Key(type);
    if (auto it = libraries_.find(key); it != libraries_.end())
        return it->second.get();
    std::unique_ptr<ChannelLibrary> library = ChannelLibrary::Load(type, folders_, error);
    if (!library)
        return nullptr;
    ChannelType record = library->ReadType();
    if (record.typeGuid != type) {
        if (error)
            *error = "channel library " + library->GetPath() + " reports type " + Key(record.typeGuid) +
                     " instead of " + key;
        return nullptr;
    }
    record.name[sizeof record.name - 1] = '\0';
    types_[key] = record;
    return (libraries_[key] = std::move(library)).get();
}

const ChannelType* Vexcore::GetLibraryType(const _GUID& type) const
{
    auto it = types_.find(Key(type));
    return it == types_.end() ? nullptr : &it->second;
}

Tav_Channel* Vexcore::Instantiate(const _GUID& type, std::string* error)
{
    const ChannelLibrary* library = LoadLibrary(type, error);
    if (!library)
        return nullptr;
    const ChannelType& record = types_[Key(type)];
    Tav_Channel* channel = nullptr;
    {
        vex::ScopedConstructionHost scope(this, &record);
        channel = library->CreateInstance();
    }
    if (!channel) {
        if (error)
            *error = "InitDLL of " + library->GetPath() + " created no channel";
        return nullptr;
    }
    channel->SetChannelTypeRecord(record);
    return channel;
}

Tav_Channel* Vexcore::CreateChannelByGuid(_GUID type, int, int)
{
    std::string error;
    Tav_Channel* channel = Instantiate(type, &error);
    if (!channel)
        ShowDebugMessage(error.c_str());
    return channel;
}

Tav_Channel* Vexcore::GetChannelByGuid(_GUID type, int)
{
    for (Tav_Channel* channel : order_)
        if (HasType(channel, type))
            return channel;
    return nullptr;
}

void Vexcore::ChannelDestroyed(Tav_Channel* channel)
{
    auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.channel.get() == channel; });
    if (it != entries_.end()) {
        // Deleted by someone else: forget it without deleting it again.
        (void)it->channel.release();
        entries_.erase(it);
        order_.erase(std::remove(order_.begin(), order_.end(), channel), order_.end());
        ++removals_;
    }
    for (Tav_Channel* other : order_)
        other->RemoveChild(channel);
}

Tav_Channel* Vexcore::AddChannel(const _GUID& type, const std::string& name, std::string* error)
{
    Tav_Channel* channel = Instantiate(type, error);
    if (!channel)
        return nullptr;
    AdoptChannel(channel, name);
    std::string why;
    if (!AddDependencies(channel, &why))
        ShowDebugMessage(("channel '" + name + "' " + why).c_str());
    return channel;
}

bool Vexcore::AddDependencies(Tav_Channel* channel, std::string* error)
{
    Tav_List needs;
    channel->DoDependencyInit(&needs);
    std::vector<_GUID> types;
    for (int i = 0; i < needs.GetItemCount(); ++i) {
        auto* guid = static_cast<_GUID*>(needs.GetItem(i));
        if (guid)
            types.push_back(*guid);
        delete guid;
    }
    needs.ReleaseItems();
    bool all = true;
    for (const _GUID& need : types) {
        if (GetChannelByGuid(need))
            continue;
        std::string why;
        const ChannelLibrary* library = LoadLibrary(need, &why);
        const std::string needName = library ? std::string(types_[Key(need)].name) : Key(need);
        if (library && AddChannel(need, needName, &why))
            continue;
        if (all && error)
            *error = "needs a channel of type " + Key(need) + ": " + why;
        all = false;
    }
    return all;
}

void Vexcore::AdoptChannel(Tav_Channel* channel, const std::string& name)
{
    entries_.push_back(Entry{name, std::unique_ptr<Tav_Channel>(channel)});
    order_.push_back(channel);
}

void Vexcore::RemoveChannel(Tav_Channel* channel)
{
    auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.channel.get() == channel; });
    if (it == entries_.end())
        return;
    Tav_Channel* doomed = it->channel.release();
    entries_.erase(it);
    order_.erase(std::remove(order_.begin(), order_.end(), doomed), order_.end());
    ++removals_;
    for (Tav_Channel* other : order_)
        other->RemoveChild(doomed);
    try {
        delete doomed;
    } catch (...) {
        ShowDebugMessage("a channel's destructor threw; its resources may be lost");
    }
}

Tav_Channel* Vexcore::FindChannel(const std::string& name) const
{
    for (const Entry& e : entries_)
        if (e.name == name)
            return e.channel.get();
    return nullptr;
}

std::string Vexcore::GetChannelName(const Tav_Channel* channel) const
{
    for (const Entry& e : entries_)
        if (e.channel.get() == channel)
            return e.name;
    return {};
}

bool Vexcore::Link(Tav_Channel* parent, Tav_Channel* child, int position, std::string* error)
{
    if (!parent || !child) {
        if (error)
            *error = "cannot link a missing channel";
        return false;
    }
    if (parent->SetChild(child, position, -1) >= 0)
        return true;
    if (error) {
        const ChildCreation* declared = position >= 0 ? parent->GetChildCreateType(position) : nullptr;
        const std::string childType = child->GetChannelType().name;
        if (parent == child)
            *error = "a channel cannot be its own child";
        else if (position >= parent->GetChildCreateTypeCount())
            *error = "link position " + std::to_string(position) + " does not exist (the channel declares " +
                     std::to_string(parent->GetChildCreateTypeCount()) + ")";
        else if (declared)
            *error = "link " + std::to_string(position) + " (\"" + declared->linkName + "\") takes \"" +
                     declared->childType.name + "\", not \"" + childType + "\"";
        else
            *error = "cannot link \"" + childType + "\" here";
    }
    return false;
}

void Vexcore::RunFrame()
{
    ++frame_;
    // A copy: a channel may add or remove channels while it runs. Only then is each one looked up again,
    // so a large graph pays no search per channel in an ordinary frame.
    const std::vector<Tav_Channel*> channels = order_;
    const unsigned long removalsAtStart = removals_;
    auto alive = [this, removalsAtStart](Tav_Channel* c) {
        return removals_ == removalsAtStart || std::find(order_.begin(), order_.end(), c) != order_.end();
    };
    auto guarded = [&](Tav_Channel* channel, auto&& call) {
        try {
            call();
        } catch (const std::exception& e) {
            ShowDebugMessage(("channel '" + GetChannelName(channel) + "' failed: " + e.what()).c_str());
        } catch (...) {
            ShowDebugMessage(("channel '" + GetChannelName(channel) + "' failed").c_str());
        }
    };
    for (Tav_Channel* channel : channels)
        if (alive(channel))
            guarded(channel, [&] { channel->CallChannel(); });
    for (Tav_Channel* channel : channels)
        if (alive(channel))
            guarded(channel, [&] { channel->DoEvent(kTavEventFrameEnd, frame_); });
}

bool Vexcore::SaveProject(const std::string& path, std::string* error)
{
    vex::ProjectData project;
    project.writer = writer_.empty() ? vex::VersionLine() : writer_;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    for (const Entry& e : entries_) {
        // A name the loader would refuse would make the whole file unloadable.
        if (e.name.size() > vex::kMaxChannelNameBytes) {
            if (error)
                *error = "channel name longer than " + std::to_string(vex::kMaxChannelNameBytes) + " bytes: '" +
                         e.name.substr(0, 40) + "...'";
            return false;
        }
        TavFileSaver saver;
        saver.SetProjectFolder(folder.empty() ? "." : folder);
        bool saved = false;
        try {
            saved = e.channel->SaveChannel(saver);
        } catch (const std::exception& ex) {
            if (error)
                *error = "channel '" + e.name + "' failed to save: " + ex.what();
            return false;
        } catch (...) {
            if (error)
                *error = "channel '" + e.name + "' failed to save";
            return false;
        }
        if (!saved) {
            if (error)
                *error = "channel '" + e.name + "' could not save its data";
            return false;
        }
        std::vector<TavFileLoader::ChunkInfo> chunks;
        std::string chunkError;
        if (!TavFileLoader::ParseChunks(saver.GetBytes(), chunks, &chunkError)) {
            if (error)
                *error = "channel '" + e.name + "' wrote malformed data: " + chunkError;
            return false;
        }
        project.channels.push_back({e.channel->GetChannelType().typeGuid, e.name, saver.TakeBytes()});
    }
    for (uint32_t p = 0; p < entries_.size(); ++p) {
        Tav_Channel* parent = entries_[p].channel.get();
        // Undeclared links are made at run time by the channels themselves, so they are not stored.
        for (int position = 0; position < parent->GetChildCreateTypeCount(); ++position) {
            for (int i = 0; i < parent->GetChildLinkPositionCount(position); ++i) {
                Tav_Channel* child = parent->GetChildFromLinkPosition(position, i);
                auto it = std::find_if(entries_.begin(), entries_.end(),
                                       [&](const Entry& e) { return e.channel.get() == child; });
                if (it != entries_.end())
                    project.links.push_back({p, position, static_cast<uint32_t>(it - entries_.begin())});
            }
        }
    }
    return TavFileSaver::WriteFileAtomically(path, vex::EncodeProject(project), error);
}

bool Vexcore::LoadProject(const std::string& path, std::string* error)
{
    std::vector<uint8_t> bytes;
    std::string why;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!vex::ReadFileBytes(path, bytes, &why) || !LoadProjectBytes(bytes, &why, folder.empty() ? "." : folder)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    return true;
}

bool Vexcore::LoadChannelSection(Tav_Channel& channel, const std::string& name, TavFileLoader& loader,
                                 std::string* error)
{
    Tav_MessageCapture said(ShowDebugMessage);
    std::string failure;
    try {
        if (!channel.LoadChannel(loader, nullptr))
            failure = "channel '" + name + "' could not load its data";
    } catch (const std::exception& ex) {
        failure = "channel '" + name + "' failed to load: " + ex.what();
    } catch (...) {
        failure = "channel '" + name + "' failed to load";
    }
    if (failure.empty()) {
        said.Forward();
        return true;
    }
    if (error)
        *error = said.Join(failure);
    return false;
}

bool Vexcore::LoadProjectBytes(const std::vector<uint8_t>& bytes, std::string* error, const std::string& projectFolder)
{
    vex::ProjectData project;
    if (!vex::DecodeProject(bytes, project, error) || !CheckProjectChannels(project, error))
        return false;

    // Build the new graph beside the old one; the old one comes back whole if anything fails.
    std::vector<Entry> oldEntries = std::move(entries_);
    std::vector<Tav_Channel*> oldOrder = std::move(order_);
    entries_.clear();
    order_.clear();
    std::string why;
    if (!BuildProjectGraph(project, projectFolder, why)) {
        DestroyGraph();
        entries_ = std::move(oldEntries);
        order_ = std::move(oldOrder);
        if (error)
            *error = why;
        return false;
    }

    // Success: the old graph goes.
    std::vector<Entry> newEntries = std::move(entries_);
    std::vector<Tav_Channel*> newOrder = std::move(order_);
    entries_ = std::move(oldEntries);
    order_ = std::move(oldOrder);
    DestroyGraph();
    entries_ = std::move(newEntries);
    order_ = std::move(newOrder);
    return true;
}

bool Vexcore::CheckProjectChannels(const vex::ProjectData& project, std::string* error)
{
    for (const vex::ProjectChannelRecord& c : project.channels) {
        std::string why;
        std::vector<TavFileLoader::ChunkInfo> chunks;
        if (!LoadLibrary(c.type, &why) || !TavFileLoader::ParseChunks(c.section, chunks, &why)) {
            if (error)
                *error = "channel '" + c.name + "': " + why;
            return false;
        }
    }
    return true;
}

// Create every channel -> link them -> load each one's section -> let each declare its dependencies.
bool Vexcore::BuildProjectGraph(const vex::ProjectData& project, const std::string& projectFolder, std::string& why)
{
    std::vector<Tav_Channel*> created;
    for (const vex::ProjectChannelRecord& c : project.channels) {
        Tav_Channel* channel = Instantiate(c.type, &why);
        if (!channel) {
            why = "channel '" + c.name + "': " + why;
            return false;
        }
        AdoptChannel(channel, c.name);
        created.push_back(channel);
    }
    for (const vex::ProjectLinkRecord& l : project.links) {
        if (!Link(created[l.parent], created[l.child], l.position, &why)) {
            why = "link from '" + project.channels[l.parent].name + "' to '" + project.channels[l.child].name +
                  "': " + why;
            return false;
        }
    }
    for (size_t i = 0; i < created.size(); ++i) {
        TavFileLoader loader(project.channels[i].section);
        loader.SetProjectFolder(projectFolder, project.version == vex::kFirstProjectVersion);
        if (!LoadChannelSection(*created[i], project.channels[i].name, loader, &why))
            return false;
    }
    for (size_t c = 0; c < created.size(); ++c) {
        if (!InitDependencies(*created[c])) {
            why = "channel '" + project.channels[c].name + "' failed to initialise";
            return false;
        }
    }
    return true;
}

bool Vexcore::InitDependencies(Tav_Channel& channel)
{
    Tav_List needs;
    bool failed = false;
    try {
        channel.DoDependencyInit(&needs);
    } catch (...) {
        failed = true;
    }
    for (int i = 0; i < needs.GetItemCount(); ++i)
        delete static_cast<_GUID*>(needs.GetItem(i));
    needs.ReleaseItems();
    return !failed;
}
