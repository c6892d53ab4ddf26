#include "platform/Error.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace wendmoor;

TEST(Volumes, HomeIsDriveCAndWritableRealFileSystemsFollowInMountPointOrder)
{
    const QByteArray mounts = "proc /proc proc rw,nosuid 0 0\n"
                              "/dev/sdb1 /srv/archive ext4 rw,relatime 0 0\n"
                              "/dev/sda1 / ext4 rw,relatime 0 0\n"
                              "tmpfs /run tmpfs rw 0 0\n"
                              "/dev/sdc1 /media/cd iso9660 ro 0 0\n"
                              "/dev/sdd1 /mnt/old ext4 ro,relatime 0 0\n"
                              "/dev/sde1 /mnt/usb\\040stick vfat rw 0 0\n"
                              "/dev/sda2 /home/op ext4 rw 0 0\n";
    const QList<Drive> d = SystemVolumes::drivesFromMounts(QStringLiteral("/home/op"), mounts);
    ASSERT_EQ(d.size(), 4);
    EXPECT_EQ(d[0].letter, QLatin1Char('C'));
    EXPECT_EQ(d[0].root, QStringLiteral("/home/op"));
    EXPECT_EQ(d[1].letter, QLatin1Char('D'));
    EXPECT_EQ(d[1].root, QStringLiteral("/"));
    EXPECT_EQ(d[2].root, QStringLiteral("/mnt/usb stick"));
    EXPECT_EQ(d[3].letter, QLatin1Char('F'));
    EXPECT_EQ(d[3].root, QStringLiteral("/srv/archive"));
}

TEST(Volumes, NoMoreThanZAndArchiveFoldersUnderTheRoot)
{
    QByteArray mounts;
    for (int i = 0; i < 40; ++i)
        mounts += QStringLiteral("/dev/x%1 /mnt/v%2 ext4 rw 0 0\n").arg(i).arg(i, 2, 10, QLatin1Char('0')).toUtf8();
    const QList<Drive> d = SystemVolumes::drivesFromMounts(QStringLiteral("/home/op"), mounts);
    ASSERT_EQ(d.size(), 24);
    EXPECT_EQ(d.back().letter, QLatin1Char('Z'));

    class Two final : public Volumes {
    public:
        QList<Drive> drives() const override { return {{QLatin1Char('C'), QStringLiteral("/home/op")}, {QLatin1Char('D'), QStringLiteral("/srv/")}}; }
    } two;
    EXPECT_EQ(two.archiveFolder(QLatin1Char('d')), QStringLiteral("/srv/Wendmoor/logs"));
    EXPECT_EQ(two.wendmoorFolder(QLatin1Char('C')), QStringLiteral("/home/op/Wendmoor"));
    // A letter with no drive gives a path that cannot exist, so using it fails visibly.
    EXPECT_FALSE(QDir(two.archiveFolder(QLatin1Char('Q'))).exists());
    EXPECT_TRUE(two.archiveFolder(QLatin1Char('Q')).contains(QLatin1String("Q:")));
}

TEST(TimeSource, RoundsHalfToEven)
{
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(59.5), 60);
    EXPECT_EQ(roundHalfEven(58.5), 58);
    EXPECT_EQ(roundHalfEven(58.51), 59);
}

TEST(ErrorText, NumberThenOneBlankThenDescription)
{
    EXPECT_EQ(Error(53, QStringLiteral("File not found")).text(), QStringLiteral("53 File not found"));
    EXPECT_EQ(Error(53, QString()).text(), QStringLiteral("53 "));
    EXPECT_EQ(errorNumberForErrno(ENOSPC), ErrorNumber::DiskFull);
}
