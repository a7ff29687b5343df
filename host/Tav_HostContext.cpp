#include "host/Tav_HostContext.h"

#include <iostream>
#include <string>

void Tav_DebugMessage::operator()(const char* text) const
{
    const std::string message = text ? text : "";
    if (sink_)
        sink_(message);
    else
        std::cerr << message << '\n';
}

void Tav_DebugMessage::operator()(const char* text, int value) const
{
    const std::string message = std::string(text ? text : "") + " " + std::to_string(value);
    (*this)(message.c_str());
}

Tav_MessageCapture::Tav_MessageCapture(Tav_DebugMessage& target) : target_(target), previous_(target.sink_)
{
    target_.sink_ = [this](const std::string& text) { held_.push_back(text); };
}

Tav_MessageCapture::~Tav_MessageCapture()
{
    if (!restored_)
        target_.sink_ = previous_;
}

std::string Tav_MessageCapture::Join(const std::string& lead) const
{
    std::string text = lead;
    for (const std::string& message : held_)
        text += ": " + message;
    return text;
}

void Tav_MessageCapture::Forward()
{
    target_.sink_ = previous_;
    restored_ = true;
    for (const std::string& message : held_)
        target_(message.c_str());
}

namespace vex {

namespace {
thread_local Tav_HostContext* tConstructionHost = nullptr;
thread_local const ChannelType* tConstructionType = nullptr;
} // namespace

ScopedConstructionHost::ScopedConstructionHost(Tav_HostContext* host, const ChannelType* record)
    : previous_(tConstructionHost), previousType_(tConstructionType)
{
    tConstructionHost = host;
    tConstructionType = record;
}

ScopedConstructionHost::~ScopedConstructionHost()
{
    tConstructionHost = previous_;
    tConstructionType = previousType_;
}

Tav_HostContext* ScopedConstructionHost::Current() { return tConstructionHost; }

const ChannelType* ScopedConstructionHost::CurrentType() { return tConstructionType; }

} // namespace vex
