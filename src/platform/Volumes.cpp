#include "platform/Volumes.h"

#include "platform/MessageSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cerrno>

namespace wendmoor {

QString Volumes::rootOf(QChar letter) const
{
    const QChar upper = letter.toUpper();
    for (const Drive& d : drives()) {
        if (d.letter == upper && d.mounted)
            return d.root;
    }
    return {};
}

QString Volumes::rememberedRoot(QChar letter) const
{
    const QChar upper = letter.toUpper();
    for (const Drive& d : drives()) {
        if (d.letter == upper)
            return d.root;
    }
    return {};
}

std::optional<Error> Volumes::driveMissing(QChar letter) const
{
    if (!rootOf(letter).isEmpty())
        return std::nullopt;
    const QChar upper = letter.toUpper();
    const QString remembered = rememberedRoot(letter);
    if (remembered.isEmpty())
        return Error(ErrorNumber::DriveNotMounted,
            QStringLiteral("The archive drive %1 is no drive of this machine; choose the drive in "
                           "Setup > My Preferences.")
                .arg(upper));
    return Error(ErrorNumber::DriveNotMounted,
        QStringLiteral("The archive drive %1 stands for %2, which is not mounted or not writable now; "
                       "nothing can be recorded to it until it is mounted again.")
            .arg(upper)
            .arg(QDir::toNativeSeparators(remembered)));
}

QString Volumes::wendmoorFolder(QChar letter) const
{
    QString root = rootOf(letter);
    if (root.isEmpty())
        root = QStringLiteral("/dev/null/not-mounted-%1:").arg(letter.toUpper());
    return QDir::cleanPath(root + QStringLiteral("/Wendmoor"));
}

QString Volumes::archiveFolder(QChar letter) const
{
    return wendmoorFolder(letter) + QStringLiteral("/logs");
}

namespace {

// Real, disk-backed file systems; everything else (proc, tmpfs, overlays of containers…) is not
// a place to keep an archive.
bool isArchiveFileSystem(const QByteArray& type)
{
    static const QSet<QByteArray> kinds = { "ext2", "ext3", "ext4", "xfs", "btrfs", "vfat", "exfat", "ntfs", "ntfs3",
        "fuseblk", "f2fs", "jfs", "reiserfs", "nfs", "nfs4", "cifs", "smb3", "zfs", "hfsplus", "udf" };
    return kinds.contains(type);
}

// The mount table and the letters file write blanks, tabs, newlines and backslashes in a path
// as octal escapes (\040).
QString unescapePath(const QByteArray& field)
{
    QByteArray out;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromLocal8Bit(out);
}

QByteArray escapePath(const QString& path)
{
    QByteArray out;
    for (const char c : path.toLocal8Bit()) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\')
            out += '\\' + QByteArray::number(static_cast<unsigned char>(c), 8).rightJustified(3, '0');
        else
            out += c;
    }
    return out;
}

// The UUIDs of the block devices, by the device's real path.
QHash<QString, QString> uuidsByDevice()
{
    QHash<QString, QString> byDevice;
    QDirIterator it(QStringLiteral("/dev/disk/by-uuid"), QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        byDevice.insert(it.fileInfo().canonicalFilePath(), it.fileName());
    }
    return byDevice;
}

// The mount table and the devices' UUIDs come from the kernel's own file systems (proc, devtmpfs),
// which answer at once; no mount point is touched here.
QList<MountedFileSystem> systemMounts()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    const QHash<QString, QString> uuids = uuidsByDevice();
    return SystemVolumes::fileSystemsFromMounts(mounts.readAll(), [&](const QString& device) {
        // A share's "device" (server:/export) is no path; resolving it would look in the
        // working folder.
        return device.startsWith(QLatin1Char('/')) ? uuids.value(QFileInfo(device).canonicalFilePath()) : QString();
    });
}

bool mountPointWritable(const QString& mountPoint)
{
    return QFileInfo(mountPoint).isWritable();
}

} // namespace

