#include "host/Tav_Channel.h"

#include <cstring>

const Tav_ChannelInternal channelInternal{};

Tav_Channel::Tav_Channel() : host_(vex::ScopedConstructionHost::Current())
{
    if (const ChannelType* record = vex::ScopedConstructionHost::CurrentType())
        typeRecord_ = *record;
}

// A copy shares the host but declares and links nothing: links and declarations belong to one instance.
Tav_Channel::Tav_Channel(const Tav_Channel& other) : DllInterface(other), host_(other.host_)
{
    std::memcpy(channelName_, other.channelName_, sizeof channelName_);
    typeRecord_ = other.typeRecord_;
    for (int i = 0; i < other.childCreations_.GetItemCount(); ++i) {
        const auto* c = static_cast<const ChildCreation*>(other.childCreations_.GetItem(i));
        childCreations_.AddItem(c ? new ChildCreation(*c) : nullptr);
    }
}

Tav_Channel& Tav_Channel::operator=(const Tav_Channel& other)
{
    if (this == &other)
        return *this;
    for (int i = 0; i < childCreations_.GetItemCount(); ++i)
        delete static_cast<ChildCreation*>(childCreations_.GetItem(i));
    childCreations_.ReleaseItems();
    for (int i = 0; i < other.childCreations_.GetItemCount(); ++i) {
        const auto* c = static_cast<const ChildCreation*>(other.childCreations_.GetItem(i));
        childCreations_.AddItem(c ? new ChildCreation(*c) : nullptr);
    }
    std::memcpy(channelName_, other.channelName_, sizeof channelName_);
    typeRecord_ = other.typeRecord_;
    return *this;
}

Tav_Channel::~Tav_Channel()
{
    if (host_)
        host_->ChannelDestroyed(this);
    FreeLists();
}

void Tav_Channel::FreeLists()
{
    for (int i = 0; i < childCreations_.GetItemCount(); ++i)
        delete static_cast<ChildCreation*>(childCreations_.GetItem(i));
    childCreations_.ReleaseItems();
    for (int i = 0; i < childLinks_.GetItemCount(); ++i)
        delete static_cast<Link*>(childLinks_.GetItem(i));
    childLinks_.ReleaseItems();
}

void Tav_Channel::CallChannel() {}
void Tav_Channel::OneTimeInitialize() {}
void Tav_Channel::DoEvent(int, unsigned long) {}
ChannelType Tav_Channel::GetChannelType() { return typeRecord_; }
bool Tav_Channel::SaveChannel(TavFileSaver&) { return true; }
bool Tav_Channel::LoadChannel(TavFileLoader&, Tav_ChannelGroup*) { return true; }
void Tav_Channel::SetChannelInterfaceType(int) {}
Tav_Channel* Tav_Channel::GetChannelFromChannel(Tav_Channel*, ChildInfo*) { return nullptr; }
unsigned long Tav_Channel::GetTimeStamp() { return timeStamp_; }
void Tav_Channel::SetTimeStamp() { timeStamp_ = host_ ? host_->GetFrameCount() : timeStamp_ + 1; }
void Tav_Channel::DoDependencyInit(Tav_List*) {}

void Tav_Channel::SetChannelName(const char* typeName)
{
    std::memset(channelName_, 0, sizeof channelName_);
    if (typeName)
        std::strncpy(channelName_, typeName, sizeof channelName_ - 1);
}

void Tav_Channel::SetChildCreationCount(int) {}

void Tav_Channel::SetChildCreateType(ChildCreation creation, int index)
{
    if (index < 0)
        return;
    while (childCreations_.GetItemCount() < index)
        childCreations_.AddItem(nullptr);
    delete static_cast<ChildCreation*>(childCreations_.GetItem(index));
    childCreations_.SetItem(new ChildCreation(creation), index);
}

const ChildCreation* Tav_Channel::GetChildCreateType(int index) const
{
    return static_cast<const ChildCreation*>(childCreations_.GetItem(index));
}

Tav_Channel* Tav_Channel::GetChild(int position) const { return GetChildFromLinkPosition(position, 0); }

