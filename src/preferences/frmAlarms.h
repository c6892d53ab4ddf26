#pragma once

#include "alarms/AlarmSettings.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace wendmoor {

class MessageSink;

// "Alarms", reached from My Preferences: edits alarms.ini (dead air, the logger's health, where
// alarms go, how often they repeat) and sends a test alarm with what is on the page, saved or
// not. Modeless; deletes itself when it closes. Save writes the whole file.
class frmAlarms final : public QDialog {
    Q_OBJECT
public:
    using SendTest = std::function<void(const AlarmSettings&)>;

    frmAlarms(QString settingsFile, MessageSink& messages, SendTest sendTest, QWidget* parent = nullptr);

    // What the controls say now.
    [[nodiscard]] AlarmSettings shown() const;

    QLabel* lblProblem = nullptr;
    QDoubleSpinBox* spnThreshold = nullptr;
    QSpinBox* spnSeconds = nullptr;
    QSpinBox* spnRecovery = nullptr;
    QSpinBox* spnNotRecording = nullptr;
    QSpinBox* spnDiskDays = nullptr;
    QCheckBox* chkClock = nullptr;
    QLineEdit* txtServer = nullptr;
    QSpinBox* spnPort = nullptr;
    QComboBox* cboSecurity = nullptr;
    QLineEdit* txtUser = nullptr;
    QLineEdit* txtPasswordFile = nullptr;
    QLineEdit* txtFrom = nullptr;
    QLineEdit* txtTo = nullptr;
    QLineEdit* txtWebhook = nullptr;
    QLineEdit* txtCommand = nullptr;
    QSpinBox* spnRepeat = nullptr;
    QPushButton* cmdTest = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdClose = nullptr;

signals:
    // alarms.ini was written: the running alarms read it again.
    void saved();

private:
    void showSettings(const AlarmSettings& s);
    void save();

    QString m_settingsFile;
    MessageSink& m_messages;
    SendTest m_sendTest;
};

} // namespace wendmoor
