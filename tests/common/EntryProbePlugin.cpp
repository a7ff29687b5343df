// A plug-in built from the real entry-point macro, with counters so the tests can see what InitDLL and the
// destructor did. PROBE_GUID names the library (two copies are built: one is only ever peeked at fresh).
#include "common/PluginEntry.h"
#include "host/Tav_Channel.h"

#include <cstdint>
#include <stdexcept>

namespace {

int gConstructed = 0;
int gDestroyed = 0;
bool gThrowInConstructor = false;

class ProbeChannel final : public Tav_Channel {
public:
    ProbeChannel()
    {
        if (gThrowInConstructor)
            throw std::runtime_error("probe constructor fails on request");
        SetChannelName("Entry Probe");
        for (int i = 0; i < kWords; ++i)
            words_[i] = kPattern ^ static_cast<uint32_t>(i);
        ++gConstructed;
    }
    ~ProbeChannel() override
    {
        ++gDestroyed;
        for (uint32_t& w : words_)
            w = 0;
    }
    void SetChannelInterfaceType(int type) override { interfaceType_ = type; }

    /// Whether every word still holds its pattern (memory not overwritten or freed).
    bool Intact() const
    {
        for (int i = 0; i < kWords; ++i)
            if (words_[i] != (kPattern ^ static_cast<uint32_t>(i)))
                return false;
        return true;
    }
    int interfaceType_ = 0;

private:
    static constexpr int kWords = 64;
    static constexpr uint32_t kPattern = 0x5EC0FFEEu;
    uint32_t words_[kWords];
};

} // namespace

VEX_CHANNEL_PLUGIN(ProbeChannel, "Entry Probe", PROBE_GUID, "0000ABCD-0000-4000-8000-0000000000BA")

extern "C" __attribute__((visibility("default"))) int ProbeConstructed() { return gConstructed; }
extern "C" __attribute__((visibility("default"))) int ProbeDestroyed() { return gDestroyed; }
extern "C" __attribute__((visibility("default"))) void ProbeThrowInConstructor(bool on) { gThrowInConstructor = on; }
extern "C" __attribute__((visibility("default"))) bool ProbeIntact(Tav_Channel* channel)
{
    return static_cast<ProbeChannel*>(channel)->Intact();
}
extern "C" __attribute__((visibility("default"))) int ProbeInterfaceType(Tav_Channel* channel)
{
    return static_cast<ProbeChannel*>(channel)->interfaceType_;
}
