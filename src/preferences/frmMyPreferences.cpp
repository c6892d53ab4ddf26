#include "preferences/frmMyPreferences.h"

#include "archive/DiskForecast.h"
#include "catalog/ArchiveHolds.h"
#include "config/RecordFormats.h"
#include "config/SettingsFile.h"
#include "config/TypedNumber.h"
#include "media/AudioSystem.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "widgets/ListBox.h"
#include "widgets/UiUnits.h"
#include "widgets/WindowLook.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>

namespace wendmoor {

// Limits what the operator types to `limit` characters. Unlike QLineEdit's maxLength it leaves
// text set by the program whole (through showText), so a stored value longer than the box allows
// is shown and saved as it is instead of being cut short; the operator can shorten such a text
// but not lengthen it.
class LengthValidator final : public QValidator {
public:
    LengthValidator(int limit, QLineEdit* edit)
        : QValidator(edit)
        , m_limit(limit)
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { m_allowed = text.size(); });
    }
    State validate(QString& input, int&) const override
    {
        return input.size() <= std::max<qsizetype>(m_limit, m_allowed) ? Acceptable : Invalid;
    }
    // Lets the next text in whole; it must pass here too, or the box would accept anything after it.
    void allow(const QString& text) { m_allowed = text.size(); }

private:
    int m_limit;
    qsizetype m_allowed = 0;
};

namespace {
void showText(QLineEdit* edit, LengthValidator* limit, const QString& text)
{
    limit->allow(text);
    edit->setText(text);
}
} // namespace

namespace {

constexpr int kLongestDaysToKeep = 730;

QFont dialogFont(bool bold = false)
{
    return msSansSerif(9.75, bold);
}

template <typename W> W* place(W* widget, const char* name, QRect geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, QRect geometry)
{
    return place(new QLabel(QString::fromLatin1(caption), parent), name, geometry);
}

// One button of a row of options: caption, tooltip, left edge and width in twips.
struct Option {
    const char* caption;
    const char* tooltip;
    int left;
    int width;
};

// A row of option buttons in a frame, named <prefix>_<index>; `chosen` hears the one turned on.
template <std::size_t N>
std::array<QRadioButton*, N> optionRow(
    QGroupBox* frame, const char* prefix, const std::array<Option, N>& options, const std::function<void(int)>& chosen)
{
    std::array<QRadioButton*, N> buttons {};
    for (std::size_t i = 0; i < N; ++i) {
        auto* button = place(new QRadioButton(QString::fromLatin1(options[i].caption), frame),
            QStringLiteral("%1_%2").arg(QLatin1String(prefix)).arg(i).toLatin1().constData(),
            twipsRect(options[i].left, 240, options[i].width, 255));
        button->setToolTip(QString::fromLatin1(options[i].tooltip));
        QObject::connect(button, &QRadioButton::toggled, frame, [chosen, i](bool on) {
            if (on)
                chosen(static_cast<int>(i));
        });
        buttons[i] = button;
    }
    return buttons;
}

// A list or text box is announced by the caption of the label beside it.
void describe(QWidget* box, const QString& tooltip, QLabel* beside)
{
    box->setToolTip(tooltip);
    box->setAccessibleName(beside->text().trimmed());
    beside->setBuddy(box);
}

void createFolderIfMissing(const QString& path)
{
    if (QFileInfo(path).isDir())
        return;
    errno = 0;
    if (!QDir().mkdir(path))
        throw fileError(errno != 0 ? errno : EACCES, QStringLiteral("Cannot create the archive folder"), path);
}

int chosenItemData(const ListBox& list, const QString& listName)
{
    const int index = list.listIndex();
    if (index < 0)
        throw Error(ErrorNumber::InvalidPropertyArrayIndex,
            QStringLiteral("Nothing is chosen in the %1 list of My Preferences.").arg(listName));
    return list.itemData(index);
}

} // namespace

