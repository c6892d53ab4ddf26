#include "platform/Error.h"
#include "platform/EventLog.h"
#include "platform/FormatSeconds.h"
#include "platform/MessageSink.h"
#include "platform/TimeSource.h"
#include "recorder/Menu.h"
#include "recorder/PurgeOldLogs.h"
#include "recorder/StartPauseControl.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <cmath>

namespace wendmoor {

void Menu::TmrClock_Timer()
{
    // Nothing in the tick may end the program: an unattended recorder that quits loses audio.
    try {
        clockTick();
        m_tickFailureReported = false;
        return;
    } catch (const Error& e) {
        if (!m_tickFailureReported)
            m_services.messages.ShowMessage(e);
    } catch (const std::exception& e) {
        if (!m_tickFailureReported) {
            m_services.messages.ShowMessage(Error(ErrorNumber::Unexpected,
                QStringLiteral("The clock of the recorder met an unexpected failure and goes on: %1")
                    .arg(QString::fromLocal8Bit(e.what()))));
        }
    }
    m_tickFailureReported = true;
}

void Menu::clockTick()
{
    const QDateTime now = m_services.clock.now();
    m_chain->setVoxThreshold(m_settings.StartPauseMode == ModeVox ? m_settings.Threshold : -1);
    const bool inputRecording = m_chain->isInputRecording();
    if (inputRecording)
        m_state.ElapsedSeconds = static_cast<std::int32_t>(roundHalfEven(m_chain->positionMs() / 1000.0));
    const ClockActions actions = m_rules.tick(now, m_settings, m_state, inputRecording);

    if (actions.pause) {
        if (!m_state.InStandby)
            m_services.events.note(QStringLiteral("Paused: no activity for %1 s").arg(m_settings.StopDelay));
        m_chain->pause();
        m_state.InStandby = true;
        setRecordButton(QStringLiteral("Standby"), 0x0080FFFF);
    }
    if (actions.resume) {
        resumeFromStandby();
        m_state.InStandby = false;
    }
    if (actions.noContactInput) {
        m_services.messages.ShowMessage(Error(ErrorNumber::InvalidArgument,
            QStringLiteral("The start/pause mode waits for the remote-control contacts, but Remote Control is Off: "
                           "the recorder does not pause. Choose an input for the contacts, or another mode, in "
                           "Setup, My Preferences.")));
    }
    if (actions.refreshHeader)
        m_chain->refreshHeader();
    if (inputRecording && m_state.ElapsedSeconds != m_shownElapsed) {
        m_shownElapsed = m_state.ElapsedSeconds;
        lblTimer->setText(FormatSeconds(m_state.ElapsedSeconds));
    }
    if (now.toSecsSinceEpoch() != m_shownClockSecond) {
        m_shownClockSecond = now.toSecsSinceEpoch();
        lblClock->setText(QLocale().toString(now, QStringLiteral("dddd  MM/dd/yyyy  HH:mm:ss")));
    }
    if (actions.rollOver)
        rollOver();
    keepRecording(now);
    if (actions.purge)
        Timer2_Timer();
    if (m_startPause)
        m_startPause->PollRemoteControl();
}

void Menu::rollOver()
{
    // The writer's stopped notification has cleared IsRecording when stop() returns, so RecordLog
    // starts the new file; the device itself keeps capturing and hands its audio to that file.
    const bool wasRecording = m_state.IsRecording;
    m_chain->stop(/*keepDevice=*/true);
    if (wasRecording) {
        m_services.events.note(QStringLiteral("Roll-over: closed %1, %2 bytes")
                                   .arg(QDir::toNativeSeparators(m_state.CurrentLogPath))
                                   .arg(QFileInfo(m_state.CurrentLogPath).size()));
    }
    m_shouldRecord = true;
    m_retrying = m_notRecordingSince.isValid();
    GetLogName();
    RecordLog();
    m_retrying = false;
    m_chain->releaseDevice();
}

void Menu::Timer2_Timer()
{
    QStringList kept;
    for (const QString& gone : PurgeOldLogs(m_services.volumes, m_settings, m_services.clock, &kept))
        m_services.events.note(QStringLiteral("Purge: deleted ") + QDir::toNativeSeparators(gone));
    for (const QString& note : kept)
        m_services.events.note(note);
}

void Menu::resumeFromStandby()
{
    m_chain->resume();
    m_services.events.note(QStringLiteral("Resumed"));
    setRecordButton(QStringLiteral("Recording"), 0x000000FF);
}

} // namespace wendmoor