QList<MountedFileSystem> SystemVolumes::fileSystemsFromMounts(
    const QByteArray& mountsTable, const std::function<QString(const QString&)>& uuidOfDevice)
{
    QList<MountedFileSystem> result;
    for (const QByteArray& line : mountsTable.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 4 || !isArchiveFileSystem(f[2]))
            continue;
        MountedFileSystem fs;
        fs.mountPoint = QDir::cleanPath(unescapePath(f[1]));
        fs.uuid = uuidOfDevice(unescapePath(f[0]));
        fs.writable = !f[3].split(',').contains("ro");
        // A later mount at the same point hides the earlier one.
        result.removeIf([&](const MountedFileSystem& o) { return o.mountPoint == fs.mountPoint; });
        result.append(fs);
    }
    std::sort(result.begin(), result.end(),
        [](const MountedFileSystem& a, const MountedFileSystem& b) { return a.mountPoint < b.mountPoint; });
    return result;
}

// One try of a mount point, shared by the thread that tries and the refresh that waits for it;
// either may be gone first.
struct SystemVolumes::PendingProbe {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<bool> writable;
};

SystemVolumes::SystemVolumes(QString lettersFile, MessageSink* messages, QString home, MountSource source, Probe probe,
    std::chrono::milliseconds probeLimit)
    : m_lettersFile(std::move(lettersFile))
    , m_messages(messages)
    , m_home(QDir::cleanPath(home.isEmpty() ? QDir::homePath() : home))
    , m_source(source ? std::move(source) : MountSource(systemMounts))
    , m_probe(probe ? std::move(probe) : Probe(mountPointWritable))
    , m_probeLimit(probeLimit)
    , m_messagesHome(std::make_unique<MessagesHome>(*this))
{
}

SystemVolumes::~SystemVolumes()
{
    {
        const std::lock_guard lock(m_watchMutex);
        m_stopping = true;
    }
    m_watchWake.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
}

void SystemVolumes::watch(std::chrono::milliseconds every)
{
    if (m_watcher.joinable())
        return;
    m_watcher = std::thread([this, every] {
        std::unique_lock lock(m_watchMutex);
        while (!m_stopping) {
            lock.unlock();
            refresh();
            lock.lock();
            m_watchWake.wait_for(lock, every, [this] { return m_stopping; });
        }
    });
}

class SystemVolumes::MessagesHome final : public QObject {
public:
    explicit MessagesHome(SystemVolumes& volumes)
        : m_volumes(volumes)
    {
    }

protected:
    void customEvent(QEvent* /*wakeUp*/) override
    {
        QStringList texts;
        {
            const std::lock_guard lock(m_volumes.m_reportMutex);
            texts.swap(m_volumes.m_reports);
        }
        for (const QString& text : texts)
            m_volumes.m_messages->ShowMessage(text);
    }

private:
    SystemVolumes& m_volumes;
};

void SystemVolumes::report(const Error& error)
{
    if (!m_messages)
        return;
    // Directly when refreshed on the messages' own thread, handed over from the watcher.
    if (QThread::currentThread() == m_messagesHome->thread()) {
        m_messages->ShowMessage(error);
        return;
    }
    {
        const std::lock_guard lock(m_reportMutex);
        m_reports.append(error.text());
    }
    QCoreApplication::postEvent(m_messagesHome.get(), new QEvent(QEvent::User));
}