frmMyPreferences::frmMyPreferences(Services& services, Settings& settings, QWidget* parent, Measure measure)
    : QDialog(parent)
    , m_services(services)
    , m_settings(settings)
    , m_measure(std::move(measure))
{
    setObjectName(QStringLiteral("frmMyPreferences"));
    setWindowTitle(QStringLiteral("My Preferences"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(dialogFont());
    buildControls();
    buildTabOrder();
    Form_Load();
}

frmMyPreferences::~frmMyPreferences() = default;

void frmMyPreferences::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(7815), twips(6375));

    auto* bar = new QMenuBar(this);
    mnuFiles = bar->addMenu(QStringLiteral("Files"));
    mnuFiles->setObjectName(QStringLiteral("mnuFiles"));
    mnuExit = mnuFiles->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &frmMyPreferences::mnuExit_Click);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(bar);
    layout->addWidget(client);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The classic layout, in twips, except where the sans-serif faces that stand in for
    // MS Sans Serif on Linux are wider: those labels, the check box, the option buttons (and the
    // start/pause frame around them) and the days list are wider, Label6 wraps onto a second line
    // under the format list, and the threshold and stop-delay boxes sit further right to leave
    // their labels room.
    Label1 = label(client, "Label1", "Select Sound Card", twipsRect(3000, 120, 1860, 255));

    lblMM1 = label(client, "lblMM1", "Play", twipsRect(480, 480, 495, 255));
    lstMM1 = place(new ListBox(client), "lstMM1", twipsRect(2400, 360, 3615, 300));
    describe(lstMM1, QStringLiteral("Select Play sound card"), lblMM1);

    Label9 = label(client, "Label9", "Record ", twipsRect(480, 840, 705, 255));
    Label9->setToolTip(QStringLiteral("Select record sound card"));
    lstMM2 = place(new ListBox(client), "lstMM2", twipsRect(2400, 720, 3615, 300));
    describe(lstMM2, QStringLiteral("Select Program  sound card"), Label9);

    Label3 = label(client, "Label3", "Select Format", twipsRect(480, 1200, 1395, 255));
    List2 = place(new ListBox(client), "List2", twipsRect(2400, 1080, 5055, 300));
    describe(List2, QStringLiteral("Select sample rate and bit length"), Label3);
    Label6 = label(
        client, "Label6", "Every format may not be useable with every sound card. ", twipsRect(2400, 1410, 5055, 480));
    Label6->setWordWrap(true);

    Label8 = label(client, "Label8", "Save logs to drive", twipsRect(360, 2040, 1785, 255));
    lstDrv = place(new ListBox(client), "lstDrv", twipsRect(2280, 1920, 615, 300));
    lstDrv->setFont(dialogFont(true));
    describe(lstDrv, QStringLiteral("Save wave files to this drive."), Label8);
    lblDrvFolder = place(new QLabel(client), "lblDrvFolder", twipsRect(3000, 1980, 4455, 255));
    lblDrvFolder->setTextFormat(Qt::PlainText);
    connect(lstDrv, &ListBox::listIndexChanged, this, &frmMyPreferences::lstDrv_Click);

    Label2 = label(client, "Label2", "Days to save logs", twipsRect(360, 2400, 1785, 255));
    List1 = place(new ListBox(client), "List1", twipsRect(2280, 2280, 1950, 300));
    describe(List1, QStringLiteral("Number of days to save audio log.  Do not delete saves all logs."), Label2);
    lblDiskSpace = place(new QLabel(client), "lblDiskSpace", twipsRect(4440, 2280, 3015, 900));
    lblDiskSpace->setWordWrap(true);
    connect(List1, &ListBox::listIndexChanged, this, &frmMyPreferences::showDiskForecast);
    connect(List2, &ListBox::listIndexChanged, this, &frmMyPreferences::showDiskForecast);

    Check1 = place(
        new QCheckBox(QStringLiteral("Start record upon loading"), client), "Check1", twipsRect(360, 2760, 2985, 375));
    Check1->setToolTip(QStringLiteral("Click to automatically start recording upon loading."));

    Frame1
        = place(new QGroupBox(QStringLiteral("Record Start/Pause"), client), "Frame1", twipsRect(360, 3240, 4800, 615));
    Frame1->setToolTip(QStringLiteral("Remote control:  Record, Play, EOM, Time Update, Alarm"));
    const std::array<Option, 4> modes = { {
        { "Off", "Start/Pause option is off.  Recording is continous until manually stopped.", 120, 705 },
        { "VOX", "Start/Pause is control by threshhold of audio", 840, 795 },
        { "Momentary", "Start/Pause is controlled by momentary closure on pins 12 and 13 of the parallel port", 1680,
            1500 },
        { "Continous",
            "Start/Pause is controlled by a closure on Pin 12 of the remote control.  A closure starts and continues "
            "the recording.  An open pauses the recording.",
            3240, 1365 },
    } };
    optRecord = optionRow(Frame1, "optRecord", modes, [this](int i) { optRecord_Click(i); });

    Label4 = label(client, "Label4", "Record Audio Threshold", twipsRect(360, 4080, 2370, 255));
    txtThreshold = place(new QLineEdit(client), "txtThreshold", twipsRect(2760, 3960, 735, 285));
    m_thresholdLimit = new LengthValidator(3, txtThreshold);
    txtThreshold->setValidator(m_thresholdLimit);
    describe(txtThreshold, QStringLiteral("Set the Audio level for record start/pause in \"VOX\" mode"), Label4);

    Label5 = label(client, "Label5", "Stop Delay", twipsRect(360, 4440, 1095, 255));
    txtStopDelay = place(new QLineEdit(client), "txtStopDelay", twipsRect(2760, 4320, 375, 285));
    m_stopDelayLimit = new LengthValidator(1, txtStopDelay);
    txtStopDelay->setValidator(m_stopDelayLimit);
    describe(txtStopDelay, QStringLiteral("Delay before pausing record after level falls below threshhold"), Label5);

    // The threshold and stop-delay pairs wait for a start/pause mode to be chosen.
    for (QWidget* w : { static_cast<QWidget*>(Label4), static_cast<QWidget*>(txtThreshold),
             static_cast<QWidget*>(Label5), static_cast<QWidget*>(txtStopDelay) })
        w->setEnabled(false);

    Frame3 = place(new QGroupBox(QStringLiteral("Remote Control"), client), "Frame3", twipsRect(360, 4800, 3975, 615));
    Frame3->setToolTip(QStringLiteral("Remote control:  Record, Play, EOM, Time Update, Alarm"));
    const std::array<Option, 3> remotes = { {
        { "Off",
            "Remote Control is Off.  This position should be selected when a printer is connected to the parallel "
            "port.",
            120, 705 },
        { "Parallel ", "Use the Parallel Port for start/pause control.", 840, 1155 },
        { "Prairie Digital", "Use the Prairie Digital Model 30 Card for start/pause control.", 2040, 1695 },
    } };
    Option2 = optionRow(Frame3, "Option2", remotes, [this](int i) { Option2_Click(i); });

    cmdApply = place(new QPushButton(QStringLiteral("Apply"), client), "cmdApply", twipsRect(1560, 5640, 975, 495));
    cmdApply->setFont(dialogFont(true));
    cmdApply->setToolTip(QStringLiteral("Saves settings"));
    cmdClose = place(new QPushButton(QStringLiteral("&Close"), client), "cmdClose", twipsRect(3000, 5640, 975, 495));
    cmdClose->setFont(dialogFont(true));
    cmdClose->setToolTip(QStringLiteral("Exit "));
    // Beside Close, where the classic layout has room: the alarms have a page of their own.
    cmdAlarms
        = place(new QPushButton(QStringLiteral("A&larms..."), client), "cmdAlarms", twipsRect(4440, 5640, 1215, 495));
    cmdAlarms->setFont(dialogFont(true));
    cmdAlarms->setToolTip(QStringLiteral("Dead air and the logger's own faults: when they raise an alarm and where "
                                         "it is sent (alarms.ini)"));
    connect(cmdAlarms, &QPushButton::clicked, this, &frmMyPreferences::alarmsRequested);
    // Enter presses the button that has the focus and nothing else: Enter in a text box must not
    // save or close behind the operator's back.
    for (QPushButton* b : { cmdApply, cmdClose, cmdAlarms }) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(cmdApply, &QPushButton::clicked, this, &frmMyPreferences::cmdApply_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmMyPreferences::cmdClose_Click);
}

