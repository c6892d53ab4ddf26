#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace wendmoor {

QString Volumes::rootOf(QChar letter) const
{
    const QChar upper = letter.toUpper();
    for (const Drive& d : drives()) {
        if (d.letter == upper)
            return d.root;
    }
    return {};
}

QString Volumes::wendmoorFolder(QChar letter) const
{
    QString root = rootOf(letter);
    if (root.isEmpty())
        root = QStringLiteral("/nonexistent-drive-%1:").arg(letter.toUpper());
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
    static const QSet<QByteArray> kinds = {"ext2", "ext3", "ext4", "xfs", "btrfs", "vfat", "exfat",
                                           "ntfs", "ntfs3", "fuseblk", "f2fs", "jfs", "reiserfs",
                                           "nfs", "nfs4", "cifs", "smb3", "zfs", "hfsplus", "udf"};
    return kinds.contains(type);
}

QString unescapeMountPath(const QByteArray& field)
{
    // /proc/mounts writes blanks and a few other characters as octal escapes (\040).
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

} // namespace

QList<Drive> SystemVolumes::drivesFromMounts(const QString& home, const QByteArray& mountsTable)
{
    QList<Drive> result;
    result.append({QLatin1Char('C'), QDir::cleanPath(home)});

    QStringList points;
    for (const QByteArray& line : mountsTable.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 4)
            continue;
        if (!isArchiveFileSystem(f[2]))
            continue;
        const QList<QByteArray> options = f[3].split(',');
        if (options.contains("ro"))
            continue;
        const QString point = QDir::cleanPath(unescapeMountPath(f[1]));
        if (point == QDir::cleanPath(home) || points.contains(point))
            continue;
        points.append(point);
    }
    std::sort(points.begin(), points.end());
    char letter = 'D';
    for (const QString& p : points) {
        if (letter > 'Z')
            break;
        result.append({QLatin1Char(letter), p});
        ++letter;
    }
    return result;
}

QList<Drive> SystemVolumes::drives() const
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    QByteArray table;
    if (mounts.open(QIODevice::ReadOnly))
        table = mounts.readAll();
    QList<Drive> all = drivesFromMounts(QDir::homePath(), table);
    // A mount point we cannot write to is no archive drive (the drive C, the home, always stays).
    QList<Drive> writable;
    for (const Drive& d : all) {
        if (d.letter == QLatin1Char('C') || QFileInfo(d.root).isWritable())
            writable.append(d);
    }
    for (int i = 1; i < writable.size(); ++i)
        writable[i].letter = QLatin1Char(static_cast<char>('C' + i));
    return writable;
}

} // namespace wendmoor
