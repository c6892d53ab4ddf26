#pragma once

#include "recorder/Recorder.h"

#include <QMainWindow>

class QAction;
class QLocale;
class QLabel;
class QPushButton;
class QTimer;

namespace wendmoor {

class LevelMeter;
class LevelScale;

// The main window: the Record and Stop buttons, the recorded time, the format, the clock, the
// input level and the menu bar. It draws what the recorder says and passes its clicks on; the
// recorder does the recording.
class Menu final : public QMainWindow {
    Q_OBJECT
public:
    Menu(Recorder& recorder, RecorderState& state, Services& services, QWidget* parent = nullptr);
    ~Menu() override;

    [[nodiscard]] Recorder& recorder() { return m_recorder; }

    // Where the clicks and the timers arrive.
    void Form_Initialize();
    void cmdRecord_Click();
    void cmdStop_Click();
    void TmrClock_Timer();
    void Timer2_Timer();

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
    // The recorder's clock.
    QTimer* TmrClock;
    QAction* mnuExit;
    QAction* mnuMyPreferences;
    QAction* mnuPlay;
    QAction* mnuHelp;
    QAction* mnuAbout;

    // The Record button's look: caption and &H00BBGGRR back colour.
    void setRecordButton(const QString& caption, unsigned bgrColour);

    // The clock line: weekday, date and time, with the separators of the machine's locale
    // ("Sunday  12/06/2026  14:05:09", "Sonntag  12.06.2026  14:05:09").
    [[nodiscard]] static QString clockFormat(const QLocale& locale);

protected:
    // The close box ends the recording (the file finished) and the clock with the window,
    // asking nothing; other open windows stay until they are closed.
    void closeEvent(QCloseEvent* event) override;

signals:
    void preferencesRequested();
    void playRequested();
    void helpRequested();
    void aboutRequested();
    // Exit: the program ends at once, nothing asked, the recording not stopped first.
    void exitRequested();

private:
    void buildControls();
    void buildMenus();
    void showStatus(RecorderStatus status);
    void showClock(const QDateTime& now);

    Recorder& m_recorder;
    RecorderState& m_state;
    Services& m_services;
    // What the clock label shows, so that an unchanged text costs no repaint.
    qint64 m_shownClockSecond = -1;
    QString m_clockFormat;
};

} // namespace wendmoor
