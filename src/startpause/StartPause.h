#pragma once

#include "config/Settings.h"
#include "recorder/RecorderState.h"
#include "recorder/StartPauseControl.h"

#include <cstdint>
#include <functional>

namespace wendmoor {

class MessageSink;
class PortInput;
class TimeSource;
struct Services;

// Resumes a paused recording and keeps it from pausing, by the input level ("VOX") or by the two
// remote-control contacts. It only moves LastActivityTime and resumes: the pause itself is the
// clock's check of LastActivityTime against StopDelay. Everything runs on the user-interface
// thread; the input level is checked by the recording chain, which resumes the writer itself
// with the buffer that was loud and then tells this control.
class StartPause final : public StartPauseControl {
public:
    // `resume` switches the file writer back on and shows "Recording" on the Record button; it is
    // called when activity arrives while the recording is in Standby.
    StartPause(Settings& settings, RecorderState& state, TimeSource& clock, PortInput& ports, MessageSink& messages,
        std::function<void()> resume);
    StartPause(Settings& settings, RecorderState& state, Services& services, std::function<void()> resume);

    // In "VOX" mode: a buffer whose loudest sample is above Threshold arrived.
    void onVoxActivity() override;
    // Reads the chosen remote-control input and turns its contacts into activity.
    void PollRemoteControl() override;

    // The last value read from the remote-control input, as left by the bit peeling.
    [[nodiscard]] std::int16_t RemoteInput() const noexcept { return m_remoteInput; }
    // Set by the record contact in "Momentary" mode, cleared by the pause contact; kept across
    // mode changes, and while set it refreshes LastActivityTime on every poll.
    [[nodiscard]] bool MomentaryLatch() const noexcept { return m_momentaryLatch; }

private:
    [[nodiscard]] std::uint8_t readPort(int address, std::uint8_t idleByte, bool& reported);
    void resumeFromStandby();
    void markActivity();

    Settings& m_settings;
    RecorderState& m_state;
    TimeSource& m_clock;
    PortInput& m_ports;
    MessageSink& m_messages;
    std::function<void()> m_resume;

    std::int16_t m_remoteInput = 0;
    bool m_momentaryLatch = false;
    // A port that cannot be read is reported once until it can be read again, not on every tick.
    bool m_parallelFailureReported = false;
    bool m_cardFailureReported = false;
};

} // namespace wendmoor
