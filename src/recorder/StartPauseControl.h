#pragma once

namespace wendmoor {

// What the recorder asks of the start/pause control. Declared here so that the recorder does not
// depend on it; the application connects an implementation.
class StartPauseControl {
public:
    virtual ~StartPauseControl() = default;
    // An input buffer above the VOX threshold (the recording chain checks the level), on the
    // user-interface thread.
    virtual void onVoxActivity() = 0;
    // Every clock tick, after everything else the tick does.
    virtual void PollRemoteControl() = 0;
};

} // namespace wendmoor
