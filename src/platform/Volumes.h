#pragma once

#include "platform/Error.h"

#include <QChar>
#include <QList>
#include <QMutex>
#include <QString>

#include <functional>
#include <optional>

namespace wendmoor {

class MessageSink;

// A drive letter and the folder it stands for on this machine.
struct Drive {
    QChar letter;
    QString root;
    // False for a file system that had this letter and is not mounted (or not writable) now:
    // the letter stays its own and is given to no other.
    bool mounted = true;
};

// The machine's drives as the program names them: C is the home folder, D onward the other
// writable file systems, each keeping the letter it was given when first seen.
class Volumes {
public:
    virtual ~Volumes() = default;
    // Ascending by letter, beginning with C; drives that are not mounted included.
    [[nodiscard]] virtual QList<Drive> drives() const = 0;

    // The root of a mounted drive's letter (either case), or an empty string.
    [[nodiscard]] QString rootOf(QChar letter) const;
    // The folder a letter stands for, mounted or not; empty for a letter no file system has.
    [[nodiscard]] QString rememberedRoot(QChar letter) const;
    // Why a letter cannot be recorded to now, naming the letter and the mount point it stands
    // for (ErrorNumber::DriveNotMounted); nothing when its file system is mounted.
    [[nodiscard]] std::optional<Error> driveMissing(QChar letter) const;

    // <root>/Wendmoor and <root>/Wendmoor/logs. For a letter that is not mounted, a path that
    // cannot be created even by root (under /dev/null), so that recording into it fails and
    // nothing is written into an empty mount point on the system disk.
    [[nodiscard]] QString wendmoorFolder(QChar letter) const;
    [[nodiscard]] QString archiveFolder(QChar letter) const;
};

// A file system as the mount table shows it.
struct MountedFileSystem {
    QString mountPoint;
    QString uuid; // empty when it has none (network shares)
    bool writable = true;
};

// The real machine: the home folder, and the real file systems from /proc/self/mounts with the
// letters remembered in a small text file (one line per letter: letter, UUID or "-", mount
// point), so that a stick mounted before the archive disk does not take the disk's letter.
class SystemVolumes final : public Volumes {
public:
    using MountSource = std::function<QList<MountedFileSystem>()>;

    // `messages` hears of a letters file that cannot be written; `source` stands in for the
    // mount table in tests.
    explicit SystemVolumes(
        QString lettersFile, MessageSink* messages = nullptr, QString home = {}, MountSource source = {});

    [[nodiscard]] QList<Drive> drives() const override;

    // The archive-capable file systems of a mount table, in mount-point order. `uuidOfDevice`
    // gives the UUID of a device path ("/dev/sda1"), or an empty string.
    [[nodiscard]] static QList<MountedFileSystem> fileSystemsFromMounts(
        const QByteArray& mountsTable, const std::function<QString(const QString&)>& uuidOfDevice);

private:
    struct Letter {
        QChar letter;
        QString uuid;
        QString mountPoint;
    };
    void load() const;
    void save() const;

    QString m_lettersFile;
    MessageSink* m_messages;
    QString m_home;
    MountSource m_source;
    mutable QMutex m_mutex;
    mutable bool m_loaded = false;
    mutable bool m_saveFailureReported = false;
    mutable QList<Letter> m_letters;
};

} // namespace wendmoor
