#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace wendmoor {

// The playback window's values that live for the whole run, across closing and reopening the
// window, and the process-wide "playing" flag. Owned by the application, passed to each
// playback window it opens. Everything is zero (false, empty) at program start.
struct PlaybackMemory {
    bool IsPaused = false;
    QString PlayPath;
    // Slider window width per range index, in ms: 0 the whole file, 1 to 5 the range options,
    // 6 to 8 the last-N-seconds modes.
    std::array<std::int32_t, 9> RangeWidth {};
    std::int16_t RangeIndex = 0;
    std::int32_t RepeatPoint = 0;
    // The memory buttons use entries 1 to 4.
    std::array<std::int32_t, 10> MemoryPoint {};
    bool IsPlaying = false;
};

} // namespace wendmoor
