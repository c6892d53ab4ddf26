#include "startpause/ContactDecoding.h"

#include "config/Settings.h"

namespace wendmoor {

std::int16_t remoteInputValue(std::int16_t source, std::uint8_t byte) noexcept
{
    if (source == RemoteParallelPort)
        return static_cast<std::int16_t>(127 - static_cast<int>(byte));
    return static_cast<std::int16_t>(byte);
}

ContactReading peelContacts(std::int16_t source, std::int16_t value) noexcept
{
    ContactReading r;
    int v = value;
    auto peel = [&v](int weight) {
        if (v < weight)
            return false;
        v -= weight;
        return true;
    };
    peel(128);
    peel(64);
    r.record = peel(32);
    r.pause = peel(16);
    if (source == RemotePrairieCard) {
        peel(4);
        peel(2);
        peel(1);
    }
    r.remainder = static_cast<std::int16_t>(v);
    return r;
}

} // namespace wendmoor
