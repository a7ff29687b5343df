#pragma once
// What every channel can reach of its host: messages for the user and channels by type.

#include "common/ChannelType.h"
#include "platform/Guid.h"

#include <functional>
#include <string>
#include <vector>

class Tav_Channel;

/// The host's message functor: `host->ShowDebugMessage("text")` or `("text", 42)`.
class Tav_DebugMessage {
public:
    using Sink = std::function<void(const std::string&)>;

    void operator()(const char* text) const;
    /// Shows "text value".
    void operator()(const char* text, int value) const;

    /// Where messages go; without a sink they go to standard error.
    void SetSink(Sink sink) { sink_ = std::move(sink); }

private:
    friend class Tav_MessageCapture;
    Sink sink_;
};

/// Holds back the messages shown while it lives, so that a caller can fold a channel's reasons into its
/// own one-line error; the sink comes back when it goes, and Forward passes the messages on as usual.
class Tav_MessageCapture {
public:
    explicit Tav_MessageCapture(Tav_DebugMessage& target);
    Tav_MessageCapture(const Tav_MessageCapture&) = delete;
    Tav_MessageCapture& operator=(const Tav_MessageCapture&) = delete;
    ~Tav_MessageCapture();

    /// The messages held so far joined by ": " after `lead`.
    std::string Join(const std::string& lead) const;
    /// Restores the sink and shows the held messages through it.
    void Forward();

private:
    Tav_DebugMessage& target_;
    Tav_DebugMessage::Sink previous_;
    std::vector<std::string> held_;
    bool restored_ = false;
};

class Tav_HostContext {
public:
    Tav_HostContext() = default;
    Tav_HostContext(const Tav_HostContext&) = delete;
    Tav_HostContext& operator=(const Tav_HostContext&) = delete;
    virtual ~Tav_HostContext() = default;

    /// Creates a new channel of that type (loading its library on first use); the caller owns it and
    /// deletes it through its virtual destructor. Null when the type cannot be had.
    virtual Tav_Channel* CreateChannelByGuid(_GUID type, int reserved1, int reserved2) = 0;
    /// An existing channel of the host's graph of that type (or deriving from it), not owned; or null.
    virtual Tav_Channel* GetChannelByGuid(_GUID type, int reserved) = 0;

    /// The host's frame number; CheckRenderCount lets a channel run once per frame.
    virtual unsigned long GetFrameCount() const = 0;
    /// Called by every channel's destructor so the host drops all links to it.
    virtual void ChannelDestroyed(Tav_Channel* channel) = 0;
    /// Threads a long computation (a light-map bake) may use at once. 1, the default, keeps it on the
    /// calling thread, as a host that does not say expects.
    virtual int GetWorkerThreadCount() const { return 1; }

    Tav_DebugMessage ShowDebugMessage;
};

namespace vex {

/// The host context that channel constructors see: the host sets it around InitDLL so that a constructor
/// can already look up other channels. Nests; restores the previous context when it ends.
class ScopedConstructionHost {
public:
    /// record: the type record of the library being instantiated (null outside the host).
    explicit ScopedConstructionHost(Tav_HostContext* host, const ChannelType* record = nullptr);
    ~ScopedConstructionHost();
    ScopedConstructionHost(const ScopedConstructionHost&) = delete;
    ScopedConstructionHost& operator=(const ScopedConstructionHost&) = delete;

    static Tav_HostContext* Current();
    static const ChannelType* CurrentType();

private:
    Tav_HostContext* previous_;
    const ChannelType* previousType_;
};

} // namespace vex
