#include "playback/frmPlay.h"

#include "config/SettingsFile.h"
#include "media/LevelMeter.h"
#include "media/PositionSlider.h"
#include "media/WavePlayer.h"
#include "platform/Error.h"
#include "platform/FormatSeconds.h"
#include "platform/MessageSink.h"
#include "platform/UiUnits.h"
#include "platform/Volumes.h"
#include "playback/LogList.h"
#include "playback/TransportLogic.h"
#include "windows/WindowLook.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

namespace wendmoor {

namespace {

// Button colours, &H00BBGGRR.
constexpr unsigned kPlayIdle = 0x00008000; // (0, 128, 0)
constexpr unsigned kPlayActive = 0x0080FF80; // (128, 255, 128)
constexpr unsigned kPauseIdle = 0x00C0FFFF; // (255, 255, 192)
constexpr unsigned kPauseActive = 0x0000FFFF; // (255, 255, 0)
constexpr unsigned kStopColour = 0x00FFFFFF;
constexpr unsigned kMemColour = 0x00FFFFC0; // (192, 255, 255)
constexpr unsigned kStepColour = 0x00C0FFC0; // (192, 255, 192)
constexpr unsigned kFrameBack = 0x00C0C0FF; // (255, 192, 192)
constexpr unsigned kFrameText = 0x00FF0000; // (0, 0, 255)

const QString kNoLogSelected = QStringLiteral("No Log Selected");
const QString kBadWaveFile = QStringLiteral("Wave file does not exist or has been damaged");

QPushButton* makeButton(
    QWidget* parent, const QString& name, const QString& caption, const QString& tip, QRect geometry, double points)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setFont(msSansSerif(points, true));
    if (!tip.isEmpty())
        b->setToolTip(tip);
    return b;
}

QLabel* makeTimeLabel(QWidget* parent, const QString& name, QRect geometry)
{
    auto* l = new QLabel(QString(), parent);
    l->setObjectName(name);
    l->setGeometry(geometry);
    return l;
}

} // namespace

