#include "startpause/StartPause.h"

#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/PortInput.h"
#include "platform/Services.h"
#include "platform/TimeSource.h"
#include "startpause/ContactDecoding.h"

#include <cstdlib>
#include <utility>

namespace wendmoor {

StartPause::StartPause(Settings& settings, RecorderState& state, TimeSource& clock, PortInput& ports,
    MessageSink& messages, std::function<void()> resume)
    : m_settings(settings)
    , m_state(state)
    , m_clock(clock)
    , m_ports(ports)
    , m_messages(messages)
    , m_resume(std::move(resume))
{
}

StartPause::StartPause(Settings& settings, RecorderState& state, Services& services, std::function<void()> resume)
    : StartPause(settings, state, services.clock, services.ports, services.messages, std::move(resume))
{
}

void StartPause::onVoxActivity()
{
    if (m_settings.StartPauseMode != ModeVox)
        return;
    if (m_state.InStandby)
        resumeFromStandby();
    markActivity();
}

void StartPause::PollRemoteControl()
{
    const std::int16_t source = m_settings.RemoteControl;
    // Only the two known inputs are read; any other value is taken as "Off".
    if (source == RemoteParallelPort)
        m_remoteInput = remoteInputValue(source,
            readPort(RemoteInputSource::ParallelStatusAddress, RemoteInputSource::ParallelIdleByte,
                m_parallelFailureReported));
    else if (source == RemotePrairieCard)
        m_remoteInput = remoteInputValue(source,
            readPort(RemoteInputSource::PrairieCardAddress, RemoteInputSource::PrairieIdleByte, m_cardFailureReported));
    else
        return;

    const ContactReading contacts = peelContacts(source, m_remoteInput);
    m_remoteInput = contacts.remainder;
    const std::int16_t mode = m_settings.StartPauseMode;
    if (contacts.record) {
        if (mode == ModeMomentary)
            m_momentaryLatch = true;
        if (m_state.IsRecording && (mode == ModeMomentary || mode == ModeContinous)) {
            markActivity();
            if (m_state.InStandby)
                resumeFromStandby();
        }
    }
    if (contacts.pause)
        m_momentaryLatch = false;
    if (m_momentaryLatch)
        markActivity();
}

std::uint8_t StartPause::readPort(int address, std::uint8_t idleByte, bool& reported)
{
    try {
        const std::uint8_t byte = m_ports.Inp(address);
        reported = false;
        return byte;
    } catch (const Error& e) {
        // A remote control that silently does nothing would look like one that works: say so once.
        if (!reported) {
            reported = true;
            m_messages.ShowMessage(
                Error(e.number(), e.description() + QStringLiteral("; the remote control reads as no contact closed")));
        }
        return idleByte;
    }
}

void StartPause::resumeFromStandby()
{
    try {
        m_resume();
        m_state.InStandby = false;
    } catch (const Error& e) {
        // Left in Standby, so that the next activity tries again.
        m_messages.ShowMessage(e);
    }
}

void StartPause::markActivity()
{
    m_state.LastActivityTime = m_clock.roundedSecondsSinceMidnight();
}

} // namespace wendmoor
