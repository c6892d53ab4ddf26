#include "platform/Volumes.h"

#include "Fakes.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

using namespace wendmoor;

namespace {

// The mount table a test changes between calls, and the letters the drives have after each.
struct Machine {
    QTemporaryDir dir;
    QList<MountedFileSystem> mounts;
    test::RecordingMessages messages;
    QString lettersFile = dir.filePath(QStringLiteral("config/Wendmoor/DriveLetters.txt"));
    std::unique_ptr<SystemVolumes> volumes()
    {
        return std::make_unique<SystemVolumes>(
            lettersFile, &messages, QStringLiteral("/home/op"), [this] { return mounts; },
            [](const QString&) { return true; });
    }
    static QString letters(const Volumes& v)
    {
        QStringList out;
        for (const Drive& d : v.drives())
            out.append(
                QStringLiteral("%1=%2%3").arg(d.letter).arg(d.root, d.mounted ? QString() : QStringLiteral("?")));
        return out.join(QLatin1Char(' '));
    }
};

const MountedFileSystem Archive { QStringLiteral("/srv/archive"), QStringLiteral("uuid-archive") };
const MountedFileSystem Stick { QStringLiteral("/media/op/STICK"), QStringLiteral("uuid-stick") };
const MountedFileSystem Share { QStringLiteral("/mnt/share"), QString() };

} // namespace

TEST(Volumes, MountTableGivesTheWritableRealFileSystemsInMountPointOrder)
{
    const QByteArray mounts = "proc /proc proc rw,nosuid 0 0\n"
                              "/dev/sdb1 /srv/archive ext4 rw,relatime 0 0\n"
                              "tmpfs /run tmpfs rw 0 0\n"
                              "/dev/sdd1 /mnt/old ext4 ro,relatime 0 0\n"
                              "/dev/sde1 /mnt/usb\\040stick vfat rw 0 0\n";
    const QList<MountedFileSystem> fs = SystemVolumes::fileSystemsFromMounts(mounts,
        [](const QString& device) { return device == QLatin1String("/dev/sdb1") ? QStringLiteral("u1") : QString(); });
    ASSERT_EQ(fs.size(), 3);
    EXPECT_EQ(fs[0].mountPoint, QStringLiteral("/mnt/old"));
    EXPECT_FALSE(fs[0].writable);
    EXPECT_EQ(fs[1].mountPoint, QStringLiteral("/mnt/usb stick"));
    EXPECT_EQ(fs[2].uuid, QStringLiteral("u1"));
}

// A stick mounted before the archive disk, the disk gone and back, a new disk while one is
// away, a restart: every file system keeps the letter it was first given.
TEST(Volumes, LettersStayWithTheirFileSystems)
{
    Machine m;
    struct Step {
        const char* what;
        QList<MountedFileSystem> mounts;
        bool restart;
        const char* letters;
    };
    const Step steps[] = {
        { "first start", { Archive, Share }, false, "C=/home/op D=/mnt/share E=/srv/archive" },
        { "a stick sorts before both", { Stick, Archive, Share }, false,
            "C=/home/op D=/mnt/share E=/srv/archive F=/media/op/STICK" },
        { "the archive disk unmounted", { Stick, Share }, false,
            "C=/home/op D=/mnt/share E=/srv/archive? F=/media/op/STICK" },
        { "after a restart, the disk still away", { Stick, Share }, true,
            "C=/home/op D=/mnt/share E=/srv/archive? F=/media/op/STICK" },
        { "the disk back at another place", { { QStringLiteral("/media/op/disk"), Archive.uuid }, Share }, false,
            "C=/home/op D=/mnt/share E=/media/op/disk F=/media/op/STICK?" },
        { "another stick at the first one's place", { { Stick.mountPoint, QStringLiteral("uuid-other") }, Share }, true,
            "C=/home/op D=/mnt/share E=/media/op/disk? F=/media/op/STICK? G=/media/op/STICK" },
        { "read-only: letter kept, not usable", { { Share.mountPoint, QString(), false } }, false,
            "C=/home/op D=/mnt/share? E=/media/op/disk? F=/media/op/STICK? G=/media/op/STICK?" },
    };
    std::unique_ptr<SystemVolumes> volumes;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        m.mounts = s.mounts;
        if (!volumes || s.restart)
            volumes = m.volumes();
        volumes->refresh();
        EXPECT_EQ(Machine::letters(*volumes).toStdString(), s.letters);
    }
    EXPECT_TRUE(m.messages.shown.isEmpty());
}

