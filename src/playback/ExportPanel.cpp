#include "playback/ExportPanel.h"

#include "catalog/Catalog.h"
#include "export/ClipExport.h"
#include "media/WavePlayer.h"
#include "platform/Error.h"
#include "platform/EventLog.h"
#include "platform/MessageSink.h"
#include "platform/Services.h"
#include "platform/TimeSource.h"
#include "playback/PlaybackController.h"
#include "playback/PlaybackMemory.h"

#include <QBoxLayout>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QToolButton>

#include <pwd.h>
#include <unistd.h>

namespace wendmoor {

ExportPanel::ExportPanel(Services& services, PlaybackController& play, PlaybackMemory& memory, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
    , m_play(play)
    , m_memory(memory)
{
    setObjectName(QStringLiteral("ExportPanel"));
    txtFrom = new QLineEdit(this);
    txtFrom->setObjectName(QStringLiteral("txtFrom"));
    txtFrom->setPlaceholderText(QStringLiteral("from 2026-12-03 14:30:00"));
    txtFrom->setAccessibleName(QStringLiteral("Export or hold from"));
    txtTo = new QLineEdit(this);
    txtTo->setObjectName(QStringLiteral("txtTo"));
    txtTo->setPlaceholderText(QStringLiteral("to 2026-12-03 14:35:00"));
    txtTo->setAccessibleName(QStringLiteral("Export or hold to"));
    cmdSet = new QToolButton(this);
    cmdSet->setObjectName(QStringLiteral("cmdSet"));
    cmdSet->setText(QStringLiteral("Set"));
    cmdSet->setToolTip(QStringLiteral("Takes the range's start or end from the position or a memory point"));
    cmdSet->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(cmdSet);
    for (const bool start : { true, false }) {
        const QString end = start ? QStringLiteral("From") : QStringLiteral("To");
        menu->addAction(QStringLiteral("%1 the position").arg(end), this,
            [this, start] { setFromPosition(start, m_play.player().positionMs()); });
        for (int i = 1; i <= 4; ++i)
            menu->addAction(QStringLiteral("%1 memory %2").arg(end).arg(i), this,
                [this, start, i] { setFromPosition(start, m_memory.MemoryPoint[std::size_t(i)]); });
        menu->addSeparator();
    }
    cmdSet->setMenu(menu);
    cmdExport = new QPushButton(QStringLiteral("E&xport..."), this);
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    cmdExport->setToolTip(QStringLiteral("Exports the range to a file, with its manifest beside it"));
    cmdHold = new QPushButton(QStringLiteral("&Hold..."), this);
    cmdHold->setObjectName(QStringLiteral("cmdHold"));
    cmdHold->setToolTip(QStringLiteral("Keeps the logs of the range from the purge until the hold is released"));
    prgExport = new QProgressBar(this);
    prgExport->setObjectName(QStringLiteral("prgExport"));
    prgExport->setRange(0, 1000);
    prgExport->setValue(0);
    prgExport->setAccessibleName(QStringLiteral("Export progress"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setEnabled(false);
    // The two times on a row of their own, each wide enough for a whole date and clock time.
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    auto* times = new QHBoxLayout;
    times->setSpacing(4);
    for (QLineEdit* field : { txtFrom, txtTo }) {
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(clockTimeText(0) + QStringLiteral("  ")));
        times->addWidget(field, 1);
    }
    auto* actions = new QHBoxLayout;
    actions->setSpacing(4);
    actions->addWidget(cmdSet);
    actions->addWidget(cmdExport);
    actions->addWidget(cmdHold);
    actions->addWidget(prgExport, 1);
    actions->addWidget(cmdCancel);
    rows->addLayout(times);
    rows->addLayout(actions);
    chooseOutput = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export the range"), QDir::homePath(),
            QStringLiteral("WAV (*.wav);;FLAC (*.flac);;Opus (*.opus)"));
    };
    connect(cmdExport, &QPushButton::clicked, this, &ExportPanel::cmdExport_Click);
    connect(cmdHold, &QPushButton::clicked, this, &ExportPanel::cmdHold_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &ExportPanel::cancelExport);
}

ExportPanel::~ExportPanel()
{
    if (m_thread) {
        // The window closes: the export stops and leaves nothing behind.
        m_cancel = true;
        m_thread->wait();
        delete m_thread;
    }
}

void ExportPanel::setFromPosition(bool start, std::int32_t ms)
{
    QLineEdit* field = start ? txtFrom : txtTo;
    if (const std::optional<std::int64_t> utc = m_play.clockAt(ms))
        field->setText(clockTimeText(*utc));
    else
        m_services.messages.ShowMessage(Error(ErrorNumber::InvalidArgument,
            QStringLiteral("The catalog does not say when that position of the log was recorded.")));
}

std::optional<std::pair<std::int64_t, std::int64_t>> ExportPanel::range()
{
    const std::optional<UtcMs> from = parseClockTime(txtFrom->text());
    const std::optional<UtcMs> to = parseClockTime(txtTo->text());
    if (!from || !to) {
        m_services.messages.ShowMessage(Error(ErrorNumber::InvalidArgument,
            QStringLiteral("\"%1\" is not a date and time; type it as 2026-12-03 14:32:10.")
                .arg(from ? txtTo->text() : txtFrom->text())));
        return std::nullopt;
    }
    return std::pair { *from, *to };
}

void ExportPanel::cmdExport_Click()
{
    if (m_thread || !range())
        return;
    const QString path = chooseOutput();
    if (!path.isEmpty())
        // The dialog asked before replacing a file.
        exportTo(path, QFileInfo::exists(path));
}

void ExportPanel::exportTo(const QString& path, bool overwrite)
{
    const auto r = range();
    if (m_thread || !r)
        return;
    m_cancel = false;
    cmdExport->setEnabled(false);
    cmdCancel->setEnabled(true);
    prgExport->setValue(0);
    const QString folder = m_play.archiveFolder();
    // The catalog is opened on the export's thread: a connection belongs to one thread.
    m_thread = QThread::create([this, folder, path, overwrite, r] {
        bool ok = false;
        QString message;
        try {
            const std::unique_ptr<Catalog> catalog = Catalog::open(folder, Catalog::Mode::ReadOnly);
            ClipExportOptions options;
            options.output = path;
            options.overwrite = overwrite;
            options.cancel = &m_cancel;
            int shown = -1;
            options.progress = [this, &shown](std::int64_t done, std::int64_t total) {
                const int value = total > 0 ? int(std::min<std::int64_t>(1000, done * 1000 / total)) : 1000;
                if (value != shown) {
                    shown = value;
                    QMetaObject::invokeMethod(prgExport, "setValue", Qt::QueuedConnection, Q_ARG(int, value));
                }
            };
            const ClipExportResult result = exportClip(planClip(*catalog, r->first, r->second), options);
            rememberChecksums(folder, result.taken);
            ok = true;
            message = QStringLiteral("Exported %1 (%2 s) with %3")
                          .arg(QDir::toNativeSeparators(result.clip))
                          .arg(double(result.frames) / result.sampleRate, 0, 'f', 1)
                          .arg(QDir::toNativeSeparators(result.manifest));
        } catch (const Error& e) {
            message = e.text();
        } catch (const std::exception& e) {
            message = Error(ErrorNumber::Unexpected, QString::fromLocal8Bit(e.what())).text();
        }
        const std::lock_guard lock(m_outcomeMutex);
        m_outcomeOk = ok;
        m_outcomeMessage = message;
        QMetaObject::invokeMethod(this, "exportEnded", Qt::QueuedConnection);
    });
    m_thread->start();
}

void ExportPanel::cancelExport()
{
    m_cancel = true;
}

void ExportPanel::exportEnded()
{
    bool ok = false;
    QString message;
    {
        const std::lock_guard lock(m_outcomeMutex);
        ok = m_outcomeOk;
        message = std::move(m_outcomeMessage);
    }
    done(ok, message);
}

void ExportPanel::done(bool ok, const QString& message)
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    cmdExport->setEnabled(true);
    cmdCancel->setEnabled(false);
    prgExport->setValue(ok ? 1000 : 0);
    if (!ok)
        m_services.messages.ShowMessage(message);
    emit finished(ok, message);
}