void frmMyPreferences::buildTabOrder()
{
    const std::array<QWidget*, 18> chain
        = { cmdClose, lstMM1, txtThreshold, Option2[0], Option2[1], Option2[2], List1, lstDrv, cmdApply, lstMM2, List2,
              txtStopDelay, optRecord[0], optRecord[1], optRecord[2], optRecord[3], Check1, cmdAlarms };
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    cmdClose->setFocus();
}

void frmMyPreferences::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        cmdClose->setFocus();
}

void frmMyPreferences::Form_Load()
{
    for (const Drive& drive : m_services.volumes.drives()) {
        const QChar letter = drive.letter.toUpper();
        if (letter == QLatin1Char('A') || letter == QLatin1Char('B'))
            continue;
        lstDrv->addEntry(QString(letter), driveIndexForLetter(letter));
        // A file system that is not mounted keeps its letter; it is listed, marked, so that a
        // stored choice of it stays chosen.
        QListWidgetItem* entry = lstDrv->item(lstDrv->count() - 1);
        entry->setToolTip(drive.mounted ? QDir::toNativeSeparators(drive.root)
                                        : QStringLiteral("%1 (not mounted)").arg(QDir::toNativeSeparators(drive.root)));
        if (!drive.mounted)
            entry->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    }

    const QStringList outputs = m_services.audio.outputDeviceNames();
    for (int i = 0; i < outputs.size(); ++i) {
        lstMM1->addEntry(outputs[i], i);
        lstMM1->item(i)->setToolTip(outputs[i]); // device names can be longer than the list
    }
    const QStringList inputs = m_services.audio.inputDeviceNames();
    for (int i = 0; i < inputs.size(); ++i) {
        lstMM2->addEntry(inputs[i], i);
        lstMM2->item(i)->setToolTip(inputs[i]);
    }

    List1->addEntry(QStringLiteral("Do not Delete"), 0);
    List1->addEntry(QStringLiteral("1 Day"), 1);
    for (int n = 2; n <= kLongestDaysToKeep; ++n)
        List1->addEntry(QStringLiteral("%1 Days").arg(n), n);

    for (std::size_t i = 0; i < kRecordFormats.size(); ++i)
        List2->addEntry(QString::fromLatin1(kRecordFormats[i].caption), static_cast<int>(i));

    showStoredSettings();
}

