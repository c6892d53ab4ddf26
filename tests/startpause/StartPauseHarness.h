#pragma once

#include "TestServices.h"
#include "config/Settings.h"
#include "platform/MessageSink.h"
#include "platform/PortInput.h"
#include "platform/TimeSource.h"
#include "recorder/RecorderState.h"
#include "startpause/StartPause.h"

#include <QTime>

#include <cstdlib>

namespace wendmoor::test {

// The start/pause control on fake services, with a clock tick that pauses as the main window's
// does: the writer goes off once LastActivityTime is StopDelay seconds old, then the remote
// control is polled. `writerOn` stands for the file writer the resume callback switches on.
struct StartPauseHarness {
    explicit StartPauseHarness(PortInput* ports = nullptr)
        : control(settings, state, ts.clock, ports ? *ports : static_cast<PortInput&>(ts.ports), ts.messages, [this] {
            ++resumes;
            writerOn = true;
        })
    {
        setTime(10, 0, 0);
    }

    void setTime(int h, int m, int s, int ms = 0) { ts.clock.set(QDate(2026, 12, 6), QTime(h, m, s, ms)); }

    // A running recording, already paused.
    void recordingInStandby()
    {
        state.IsRecording = true;
        state.InStandby = true;
        writerOn = false;
    }

    void tick()
    {
        const double elapsed = std::abs(ts.clock.secondsSinceMidnight() - state.LastActivityTime);
        if (elapsed >= settings.StopDelay && settings.StartPauseMode != 0 && state.IsRecording) {
            writerOn = false;
            state.InStandby = true;
        }
        control.PollRemoteControl();
    }

    // Ticks every 100 ms for `ms` milliseconds.
    void run(int ms)
    {
        for (int t = 0; t < ms; t += 100) {
            ts.clock.advanceMs(100);
            tick();
        }
    }

    TestServices ts;
    Settings settings;
    RecorderState state;
    int resumes = 0;
    bool writerOn = false;
    StartPause control;
};

} // namespace wendmoor::test
