#include "playback/TransportLogic.h"

#include "platform/TimeSource.h"

#include <algorithm>
#include <limits>

namespace wendmoor::transport {

std::int32_t addMs(std::int64_t a, std::int64_t b)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        a + b, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

LoadPlan planLoad(int rangeIndex, std::int32_t width, std::int32_t length)
{
    if (rangeIndex == kTotal)
        return { { 0, length }, std::nullopt };
    if (rangeIndex <= kLastRangeOption)
        return { { 0, width }, std::nullopt };
    const std::int32_t start = addMs(length, -static_cast<std::int64_t>(width));
    return { { start, length }, start };
}

bool rangeOptionEnabled(int option, std::int32_t length)
{
    if (option == kTotal)
        return true;
    if (option < 1 || option > kLastRangeOption)
        return false;
    return length > kRangeOptionWidths[static_cast<std::size_t>(option - 1)];
}

std::optional<std::int32_t> fastForward(std::int32_t position, std::int32_t width, std::int32_t length)
{
    const std::int64_t target = static_cast<std::int64_t>(position) + width;
    if (target < length)
        return static_cast<std::int32_t>(target);
    return std::nullopt;
}

std::optional<std::int32_t> rewind(std::int32_t position, std::int32_t width)
{
    const std::int64_t target = static_cast<std::int64_t>(position) - width;
    if (target > 0)
        return static_cast<std::int32_t>(target);
    return std::nullopt;
}

std::optional<SliderWindow> page(std::int32_t playerPosition, SliderWindow window, std::int32_t width)
{
    if (playerPosition < window.maximum)
        return std::nullopt;
    return SliderWindow { playerPosition, addMs(playerPosition, width) };
}

std::int32_t elapsedSeconds(std::int32_t position)
{
    return static_cast<std::int32_t>(roundHalfEven(position / 1000.0));
}

std::int32_t remainingSeconds(std::int32_t length, std::int32_t position)
{
    return static_cast<std::int32_t>(roundHalfEven((static_cast<double>(length) - position) / 1000.0));
}

LastN endButton(int index)
{
    switch (index) {
    case 1:
        return { 6, 5000 };
    case 2:
        return { 7, 10000 };
    default:
        return { 8, 20000 };
    }
}

LastN popupItem(int seconds)
{
    switch (seconds) {
    case 5:
        return { 6, 5000 };
    case 10:
        return { 8, 10000 };
    default:
        return { 7, 20000 };
    }
}

} // namespace wendmoor::transport