void frmMyPreferences::showStoredSettings()
{
    // The dialog opens with whatever could be read: a file that cannot be opened or a record
    // that cannot be read leaves those controls as they are, without a message.
    std::optional<SettingsFile> file;
    try {
        file.emplace(m_services.paths.settingsFile, SettingsFile::Access::ReadOnly);
    } catch (const Error&) {
        return;
    }
    namespace R = SettingsRecord;
    const auto step = [&file](int record, auto&& show) {
        try {
            show(file->read(record));
        } catch (const Error&) {
        }
    };
    step(R::PlayDevice, [this](std::int16_t v) {
        lstMM1->setListIndex(v);
        m_settings.PlayDevice = v;
    });
    step(R::RecordDevice, [this](std::int16_t v) { lstMM2->setListIndex(v); });
    step(R::RecordFormat, [this](std::int16_t v) { List2->setListIndex(v); });
    // The record names a letter; the list may have gaps (a letter kept by an absent disk).
    step(R::DriveIndex, [this](std::int16_t v) {
        const QChar letter = driveLetterForIndex(v);
        if (!letter.isNull())
            lstDrv->setListIndex(lstDrv->indexOfItemData(v));
    });
    step(R::DaysToKeep, [this](std::int16_t v) {
        m_settings.DaysToKeep = v;
        List1->setListIndex(v);
    });
    step(R::StartPauseMode, [this](std::int16_t v) {
        if (v >= 0 && v < static_cast<int>(optRecord.size()))
            optRecord[static_cast<std::size_t>(v)]->setChecked(true);
        // Right after loading only VOX offers its threshold and stop delay; Label5 keeps what
        // the option's handler gave it.
        const bool vox = v == ModeVox;
        Label4->setEnabled(vox);
        txtThreshold->setEnabled(vox);
        txtStopDelay->setEnabled(vox);
    });
    step(R::Threshold, [this](std::int16_t v) {
        m_settings.Threshold = v;
        showText(txtThreshold, m_thresholdLimit, QString::number(v));
    });
    step(R::StopDelay, [this](std::int16_t v) {
        m_settings.StopDelay = v;
        showText(txtStopDelay, m_stopDelayLimit, QString::number(v));
    });
    step(R::RemoteControl, [this](std::int16_t v) {
        m_settings.RemoteControl = v;
        if (v >= 0 && v < static_cast<int>(Option2.size()))
            Option2[static_cast<std::size_t>(v)]->setChecked(true);
    });
    step(R::StartOnLoad, [this](std::int16_t v) {
        m_settings.StartOnLoad = v;
        if (v == 0 || v == 1)
            Check1->setChecked(v == 1);
    });
    try {
        file->close();
    } catch (const Error&) {
    }
}

