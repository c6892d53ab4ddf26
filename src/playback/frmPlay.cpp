#include "playback/frmPlay.h"

#include "media/WavePlayer.h"
#include "playback/ExportPanel.h"
#include "playback/PlaybackController.h"
#include "playback/TransportLogic.h"
#include "widgets/LevelMeter.h"
#include "widgets/PositionSlider.h"
#include "widgets/UiUnits.h"
#include "widgets/WindowLook.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>

#include <span>

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
    , m_play(new PlaybackController(services, settings, memory, this))
{
    setObjectName(QStringLiteral("frmPlay"));
    setWindowTitle(QStringLiteral("Play"));
    buildControls();
    pnlExport = new ExportPanel(services, *m_play, memory, centralWidget());
    pnlExport->setGeometry(twipsRect(240, 4395, 5295, 720));
    setTabOrder(cmdGoTo, pnlExport);
    buildMenus();
    connect(m_play, &PlaybackController::changed, this, &frmPlay::render);
    m_play->open();
    render();
}

frmPlay::~frmPlay() = default;

void frmPlay::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(twips(5775), twips(5235));
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
    lblClock = makeTimeLabel(client, QStringLiteral("lblClock"), twipsRect(4560, 840, 1095, 255));
    lblClock->setToolTip(QStringLiteral("Clock time at which the position was recorded"));

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

    // "Go to a time": Alt+G reaches the field, Enter or the button goes.
    txtGoTo = new QLineEdit(client);
    txtGoTo->setObjectName(QStringLiteral("txtGoTo"));
    txtGoTo->setGeometry(twipsRect(1080, 3960, 2295, 315));
    txtGoTo->setPlaceholderText(QStringLiteral("2026-12-03 14:32:10"));
    txtGoTo->setToolTip(QStringLiteral(
        "Type a date and time (YYYY-MM-DD HH:MM:SS) and press Enter: the log recorded then plays from that time"));
    txtGoTo->setAccessibleName(QStringLiteral("Go to a date and time"));
    lblGoTo = new QLabel(QStringLiteral("&Go to:"), client);
    lblGoTo->setObjectName(QStringLiteral("lblGoTo"));
    lblGoTo->setGeometry(twipsRect(240, 3960, 795, 315));
    lblGoTo->setBuddy(txtGoTo);
    cmdGoTo = makeButton(client, QStringLiteral("cmdGoTo"), QStringLiteral("Go"),
        QStringLiteral("Play the log recorded at the date and time typed"), twipsRect(3480, 3960, 615, 315), 8.25);
    connect(txtGoTo, &QLineEdit::returnPressed, this, &frmPlay::cmdGoTo_Click);
    connect(cmdGoTo, &QPushButton::clicked, this, &frmPlay::cmdGoTo_Click);

    connect(cmdPlay, &QPushButton::clicked, this, &frmPlay::cmdPlay_Click);
    connect(cmdPause, &QPushButton::clicked, this, &frmPlay::cmdPause_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmPlay::cmdStop_Click);
    connect(cmdFF, &QPushButton::clicked, this, &frmPlay::cmdFF_Click);
    connect(cmdRwd, &QPushButton::clicked, this, &frmPlay::cmdRwd_Click);
    connect(cmdRepeat, &QPushButton::clicked, this, &frmPlay::cmdRepeat_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    // Play first in the tab order, then the transport, the steps, the memories and the list.
    QWidget* order[] = { cmdPlay, cmdStop, cmdPause, cmdEnd[1], cmdEnd[2], cmdEnd[3], cmdRwd, cmdRepeat, cmdFF,
        cmdMem[1], cmdMem[2], cmdMem[3], cmdMem[4], cmdClose, lstLogs, VScroll1, TrackBar, txtGoTo, cmdGoTo };
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    cmdPlay->setFocus();

    WavePlayer& player = m_play->player();
    player.setLevelTap([this](std::span<const std::int16_t> played) {
        if (played.empty())
            MMLevelX2->reset();
        else
            MMLevelX2->setSamples(played);
    });
    connect(&player, &WavePlayer::started, cmdStop, [this] { cmdStop->setFocus(); });
    connect(&player, &WavePlayer::stopped, cmdPlay, [this] { cmdPlay->setFocus(); });
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

QString frmPlay::selectedLog() const
{
    const auto items = lstLogs->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

void frmPlay::render()
{
    const PlaybackView& v = m_play->view();
    if (v.listVersion != m_shownListVersion) {
        m_shownListVersion = v.listVersion;
        lstLogs->clear();
        lstLogs->addItems(v.logs);
        if (v.selectedLog >= 0)
            lstLogs->setCurrentRow(v.selectedLog);
    }
    if (v.selectionVersion != m_shownSelectionVersion) {
        m_shownSelectionVersion = v.selectionVersion;
        lstLogs->setCurrentRow(v.selectedLog);
    }
    {
        const QSignalBlocker quiet(VScroll1);
        VScroll1->setValue(v.listOrder);
    }
    optRange[static_cast<std::size_t>(v.checkedRange)]->setChecked(true);
    for (std::size_t i = 0; i < optRange.size(); ++i)
        optRange[i]->setEnabled(v.rangeEnabled[i]);
    cmdRwd->setEnabled(v.stepsEnabled);
    cmdFF->setEnabled(v.stepsEnabled);
    TrackBar->setMinimum(v.slider.minimum);
    TrackBar->setMaximum(v.slider.maximum);
    TrackBar->setPosition(v.sliderPosition);
    lblTime->setText(v.elapsed);
    lblDown->setText(v.remaining);
    lblClock->setText(v.clockTime);
    lblClock->setToolTip(v.clockDay.isEmpty()
            ? QStringLiteral("Clock time at which the position was recorded")
            : QStringLiteral("Clock time at which the position was recorded, on %1").arg(v.clockDay));
    if (statusBar()->currentMessage() != v.goToNote)
        statusBar()->showMessage(v.goToNote);
    setBackColour(cmdPlay, v.playing ? kPlayActive : kPlayIdle);
    setBackColour(cmdPause, v.paused ? kPauseActive : kPauseIdle);
}

void frmPlay::cmdPlay_Click()
{
    m_play->play(selectedLog());
}
void frmPlay::cmdPause_Click()
{
    m_play->pause();
}
void frmPlay::cmdStop_Click()
{
    m_play->stop();
}
void frmPlay::cmdEnd_Click(int index)
{
    m_play->playLast(transport::endButton(index), selectedLog());
}
void frmPlay::mnuPlay5_Click()
{
    m_play->playLast(transport::popupItem(5), selectedLog());
}
void frmPlay::mnuPlay10_Click()
{
    m_play->playLast(transport::popupItem(10), selectedLog());
}
void frmPlay::mnuPlay20_Click()
{
    m_play->playLast(transport::popupItem(20), selectedLog());
}
void frmPlay::cmdFF_Click()
{
    m_play->fastForward();
}
void frmPlay::cmdRwd_Click()
{
    m_play->rewind();
}
void frmPlay::optRange_Click(int index)
{
    m_play->chooseRange(index);
}
void frmPlay::TrackBar_Moved()
{
    m_play->seek(TrackBar->position());
}
void frmPlay::cmdMem_Store(int index)
{
    m_play->storeMemory(index);
}
void frmPlay::cmdMem_Click(int index)
{
    m_play->recallMemory(index);
}
void frmPlay::cmdRepeat_Click()
{
    m_play->repeat();
}
void frmPlay::VScroll1_Change()
{
    m_play->setListOrder(VScroll1->value());
}
void frmPlay::cmdGoTo_Click()
{
    m_play->goToTime(txtGoTo->text());
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
    m_play->close();
    mnuHiddenPopupPlay->close();
    event->accept();
}

} // namespace wendmoor
