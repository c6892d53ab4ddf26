#include "mainwindow/Menu.h"

#include "platform/FormatSeconds.h"
#include "widgets/LevelMeter.h"
#include "widgets/UiUnits.h"
#include "widgets/WindowLook.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
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

Menu::Menu(Recorder& recorder, RecorderState& state, Services& services, QWidget* parent)
    : QMainWindow(parent)
    , m_recorder(recorder)
    , m_state(state)
    , m_services(services)
{
    setObjectName(QStringLiteral("Menu"));
    setWindowTitle(QStringLiteral("Wendmoor"));
    m_clockFormat = clockFormat(QLocale());
    buildControls();
    buildMenus();
    connect(&m_recorder, &Recorder::level, MMLevelX1, &LevelMeter::setPeak);
    connect(&m_recorder, &Recorder::statusChanged, this, &Menu::showStatus);
    connect(&m_recorder, &Recorder::formatChanged, this, [this](const QString& name, const QString& details) {
        FormatName = name;
        FormatDetails = details;
        Label1->setText(QStringLiteral("Format:  ") + FormatName + QStringLiteral("   ") + FormatDetails);
    });
    connect(&m_recorder, &Recorder::elapsedChanged, this,
        [this](std::int32_t seconds) { lblTimer->setText(FormatSeconds(seconds)); });
    connect(&m_recorder, &Recorder::ticked, this, &Menu::showClock);
}

Menu::~Menu()
{
    m_recorder.disconnect(this);
}

void Menu::closeEvent(QCloseEvent* event)
{
    // Whatever the device captured up to now still goes into the file.
    m_recorder.shutdown();
    QMainWindow::closeEvent(event);
}

void Menu::showStatus(RecorderStatus status)
{
    switch (status) {
    case RecorderStatus::Recording:
        setRecordButton(QStringLiteral("Recording"), 0x000000FF);
        break;
    case RecorderStatus::Standby:
        setRecordButton(QStringLiteral("Standby"), 0x0080FFFF);
        break;
    case RecorderStatus::Stopped:
        setRecordButton(QStringLiteral("Record"), 0x000000C0);
        break;
    }
}

QString Menu::clockFormat(const QLocale& locale)
{
    // The first character of a short format that is neither a field nor a blank nor a quote.
    const auto separator = [](const QString& format, QChar fallback) {
        for (const QChar c : format) {
            if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\''))
                return c;
        }
        return fallback;
    };
    const QChar date = separator(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
    const QChar time = separator(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
    return QStringLiteral("dddd  MM%1dd%1yyyy  HH%2mm%2ss").arg(date, time);
}

void Menu::showClock(const QDateTime& now)
{
    if (now.toSecsSinceEpoch() == m_shownClockSecond)
        return;
    m_shownClockSecond = now.toSecsSinceEpoch();
    lblClock->setText(QLocale().toString(now, m_clockFormat));
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

    TmrClock = &m_recorder.clockTimer();

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

    connect(mnuExit, &QAction::triggered, this, &Menu::exitRequested);
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
    m_recorder.initialize();
}

void Menu::cmdRecord_Click()
{
    m_recorder.record();
}

void Menu::cmdStop_Click()
{
    m_recorder.stop();
}

void Menu::TmrClock_Timer()
{
    m_recorder.tick();
}

void Menu::Timer2_Timer()
{
    m_recorder.purge();
}

} // namespace wendmoor
