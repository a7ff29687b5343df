#pragma once
// The base of every channel: twelve virtual operations in a fixed slot order, child links, the render
// count and the host context.

#include "common/ChannelType.h"
#include "host/Tav_HostContext.h"
#include "host/Tav_List.h"

class TavFileSaver;
class TavFileLoader;
class Tav_ChannelGroup;
struct ChildInfo;

/// Root of the plug-in class hierarchy; its destructor is the first virtual slot.
class DllInterface {
public:
    virtual ~DllInterface() = default;
};

/// Host event codes passed to DoEvent.
enum Tav_Event : int {
    /// Sent to every channel of the graph after all channels were called in a frame; the value is the frame.
    kTavEventFrameEnd = 1,
};

class Tav_Channel : public DllInterface {
public:
    Tav_Channel();
    Tav_Channel(const Tav_Channel& other);
    Tav_Channel& operator=(const Tav_Channel& other);

    // Virtual slots, in this order: they are the interface other libraries call through.
    ~Tav_Channel() override;
    virtual void CallChannel();
    virtual void OneTimeInitialize();
    virtual void DoEvent(int event, unsigned long value);
    virtual ChannelType GetChannelType();
    virtual bool SaveChannel(TavFileSaver& saver);
    virtual bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group);
    virtual void SetChannelInterfaceType(int type);
    virtual Tav_Channel* GetChannelFromChannel(Tav_Channel* channel, ChildInfo* info);
    virtual unsigned long GetTimeStamp();
    virtual void SetTimeStamp();
    virtual void DoDependencyInit(Tav_List* list);

    // Naming and link declaration, called in constructors.
    void SetChannelName(const char* typeName);
    const char* GetChannelName() const { return channelName_; }
    void SetChildCreationCount(int count);
    /// Declares link `index` (0, 1, 2, ... in order); a repeated index replaces the declaration.
    void SetChildCreateType(ChildCreation creation, int index);
    int GetChildCreateTypeCount() const { return childCreations_.GetItemCount(); }
    /// The declaration of link `index`, or null.
    const ChildCreation* GetChildCreateType(int index) const;

    // Children.
    /// First child at link position `position`, or null.
    Tav_Channel* GetChild(int position) const;
    int GetChildLinkPositionCount(int position) const;
    Tav_Channel* GetChildFromLinkPosition(int position, int index) const;
    /// The n-th child (over all links, in link order) whose type or base type is `type`, or null.
    Tav_Channel* GetChildFromLinkGuid(_GUID type, int n) const;
    int GetChildTypeCount(_GUID type) const;
    /// Links child at `position` (-1: the first declared link whose type the child has, else the list of
    /// undeclared children after the declared ones) before `index` (-1: at the end). Returns the child's
    /// index within its position, or -1 when it was not linked (null child, itself, position out of range).
    int SetChild(Tav_Channel* child, int position, int index);
    /// Removes every link to child; returns how many there were.
    int RemoveChild(Tav_Channel* child);
    /// Number of link positions in use: the declared ones plus one for undeclared children.
    int GetLinkPositionCount() const { return GetChildCreateTypeCount() + 1; }

    /// True at most once per host frame; always true while the ignore-tree flag is set.
    bool CheckRenderCount();
    /// Appends the type to a DoDependencyInit list (the host frees the entries).
    void AddChannelGuidDepend(_GUID type, Tav_List* list);

    Tav_HostContext* GetHostContext() const { return host_; }
    /// Set by the host when it creates the channel from its library.
    void SetChannelTypeRecord(const ChannelType& record) { typeRecord_ = record; }
    void SetIgnoreTreeCountFlag(bool ignore) { ignoreTreeCount_ = ignore; }

protected:
    Tav_HostContext* host_ = nullptr;

private:
    struct Link {
        int position;
        Tav_Channel* child;
    };

    void FreeLists();
    static bool HasType(Tav_Channel* channel, const _GUID& type);

    Tav_List childCreations_; ///< owned ChildCreation copies, by link index
    Tav_List childLinks_;     ///< owned Link records, grouped by position in position order
    char channelName_[80] = {};
    ChannelType typeRecord_{};
    unsigned long lastRenderFrame_ = ~0ul;
    unsigned long timeStamp_ = 0;
    bool ignoreTreeCount_ = false;
};

/// `channelInternal.SetIgnoreTreeCount(channel, true)` lets a channel run when called out of turn.
class Tav_ChannelInternal {
public:
    void SetIgnoreTreeCount(Tav_Channel* channel, bool ignore) const
    {
        if (channel)
            channel->SetIgnoreTreeCountFlag(ignore);
    }
};

extern const Tav_ChannelInternal channelInternal;