QStringList SystemVolumes::probe(QList<MountedFileSystem>& mounted)
{
    QStringList newlyUnanswered;
    // Every mount point is tried at once, so that one that hangs costs the others nothing.
    std::vector<std::shared_ptr<PendingProbe>> tries(static_cast<std::size_t>(mounted.size()));
    for (qsizetype i = 0; i < mounted.size(); ++i) {
        if (!mounted[i].writable || mounted[i].mountPoint == m_home)
            continue;
        if (const auto stuck = m_unanswered.find(mounted[i].mountPoint); stuck != m_unanswered.end()) {
            tries[i] = stuck->second; // still waited for: tried again only once it answers
            continue;
        }
        auto pending = std::make_shared<PendingProbe>();
        tries[i] = pending;
        std::thread([pending, probe = m_probe, point = mounted[i].mountPoint] {
            const bool writable = probe(point);
            const std::lock_guard lock(pending->mutex);
            pending->writable = writable;
            pending->answered.notify_all();
        }).detach();
    }
    const auto deadline = std::chrono::steady_clock::now() + m_probeLimit;
    for (qsizetype i = 0; i < mounted.size(); ++i) {
        if (!tries[i])
            continue;
        std::unique_lock lock(tries[i]->mutex);
        const bool answered
            = tries[i]->answered.wait_until(lock, deadline, [&] { return tries[i]->writable.has_value(); });
        const QString& point = mounted[i].mountPoint;
        if (answered) {
            mounted[i].writable = *tries[i]->writable;
            m_unanswered.erase(point);
            continue;
        }
        mounted[i].writable = false;
        if (m_unanswered.emplace(point, tries[i]).second)
            newlyUnanswered.append(point);
    }
    // A try that answered for a file system since unmounted is done with.
    std::erase_if(m_unanswered, [](const auto& entry) {
        const std::lock_guard lock(entry.second->mutex);
        return entry.second->writable.has_value();
    });
    return newlyUnanswered;
}

void SystemVolumes::refresh()
{
    const std::lock_guard refreshing(m_refreshing);
    QList<MountedFileSystem> mounted = m_source();
    const QStringList newlyUnanswered = probe(mounted);
    QList<Drive> drives = assignLetters(std::move(mounted));
    for (const QString& point : newlyUnanswered) {
        const auto drive = std::find_if(drives.begin(), drives.end(), [&](const Drive& d) { return d.root == point; });
        const QString name = drive == drives.end()
            ? QStringLiteral("The file system at %1").arg(QDir::toNativeSeparators(point))
            : QStringLiteral("The drive %1 (%2)").arg(drive->letter).arg(QDir::toNativeSeparators(point));
        report(Error(ErrorNumber::DriveNotMounted,
            QStringLiteral("%1 did not answer within %2 seconds; nothing is recorded to it until it answers again.")
                .arg(name)
                .arg(static_cast<double>(m_probeLimit.count()) / 1000.0)));
    }
    const QMutexLocker lock(&m_mutex);
    m_drives = std::move(drives);
    m_refreshed = true;
}

QList<Drive> SystemVolumes::drives() const
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_refreshed)
            return m_drives;
    }
    // Nothing known yet (no watcher, or its first refresh still running).
    auto* self = const_cast<SystemVolumes*>(this);
    {
        const std::lock_guard refreshing(self->m_refreshing);
        const QMutexLocker lock(&m_mutex);
        if (m_refreshed)
            return m_drives;
    }
    self->refresh();
    const QMutexLocker lock(&m_mutex);
    return m_drives;
}

void SystemVolumes::load()
{
    m_loaded = true;
    QFile file(m_lettersFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 3 || f[0].size() != 1 || f[0][0] < 'D' || f[0][0] > 'Z')
            continue;
        const QChar letter = QLatin1Char(f[0][0]);
        if (std::any_of(m_letters.begin(), m_letters.end(), [&](const Letter& l) { return l.letter == letter; }))
            continue;
        m_letters.append(
            { letter, f[1] == "-" ? QString() : QString::fromLatin1(f[1]), QDir::cleanPath(unescapePath(f[2])) });
    }
    std::sort(m_letters.begin(), m_letters.end(), [](const Letter& a, const Letter& b) { return a.letter < b.letter; });
}

void SystemVolumes::save()
{
    QByteArray text = "# Wendmoor's drive letters: letter, file-system UUID (- for none), mount point.\n";
    for (const Letter& l : m_letters)
        text += QByteArray(1, static_cast<char>(l.letter.unicode())) + '\t'
            + (l.uuid.isEmpty() ? QByteArray("-") : l.uuid.toLatin1()) + '\t' + escapePath(l.mountPoint) + '\n';
    errno = 0;
    QDir().mkpath(QFileInfo(m_lettersFile).path());
    QSaveFile file(m_lettersFile);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return;
    // The letters stay as given for this run; they may move after a restart.
    if (!m_saveFailureReported) {
        m_saveFailureReported = true;
        const Error e
            = fileError(errno != 0 ? errno : EACCES, QStringLiteral("Cannot keep the drive letters in"), m_lettersFile);
        report(Error(e.number(), e.description() + QStringLiteral(" (%1)").arg(file.errorString())));
    }
}