namespace {

// A file system that hangs: a try of its mount point blocks until the test releases it, as a
// network share whose server is gone blocks in stat().
struct HangingFileSystem {
    explicit HangingFileSystem(QString point)
        : mountPoint(std::move(point))
    {
    }
    QString mountPoint;
    std::mutex mutex;
    std::condition_variable changed;
    bool hanging = false;
    int waiting = 0;
    std::atomic<int> tries = 0;
    bool probe(const QString& point)
    {
        if (point != mountPoint)
            return true;
        ++tries;
        std::unique_lock lock(mutex);
        ++waiting;
        changed.notify_all();
        changed.wait(lock, [this] { return !hanging; });
        --waiting;
        changed.notify_all();
        return true;
    }
    void hang(bool on)
    {
        const std::lock_guard lock(mutex);
        hanging = on;
        changed.notify_all();
    }
    // Waits (and fails rather than hangs) until `n` tries are blocked.
    bool waitForBlocked(int n)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return waiting == n; });
    }
};

// Runs `what` and says whether it came back within ten seconds: a call that waits on the
// hanging file system does not, however slow the machine (and is then let go, so that the test
// fails instead of hanging).
template <typename F> bool returnsWhileHanging(HangingFileSystem& fs, F&& what)
{
    auto done = std::async(std::launch::async, std::forward<F>(what));
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
        return true;
    fs.hang(false);
    return false;
}

} // namespace

// A share that stops answering while a disk records: the list comes back within the time
// limit with the share not usable and the disk usable, the share is named once however long it
// hangs and is tried again only when its try returns, and a later hang is named again.
TEST(Volumes, AShareThatDoesNotAnswerIsNamedOnceAndCostsTheOtherDrivesNothing)
{
    Machine m;
    HangingFileSystem share(Share.mountPoint);
    m.mounts = { Archive, Share };
    SystemVolumes volumes(
        m.lettersFile, &m.messages, QStringLiteral("/home/op"), [&] { return m.mounts; },
        [&](const QString& point) { return share.probe(point); }, std::chrono::milliseconds(100));
    struct Step {
        const char* what;
        bool hang; // before the refresh
        int blockedAfter;
        const char* letters;
        int messages;
        int tries;
    };
    const Step steps[] = {
        { "answering", false, 0, "C=/home/op D=/mnt/share E=/srv/archive", 0, 1 },
        { "hangs", true, 1, "C=/home/op D=/mnt/share? E=/srv/archive", 1, 2 },
        { "still hangs: not tried again, not named again", true, 1, "C=/home/op D=/mnt/share? E=/srv/archive", 1, 2 },
        { "its try returns: that answer counts", false, 0, "C=/home/op D=/mnt/share E=/srv/archive", 1, 2 },
        { "hangs once more", true, 1, "C=/home/op D=/mnt/share? E=/srv/archive", 2, 3 },
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        share.hang(s.hang);
        if (!s.hang) {
            ASSERT_TRUE(share.waitForBlocked(0));
        }
        ASSERT_TRUE(returnsWhileHanging(share, [&] { volumes.refresh(); }));
        ASSERT_TRUE(share.waitForBlocked(s.blockedAfter));
        QCoreApplication::sendPostedEvents(); // the message, queued to this thread
        EXPECT_EQ(Machine::letters(volumes).toStdString(), s.letters);
        EXPECT_EQ(m.messages.shown.size(), s.messages);
        EXPECT_EQ(share.tries.load(), s.tries);
    }
    EXPECT_TRUE(m.messages.shown.last().startsWith(QStringLiteral("1042 The drive D (/mnt/share) did not answer")))
        << m.messages.shown.last().toStdString();
    share.hang(false);
    ASSERT_TRUE(share.waitForBlocked(0));
}

// While the watcher's refresh waits on a hanging share, the list is read at once: the clock's
// tick and a Record never wait on a file system.
TEST(Volumes, TheListIsReadWithoutWaitingWhileTheWatcherWaitsOnAShare)
{
    Machine m;
    HangingFileSystem share(Share.mountPoint);
    m.mounts = { Archive, Share };
    auto volumes = std::make_unique<SystemVolumes>(
        m.lettersFile, &m.messages, QStringLiteral("/home/op"), [&] { return m.mounts; },
        [&](const QString& point) { return share.probe(point); }, std::chrono::hours(1));
    volumes->refresh();
    share.hang(true);
    volumes->watch(std::chrono::milliseconds(10));
    ASSERT_TRUE(share.waitForBlocked(1));
    QString letters;
    EXPECT_TRUE(returnsWhileHanging(share, [&] { letters = Machine::letters(*volumes); }));
    EXPECT_EQ(letters.toStdString(), "C=/home/op D=/mnt/share E=/srv/archive");
    // The watcher ends with the object once the share answers.
    share.hang(false);
    volumes.reset();
    ASSERT_TRUE(share.waitForBlocked(0));
}