void frmMyPreferences::lstDrv_Click()
{
    const int index = lstDrv->listIndex();
    if (index < 0)
        return;
    m_settings.LogDrive = driveLetterForIndex(static_cast<std::int16_t>(lstDrv->itemData(index)));
    showDriveFolder();
    showDiskForecast();
}

void frmMyPreferences::showDiskForecast()
{
    // Blank until the drive now chosen answers: never another drive's forecast.
    lblDiskSpace->clear();
    m_measuring.reset();
    const RecordFormat* format = recordFormat(List2->listIndex());
    const int drive = lstDrv->listIndex();
    if (!format || drive < 0)
        return;
    const QChar letter = driveLetterForIndex(static_cast<std::int16_t>(lstDrv->itemData(drive)));
    const QString root = m_services.volumes.rootOf(letter);
    const QString folder = m_services.volumes.archiveFolder(letter);
    const int keep = std::max(List1->listIndex(), 0);
    const QDate today = m_services.clock.now().date();
    m_measuring = std::make_unique<BackgroundWork>(std::chrono::milliseconds(0));
    // `window` is only used by what comes back, which runs on the window's thread while
    // m_measuring, and so the window, still exists.
    m_measuring->post(
        [window = this, measure = m_measure, root, folder, format, keep, today]() -> BackgroundWork::Result {
            const std::optional<DriveSpace> space = measure(root, folder);
            if (!space)
                return {};
            const DiskForecast f = forecastArchive(*space, folder, *format, keep, today);
            return [window, f, keep] { window->showForecast(f, keep); };
        });
}

void frmMyPreferences::showForecast(const DiskForecast& f, int keep)
{
    const QString days = f.daysOfFreeSpace < 1
        ? QStringLiteral("less than a day")
        : QStringLiteral("about %1 days").arg(static_cast<qint64>(f.daysOfFreeSpace));
    const QString verdict = keep == 0 ? QStringLiteral("logs are never deleted.")
        : f.coversDaysToKeep          ? QStringLiteral("enough to keep %1 days.").arg(keep)
                                      : QStringLiteral("not enough to keep %1 days.").arg(keep);
    lblDiskSpace->setText(QStringLiteral("Free space: %1 of this format; %2").arg(days, verdict));
}

void frmMyPreferences::showDriveFolder()
{
    const int index = lstDrv->listIndex();
    const QString folder = index >= 0 ? lstDrv->item(index)->toolTip() : QString();
    lblDrvFolder->setToolTip(folder);
    lblDrvFolder->setText(lblDrvFolder->fontMetrics().elidedText(folder, Qt::ElideMiddle, lblDrvFolder->width()));
}

void frmMyPreferences::optRecord_Click(int index)
{
    m_settings.StartPauseMode = static_cast<std::int16_t>(index);
    Label4->setEnabled(index == ModeVox);
    txtThreshold->setEnabled(index == ModeVox);
    Label5->setEnabled(index != ModeOff);
    txtStopDelay->setEnabled(index != ModeOff);
}

