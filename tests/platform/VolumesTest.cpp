#include "platform/Volumes.h"

#include "Fakes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

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
            lettersFile, &messages, QStringLiteral("/home/op"), [this] { return mounts; });
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
        EXPECT_EQ(Machine::letters(*volumes).toStdString(), s.letters);
    }
    EXPECT_TRUE(m.messages.shown.isEmpty());
}
