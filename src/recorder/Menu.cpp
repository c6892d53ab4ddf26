#include "recorder/Menu.h"

#include "config/RecordFormats.h"
#include "media/LogRepair.h"
#include "platform/Error.h"
#include "platform/EventLog.h"
#include "platform/MessageSink.h"
#include "platform/Prompt.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "recorder/LogNames.h"
#include "recorder/LogPlacement.h"
#include "recorder/StartPauseControl.h"
#include "widgets/LevelMeter.h"
#include "widgets/UiUnits.h"
#include "widgets/WindowLook.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

namespace wendmoor {

namespace {

QLabel* tealLabel(QWidget* parent, const char* name, QRect geometry)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, bgrColor(0x00808000));
    pal.setColor(QPalette::WindowText, Qt::white);
    l->setPalette(pal);
    l->setAutoFillBackground(true);
    return l;
}

} // namespace

Menu::Menu(Services& services, Settings& settings, RecorderState& state, QWidget* parent)
    : QMainWindow(parent)
    , m_services(services)
    , m_settings(settings)
    , m_state(state)
{
    setObjectName(QStringLiteral("Menu"));
    setWindowTitle(QStringLiteral("Wendmoor"));
    buildControls();
    buildMenus();
    buildChain();
}

Menu::~Menu()
{
    // The file is finished while the window can still take the stopped notification.
    m_chain->shutdown();
    m_chain->disconnect(this);
}

void Menu::buildChain()
{
    m_chain = std::make_unique<RecordingChain>(m_services.audio, m_services.messages);
    m_chain->setObjectName(QStringLiteral("chain"));
    connect(m_chain.get(), &RecordingChain::level, MMLevelX1, &LevelMeter::setPeak);
    connect(m_chain.get(), &RecordingChain::voxActivity, this, [this] {
        if (m_startPause)
            m_startPause->onVoxActivity();
    });
    connect(m_chain.get(), &RecordingChain::started, this, &Menu::WaveFile_Started);
    connect(m_chain.get(), &RecordingChain::stopped, this, &Menu::WaveFile_Stopped);
}

void Menu::closeEvent(QCloseEvent* event)
{
    // The close box and Exit end the whole program; while recording, only if the operator says
    // so. A shutdown signal ends it without coming here.
    if (m_state.IsRecording
        && !m_services.prompt.askYesNo(
            QStringLiteral("Wendmoor"), QStringLiteral("Stop recording and close Wendmoor?"))) {
        event->ignore();
        return;
    }
    // Whatever the device captured up to now still goes into the file.
    m_chain->shutdown();
    QMainWindow::closeEvent(event);
    emit exitRequested();
}

void Menu::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(5415), twips(3975));
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, bgrColor(0x00808000));
    client->setPalette(pal);
    client->setAutoFillBackground(true);
    setCentralWidget(client);

    cmdRecord = new QPushButton(QStringLiteral("&Record"), client);
    cmdRecord->setObjectName(QStringLiteral("cmdRecord"));
    cmdRecord->setGeometry(twipsRect(2040, 960, 1215, 495));
    cmdRecord->setFont(msSansSerif(9.75, true));
    cmdRecord->setToolTip(QStringLiteral("Starts recording"));
    setBackColour(cmdRecord, 0x000000C0);

    cmdStop = new QPushButton(QStringLiteral("&Stop"), client);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    cmdStop->setGeometry(twipsRect(2040, 1680, 1215, 495));
    cmdStop->setFont(msSansSerif(9.75, true));
    cmdStop->setToolTip(QStringLiteral("Stops recording"));
    setBackColour(cmdStop, 0x00FFFFFF);

    lblTimer = tealLabel(client, "lblTimer", twipsRect(4080, 960, 1095, 255));
    Label1 = tealLabel(client, "Label1", twipsRect(240, 3120, 4935, 375));
    Label1->setWordWrap(true);
    lblClock = tealLabel(client, "lblClock", twipsRect(1920, 0, 3375, 255));

    MMLevelX1 = new LevelMeter(client);
    MMLevelX1->setObjectName(QStringLiteral("MMLevelX1"));
    MMLevelX1->setGeometry(twipsRect(480, 480, 4455, 135));
    MMLevelX1->setToolTip(QStringLiteral("Level indicator"));
    MMLevelX1->setAccessibleName(QStringLiteral("Level indicator"));

    MMLevelScaleX1 = new LevelScale(client);
    MMLevelScaleX1->setObjectName(QStringLiteral("MMLevelScaleX1"));
    MMLevelScaleX1->setGeometry(twipsRect(480, 600, 4455, 120));
    QPalette scalePal = MMLevelScaleX1->palette();
    scalePal.setColor(QPalette::WindowText, Qt::white);
    MMLevelScaleX1->setPalette(scalePal);

    TmrClock = new QTimer(this);
    TmrClock->setObjectName(QStringLiteral("TmrClock"));
    TmrClock->setInterval(100);
    connect(TmrClock, &QTimer::timeout, this, &Menu::TmrClock_Timer);
    TmrClock->start();

    connect(cmdRecord, &QPushButton::clicked, this, &Menu::cmdRecord_Click);
    connect(cmdStop, &QPushButton::clicked, this, &Menu::cmdStop_Click);
    setTabOrder(cmdRecord, cmdStop);
}

