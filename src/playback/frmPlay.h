#pragma once

#include "config/Settings.h"
#include "platform/Services.h"
#include "playback/PlaybackMemory.h"

#include <QMainWindow>

#include <array>
#include <cstdint>

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;

namespace wendmoor {

class LevelMeter;
class LevelScale;
class PositionSlider;
class WavePlayer;

// The playback window: the list of archived logs, the player with its transport, the position
// slider with its ranges and time display, four memory points and Repeat. The values that
// outlive the window (memory points, repeat point, range widths, the playing flag) are kept in
// the PlaybackMemory the application passes in. Every handler runs on the user-interface thread
// and reports a failure through the message window; none of them lets one escape.
class frmPlay final : public QMainWindow {
    Q_OBJECT
public:
    frmPlay(Services& services, Settings& settings, PlaybackMemory& memory, QWidget* parent = nullptr);
    ~frmPlay() override;

    // Loads the log selected in the list and plays it by the range in force, or resumes a
    // paused playback.
    void PlayFile();

    // Handlers, public so that tests can drive the window as its controls do.
    void cmdPlay_Click();
    void cmdPause_Click();
    void cmdStop_Click();
    void cmdEnd_Click(int index);
    void mnuPlay5_Click();
    void mnuPlay10_Click();
    void mnuPlay20_Click();
    void cmdFF_Click();
    void cmdRwd_Click();
    void optRange_Click(int index);
    void TrackBar_Moved();
    void Timer1_Timer();
    void cmdMem_Store(int index);
    void cmdMem_Click(int index);
    void cmdRepeat_Click();
    void VScroll1_Change();
    void WavePlayer_Started();
    void WavePlayer_Stopped();

    LevelMeter* MMLevelX2;
    LevelScale* MMLevelScaleX1;
    QListWidget* lstLogs;
    QScrollBar* VScroll1;
    QGroupBox* Frame1;
    std::array<QRadioButton*, 6> optRange {};
    QLabel* lblTime;
    QLabel* lblDown;
    PositionSlider* TrackBar;
    std::array<QPushButton*, 5> cmdMem {}; // indexes 1 to 4
    QPushButton* cmdPause;
    QPushButton* cmdPlay;
    QPushButton* cmdStop;
    QPushButton* cmdRwd;
    QPushButton* cmdRepeat;
    QPushButton* cmdFF;
    QPushButton* cmdClose;
    std::array<QPushButton*, 4> cmdEnd {}; // indexes 1 to 3
    wendmoor::WavePlayer* WavePlayer;
    QTimer* Timer1;
    QMenu* mnuFiles;
    QAction* mnuExit;
    QMenu* mnuHiddenPopupPlay;
    QAction* mnuPlay5;
    QAction* mnuPlay10;
    QAction* mnuPlay20;

    // The archive folder the list was read from (the hidden file list's path).
    [[nodiscard]] QString File1Path() const { return m_file1Path; }
    // "  Mono" or "  Stereo" for the file last loaded.
    [[nodiscard]] QString channelText() const { return m_channelText; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void Form_Load();
    void fillLogList();
    void storeListOrder();
    void lastN(int rangeIndex, std::int32_t width);
    void setSliderWindow(std::int32_t minimum, std::int32_t maximum);
    void report(const std::exception& failure);

    Services& m_services;
    Settings& m_settings;
    PlaybackMemory& m_memory;
    QString m_file1Path;
    QString m_channelText;
    // A failing tick is reported once, not twenty times a second.
    bool m_tickFailureShown = false;
};

} // namespace wendmoor
