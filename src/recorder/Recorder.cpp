#include "recorder/Recorder.h"

#include "archive/LogNames.h"
#include "archive/PurgeOldLogs.h"
#include "config/RecordFormats.h"
#include "media/LogRepair.h"
#include "platform/Error.h"
#include "platform/EventLog.h"
#include "platform/Prompt.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "recorder/LogPlacement.h"
#include "recorder/StartPauseControl.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>

namespace wendmoor {

// Every message of the recorder and its chain goes to the message window and out as a signal.
class Recorder::Messages final : public MessageSink {
public:
    explicit Messages(Recorder& recorder)
        : m_recorder(recorder)
    {
    }
    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override
    {
        m_recorder.m_lastNumber = text.section(QLatin1Char(' '), 0, 0).toInt();
        m_recorder.m_services.messages.ShowMessage(text);
        emit m_recorder.message(text);
    }

private:
    Recorder& m_recorder;
};

Recorder::Recorder(Services& services, Settings& settings, RecorderState& state, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_settings(settings)
    , m_state(state)
    , m_messages(std::make_unique<Messages>(*this))
    , m_chain(std::make_unique<RecordingChain>(services.audio, *m_messages))
    , m_clock(new QTimer(this))
{
    m_chain->setObjectName(QStringLiteral("chain"));
    connect(m_chain.get(), &RecordingChain::level, this, &Recorder::level);
    connect(m_chain.get(), &RecordingChain::voxActivity, this, [this] {
        if (m_startPause)
            m_startPause->onVoxActivity();
    });
    connect(m_chain.get(), &RecordingChain::started, this, &Recorder::onStarted);
    connect(m_chain.get(), &RecordingChain::stopped, this, &Recorder::onStopped);
    connect(m_chain.get(), &RecordingChain::startFailed, this, &Recorder::onStartFailed);
    connect(m_chain.get(), &RecordingChain::inputLost, this, [this] {
        endAudio(StopReason::InputLost);
        emit inputLost();
    });
    connect(m_chain.get(), &RecordingChain::inputBack, this, [this] {
        if (m_state.IsRecording && !m_state.InStandby && m_audioPath.isEmpty()) {
            m_audioPath = m_state.CurrentLogPath;
            emit audioStarted(m_audioPath, m_services.clock.now());
        }
        emit inputBack();
    });

    m_clock->setObjectName(QStringLiteral("TmrClock"));
    m_clock->setInterval(100);
    connect(m_clock, &QTimer::timeout, this, &Recorder::tick);
    m_clock->start();
}

Recorder::~Recorder()
{
    // The file is finished while the recorder can still take the stopped notification.
    shutdown();
    m_chain->disconnect(this);
}

void Recorder::shutdown()
{
    m_clock->stop();
    m_shouldRecord = false;
    m_startCancelled = m_starting;
    m_recordAgain = false;
    // Said before the chain ends: the writer's stop it delivers is this one, not a failure.
    endAudio(StopReason::ProgramEnd);
    m_chain->shutdown();
}

void Recorder::setStatus(RecorderStatus status)
{
    m_status = status;
    emit statusChanged(status);
}

void Recorder::endAudio(StopReason reason)
{
    if (m_audioPath.isEmpty())
        return;
    emit audioStopped(std::exchange(m_audioPath, QString()), reason, m_services.clock.now());
}

void Recorder::initialize()
{
    try {
        LoadSettings(m_services.paths, m_settings, *m_messages);
    } catch (const Error& e) {
        // Without its settings the recorder still runs on the defaults, and says why.
        m_messages->ShowMessage(e);
        if (m_settings.LogDrive.isNull())
            m_settings.LogDrive = QLatin1Char('C');
    }
    m_askBeforeReplacing = m_settings.StartOnLoad == 0;
    // Logs a killed recorder left with a short header are mended before anything records.
    for (const QString& note : mendLogHeaders(m_services.volumes.archiveFolder(m_settings.LogDrive)))
        m_services.events.note(note);
    if (m_settings.StartOnLoad == 1) {
        m_shouldRecord = true;
        GetLogName();
        RecordLog();
    }
}

void Recorder::GetLogName()
{
    const QDateTime now = m_services.clock.now();
    const int second = now.time().msecsSinceStartOfDay() / 1000;
    m_state.CurrentLogPath = m_services.volumes.archiveFolder(m_settings.LogDrive) + QLatin1Char('/')
        + logFileName(now.date(), second, m_settings.RecordFormat);
}

void Recorder::RecordLog()
{
    if (m_state.IsRecording || m_starting)
        return;
    try {
        const RecordFormat* format = recordFormat(m_settings.RecordFormat);
        if (!format) {
            throw Error(ErrorNumber::InvalidArgument,
                QStringLiteral("The recording format number %1 is not one of the formats 0 to %2; choose a "
                               "format in Setup > My Preferences.")
                    .arg(m_settings.RecordFormat)
                    .arg(kRecordFormats.size() - 1));
        }

        // Asked only of the operator's own Record, never of a start or retry nobody watches.
        m_state.CurrentLogPath = placeLog(
            m_state.CurrentLogPath, m_settings.LogDrive, m_services.volumes, [this](const QString& question) {
                if (!m_askBeforeReplacing || m_retrying)
                    return false;
                m_asking = true;
                const auto answered = qScopeGuard([this] { m_asking = false; });
                return m_services.prompt.askYesNo(QStringLiteral("Wendmoor"), question);
            });

        const auto [name, details] = format->waveFormat().describe();
        emit formatChanged(name, details);

        // The device and the file are the recording thread's: the outcome comes back as started()
        // or startFailed(), and nothing else starts meanwhile.
        m_chain->configure(*format, m_settings.RecordDevice, m_state.CurrentLogPath);
        m_chain->start(m_services.clock.now());
        m_starting = true;
        m_startRetrying = m_retrying;
    } catch (const Error& e) {
        reportStartFailure(e, m_retrying);
    } catch (const std::exception& e) {
        reportStartFailure(
            Error(ErrorNumber::Unexpected,
                QStringLiteral("Recording into %1 could not start: %2")
                    .arg(QDir::toNativeSeparators(m_state.CurrentLogPath), QString::fromLocal8Bit(e.what()))),
            m_retrying);
    }
}

void Recorder::reportStartFailure(const Error& e, bool retrying)
{
    // A retry says what keeps it from recording once, unless the writer said the same.
    const bool say = !retrying || (!m_failureSaid && e.number() != m_lastNumber);
    m_failureSaid = true;
    if (say)
        m_messages->ShowMessage(e);
}

void Recorder::onStartFailed(const Error& error)
{
    m_starting = false;
    m_startCancelled = false;
    recordAgainIfAsked();
    reportStartFailure(error, m_startRetrying);
    if (m_notRecordingSince.isValid()) {
        // The retry's device waits with it; from now on nothing captures.
        m_chain->releaseDevice();
        if (!m_noDeviceSince.isValid())
            m_noDeviceSince = m_services.clock.now();
    }
}

void Recorder::onStarted()
{
    m_starting = false;
    // Stopped (or ended) while it was starting: the stop that follows ends this log at once.
    if (std::exchange(m_startCancelled, false)) {
        recordAgainIfAsked();
        return;
    }
    if (m_noDeviceSince.isValid()) {
        // What the device captured while none was kept is in no log.
        m_lostMs += m_noDeviceSince.msecsTo(m_services.clock.now());
        m_noDeviceSince = QDateTime();
    }
    m_state.IsRecording = true;
    // A new file starts with the writer on, whatever the last one ended in.
    m_state.InStandby = false;
    setStatus(RecorderStatus::Recording);
    m_audioPath = m_state.CurrentLogPath;
    emit audioStarted(m_audioPath, m_services.clock.now());
}

void Recorder::recordAgainIfAsked()
{
    // After the notification that told it: Record may ask a question, with an event loop of its own.
    if (std::exchange(m_recordAgain, false))
        QTimer::singleShot(0, this, &Recorder::record);
}

void Recorder::onStopped(const QString& path, qint64 bytes)
{
    if (!m_closingNote.isEmpty() && path == m_closingNote) {
        m_services.events.note(
            QStringLiteral("Roll-over: closed %1, %2 bytes").arg(QDir::toNativeSeparators(path)).arg(bytes));
        m_closingNote.clear();
    }
    m_state.IsRecording = false;
    // Every stop the recorder gives says why first; what is left stopped by itself.
    endAudio(StopReason::WriteFailed);
    setStatus(RecorderStatus::Stopped);
}

void Recorder::record()
{
    if (m_starting) {
        // A start on its way: a second click changes nothing; after a Stop, the recording follows
        // once that start has ended.
        m_recordAgain = m_startCancelled;
        return;
    }
    m_settings.StartOnLoad = 0;
    m_askBeforeReplacing = true;
    m_shouldRecord = true;
    GetLogName();
    RecordLog();
}

void Recorder::stop()
{
    m_shouldRecord = false;
    m_notRecordingSince = QDateTime();
    m_startCancelled = m_starting;
    m_recordAgain = false;
    // The chain's command goes first: whoever hears why the audio stopped may ask the chain
    // where, and its answer comes after the stop has run.
    m_chain->stop();
    m_state.IsRecording = false;
    endAudio(StopReason::Operator);
}

void Recorder::keepRecording(const QDateTime& now)
{
    if (!m_shouldRecord) {
        m_notRecordingSince = QDateTime();
        return;
    }
    // A start on its way: its outcome decides.
    if (m_starting)
        return;
    if (m_state.IsRecording && !m_chain->writerFailed()) {
        // Recording again only once audio reaches the new file.
        if (m_notRecordingSince.isValid() && m_chain->audioInFile()) {
            m_messages->ShowMessage(QStringLiteral("Recording again into %1; nothing was recorded for %2 seconds.")
                                        .arg(QDir::toNativeSeparators(m_state.CurrentLogPath))
                                        .arg(m_lostMs / 1000.0, 0, 'f', 1));
            emit recordingAgain(m_notRecordingSince, now);
            m_notRecordingSince = QDateTime();
        }
        return;
    }
    // A write failed or the log lost its name (reported by the writer): the file is finished and
    // the window shows it; the first new try comes at once, the device kept for it. A new log
    // that fails before audio reached it waits for the next try.
    const bool writeFailed = m_state.IsRecording;
    if (!m_notRecordingSince.isValid()) {
        m_notRecordingSince = now;
        m_lastRetry = writeFailed ? now.addMSecs(-m_retryIntervalMs) : now;
        // The writer has said why its log ended; what keeps a new one from starting is said too.
        m_failureSaid = !writeFailed;
        m_lostMs = 0;
        // A start that failed left no device capturing; a failed write keeps it for the new log.
        m_noDeviceSince = writeFailed ? QDateTime() : now;
        emit notRecording(now);
    }
    if (writeFailed) {
        m_chain->stop(/*keepDevice=*/true);
        m_state.IsRecording = false;
        endAudio(StopReason::WriteFailed);
    }
    if (m_lastRetry.msecsTo(now) < m_retryIntervalMs) {
        if (writeFailed) {
            // A new log that failed before audio reached it: the device waits with the retry.
            m_chain->releaseDevice();
            m_noDeviceSince = now;
        }
        return;
    }
    m_lastRetry = now;
    // Never replacing a file (a log of the day that exists holds what was recorded before it),
    // and quiet once the failure has been said.
    m_retrying = true;
    GetLogName();
    RecordLog();
    m_retrying = false;
    // A start on its way is told by started() or startFailed(); one that could not even be asked
    // for (no format, no place for the log) leaves the device waiting with the retry.
    if (!m_starting) {
        m_chain->releaseDevice();
        if (!m_noDeviceSince.isValid())
            m_noDeviceSince = now;
    }
}

void Recorder::tick()
{
    // Nothing in the tick may end the program: an unattended recorder that quits loses audio.
    try {
        clockTick();
        m_tickFailureReported = false;
        return;
    } catch (const Error& e) {
        if (!m_tickFailureReported)
            m_messages->ShowMessage(e);
    } catch (const std::exception& e) {
        if (!m_tickFailureReported) {
            m_messages->ShowMessage(Error(ErrorNumber::Unexpected,
                QStringLiteral("The clock of the recorder met an unexpected failure and goes on: %1")
                    .arg(QString::fromLocal8Bit(e.what()))));
        }
    }
    m_tickFailureReported = true;
}

void Recorder::clockTick()
{
    const QDateTime now = m_services.clock.now();
    m_chain->setVoxThreshold(m_settings.StartPauseMode == ModeVox ? m_settings.Threshold : RecordingChain::kNoVox);
    const bool inputRecording = m_chain->isInputRecording();
    if (inputRecording)
        m_state.ElapsedSeconds = static_cast<std::int32_t>(roundHalfEven(m_chain->positionMs() / 1000.0));
    const ClockActions actions = m_rules.tick(now, m_settings, m_state, inputRecording);

    if (actions.pause) {
        if (!m_state.InStandby)
            m_services.events.note(QStringLiteral("Paused: no activity for %1 s").arg(m_settings.StopDelay));
        m_chain->pause();
        endAudio(m_settings.StartPauseMode == ModeVox ? StopReason::StandbyVox : StopReason::StandbyContacts);
        m_state.InStandby = true;
        setStatus(RecorderStatus::Standby);
    }
    if (actions.resume) {
        resumeFromStandby();
        m_state.InStandby = false;
    }
    if (actions.noContactInput) {
        m_messages->ShowMessage(Error(ErrorNumber::InvalidArgument,
            QStringLiteral("The start/pause mode waits for the remote-control contacts, but Remote Control is Off: "
                           "the recorder does not pause. Choose an input for the contacts, or another mode, in "
                           "Setup > My Preferences.")));
    }
    if (actions.refreshHeader)
        m_chain->refreshHeader();
    if (inputRecording && m_state.ElapsedSeconds != m_shownElapsed) {
        m_shownElapsed = m_state.ElapsedSeconds;
        emit elapsedChanged(m_state.ElapsedSeconds);
    }
    emit ticked(now);
    m_rollOverDue = m_rollOverDue || actions.rollOver;
    if (!m_asking) {
        // A roll-over waits for a start on its way, as for a question.
        if (!m_starting && std::exchange(m_rollOverDue, false))
            rollOver();
        keepRecording(now);
    }
    if (actions.purge)
        purge();
    if (m_startPause)
        m_startPause->PollRemoteControl();
}

void Recorder::rollOver()
{
    // The old file is closed and the new one started by two commands in a row; the device itself
    // keeps capturing between them and hands its audio to the new file.
    const bool wasRecording = m_state.IsRecording;
    m_chain->stop(/*keepDevice=*/true);
    m_state.IsRecording = false;
    endAudio(StopReason::RollOver);
    // Noted with its length once the writer has closed it.
    if (wasRecording)
        m_closingNote = m_state.CurrentLogPath;
    m_shouldRecord = true;
    m_retrying = m_notRecordingSince.isValid();
    GetLogName();
    RecordLog();
    m_retrying = false;
    m_chain->releaseDevice();
}

void Recorder::purge()
{
    // The deleting runs on the background thread (a disk that stalls holds it, not the clock);
    // its lines reach the event log afterwards, in the order of the purges.
    m_background.post(
        [this, folder = m_services.volumes.archiveFolder(m_settings.LogDrive), days = m_settings.DaysToKeep,
            today = m_services.clock.now().date()]() -> BackgroundWork::Result {
            QStringList kept;
            QStringList notes;
            for (const QString& gone : PurgeOldLogs(folder, days, today, &kept))
                notes.append(QStringLiteral("Purge: deleted ") + QDir::toNativeSeparators(gone));
            notes += kept;
            if (notes.isEmpty())
                return {};
            return [this, notes] {
                for (const QString& note : notes)
                    m_services.events.note(note);
            };
        });
}

void Recorder::resumeFromStandby()
{
    m_chain->resume();
    m_services.events.note(QStringLiteral("Resumed"));
    setStatus(RecorderStatus::Recording);
    if (m_state.IsRecording && m_audioPath.isEmpty()) {
        m_audioPath = m_state.CurrentLogPath;
        emit audioStarted(m_audioPath, m_services.clock.now());
    }
}

} // namespace wendmoor
