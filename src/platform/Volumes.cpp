#include "platform/Volumes.h"

#include "platform/MessageSink.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>

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

QList<MountedFileSystem> systemMounts()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    const QHash<QString, QString> uuids = uuidsByDevice();
    QList<MountedFileSystem> all = SystemVolumes::fileSystemsFromMounts(
        mounts.readAll(), [&](const QString& device) { return uuids.value(QFileInfo(device).canonicalFilePath()); });
    for (MountedFileSystem& fs : all)
        fs.writable = fs.writable && QFileInfo(fs.mountPoint).isWritable();
    return all;
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

SystemVolumes::SystemVolumes(QString lettersFile, MessageSink* messages, QString home, MountSource source)
    : m_lettersFile(std::move(lettersFile))
    , m_messages(messages)
    , m_home(QDir::cleanPath(home.isEmpty() ? QDir::homePath() : home))
    , m_source(source ? std::move(source) : MountSource(systemMounts))
{
}

void SystemVolumes::load() const
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

void SystemVolumes::save() const
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
    if (m_messages && !m_saveFailureReported) {
        m_saveFailureReported = true;
        const Error e
            = fileError(errno != 0 ? errno : EACCES, QStringLiteral("Cannot keep the drive letters in"), m_lettersFile);
        m_messages->ShowMessage(Error(e.number(), e.description() + QStringLiteral(" (%1)").arg(file.errorString())));
    }
}

QList<Drive> SystemVolumes::drives() const
{
    QList<MountedFileSystem> mounted = m_source();
    const QMutexLocker lock(&m_mutex);
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
