// The only place that talks to the dynamic loader.
#include "host/ChannelLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

ChannelLibrary::ChannelLibrary(void* handle, std::string path, GetTypeFn getType, InitDllFn initDll)
    : handle_(handle), path_(std::move(path)), getType_(getType), initDll_(initDll)
{
}

ChannelLibrary::~ChannelLibrary()
{
    if (handle_)
        ::dlclose(handle_);
}

std::string ChannelLibrary::FileNameFor(const _GUID& type) { return vex::GuidToString(type) + ".so"; }

std::unique_ptr<ChannelLibrary> ChannelLibrary::Load(const _GUID& type, const std::vector<std::string>& folders,
                                                     std::string* error)
{
    const std::string file = FileNameFor(type);
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        const std::string path = folder + "/" + file;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return LoadFile(path, error);
    }
    if (error) {
        std::string searched;
        for (const std::string& folder : folders)
            if (!folder.empty())
                searched += (searched.empty() ? "" : ", ") + folder;
        *error =
            "channel library " + file + " not found (searched: " + (searched.empty() ? "no folders" : searched) + ")";
    }
    return nullptr;
}

std::unique_ptr<ChannelLibrary> ChannelLibrary::LoadFile(const std::string& path, std::string* error)
{
    // RTLD_GLOBAL: libraries that derive from one another share one copy of each class's type data.
    // RTLD_NODELETE: a library stays mapped after its last close, because code of it may still run then:
    // worker threads that it (or a library it uses) started, and callbacks it registered elsewhere.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    if (!handle) {
        if (error) {
            const char* why = ::dlerror();
            *error = "cannot load channel library " + path + ": " + (why ? why : "unknown error");
        }
        return nullptr;
    }
    auto getType = reinterpret_cast<GetTypeFn>(::dlsym(handle, "GetType"));
    auto initDll = reinterpret_cast<InitDllFn>(::dlsym(handle, "InitDLL"));
    if (!getType || !initDll) {
        if (error)
            *error = "channel library " + path + " does not export " + (!getType ? "GetType" : "InitDLL");
        ::dlclose(handle);
        return nullptr;
    }
    return std::unique_ptr<ChannelLibrary>(new ChannelLibrary(handle, path, getType, initDll));
}
