#pragma once

#include "config/Settings.h"
#include "platform/Services.h"
#include "recorder/ClockRules.h"
#include "recorder/RecorderState.h"
#include "recorder/RecordingChain.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class QPushButton;
class QTimer;

namespace wendmoor {

class LevelMeter;
class LevelScale;
class StartPauseControl;

// The main window: the Record and Stop buttons, the recorded time, the format, the clock, the
// input level and the menu bar. It commands the recording chain (which runs on a thread of its
// own) and carries out what the clock's rules say on every tick.
class Menu final : public QMainWindow {
    Q_OBJECT
public:
    Menu(Services& services, Settings& settings, RecorderState& state, QWidget* parent = nullptr);
    ~Menu() override;

    // Start-up, before the window is first shown: load the settings, then start recording when
    // the settings ask for it (StartOnLoad exactly 1).
    void Form_Initialize();

    // While the recorder should record (Record, start-up or the day's roll-over, not Stop) and
    // does not (a failed start, a failed write), it tries again this often: quietly, into the
    // next free name, and says once it records again and how long nothing was recorded.
    void setRetryInterval(int milliseconds) { m_retryIntervalMs = milliseconds; }
    // Since when it should record and does not; invalid while it records or should not.
    [[nodiscard]] QDateTime notRecordingSince() const { return m_notRecordingSince; }

    // Sets CurrentLogPath to the name of the present day (and half day for format 5).
    void GetLogName();
    // Starts the recording chain into CurrentLogPath.
    void RecordLog();

    void setStartPauseControl(StartPauseControl* control) { m_startPause = control; }

    void cmdRecord_Click();
    void cmdStop_Click();

    // The clock, every 100 ms: carries out what ClockRules say.
    void TmrClock_Timer();
    // The purge of the expired day, when the clock's rules say it is due.
    void Timer2_Timer();
    // Activity arrived while in Standby: the writer takes the audio again.
    void resumeFromStandby();

    // The recording chain and its stages: WaveIn -> MMConnectorX1 (level meter, VOX) ->
    // ACMConverter -> WaveFile. The stages belong to the chain's thread.
    [[nodiscard]] RecordingChain& chain() { return *m_chain; }
    [[nodiscard]] WaveInput& WaveIn() { return m_chain->input(); }
    [[nodiscard]] Connector& MMConnectorX1() { return m_chain->connector(); }
    [[nodiscard]] FormatConverter& ACMConverter() { return m_chain->converter(); }
    [[nodiscard]] WaveFileWriter& WaveFile() { return m_chain->writer(); }
    // The two texts that describe the recording format.
    QString FormatName;
    QString FormatDetails;

    QPushButton* cmdRecord;
    QPushButton* cmdStop;
    QLabel* lblTimer;
    QLabel* Label1;
    QLabel* lblClock;
    LevelMeter* MMLevelX1;
    LevelScale* MMLevelScaleX1;
    QTimer* TmrClock;
    QAction* mnuExit;
    QAction* mnuMyPreferences;
    QAction* mnuPlay;
    QAction* mnuHelp;
    QAction* mnuAbout;

    // The Record button's look: caption and &H00BBGGRR back colour.
    void setRecordButton(const QString& caption, unsigned bgrColour);

protected:
    // Closing the window (the close box, Exit) ends the program: the recording chain ends with
    // a finished file and exitRequested follows. While recording it first asks.
    void closeEvent(QCloseEvent* event) override;

signals:
    void preferencesRequested();
    void playRequested();
    void helpRequested();
    void aboutRequested();
    // The main window closed: the program ends.
    void exitRequested();

private:
    void buildControls();
    void buildMenus();
    void buildChain();
    void WaveFile_Started();
    void WaveFile_Stopped();
    void clockTick();
    void rollOver();
    void keepRecording(const QDateTime& now);

    Services& m_services;
    Settings& m_settings;
    RecorderState& m_state;
    StartPauseControl* m_startPause = nullptr;
    ClockRules m_rules;
    std::unique_ptr<RecordingChain> m_chain;
    // What the labels show, so that an unchanged text costs no repaint.
    qint64 m_shownClockSecond = -1;
    bool m_shouldRecord = false;
    bool m_retrying = false;
    int m_retryIntervalMs = 5000;
    QDateTime m_notRecordingSince;
    QDateTime m_lastRetry;
    std::int32_t m_shownElapsed = -1;
    // A failing tick is reported once, not ten times a second, until a tick succeeds again.
    bool m_tickFailureReported = false;
};

} // namespace wendmoor
