#pragma once

#include "config/Settings.h"
#include "media/Connector.h"
#include "media/FormatConverter.h"
#include "media/WaveFormat.h"
#include "platform/Services.h"
#include "recorder/RecorderState.h"

#include <QDate>
#include <QMainWindow>

#include <array>

class QAction;
class QLabel;
class QPushButton;
class QTimer;

namespace wendmoor {

class LevelMeter;
class LevelScale;
class StartPauseControl;
class WaveFileWriter;
class WaveInput;

// The main window: the Record and Stop buttons, the recorded time, the format, the clock, the
// input level, the menu bar, the clock timers, and the recording chain behind them.
class Menu final : public QMainWindow {
    Q_OBJECT
public:
    Menu(Services& services, Settings& settings, RecorderState& state, QWidget* parent = nullptr);
    ~Menu() override;

    // Start-up, before the window is first shown: load the settings, then start recording when
    // the settings ask for it (StartOnLoad exactly 1).
    void Form_Initialize();

    // Sets CurrentLogPath to the name of the present day (and half day for format 5).
    void GetLogName();
    // Starts the recording chain into CurrentLogPath.
    void RecordLog();

    void setStartPauseControl(StartPauseControl* control) { m_startPause = control; }

    void cmdRecord_Click();
    void cmdStop_Click();

    // The clock: every 100 ms, and the two 1.5 s one-shot guards of the roll-over and the purge.
    void TmrClock_Timer();
    void Timer1_Timer();
    void Timer2_Timer();
    // Activity arrived while in Standby: the writer takes the audio again.
    void resumeFromStandby();

    // The recording chain: WaveIn -> MMConnectorX1 (level meter, start/pause) -> ACMConverter
    // -> WaveFile. WaveRecorder[0] only makes PCM formats from a rate and a bit length.
    WaveInput* WaveIn;
    Connector MMConnectorX1;
    FormatConverter ACMConverter;
    WaveFileWriter* WaveFile;
    std::array<WaveFormatTemplate, 1> WaveRecorder{};
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
    QTimer* Timer1;
    QTimer* Timer2;
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
    void endChain();
    void WaveFile_Started();
    void WaveFile_Stopped();
    void clockTick();
    void rollOver();

    Services& m_services;
    Settings& m_settings;
    RecorderState& m_state;
    StartPauseControl* m_startPause = nullptr;
    // The date of the previous tick: a day whose 00:00:01 the clock never showed (a clock that
    // jumped over midnight, a machine that slept through it) still gets its file and its purge.
    QDate m_lastTickDate;
    // A failing tick is reported once, not ten times a second, until a tick succeeds again.
    bool m_tickFailureReported = false;
};

} // namespace wendmoor
