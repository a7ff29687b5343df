#pragma once
// The runner reaches channels only through abstract interfaces (host/siblings), found on the channel the
// host made with dynamic_cast. It links no channel library: a channel's class is its library's business.

#include "app/InputError.h"
#include "host/Tav_Channel.h"

#include <string>

namespace vex::app {

/// The interface of channel, or null (null channel, or a library whose channel does not offer it).
template <class Interface> Interface* FindInterface(Tav_Channel* channel) { return dynamic_cast<Interface*>(channel); }

/// The interface of a channel the host made for a type that offers it; a library that does not is a
/// broken installation, said in one line.
template <class Interface> Interface& RequireInterface(Tav_Channel& channel, const char* what)
{
    if (auto* found = dynamic_cast<Interface*>(&channel))
        return *found;
    throw RunError(std::string("channel library of \"") + channel.GetChannelName() + "\" does not offer " + what);
}

} // namespace vex::app
