#include "config/RecordFormats.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "platform/Error.h"
#include "platform/EventLog.h"
#include "platform/FormatSeconds.h"
#include "platform/MessageSink.h"
#include "platform/TimeSource.h"
#include "recorder/LogHeader.h"
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

namespace {

int secondOfDay(const QDateTime& t)
{
    return t.time().msecsSinceStartOfDay() / 1000;
}

} // namespace

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
            m_services.messages.ShowMessage(
                Error(ErrorNumber::Unexpected,
                      QStringLiteral("The clock of the recorder met an unexpected failure and goes on: %1")
                          .arg(QString::fromLocal8Bit(e.what()))));
        }
    }
    m_tickFailureReported = true;
}

void Menu::clockTick()
{
    TimeSource& clock = m_services.clock;

    // 1. Pause after StopDelay seconds without activity; the input keeps running.
    const double t = clock.secondsSinceMidnight();
    if (std::abs(t - m_state.LastActivityTime) >= m_settings.StopDelay && m_settings.StartPauseMode != ModeOff
        && m_state.IsRecording) {
        if (!m_state.InStandby) m_services.events.note(QStringLiteral("Paused: no activity for %1 s").arg(m_settings.StopDelay));
        WaveFile->setEnabled(false);
        m_state.InStandby = true;
        setRecordButton(QStringLiteral("Standby"), 0x0080FFFF);
    }

    // 2. The recorded time, and the log's header kept current in its first seconds.
    if (WaveIn->state() == WaveInput::Recording) {
        m_state.ElapsedSeconds = static_cast<std::int32_t>(roundHalfEven(WaveFile->positionMs() / 1000.0));
        const std::int32_t e = m_state.ElapsedSeconds;
        if (e == 2 || e == 4 || e == 6 || e == 8) {
            // A refresh that fails is skipped: the writer keeps the header current by itself.
            (void)refreshLogHeader(m_state.CurrentLogPath);
        }
        lblTimer->setText(FormatSeconds(m_state.ElapsedSeconds));
    }

    // 3. Weekday, date and time.
    lblClock->setText(QLocale().toString(clock.now(), QStringLiteral("dddd  MM/dd/yyyy  HH:mm:ss")));

    // 4. Midnight: the new day's file at 00:00:01.
    const QDateTime now = clock.now();
    const QDate today = now.date();
    const bool newDay = m_lastTickDate.isValid() && today > m_lastTickDate;
    const int second = secondOfDay(now);
    if (!Timer1->isActive() && (second == 1 || (newDay && second > 1)))
        rollOver();

    // 5. Noon: the afternoon file of the largest format.
    if (splitsAtNoon(m_settings.RecordFormat) && secondOfDay(clock.now()) == 43200 && !Timer1->isActive())
        rollOver();

    // 6. The purge of the expired day, 1.5 s after 00:00:30.
    const int purgeSecond = secondOfDay(clock.now());
    if (!Timer2->isActive() && (purgeSecond == 30 || (newDay && purgeSecond > 30)))
        Timer2->start();
    m_lastTickDate = today;

    // 7. The remote-control contacts.
    if (m_startPause)
        m_startPause->PollRemoteControl();
}

void Menu::rollOver()
{
    Timer1->start();
    WaveFile->setEnabled(false);
    const bool wasRecording = m_state.IsRecording;
    // The writer's stopped notification clears IsRecording before stop() returns, so RecordLog
    // starts the new file; the device itself keeps capturing and hands its audio to that file.
    WaveIn->stop();
    if (wasRecording) m_services.events.note(QStringLiteral("Roll-over: closed %1, %2 bytes").arg(QDir::toNativeSeparators(m_state.CurrentLogPath)).arg(QFileInfo(m_state.CurrentLogPath).size()));
    GetLogName();
    RecordLog();
}

void Menu::Timer1_Timer()
{
    Timer1->stop();
}

void Menu::Timer2_Timer()
{
    for (const QString& gone : PurgeOldLogs(m_services.volumes, m_settings, m_services.clock)) m_services.events.note(QStringLiteral("Purge: deleted ") + QDir::toNativeSeparators(gone));
    Timer2->stop();
}

void Menu::resumeFromStandby()
{
    WaveFile->setEnabled(true);
    m_services.events.note(QStringLiteral("Resumed"));
    setRecordButton(QStringLiteral("Recording"), 0x000000FF);
}

} // namespace wendmoor