void frmMyPreferences::Option2_Click(int index)
{
    m_settings.RemoteControl = static_cast<std::int16_t>(index);
}

void frmMyPreferences::cmdApply_Click()
{
    if (List1->listIndex() < 0) {
        m_services.messages.ShowMessage(QStringLiteral("You must select the number of days to save wave files."));
        return;
    }
    if (lstDrv->listIndex() < 0) {
        m_services.messages.ShowMessage(QStringLiteral("You must select a hard drive."));
        return;
    }
    try {
        saveSettings();
    } catch (const Error& e) {
        // What was written before the failure stays written; the dialog stays open.
        m_services.messages.ShowMessage(e);
    }
}

void frmMyPreferences::saveSettings()
{
    namespace R = SettingsRecord;
    {
        // The file closes on every way out of this block, the failures included.
        SettingsFile file(m_services.paths.settingsFile);

        const auto play = static_cast<std::int16_t>(chosenItemData(*lstMM1, lblMM1->text().trimmed()));
        file.write(R::PlayDevice, play);
        m_settings.PlayDevice = play;

        const auto record = static_cast<std::int16_t>(chosenItemData(*lstMM2, Label9->text().trimmed()));
        file.write(R::RecordDevice, record);
        m_settings.RecordDevice = record;

        // A stored format outside the list leaves it without a choice; saving that as a format
        // would leave the recorder with none it can use.
        const int format = List2->listIndex();
        if (format < 0)
            throw Error(ErrorNumber::InvalidPropertyArrayIndex,
                QStringLiteral("Nothing is chosen in the %1 list of My Preferences.").arg(Label3->text()));
        file.write(R::RecordFormat, static_cast<std::int16_t>(format));
        m_settings.RecordFormat = format;

        const int driveRow = lstDrv->listIndex();
        const auto drive = driveRow < 0 ? std::int16_t { -1 } : static_cast<std::int16_t>(lstDrv->itemData(driveRow));
        file.write(R::DriveIndex, drive);
        m_settings.LogDrive = driveLetterForIndex(drive);

        const auto days = static_cast<std::int16_t>(List1->listIndex());
        file.write(R::DaysToKeep, days);
        m_settings.DaysToKeep = days;

        // Without a mode button set (a stored mode no button stands for) the mode in effect is
        // kept when it is a real one, and Off is stored otherwise.
        std::int16_t mode = m_settings.StartPauseMode >= 0 && m_settings.StartPauseMode <= 3 ? m_settings.StartPauseMode
                                                                                             : std::int16_t { 0 };
        for (std::size_t i = 0; i < optRecord.size(); ++i) {
            if (optRecord[i]->isChecked()) {
                mode = static_cast<std::int16_t>(i);
                break;
            }
        }
        file.write(R::StartPauseMode, mode);
        m_settings.StartPauseMode = mode;

        const std::int16_t threshold = typedInteger16(txtThreshold->text(), Label4->text());
        file.write(R::Threshold, threshold);
        m_settings.Threshold = threshold;

        const std::int16_t stopDelay = typedInteger16(txtStopDelay->text(), Label5->text());
        file.write(R::StopDelay, stopDelay);
        m_settings.StopDelay = stopDelay;

        file.write(R::RemoteControl, m_settings.RemoteControl);

        const std::int16_t startOnLoad = Check1->isChecked() ? 1 : 0;
        file.write(R::StartOnLoad, startOnLoad);
        m_settings.StartOnLoad = startOnLoad;

        file.close();
    }
    // The choice is stored; the folders wait for the disk to be mounted.
    if (const std::optional<Error> missing = m_services.volumes.driveMissing(m_settings.LogDrive))
        throw *missing;
    createFolderIfMissing(m_services.volumes.wendmoorFolder(m_settings.LogDrive));
    createFolderIfMissing(m_services.volumes.archiveFolder(m_settings.LogDrive));
}

void frmMyPreferences::cmdClose_Click()
{
    close();
}

void frmMyPreferences::mnuExit_Click()
{
    close();
}

} // namespace wendmoor
