#pragma once

#include <cstdint>
#include <span>

namespace wendmoor {

// What the recorder asks of the start/pause control. Declared here so that the recorder does not
// depend on it; the application connects an implementation.
class StartPauseControl {
public:
    virtual ~StartPauseControl() = default;
    // Every input buffer, on the user-interface thread, while the input runs.
    virtual void onInputBuffer(std::span<const std::int16_t> samples) = 0;
    // Every clock tick, after everything else the tick does.
    virtual void PollRemoteControl() = 0;
};

} // namespace wendmoor
