#include "host/siblings/Tav_PolygonRevisionInterface.h"

#include <atomic>

namespace vex {

uint64_t NewPolygonRevision()
{
    static std::atomic<uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

} // namespace vex
