#pragma once

#include "config/Settings.h"
#include "platform/BackgroundWork.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/Services.h"
#include "recorder/ClockRules.h"
#include "recorder/RecorderState.h"
#include "recorder/RecordingChain.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QTimer;

namespace wendmoor {

class StartPauseControl;

// What the recorder shows on its Record button.
enum class RecorderStatus { Stopped, Recording, Standby };

// Why audio stopped going into a log.
enum class StopReason {
    Operator, // Stop
    StandbyVox, // no input above the threshold for StopDelay seconds
    StandbyContacts, // the remote-control contacts paused it
    RollOver, // the day's (or afternoon's) log was closed for the next one
    WriteFailed, // the log could not be written (full disk, deleted, moved)
    InputLost, // the sound input stopped delivering (its outage is written as silence later)
    ProgramEnd, // Exit, the close box or a shutdown
};

// The recorder without a window: the recording chain, the clock's rules carried out on every
// tick (pause, resume, roll-over, header refresh, the purge's timing), where a log goes and the
// retry while it should record and does not. It runs on the user-interface thread and says what
// happened through its signals; the main window draws them and passes its clicks on.
class Recorder final : public QObject {
    Q_OBJECT
public:
    Recorder(Services& services, Settings& settings, RecorderState& state, QObject* parent = nullptr);
    ~Recorder() override;

    // Start-up: load the settings, then start recording when the settings ask for it
    // (StartOnLoad exactly 1).
    void initialize();
    // The operator's Record and Stop.
    void record();
    void stop();
    // The end of the program: whatever the device captured up to now goes into the file, the
    // clock stops and nothing records any more.
    void shutdown();

    // While the recorder should record (Record, start-up or the day's roll-over, not Stop) and
    // does not (a failed start, a failed write), it tries again this often: quietly, into the
    // next free name, and says once it records again and how long nothing was recorded.
    void setRetryInterval(int milliseconds) { m_retryIntervalMs = milliseconds; }

    // Sets CurrentLogPath to the name of the present day (and half day for format 5).
    void GetLogName();
    // Starts the recording chain into CurrentLogPath.
    void RecordLog();

    void setStartPauseControl(StartPauseControl* control) { m_startPause = control; }

    // The clock, every 100 ms (the timer below, or a test): carries out what ClockRules say.
    // Nothing in it ends the program; a failure is reported once until a tick succeeds again.
    void tick();
    // The purge of the expired day, when the clock's rules say it is due: on the background
    // thread, its event-log lines after it.
    void purge();
    // Where the purge runs (tests wait for it with finish()).
    [[nodiscard]] BackgroundWork& background() { return m_background; }
    // Activity arrived while in Standby: the writer takes the audio again.
    void resumeFromStandby();

    // The clock's 100-ms timer (started with the recorder; tests stop it and tick by hand).
    [[nodiscard]] QTimer& clockTimer() { return *m_clock; }
    [[nodiscard]] RecordingChain& chain() { return *m_chain; }
    [[nodiscard]] RecorderStatus status() const { return m_status; }
    // The operator (or the start-up, or the roll-over) wants it recording, until Stop.
    [[nodiscard]] bool shouldRecord() const { return m_shouldRecord; }

signals:
    // The Record button's state.
    void statusChanged(wendmoor::RecorderStatus status);
    // The two texts that describe the recording format, when a recording starts.
    void formatChanged(const QString& name, const QString& details);
    // The recorded time of the current log, in whole seconds, when it changes.
    void elapsedChanged(std::int32_t seconds);
    // Every tick, with the time read for it.
    void ticked(const QDateTime& now);
    // The loudest sample (0 to 32768) of the input since the last level.
    void level(int peak);
    // Every message the recorder and its chain gave the operator (also in the message window).
    void message(const QString& text);

    // Audio goes into the log `path` from `firstSample` on: a new log, or the same log after a
    // Standby or a lost input.
    void audioStarted(const QString& path, const QDateTime& firstSample);
    // Audio stopped going into `path` at `at`, for `reason`.
    void audioStopped(const QString& path, wendmoor::StopReason reason, const QDateTime& at);
    // It should record and does not, since `since` (a failed start or write); and again recording.
    void notRecording(const QDateTime& since);
    void recordingAgain(const QDateTime& since, const QDateTime& now);
    // The sound input stopped delivering audio, and delivers again.
    void inputLost();
    void inputBack();

private:
    class Messages;

    void clockTick();
    void rollOver();
    void keepRecording(const QDateTime& now);
    void onStarted();
    void onStopped(const QString& path, qint64 bytes);
    void onStartFailed(const Error& error);
    void reportStartFailure(const Error& e, bool retrying);
    void recordAgainIfAsked();
    void setStatus(RecorderStatus status);
    void endAudio(StopReason reason);

    Services& m_services;
    Settings& m_settings;
    RecorderState& m_state;
    std::unique_ptr<Messages> m_messages;
    StartPauseControl* m_startPause = nullptr;
    ClockRules m_rules;
    std::unique_ptr<RecordingChain> m_chain;
    QTimer* m_clock;
    RecorderStatus m_status = RecorderStatus::Stopped;
    bool m_shouldRecord = false;
    // An existing log of the day is replaced only after asking: since the operator's Record, or
    // from the start when the settings do not start recording with the program. Later changes of
    // StartOnLoad (the preferences reading the file again) do not move it.
    bool m_askBeforeReplacing = false;
    bool m_retrying = false;
    // A question of RecordLog is open (its own event loop runs the clock meanwhile): the retry
    // and the roll-over wait for its answer.
    bool m_asking = false;
    bool m_rollOverDue = false;
    // A start has been given to the chain and its outcome (started or failed) has not come back.
    bool m_starting = false;
    // ...and it was a retry's (quiet once the failure has been said).
    bool m_startRetrying = false;
    // Stop (or the end) came while it was starting.
    bool m_startCancelled = false;
    // ...and then Record: it records once that start has ended.
    bool m_recordAgain = false;
    // The roll-over's closed log, noted with its length when the writer has closed it.
    QString m_closingNote;
    int m_retryIntervalMs = 5000;
    QDateTime m_notRecordingSince;
    // Audio in no log during this outage, and since when no device has captured.
    qint64 m_lostMs = 0;
    QDateTime m_noDeviceSince;
    // What keeps the recorder from recording has been said (once per outage).
    bool m_failureSaid = true;
    // The number of the last message said (0 for one without a number).
    int m_lastNumber = 0;
    QDateTime m_lastRetry;
    std::int32_t m_shownElapsed = -1;
    // The log audio goes into, while it does (empty otherwise).
    QString m_audioPath;
    // A failing tick is reported once, not ten times a second, until a tick succeeds again.
    bool m_tickFailureReported = false;
    // Last: goes first, so that nothing it gives back reaches a recorder being destroyed.
    BackgroundWork m_background;
};

} // namespace wendmoor