int Tav_Channel::GetChildLinkPositionCount(int position) const
{
    int count = 0;
    for (int i = 0; i < childLinks_.GetItemCount(); ++i)
        if (static_cast<const Link*>(childLinks_.GetItem(i))->position == position)
            ++count;
    return count;
}

Tav_Channel* Tav_Channel::GetChildFromLinkPosition(int position, int index) const
{
    if (index < 0)
        return nullptr;
    for (int i = 0; i < childLinks_.GetItemCount(); ++i) {
        const auto* link = static_cast<const Link*>(childLinks_.GetItem(i));
        if (link->position == position && index-- == 0)
            return link->child;
    }
    return nullptr;
}

bool Tav_Channel::HasType(Tav_Channel* channel, const _GUID& type)
{
    const ChannelType record = channel->GetChannelType();
    return record.typeGuid == type || record.baseTypeGuid == type;
}

Tav_Channel* Tav_Channel::GetChildFromLinkGuid(_GUID type, int n) const
{
    if (n < 0)
        return nullptr;
    for (int i = 0; i < childLinks_.GetItemCount(); ++i) {
        auto* link = static_cast<const Link*>(childLinks_.GetItem(i));
        if (HasType(link->child, type) && n-- == 0)
            return link->child;
    }
    return nullptr;
}

int Tav_Channel::GetChildTypeCount(_GUID type) const
{
    int count = 0;
    for (int i = 0; i < childLinks_.GetItemCount(); ++i)
        if (HasType(static_cast<const Link*>(childLinks_.GetItem(i))->child, type))
            ++count;
    return count;
}

int Tav_Channel::SetChild(Tav_Channel* child, int position, int index)
{
    if (!child || child == this)
        return -1;
    const int declared = GetChildCreateTypeCount();
    if (position < 0) {
        position = declared; // undeclared children, unless a declared link takes this type
        for (int p = 0; p < declared; ++p) {
            const ChildCreation* c = GetChildCreateType(p);
            if (c && HasType(child, c->childType.typeGuid)) {
                position = p;
                break;
            }
        }
    } else if (position >= declared) {
        return -1;
    } else {
        // A declared link only takes its own type (or a type deriving from it), so callers may rely on it.
        const ChildCreation* c = GetChildCreateType(position);
        if (!c || !HasType(child, c->childType.typeGuid))
            return -1;
    }
    // Links stay grouped by position, in position order; index -1 appends within the position.
    const int existing = GetChildLinkPositionCount(position);
    if (index < 0 || index > existing)
        index = existing;
    int insertAt = childLinks_.GetItemCount();
    int seen = 0;
    for (int i = 0; i < childLinks_.GetItemCount(); ++i) {
        const auto* link = static_cast<const Link*>(childLinks_.GetItem(i));
        if (link->position > position || (link->position == position && seen++ == index)) {
            insertAt = i;
            break;
        }
    }
    auto* link = new Link{position, child};
    if (insertAt == childLinks_.GetItemCount()) {
        childLinks_.AddItem(link);
    } else {
        // Tav_List has no insert: shift the tail by one.
        childLinks_.AddItem(nullptr);
        for (int i = childLinks_.GetItemCount() - 1; i > insertAt; --i)
            childLinks_.SetItem(childLinks_.GetItem(i - 1), i);
        childLinks_.SetItem(link, insertAt);
    }
    return index;
}

int Tav_Channel::RemoveChild(Tav_Channel* child)
{
    int removed = 0;
    for (int i = childLinks_.GetItemCount() - 1; i >= 0; --i) {
        auto* link = static_cast<Link*>(childLinks_.GetItem(i));
        if (link->child == child) {
            delete link;
            childLinks_.RemoveItem(i);
            ++removed;
        }
    }
    return removed;
}

bool Tav_Channel::CheckRenderCount()
{
    if (ignoreTreeCount_)
        return true;
    const unsigned long frame = host_ ? host_->GetFrameCount() : 0;
    if (lastRenderFrame_ == frame)
        return false;
    lastRenderFrame_ = frame;
    return true;
}

void Tav_Channel::AddChannelGuidDepend(_GUID type, Tav_List* list)
{
    if (list)
        list->AddItem(new _GUID(type));
}
