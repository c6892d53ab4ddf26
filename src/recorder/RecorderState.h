#pragma once

#include <QString>

#include <cstdint>

namespace wendmoor {

// The recorder's state for the whole run: one instance, owned by the application, read and
// written by the main window, the clock and the start/pause control.
struct RecorderState {
    QString CurrentLogPath; // the log being recorded, or about to be
    bool IsRecording = false; // from the writer's started to its stopped notification
    bool InStandby = false; // paused by the start/pause control
    std::int32_t LastActivityTime = 0; // seconds since midnight of the last activity
    std::int32_t ElapsedSeconds = 0; // recorded time of the current log
};

} // namespace wendmoor