frmPlay::frmPlay(Services& services, Settings& settings, PlaybackMemory& memory, QWidget* parent)
    : QMainWindow(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
    , m_services(services)
    , m_settings(settings)
    , m_memory(memory)
{
    setObjectName(QStringLiteral("frmPlay"));
    setWindowTitle(QStringLiteral("Play"));
    buildControls();
    buildMenus();
    Form_Load();
}

frmPlay::~frmPlay()
{
    m_memory.IsPlaying = false;
}

void frmPlay::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(twips(5775), twips(4095));
    setCentralWidget(client);

    MMLevelX2 = new LevelMeter(client);
    MMLevelX2->setObjectName(QStringLiteral("MMLevelX2"));
    MMLevelX2->setGeometry(twipsRect(240, 0, 5295, 135));
    MMLevelX2->setAccessibleName(QStringLiteral("Playback level"));

    MMLevelScaleX1 = new LevelScale(client);
    MMLevelScaleX1->setObjectName(QStringLiteral("MMLevelScaleX1"));
    MMLevelScaleX1->setGeometry(twipsRect(240, 120, 5295, 120));
    MMLevelScaleX1->tickCount = 11;
    MMLevelScaleX1->enlargeEvery = 5;
    MMLevelScaleX1->tickSize = 7;

    lstLogs = new QListWidget(client);
    lstLogs->setObjectName(QStringLiteral("lstLogs"));
    lstLogs->setGeometry(twipsRect(480, 480, 1695, 1620));
    lstLogs->setSelectionMode(QAbstractItemView::SingleSelection);
    lstLogs->setAccessibleName(QStringLiteral("Logs"));

    VScroll1 = new QScrollBar(Qt::Vertical, client);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    VScroll1->setGeometry(twipsRect(2280, 480, 255, 495));
    VScroll1->setRange(0, 1);
    VScroll1->setSingleStep(1);
    VScroll1->setPageStep(1);
    VScroll1->setAccessibleName(QStringLiteral("Log list order"));
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmPlay::VScroll1_Change);

    Frame1 = new QGroupBox(QStringLiteral("TrackBar Range"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    // Wider than the original layout so that "10 Seconds" and "30 Minutes" fit in the sans-serif
    // faces of Linux; the frame still ends before the time labels.
    Frame1->setGeometry(twipsRect(2640, 360, 1800, 1695));
    Frame1->setToolTip(QStringLiteral("Select slider range"));
    QPalette framePal = Frame1->palette();
    framePal.setColor(QPalette::Window, bgrColor(kFrameBack));
    framePal.setColor(QPalette::WindowText, bgrColor(kFrameText));
    Frame1->setPalette(framePal);
    Frame1->setAutoFillBackground(true);

    static const std::array<const char*, 6> captions { "Total", "10 Seconds", "1 Minute", "5 Minutes", "30 Minutes",
        "1 Hour" };
    static const std::array<const char*, 6> tips { "Slider range is complete wave file", "Slider range is 10 seconds",
        "Slider range is one minute", "Slider range is 5 minutes", "Slider range is 30 minutes",
        "Slide range is one hour" };
    for (int i = 0; i < 6; ++i) {
        auto* o = new QRadioButton(QLatin1String(captions[static_cast<std::size_t>(i)]), Frame1);
        o->setObjectName(QStringLiteral("optRange%1").arg(i));
        o->setToolTip(QLatin1String(tips[static_cast<std::size_t>(i)]));
        o->setGeometry(twipsRect(120, 240 + 240 * i, i == 0 ? 735 : 1590, 195));
        o->setPalette(framePal);
        o->setAutoFillBackground(true);
        o->setEnabled(i == 0);
        connect(o, &QRadioButton::clicked, this, [this, i] { optRange_Click(i); });
        optRange[static_cast<std::size_t>(i)] = o;
    }

    lblTime = makeTimeLabel(client, QStringLiteral("lblTime"), twipsRect(4560, 480, 855, 255));
    lblDown = makeTimeLabel(client, QStringLiteral("lblDown"), twipsRect(4560, 1200, 855, 255));

    TrackBar = new PositionSlider(client);
    TrackBar->setObjectName(QStringLiteral("TrackBar"));
    TrackBar->setGeometry(twipsRect(240, 2280, 5295, 375));
    TrackBar->setAccessibleName(QStringLiteral("Position"));
    QPalette trackPal = TrackBar->palette();
    trackPal.setColor(QPalette::Window, trackPal.color(QPalette::Midlight));
    trackPal.setColor(QPalette::Button, trackPal.color(QPalette::Midlight));
    TrackBar->setPalette(trackPal);
    connect(TrackBar, &PositionSlider::moved, this, &frmPlay::TrackBar_Moved);

    for (int i = 1; i <= 4; ++i) {
        auto* b = makeButton(client, QStringLiteral("cmdMem%1").arg(i), QStringLiteral("M%1").arg(i),
            QStringLiteral("Memory %1").arg(i), twipsRect(240 + 480 * (i - 1), 2760, 495, 495), 8.25);
        setBackColour(b, kMemColour);
        b->installEventFilter(this);
        connect(b, &QPushButton::clicked, this, [this, i] { cmdMem_Click(i); });
        cmdMem[static_cast<std::size_t>(i)] = b;
    }

    cmdPause = makeButton(client, QStringLiteral("cmdPause"), QStringLiteral("Pause"), QStringLiteral("Pause playback"),
        twipsRect(2400, 2760, 975, 495), 9.75);
    setBackColour(cmdPause, kPauseIdle);
    cmdPlay = makeButton(client, QStringLiteral("cmdPlay"), QStringLiteral("&Play"), QStringLiteral("Starts playback"),
        twipsRect(3480, 2760, 975, 495), 9.75);
    setBackColour(cmdPlay, kPlayIdle);
    cmdPlay->installEventFilter(this);
    cmdStop = makeButton(client, QStringLiteral("cmdStop"), QStringLiteral("&Stop"), QStringLiteral("Stops playback"),
        twipsRect(4560, 2760, 975, 495), 9.75);
    setBackColour(cmdStop, kStopColour);
    cmdRwd = makeButton(client, QStringLiteral("cmdRwd"), QStringLiteral("<"),
        QStringLiteral("Rewind in increments of track bar range"), twipsRect(240, 3360, 495, 495), 9.75);
    setBackColour(cmdRwd, kStepColour);
    cmdRepeat = makeButton(client, QStringLiteral("cmdRepeat"), QStringLiteral("Repeat"), QStringLiteral("Repeat "),
        twipsRect(720, 3360, 975, 495), 9.75);
    setBackColour(cmdRepeat, kStepColour);
    cmdFF = makeButton(client, QStringLiteral("cmdFF"), QStringLiteral(">"),
        QStringLiteral("Fast Forward in increments of track bar range"), twipsRect(1680, 3360, 495, 495), 9.75);
    setBackColour(cmdFF, kStepColour);
    cmdClose = makeButton(
        client, QStringLiteral("cmdClose"), QStringLiteral("&Close"), QString(), twipsRect(2400, 3360, 975, 495), 9.75);

    static const std::array<const char*, 3> endCaptions { "5", "10", "20" };
    for (int i = 1; i <= 3; ++i) {
        auto* b = makeButton(client, QStringLiteral("cmdEnd%1").arg(i),
            QLatin1String(endCaptions[static_cast<std::size_t>(i - 1)]),
            QStringLiteral("Last %1 seconds").arg(QLatin1String(endCaptions[static_cast<std::size_t>(i - 1)])),
            twipsRect(3480 + 720 * (i - 1), 3360, 615, 495), 8.25);
        setBackColour(b, kMemColour);
        connect(b, &QPushButton::clicked, this, [this, i] { cmdEnd_Click(i); });
        cmdEnd[static_cast<std::size_t>(i)] = b;
    }

    connect(cmdPlay, &QPushButton::clicked, this, &frmPlay::cmdPlay_Click);
    connect(cmdPause, &QPushButton::clicked, this, &frmPlay::cmdPause_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmPlay::cmdStop_Click);
    connect(cmdFF, &QPushButton::clicked, this, &frmPlay::cmdFF_Click);
    connect(cmdRwd, &QPushButton::clicked, this, &frmPlay::cmdRwd_Click);
    connect(cmdRepeat, &QPushButton::clicked, this, &frmPlay::cmdRepeat_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    // Play first in the tab order, then the transport, the steps, the memories and the list.
    QWidget* order[] = { cmdPlay, cmdStop, cmdPause, cmdEnd[1], cmdEnd[2], cmdEnd[3], cmdRwd, cmdRepeat, cmdFF,
        cmdMem[1], cmdMem[2], cmdMem[3], cmdMem[4], cmdClose, lstLogs, VScroll1, TrackBar };
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    cmdPlay->setFocus();

    WavePlayer = new wendmoor::WavePlayer(m_services.audio, this);
    WavePlayer->setObjectName(QStringLiteral("WavePlayer"));
    WavePlayer->setLevelMeter(MMLevelX2);
    connect(WavePlayer, &WavePlayer::started, this, &frmPlay::WavePlayer_Started);
    connect(WavePlayer, &WavePlayer::stopped, this, &frmPlay::WavePlayer_Stopped);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, &frmPlay::Timer1_Timer);
    Timer1->start();
}

void frmPlay::buildMenus()
{
    mnuFiles = menuBar()->addMenu(QStringLiteral("Files"));
    mnuFiles->setObjectName(QStringLiteral("mnuFiles"));
    mnuExit = mnuFiles->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    // Never on the menu bar: it pops up when the right button is released over Play.
    mnuHiddenPopupPlay = new QMenu(QStringLiteral("HiddenPopupMenu"), this);
    mnuHiddenPopupPlay->setObjectName(QStringLiteral("mnuHiddenPopupPlay"));
    mnuPlay5 = mnuHiddenPopupPlay->addAction(QStringLiteral("Play Last  5 Seconds"));
    mnuPlay5->setObjectName(QStringLiteral("mnuPlay5"));
    mnuPlay10 = mnuHiddenPopupPlay->addAction(QStringLiteral("Play Last 10 Seconds"));
    mnuPlay10->setObjectName(QStringLiteral("mnuPlay10"));
    mnuPlay20 = mnuHiddenPopupPlay->addAction(QStringLiteral("Play Last 20 Seconds"));
    mnuPlay20->setObjectName(QStringLiteral("mnuPlay20"));
    connect(mnuPlay5, &QAction::triggered, this, &frmPlay::mnuPlay5_Click);
    connect(mnuPlay10, &QAction::triggered, this, &frmPlay::mnuPlay10_Click);
    connect(mnuPlay20, &QAction::triggered, this, &frmPlay::mnuPlay20_Click);
}

void frmPlay::report(const std::exception& failure)
{
    if (const auto* e = dynamic_cast<const Error*>(&failure))
        m_services.messages.ShowMessage(*e);
    else
        m_services.messages.ShowMessage(Error(ErrorNumber::Unexpected, QString::fromLocal8Bit(failure.what())));
}

void frmPlay::Form_Load()
{
    // Any failure ends the opening at its step; the window shows what the steps before built.
    try {
        optRange[0]->setChecked(true);
        optRange_Click(0);
        for (std::size_t i = 0; i < transport::kRangeOptionWidths.size(); ++i)
            m_memory.RangeWidth[i + 1] = transport::kRangeOptionWidths[i];
        setBackColour(cmdPause, kPauseIdle);
        m_memory.IsPaused = false;
        WavePlayer->setDeviceID(m_settings.PlayDevice);
        const QString folder = m_services.volumes.archiveFolder(m_settings.LogDrive);
        (void)logFileNames(folder); // a missing folder fails here, before anything is listed
        m_file1Path = folder;
        if (m_settings.LogListOrder < VScroll1->minimum() || m_settings.LogListOrder > VScroll1->maximum()) {
            throw Error(ErrorNumber::InvalidArgument,
                QStringLiteral("The stored log list order %1 is neither 0 nor 1 (settings file %2).")
                    .arg(m_settings.LogListOrder)
                    .arg(m_services.paths.settingsFile));
        }
        VScroll1->setValue(m_settings.LogListOrder);
        lstLogs->clear();
        fillLogList();
    } catch (const std::exception& e) {
        report(e);
    }
}

void frmPlay::fillLogList()
{
    if (m_file1Path.isEmpty())
        return;
    const LogListView view = orderLogs(logFileNames(m_file1Path), m_settings.LogListOrder);
    lstLogs->addItems(view.entries);
    if (view.selected >= 0)
        lstLogs->setCurrentRow(view.selected);
}

void frmPlay::VScroll1_Change()
{
    lstLogs->clear();
    m_settings.LogListOrder = static_cast<std::int16_t>(VScroll1->value());
    try {
        fillLogList();
    } catch (const std::exception& e) {
        report(e);
    }
    storeListOrder();
}

void frmPlay::storeListOrder()
{
    // The order in force stays as chosen when it cannot be stored; the operator is told.
    try {
        SettingsFile file(m_services.paths.settingsFile);
        file.write(SettingsRecord::LogListOrder, m_settings.LogListOrder);
        file.close();
    } catch (const std::exception& e) {
        report(e);
    }
}

void frmPlay::PlayFile()
{
    if (lstLogs->selectedItems().isEmpty()) {
        m_services.messages.ShowMessage(kNoLogSelected);
        return;
    }
    try {
        if (m_memory.IsPaused) {
            WavePlayer->resume();
            m_memory.IsPaused = false;
            setBackColour(cmdPause, kPauseIdle);
            return;
        }
        if (m_memory.IsPlaying)
            WavePlayer->stop();
        m_memory.PlayPath = QDir::toNativeSeparators(m_services.volumes.archiveFolder(m_settings.LogDrive)
            + QLatin1Char('/') + lstLogs->selectedItems().first()->text());
        WavePlayer->setDeviceID(m_settings.PlayDevice);
        WavePlayer->setFileName(m_memory.PlayPath);
        m_channelText = WavePlayer->channelMode() == 0 ? QStringLiteral("  Mono") : QStringLiteral("  Stereo");
        const int index = m_memory.RangeIndex;
        const transport::LoadPlan plan
            = transport::planLoad(index, m_memory.RangeWidth[static_cast<std::size_t>(index)], WavePlayer->lengthMs());
        setSliderWindow(plan.window.minimum, plan.window.maximum);
        if (plan.startAt)
            WavePlayer->setPositionMs(*plan.startAt);
        for (int i = 1; i <= transport::kLastRangeOption; ++i)
            optRange[static_cast<std::size_t>(i)]->setEnabled(transport::rangeOptionEnabled(i, WavePlayer->lengthMs()));
        WavePlayer->play();
    } catch (const std::exception& e) {
        // One message: the fixed sentence, and below it the failure itself, which names the file
        // or the device (a missing sound card is not a damaged file). Two messages would leave
        // only the second one in the message window.
        const auto* error = dynamic_cast<const Error*>(&e);
        m_services.messages.ShowMessage(kBadWaveFile + QLatin1Char('\n')
            + (error ? error->text() : Error(ErrorNumber::Unexpected, QString::fromLocal8Bit(e.what())).text()));
    }
}

void frmPlay::setSliderWindow(std::int32_t minimum, std::int32_t maximum)
{
    TrackBar->setMinimum(minimum);
    TrackBar->setMaximum(maximum);
}

void frmPlay::cmdPlay_Click()
{
    for (int i = 0; i <= transport::kLastRangeOption; ++i) {
        if (optRange[static_cast<std::size_t>(i)]->isChecked()) {
            m_memory.RangeIndex = static_cast<std::int16_t>(i);
            break;
        }
    }
    PlayFile();
}

void frmPlay::lastN(int rangeIndex, std::int32_t width)
{
    m_memory.RangeIndex = static_cast<std::int16_t>(rangeIndex);
    m_memory.RangeWidth[static_cast<std::size_t>(rangeIndex)] = width;
    PlayFile();
}

void frmPlay::cmdEnd_Click(int index)
{
    const transport::LastN c = transport::endButton(index);
    lastN(c.rangeIndex, c.width);
}

void frmPlay::mnuPlay5_Click()
{
    const transport::LastN c = transport::popupItem(5);
    lastN(c.rangeIndex, c.width);
}

void frmPlay::mnuPlay10_Click()
{
    const transport::LastN c = transport::popupItem(10);
    lastN(c.rangeIndex, c.width);
}

void frmPlay::mnuPlay20_Click()
{
    const transport::LastN c = transport::popupItem(20);
    lastN(c.rangeIndex, c.width);
}

void frmPlay::cmdPause_Click()
{
    if (!m_memory.IsPlaying)
        return;
    m_memory.IsPaused = true;
    try {
        WavePlayer->pause();
    } catch (const std::exception& e) {
        report(e);
    }
    setBackColour(cmdPause, kPauseActive);
    setBackColour(cmdPlay, kPlayIdle);
    m_memory.IsPlaying = false;
}

void frmPlay::cmdStop_Click()
{
    try {
        WavePlayer->stop();
    } catch (const std::exception& e) {
        report(e);
    }
}

void frmPlay::WavePlayer_Started()
{
    m_memory.IsPlaying = true;
    setBackColour(cmdPlay, kPlayActive);
    cmdStop->setFocus();
}

void frmPlay::WavePlayer_Stopped()
{
    TrackBar->setPosition(WavePlayer->positionMs());
    m_memory.IsPlaying = false;
    m_memory.IsPaused = false;
    setBackColour(cmdPlay, kPlayIdle);
    setBackColour(cmdPause, kPauseIdle);
    lblDown->setText(QStringLiteral("     "));
    lblTime->setText(QStringLiteral("    "));
    cmdPlay->setFocus();
}

void frmPlay::cmdFF_Click()
{
    try {
        const std::int32_t w = m_memory.RangeWidth[static_cast<std::size_t>(m_memory.RangeIndex)];
        const auto target = transport::fastForward(WavePlayer->positionMs(), w, WavePlayer->lengthMs());
        if (!target)
            return;
        WavePlayer->setPositionMs(*target);
        setSliderWindow(transport::addMs(TrackBar->minimum(), w), transport::addMs(TrackBar->maximum(), w));
        m_memory.RepeatPoint = WavePlayer->positionMs();
    } catch (const std::exception& e) {
        report(e);
    }
}

void frmPlay::cmdRwd_Click()
{
    try {
        const std::int32_t w = m_memory.RangeWidth[static_cast<std::size_t>(m_memory.RangeIndex)];
        const auto target = transport::rewind(WavePlayer->positionMs(), w);
        if (!target)
            return;
        WavePlayer->setPositionMs(*target);
        setSliderWindow(transport::addMs(TrackBar->minimum(), -static_cast<std::int64_t>(w)),
            transport::addMs(TrackBar->maximum(), -static_cast<std::int64_t>(w)));
        m_memory.RepeatPoint = WavePlayer->positionMs();
    } catch (const std::exception& e) {
        report(e);
    }
}

void frmPlay::optRange_Click(int index)
{
    m_memory.RangeIndex = static_cast<std::int16_t>(index);
    if (index == transport::kTotal) {
        TrackBar->setMaximum(WavePlayer->lengthMs());
        cmdRwd->setEnabled(false);
        cmdFF->setEnabled(false);
        return;
    }
    cmdRwd->setEnabled(true);
    cmdFF->setEnabled(true);
    const std::int32_t start = TrackBar->position();
    setSliderWindow(start, transport::addMs(start, m_memory.RangeWidth[static_cast<std::size_t>(index)]));
}

void frmPlay::TrackBar_Moved()
{
    try {
        WavePlayer->setPositionMs(TrackBar->position());
    } catch (const std::exception& e) {
        report(e);
    }
}

void frmPlay::Timer1_Timer()
{
    if (!m_memory.IsPlaying)
        return;
    try {
        const std::int32_t length = WavePlayer->lengthMs();
        lblTime->setText(FormatSeconds(transport::elapsedSeconds(WavePlayer->positionMs())));
        lblDown->setText(FormatSeconds(transport::remainingSeconds(length, WavePlayer->positionMs())));
        const auto paged = transport::page(WavePlayer->positionMs(), { TrackBar->minimum(), TrackBar->maximum() },
            m_memory.RangeWidth[static_cast<std::size_t>(m_memory.RangeIndex)]);
        if (paged)
            setSliderWindow(paged->minimum, paged->maximum);
        TrackBar->setPosition(WavePlayer->positionMs());
        m_tickFailureShown = false;
    } catch (const std::exception& e) {
        if (!m_tickFailureShown)
            report(e);
        m_tickFailureShown = true;
    }
}

void frmPlay::cmdMem_Store(int index)
{
    try {
        m_memory.MemoryPoint[static_cast<std::size_t>(index)] = WavePlayer->positionMs();
    } catch (const std::exception& e) {
        report(e);
    }
}

void frmPlay::cmdMem_Click(int index)
{
    try {
        if (m_memory.RangeIndex == transport::kTotal)
            m_memory.RangeWidth[0] = WavePlayer->lengthMs();
        WavePlayer->setPositionMs(m_memory.MemoryPoint[static_cast<std::size_t>(index)]);
        const std::int32_t start = WavePlayer->positionMs();
        setSliderWindow(
            start, transport::addMs(start, m_memory.RangeWidth[static_cast<std::size_t>(m_memory.RangeIndex)]));
        TrackBar->setPosition(TrackBar->minimum());
        if (!m_memory.IsPlaying)
            WavePlayer->play();
    } catch (const std::exception& e) {
        report(e);
    }
}

void frmPlay::cmdRepeat_Click()
{
    try {
        const auto index = static_cast<std::size_t>(m_memory.RangeIndex);
        if (m_memory.RangeIndex <= transport::kLastRangeOption) {
            if (m_memory.RangeIndex == transport::kTotal)
                m_memory.RangeWidth[0] = WavePlayer->lengthMs();
            WavePlayer->setPositionMs(m_memory.RepeatPoint);
            setSliderWindow(m_memory.RepeatPoint, transport::addMs(m_memory.RepeatPoint, m_memory.RangeWidth[index]));
        } else {
            const std::int32_t length = WavePlayer->lengthMs();
            setSliderWindow(transport::addMs(length, -static_cast<std::int64_t>(m_memory.RangeWidth[index])), length);
            WavePlayer->setPositionMs(TrackBar->minimum());
        }
        WavePlayer->play();
    } catch (const std::exception& e) {
        report(e);
    }
}

bool frmPlay::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && mouse->button() == Qt::RightButton && button->rect().contains(mouse->position().toPoint())) {
            if (button == cmdPlay) {
                mnuHiddenPopupPlay->popup(mouse->globalPosition().toPoint());
                return true;
            }
            for (int i = 1; i <= 4; ++i) {
                if (button == cmdMem[static_cast<std::size_t>(i)]) {
                    cmdMem_Store(i);
                    return true;
                }
            }
        }
    }
    // The keyboard's menu key (or Shift+F10) on a focused button does what the right button does,
    // so that the pop-up menu and the memory store need no mouse.
    const bool menuKey = event->type() == QEvent::KeyPress
        && (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Menu
            || (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F10
                && static_cast<QKeyEvent*>(event)->modifiers() == Qt::ShiftModifier));
    if (menuKey
        || (event->type() == QEvent::ContextMenu
            && static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard)) {
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button == cmdPlay) {
            mnuHiddenPopupPlay->popup(cmdPlay->mapToGlobal(cmdPlay->rect().bottomLeft()));
            return true;
        }
        for (int i = 1; i <= 4; ++i) {
            if (button && button == cmdMem[static_cast<std::size_t>(i)]) {
                cmdMem_Store(i);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmPlay::closeEvent(QCloseEvent* event)
{
    // Playback ends with the window; no stop notification is waited for.
    m_memory.IsPlaying = false;
    Timer1->stop();
    WavePlayer->close();
    mnuHiddenPopupPlay->close();
    event->accept();
}

} // namespace wendmoor
