#pragma once
// One loaded channel library: found by its GUID file name, with its GetType and InitDLL entry points.

#include "common/ChannelType.h"

#include <memory>
#include <string>
#include <vector>

class Tav_Channel;

class ChannelLibrary {
public:
    using GetTypeFn = ChannelType* (*)();
    using InitDllFn = Tav_Channel* (*)();

    /// Looks for "<GUID>.so" (canonical upper-case text) in each folder in order and loads the first one
    /// found. Null with a message naming the file or the missing symbol otherwise.
    static std::unique_ptr<ChannelLibrary> Load(const _GUID& type, const std::vector<std::string>& folders,
                                                std::string* error);
    /// Loads a library from an explicit path.
    static std::unique_ptr<ChannelLibrary> LoadFile(const std::string& path, std::string* error);

    ~ChannelLibrary();
    ChannelLibrary(const ChannelLibrary&) = delete;
    ChannelLibrary& operator=(const ChannelLibrary&) = delete;

    /// Calls GetType and returns a copy of the record.
    ChannelType ReadType() const { return *getType_(); }
    /// Calls InitDLL; the caller owns the result.
    Tav_Channel* CreateInstance() const { return initDll_(); }
    const std::string& GetPath() const { return path_; }

    /// "<GUID>.so" for a type.
    static std::string FileNameFor(const _GUID& type);

private:
    ChannelLibrary(void* handle, std::string path, GetTypeFn getType, InitDllFn initDll);

    void* handle_;
    std::string path_;
    GetTypeFn getType_;
    InitDllFn initDll_;
};
