#pragma once

#include "archive/DiskForecast.h"
#include "config/Settings.h"
#include "platform/BackgroundWork.h"
#include "platform/Services.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace wendmoor {

class LengthValidator;
class ListBox;

// "My Preferences": chooses the sound cards, the recording format, the archive drive, the days
// to keep, the start/pause mode with its threshold and stop delay, the remote-control input and
// whether recording starts when the program loads.
//
// The window is modeless and deletes itself when it closes (Close, Files > Exit, the close box
// or Escape); hold it through a QPointer. Building it fills the lists and shows what the
// settings file holds. The start/pause mode, the remote-control input and the drive act on
// `settings` the moment they are chosen; everything else reaches `settings` and the file only on
// Apply. Closing never saves.
//
// The chosen drive's free space is measured off the window's thread, each choice on a thread of
// its own: a drive that stops answering (a USB disk, a share) holds only its own measuring, never
// the window, the next choice or the closing; its forecast stays blank.
class frmMyPreferences final : public QDialog {
    Q_OBJECT
public:
    using Measure = std::function<std::optional<DriveSpace>(const QString& driveRoot, const QString& archiveFolder)>;

    frmMyPreferences(Services& services, Settings& settings, QWidget* parent = nullptr, Measure measure = measureDrive);
    ~frmMyPreferences() override;

    // Handlers, run by the controls (and by the loading, through the same controls).
    void lstDrv_Click();
    void optRecord_Click(int index);
    void Option2_Click(int index);
    void cmdApply_Click();
    void cmdClose_Click();
    void mnuExit_Click();

    QLabel* Label1 = nullptr;
    QLabel* lblMM1 = nullptr;
    ListBox* lstMM1 = nullptr;
    QLabel* Label9 = nullptr;
    ListBox* lstMM2 = nullptr;
    QLabel* Label3 = nullptr;
    ListBox* List2 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label8 = nullptr;
    ListBox* lstDrv = nullptr;
    // Beside the drive list: the folder the chosen drive letter stands for on this machine.
    QLabel* lblDrvFolder = nullptr;
    QLabel* Label2 = nullptr;
    ListBox* List1 = nullptr;
    // How many days the chosen drive's free space holds at the chosen format.
    QLabel* lblDiskSpace = nullptr;
    QCheckBox* Check1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    std::array<QRadioButton*, 4> optRecord {};
    QLabel* Label4 = nullptr;
    QLineEdit* txtThreshold = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* txtStopDelay = nullptr;
    QGroupBox* Frame3 = nullptr;
    std::array<QRadioButton*, 3> Option2 {};
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdClose = nullptr;
    // Opens the Alarms page (alarms.ini).
    QPushButton* cmdAlarms = nullptr;
    QMenu* mnuFiles = nullptr;
    QAction* mnuExit = nullptr;

signals:
    void alarmsRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void buildTabOrder();
    void Form_Load();
    void showStoredSettings();
    void showDriveFolder();
    void showDiskForecast();
    void showForecast(const DiskForecast& forecast, int daysToKeep);
    void saveSettings();

    Services& m_services;
    Settings& m_settings;
    LengthValidator* m_thresholdLimit = nullptr;
    LengthValidator* m_stopDelayLimit = nullptr;
    Measure m_measure;
    // The measuring for the last choice; a new choice replaces it, and what the one before would
    // give back is dropped.
    std::unique_ptr<BackgroundWork> m_measuring;
};

} // namespace wendmoor
