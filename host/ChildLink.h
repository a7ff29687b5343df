#pragma once
// The one rule for turning a linked or looked-up channel into the interface a library needs.
//
// A declared link only accepts channels whose type or base type is the link's (Tav_Channel::SetChild), but
// that GUID is what a library says about itself, not proof of its C++ class. So the pointer is always
// turned with dynamic_cast, which gives null on a channel of another class instead of a pointer to the
// wrong object; callers treat null like a missing link.

#include "host/Tav_Channel.h"

namespace vex {

/// The channel as Interface, or null when it is null or of another class.
template <class Interface> Interface* AsInterface(Tav_Channel* channel) { return dynamic_cast<Interface*>(channel); }

/// The index-th child at link position `position` as Interface, or null (no such child, or another class).
template <class Interface> Interface* LinkedChild(const Tav_Channel& parent, int position, int index = 0)
{
    return AsInterface<Interface>(parent.GetChildFromLinkPosition(position, index));
}

} // namespace vex