void Menu::buildMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* mnuFiles = bar->addMenu(QStringLiteral("Files"));
    mnuFiles->setObjectName(QStringLiteral("mnuFiles"));
    mnuExit = mnuFiles->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));

    QMenu* mnuSetup = bar->addMenu(QStringLiteral("Setup"));
    mnuSetup->setObjectName(QStringLiteral("mnuSetup"));
    mnuMyPreferences = mnuSetup->addAction(QStringLiteral("My Preferences"));
    mnuMyPreferences->setObjectName(QStringLiteral("mnuMyPreferences"));

    // Play, Help and About are commands on the bar itself.
    mnuPlay = bar->addAction(QStringLiteral("Play"));
    mnuPlay->setObjectName(QStringLiteral("mnuPlay"));
    mnuHelp = bar->addAction(QStringLiteral("Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout = bar->addAction(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));

    connect(mnuExit, &QAction::triggered, this, &QWidget::close);
    connect(mnuMyPreferences, &QAction::triggered, this, &Menu::preferencesRequested);
    connect(mnuPlay, &QAction::triggered, this, &Menu::playRequested);
    connect(mnuHelp, &QAction::triggered, this, &Menu::helpRequested);
    connect(mnuAbout, &QAction::triggered, this, &Menu::aboutRequested);
}

void Menu::setRecordButton(const QString& caption, unsigned bgrColour)
{
    cmdRecord->setText(caption);
    setBackColour(cmdRecord, bgrColour);
}

void Menu::Form_Initialize()
{
    try {
        LoadSettings(m_services.paths, m_settings, m_services.messages);
    } catch (const Error& e) {
        // Without its settings the recorder still runs on the defaults, and says why.
        m_services.messages.ShowMessage(e);
        if (m_settings.LogDrive.isNull())
            m_settings.LogDrive = QLatin1Char('C');
    }
    // Logs a killed recorder left with a short header are mended before anything records.
    for (const QString& note : mendLogHeaders(m_services.volumes.archiveFolder(m_settings.LogDrive)))
        m_services.events.note(note);
    if (m_settings.StartOnLoad == 1) {
        m_shouldRecord = true;
        GetLogName();
        RecordLog();
    }
}

void Menu::GetLogName()
{
    const QDateTime now = m_services.clock.now();
    const int second = now.time().msecsSinceStartOfDay() / 1000;
    m_state.CurrentLogPath = m_services.volumes.archiveFolder(m_settings.LogDrive) + QLatin1Char('/')
        + logFileName(now.date(), second, m_settings.RecordFormat);
}

void Menu::RecordLog()
{
    if (m_state.IsRecording)
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
                return m_settings.StartOnLoad == 0 && !m_retrying
                    && m_services.prompt.askYesNo(QStringLiteral("Wendmoor"), question);
            });

        const auto [name, details] = format->waveFormat().describe();
        FormatName = name;
        FormatDetails = details;
        Label1->setText(QStringLiteral("Format:  ") + FormatName + QStringLiteral("   ") + FormatDetails);

        m_chain->configure(*format, m_settings.RecordDevice, m_state.CurrentLogPath);
        m_chain->start();
    } catch (const Error& e) {
        if (!m_retrying)
            m_services.messages.ShowMessage(e);
    } catch (const std::exception& e) {
        if (!m_retrying)
            m_services.messages.ShowMessage(Error(ErrorNumber::Unexpected,
                QStringLiteral("Recording into %1 could not start: %2")
                    .arg(QDir::toNativeSeparators(m_state.CurrentLogPath), QString::fromLocal8Bit(e.what()))));
    }
}

void Menu::WaveFile_Started()
{
    setRecordButton(QStringLiteral("Recording"), 0x000000FF);
    m_state.IsRecording = true;
    // A new file starts with the writer on, whatever the last one ended in.
    m_state.InStandby = false;
}

void Menu::WaveFile_Stopped()
{
    setRecordButton(QStringLiteral("Record"), 0x000000C0);
    m_state.IsRecording = false;
}

void Menu::cmdRecord_Click()
{
    m_settings.StartOnLoad = 0;
    m_shouldRecord = true;
    GetLogName();
    RecordLog();
}

void Menu::cmdStop_Click()
{
    m_shouldRecord = false;
    m_notRecordingSince = QDateTime();
    m_chain->stop();
}

void Menu::keepRecording(const QDateTime& now)
{
    if (!m_shouldRecord || (m_state.IsRecording && !m_chain->writerFailed())) {
        m_notRecordingSince = QDateTime();
        return;
    }
    // A write failed or the log lost its name (reported by the writer): the file is finished and
    // the window shows it; the first new try comes at once, the device kept for it.
    const bool writeFailed = m_state.IsRecording;
    if (writeFailed)
        m_chain->stop(/*keepDevice=*/true);
    if (!m_notRecordingSince.isValid()) {
        m_notRecordingSince = now;
        m_lastRetry = writeFailed ? now.addMSecs(-m_retryIntervalMs) : now;
    }
    if (m_lastRetry.msecsTo(now) < m_retryIntervalMs)
        return;
    m_lastRetry = now;
    // Quiet, and never replacing a file: the first failure has been reported, and a log of the
    // day that exists holds what was recorded before it.
    m_retrying = true;
    GetLogName();
    RecordLog();
    m_retrying = false;
    m_chain->releaseDevice();
    if (m_state.IsRecording) {
        m_services.messages.ShowMessage(QStringLiteral("Recording again into %1; nothing was recorded for %2 seconds.")
                                            .arg(QDir::toNativeSeparators(m_state.CurrentLogPath))
                                            .arg(m_notRecordingSince.secsTo(now)));
        m_notRecordingSince = QDateTime();
    }
}

} // namespace wendmoor