void ExportPanel::cmdHold_Click()
{
    if (!range())
        return;
    bool ok = false;
    const QString reason = QInputDialog::getText(this, QStringLiteral("Hold the range"),
        QStringLiteral("Why (a complaint, a request):"), QLineEdit::Normal, {}, &ok);
    if (ok)
        (void)holdRange(reason);
}

bool ExportPanel::holdRange(const QString& reason)
{
    const auto r = range();
    if (!r)
        return false;
    try {
        if (r->first >= r->second || reason.trimmed().isEmpty())
            throw Error(ErrorNumber::InvalidArgument,
                QStringLiteral("A hold needs a range that ends after it starts, and a reason."));
        const QString folder = m_play.archiveFolder();
        if (!QDir().mkpath(folder))
            throw Error(ErrorNumber::PathFileAccess,
                QStringLiteral("The archive folder %1 could not be made.").arg(QDir::toNativeSeparators(folder)));
        const passwd* pw = ::getpwuid(::getuid());
        const QString user = pw && pw->pw_name ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER");
        const std::int64_t id
            = Catalog::open(folder, Catalog::Mode::ReadWrite)
                  ->addHold(r->first, r->second, reason.trimmed(), user, m_services.clock.now().toMSecsSinceEpoch());
        m_services.events.note(QStringLiteral("Hold %1 placed: %2 to %3 (%4)")
                                   .arg(id)
                                   .arg(clockTimeText(r->first), clockTimeText(r->second), reason.trimmed()));
        return true;
    } catch (const Error& e) {
        m_services.messages.ShowMessage(e);
        return false;
    }
}

} // namespace wendmoor
