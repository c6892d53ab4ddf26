#include "preferences/frmAlarms.h"

#include "platform/MessageSink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>

namespace wendmoor {

namespace {

template <typename W> W* named(W* widget, const char* name, const char* tooltip)
{
    widget->setObjectName(QLatin1String(name));
    widget->setToolTip(QString::fromUtf8(tooltip));
    return widget;
}

QSpinBox* spin(const char* name, const char* tooltip, int high, const char* suffix)
{
    auto* s = named(new QSpinBox, name, tooltip);
    s->setRange(0, high);
    s->setSuffix(QString::fromUtf8(suffix));
    return s;
}

QLineEdit* edit(const char* name, const char* tooltip, const char* placeholder = "")
{
    auto* e = named(new QLineEdit, name, tooltip);
    e->setPlaceholderText(QString::fromUtf8(placeholder));
    return e;
}

QFormLayout* group(QVBoxLayout* into, const char* title)
{
    auto* box = new QGroupBox(QString::fromUtf8(title));
    into->addWidget(box);
    return new QFormLayout(box);
}

} // namespace

frmAlarms::frmAlarms(QString settingsFile, MessageSink& messages, SendTest sendTest, QWidget* parent)
    : QDialog(parent)
    , m_settingsFile(std::move(settingsFile))
    , m_messages(messages)
    , m_sendTest(std::move(sendTest))
{
    setObjectName(QStringLiteral("frmAlarms"));
    setWindowTitle(QStringLiteral("Alarms"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* page = new QVBoxLayout(this);

    lblProblem = named(new QLabel, "lblProblem", "What was wrong with the file when it was read");
    lblProblem->setWordWrap(true);
    lblProblem->setTextFormat(Qt::PlainText);
    page->addWidget(lblProblem);

    QFormLayout* deadAir = group(page, "Dead air");
    spnThreshold = named(new QDoubleSpinBox, "spnThreshold",
        "The input at or below this level (dBFS) counts as silence, whether or not the recording pauses");
    spnThreshold->setRange(-120, 0);
    spnThreshold->setDecimals(1);
    spnThreshold->setSuffix(QStringLiteral(" dBFS"));
    deadAir->addRow(QStringLiteral("&Threshold:"), spnThreshold);
    spnSeconds = spin("spnSeconds", "Silence this long raises the alarm; 0 turns it off", 86400, " s");
    deadAir->addRow(QStringLiteral("&Silence for:"), spnSeconds);
    spnRecovery = spin("spnRecovery", "Sound above the threshold this long clears the alarm", 86400, " s");
    deadAir->addRow(QStringLiteral("&Recovery after:"), spnRecovery);

    QFormLayout* health = group(page, "The logger's health");
    spnNotRecording = spin("spnNotRecording",
        "Not recording while it should (the retries have not succeeded) this long raises an alarm; 0 turns it off",
        86400, " s");
    health->addRow(QStringLiteral("&Not recording for:"), spnNotRecording);
    spnDiskDays = spin("spnDiskDays",
        "An alarm when the archive drive will be full within this many days; 0 turns it off", 3650, " days");
    health->addRow(QStringLiteral("&Disk full within:"), spnDiskDays);
    chkClock = named(new QCheckBox(QStringLiteral("Alarm when the system &clock is not synchronised")), "chkClock",
        "The logs' times are only as good as the clock: an alarm when NTP does not keep it");
    health->addRow(chkClock);

    QFormLayout* mail = group(page, "E-mail");
    txtServer = edit("txtServer", "The SMTP server; empty: no e-mail", "smtp.example.org");
    mail->addRow(QStringLiteral("S&erver:"), txtServer);
    spnPort = spin("spnPort", "587 for STARTTLS, 465 for TLS, 25 without", 65535, "");
    spnPort->setMinimum(1);
    mail->addRow(QStringLiteral("&Port:"), spnPort);
    cboSecurity = named(new QComboBox, "cboSecurity", "How the connection to the server is protected");
    for (const auto s :
        { AlarmSettings::Security::StartTls, AlarmSettings::Security::Tls, AlarmSettings::Security::None })
        cboSecurity->addItem(securityName(s), int(s));
    mail->addRow(QStringLiteral("Sec&urity:"), cboSecurity);
    txtUser = edit("txtUser", "The user to log in as; empty: no login");
    mail->addRow(QStringLiteral("User:"), txtUser);
    txtPasswordFile = edit("txtPasswordFile",
        "A file holding the password on its first line, readable only by its owner (chmod 600)",
        "/home/…/.smtp-password");
    mail->addRow(QStringLiteral("Password &file:"), txtPasswordFile);
    txtFrom = edit("txtFrom", "The sender's address", "logger@station.example");
    mail->addRow(QStringLiteral("Fro&m:"), txtFrom);
    txtTo = edit("txtTo", "One or more addresses, separated by commas", "engineer@station.example, pd@station.example");
    mail->addRow(QStringLiteral("T&o:"), txtTo);

    QFormLayout* others = group(page, "Webhook, command and repeats");
    txtWebhook = edit("txtWebhook", "A URL that receives an HTTP POST of the alarm as JSON; empty: none",
        "https://hooks.example/alarm");
    others->addRow(QStringLiteral("&Webhook URL:"), txtWebhook);
    txtCommand = edit("txtCommand",
        "Run through /bin/sh with WENDMOOR_ALARM, WENDMOOR_ALARM_STATE, WENDMOOR_ALARM_SINCE, "
        "WENDMOOR_ALARM_MESSAGE and WENDMOOR_HOST in its environment; empty: none");
    others->addRow(QStringLiteral("Comm&and:"), txtCommand);
    spnRepeat = spin("spnRepeat", "An alarm that stands is sent again this often; 0: only once", 100000, " min");
    others->addRow(QStringLiteral("Re&peat every:"), spnRepeat);

    auto* buttons = new QDialogButtonBox;
    cmdTest = named(new QPushButton(QStringLiteral("Send a &test alarm")), "cmdTest",
        "Sends a test alarm to every place on this page, saved or not");
    cmdSave = named(new QPushButton(QStringLiteral("&Save")), "cmdSave", "Writes these settings to alarms.ini");
    cmdClose = named(new QPushButton(QStringLiteral("&Close")), "cmdClose", "Closes without saving");
    for (QPushButton* b : { cmdTest, cmdSave, cmdClose }) {
        b->setAutoDefault(false);
        buttons->addButton(b, QDialogButtonBox::ActionRole);
    }
    page->addWidget(buttons);
    connect(cmdTest, &QPushButton::clicked, this, [this] { m_sendTest(shown()); });
    connect(cmdSave, &QPushButton::clicked, this, &frmAlarms::save);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    const AlarmSettingsRead read = readAlarmSettings(m_settingsFile);
    lblProblem->setText(read.problem ? read.problem->text() : QString());
    lblProblem->setVisible(read.problem.has_value());
    showSettings(read.settings);
}

void frmAlarms::showSettings(const AlarmSettings& s)
{
    spnThreshold->setValue(s.deadAirThresholdDbfs);
    spnSeconds->setValue(s.deadAirSeconds);
    spnRecovery->setValue(s.deadAirRecoverySeconds);
    spnNotRecording->setValue(s.notRecordingSeconds);
    spnDiskDays->setValue(s.diskDays);
    chkClock->setChecked(s.clockUnsynchronised);
    txtServer->setText(s.emailServer);
    spnPort->setValue(s.emailPort);
    cboSecurity->setCurrentIndex(cboSecurity->findData(int(s.emailSecurity)));
    txtUser->setText(s.emailUser);
    txtPasswordFile->setText(s.emailPasswordFile);
    txtFrom->setText(s.emailFrom);
    txtTo->setText(s.emailTo.join(QStringLiteral(", ")));
    txtWebhook->setText(s.webhookUrl);
    txtCommand->setText(s.command);
    spnRepeat->setValue(s.repeatMinutes);
}

AlarmSettings frmAlarms::shown() const
{
    AlarmSettings s;
    s.deadAirThresholdDbfs = spnThreshold->value();
    s.deadAirSeconds = spnSeconds->value();
    s.deadAirRecoverySeconds = spnRecovery->value();
    s.notRecordingSeconds = spnNotRecording->value();
    s.diskDays = spnDiskDays->value();
    s.clockUnsynchronised = chkClock->isChecked();
    s.emailServer = txtServer->text().trimmed();
    s.emailPort = spnPort->value();
    s.emailSecurity = AlarmSettings::Security(cboSecurity->currentData().toInt());
    s.emailUser = txtUser->text().trimmed();
    s.emailPasswordFile = txtPasswordFile->text().trimmed();
    s.emailFrom = txtFrom->text().trimmed();
    s.emailTo = txtTo->text().split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts);
    s.webhookUrl = txtWebhook->text().trimmed();
    s.command = txtCommand->text().trimmed();
    s.repeatMinutes = spnRepeat->value();
    return s;
}

void frmAlarms::save()
{
    if (const auto failure = writeAlarmSettings(m_settingsFile, shown())) {
        m_messages.ShowMessage(*failure);
        return;
    }
    lblProblem->hide();
    emit saved();
}

} // namespace wendmoor
