#pragma once

#include "platform/Error.h"

#include <QChar>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

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
    // Ascending by letter, beginning with C; drives that are not mounted included. Never waits on
    // a file system: the windows and the recorder call it from the clock's tick.
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
//
// `drives()` gives the list as the last `refresh()` found it and touches no file system. A
// refresh reads the mount table and tries each mount point for writing, each try on a thread of
// its own and waited for at most `probeLimit`: a mount point that does not answer in time (a
// hung network share, a USB disk that stalls) is not usable and is named in one message; it is
// not tried again until its try returns, and is usable again once one answers. `watch()` keeps
// the list current from a thread of its own; until a refresh has run, the first `drives()`
// makes one (the command line's way).
class SystemVolumes final : public Volumes {
public:
    using MountSource = std::function<QList<MountedFileSystem>()>;
    // Whether a mount point can be written to; may block as long as its file system does.
    using Probe = std::function<bool(const QString& mountPoint)>;

    // `messages` hears of a letters file that cannot be written and of a drive that does not
    // answer, on the thread that made this object; `source` and `probe` stand in for the mount
    // table and the file systems in tests.
    explicit SystemVolumes(QString lettersFile, MessageSink* messages = nullptr, QString home = {},
        MountSource source = {}, Probe probe = {},
        std::chrono::milliseconds probeLimit = std::chrono::milliseconds(2000));
    ~SystemVolumes() override;
    SystemVolumes(const SystemVolumes&) = delete;
    SystemVolumes& operator=(const SystemVolumes&) = delete;

    [[nodiscard]] QList<Drive> drives() const override;

    // Reads the mount table and tries the mount points; takes at most about `probeLimit`.
    void refresh();
    // Refreshes now and then every `every` from a thread of its own, until destroyed.
    void watch(std::chrono::milliseconds every);

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
    struct PendingProbe;
    void load();
    void save();
    QList<Drive> assignLetters(QList<MountedFileSystem> mounted);
    // Marks what does not answer in time not writable; gives the mount points that stopped answering.
    QStringList probe(QList<MountedFileSystem>& mounted);
    void report(const Error& error);

    QString m_lettersFile;
    MessageSink* m_messages;
    QString m_home;
    MountSource m_source;
    Probe m_probe;
    std::chrono::milliseconds m_probeLimit;
    // Lives on the thread that made this object: messages are shown there. The watcher hands
    // their texts over under m_reportMutex and wakes it with an event that carries nothing.
    class MessagesHome;
    std::unique_ptr<MessagesHome> m_messagesHome;
    std::mutex m_reportMutex;
    QStringList m_reports; // guarded by m_reportMutex

    // Only the refreshing thread (one at a time) touches these.
    std::mutex m_refreshing;
    bool m_loaded = false;
    bool m_saveFailureReported = false;
    QList<Letter> m_letters;
    std::map<QString, std::shared_ptr<PendingProbe>> m_unanswered; // by mount point

    mutable QMutex m_mutex;
    QList<Drive> m_drives;
    bool m_refreshed = false;

    std::mutex m_watchMutex;
    std::condition_variable m_watchWake;
    bool m_stopping = false;
    std::thread m_watcher;
};

} // namespace wendmoor