QList<Drive> SystemVolumes::assignLetters(QList<MountedFileSystem> mounted)
{
    if (!m_loaded)
        load();
    mounted.removeIf([this](const MountedFileSystem& fs) { return fs.mountPoint == m_home; });
    // New file systems take the free letters in the order of their mount points.
    std::sort(mounted.begin(), mounted.end(),
        [](const MountedFileSystem& a, const MountedFileSystem& b) { return a.mountPoint < b.mountPoint; });

    // Which remembered letter each mounted file system has: the same UUID at the same place
    // first, then the same place where one side has no UUID, then the same UUID moved to a
    // place of its own; what is left is new.
    QList<int> letterOf(mounted.size(), -1);
    QList<bool> taken(m_letters.size(), false);
    bool changed = false;
    const auto match = [&](const auto& fits) {
        for (qsizetype i = 0; i < mounted.size(); ++i) {
            for (qsizetype j = 0; j < m_letters.size() && letterOf[i] < 0; ++j) {
                if (!taken[j] && fits(mounted[i], m_letters[j])) {
                    letterOf[i] = static_cast<int>(j);
                    taken[j] = true;
                }
            }
        }
    };
    const auto isMountedAt = [&](const QString& point) {
        return std::any_of(
            mounted.begin(), mounted.end(), [&](const MountedFileSystem& fs) { return fs.mountPoint == point; });
    };
    match([](const MountedFileSystem& fs, const Letter& l) {
        return !fs.uuid.isEmpty() && fs.uuid == l.uuid && fs.mountPoint == l.mountPoint;
    });
    match([](const MountedFileSystem& fs, const Letter& l) {
        return fs.mountPoint == l.mountPoint && (fs.uuid.isEmpty() || l.uuid.isEmpty());
    });
    match([&](const MountedFileSystem& fs, const Letter& l) {
        return !fs.uuid.isEmpty() && fs.uuid == l.uuid && !isMountedAt(l.mountPoint);
    });
    for (qsizetype i = 0; i < mounted.size(); ++i) {
        if (letterOf[i] < 0) {
            // A file system that cannot be written is no archive drive and gets no letter.
            if (!mounted[i].writable)
                continue;
            char next = 'D';
            while (next <= 'Z' && std::any_of(m_letters.begin(), m_letters.end(), [next](const Letter& l) {
                return l.letter == QLatin1Char(next);
            }))
                ++next;
            if (next > 'Z')
                continue;
            m_letters.append({ QLatin1Char(next), mounted[i].uuid, mounted[i].mountPoint });
            taken.append(true);
            letterOf[i] = static_cast<int>(m_letters.size() - 1);
            changed = true;
            continue;
        }
        Letter& l = m_letters[letterOf[i]];
        if (l.uuid.isEmpty() != mounted[i].uuid.isEmpty() || l.mountPoint != mounted[i].mountPoint) {
            if (!mounted[i].uuid.isEmpty())
                l.uuid = mounted[i].uuid;
            l.mountPoint = mounted[i].mountPoint;
            changed = true;
        }
    }
    QHash<QChar, bool> usable;
    for (qsizetype i = 0; i < mounted.size(); ++i) {
        if (letterOf[i] >= 0)
            usable.insert(m_letters[letterOf[i]].letter, mounted[i].writable);
    }
    if (changed) {
        std::sort(
            m_letters.begin(), m_letters.end(), [](const Letter& a, const Letter& b) { return a.letter < b.letter; });
        save();
    }

    QList<Drive> result { { QLatin1Char('C'), m_home, true } };
    for (const Letter& l : m_letters)
        result.append({ l.letter, l.mountPoint, usable.value(l.letter, false) });
    return result;
}

} // namespace wendmoor
