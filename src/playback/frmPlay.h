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
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace wendmoor {

class ExportPanel;

class LevelMeter;
class LevelScale;
class PlaybackController;
class PositionSlider;

// The playback window: the list of archived logs, the player with its transport, the position
// slider with its ranges and time display, four memory points and Repeat. It holds the layout;
// each handler passes its command to the PlaybackController, which decides, and the window draws
// the controller's view whenever it changes.
class frmPlay final : public QMainWindow {
    Q_OBJECT
public:
    frmPlay(Services& services, Settings& settings, PlaybackMemory& memory, QWidget* parent = nullptr);
    ~frmPlay() override;

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
    void cmdMem_Store(int index);
    void cmdMem_Click(int index);
    void cmdRepeat_Click();
    void VScroll1_Change();
    void cmdGoTo_Click();

    LevelMeter* MMLevelX2;
    LevelScale* MMLevelScaleX1;
    QListWidget* lstLogs;
    QScrollBar* VScroll1;
    QGroupBox* Frame1;
    std::array<QRadioButton*, 6> optRange {};
    QLabel* lblTime;
    QLabel* lblDown;
    QLabel* lblClock; // the clock time of the position
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
    QLabel* lblGoTo;
    QLineEdit* txtGoTo; // a date and time to go to
    QPushButton* cmdGoTo;
    ExportPanel* pnlExport = nullptr; // export or hold a range of clock time
    QMenu* mnuFiles;
    QAction* mnuExit;
    QMenu* mnuHiddenPopupPlay;
    QAction* mnuPlay5;
    QAction* mnuPlay10;
    QAction* mnuPlay20;

    [[nodiscard]] PlaybackController& controller() { return *m_play; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void render();
    [[nodiscard]] QString selectedLog() const;

    PlaybackController* m_play;
    int m_shownListVersion = -1;
    int m_shownSelectionVersion = 0;
};

} // namespace wendmoor
