#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "platform/Error.h"
#include "TestServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

TEST(SettingsFile, FirstStartCreatesFolderAndEmptyFileAndReadsAllZeros)
{
    TestServices t;
    ASSERT_FALSE(QDir(t.services.paths.settingsFolder).exists());
    Settings s;
    LoadSettings(t.services.paths, s, t.messages);

    EXPECT_TRUE(QDir(t.services.paths.settingsFolder).exists());
    ASSERT_TRUE(QFileInfo::exists(t.services.paths.settingsFile));
    EXPECT_EQ(QFileInfo(t.services.paths.settingsFile).size(), 0) << "loading must not write records";
    EXPECT_EQ(s.LogDrive, QLatin1Char('C'));
    EXPECT_EQ(s.RecordFormat, 0);
    EXPECT_TRUE(t.messages.shown.isEmpty());
}

TEST(SettingsFile, TwentyTwoByteFileLoadsEveryRecordLittleEndianInOrder)
{
    TestServices t;
    // 0, 1, 5, 2, 7, 1, 300, 4, 1, 1, 1: 300 = 0x012C is stored 2C 01.
    const QByteArray bytes = QByteArray::fromHex("0000" "0100" "0500" "0200" "0700" "0100" "2c01" "0400" "0100" "0100" "0100");
    writeBytes(t.services.paths.settingsFile, bytes);
    Settings s;
    LoadSettings(t.services.paths, s, t.messages);

    const QList<int> loaded { s.PlayDevice, s.RecordDevice, s.RecordFormat, s.LogDrive.unicode(), s.DaysToKeep,
        s.StartPauseMode, s.Threshold, s.StopDelay, s.RemoteControl, s.LogListOrder, s.StartOnLoad };
    EXPECT_EQ(loaded, (QList<int> { 0, 1, 5, 'E', 7, 1, 300, 4, 1, 1, 1 }));
    EXPECT_EQ(fileBytes(t.services.paths.settingsFile), bytes) << "loading must leave the file as it was";
}

TEST(SettingsFile, ShortFileReadsMissingRecordsAsZeroAndNegativeValuesAsStored)
{
    TestServices t;
    // Records 1 and 2 only; record 2 is -2 (FE FF); half a record at the end is ignored.
    writeBytes(t.services.paths.settingsFile, QByteArray::fromHex("0300feff07"));
    Settings s;
    s.Threshold = 99;
    LoadSettings(t.services.paths, s, t.messages);
    EXPECT_EQ(s.PlayDevice, 3);
    EXPECT_EQ(s.RecordDevice, -2);
    EXPECT_EQ(s.RecordFormat, 0);
    EXPECT_EQ(s.Threshold, 0);
    EXPECT_EQ(s.StartOnLoad, 0);

    writeBytes(t.services.paths.settingsFile, QByteArray::fromHex("000000000000000000000000" "00ff" "0080"));
    LoadSettings(t.services.paths, s, t.messages);
    EXPECT_EQ(s.Threshold, -256);
    EXPECT_EQ(s.StopDelay, -32768);
}

TEST(SettingsFile, WritingPastTheEndExtendsWithZeroRecordsAndKeepsOthers)
{
    TestServices t;
    writeBytes(t.services.paths.settingsFile, QByteArray::fromHex("0900"));
    {
        SettingsFile f(t.services.paths.settingsFile);
        f.write(SettingsRecord::LogListOrder, 1);
        f.close();
    }
    const QByteArray bytes = fileBytes(t.services.paths.settingsFile);
    ASSERT_EQ(bytes.size(), 20);
    EXPECT_EQ(bytes, QByteArray::fromHex("0900" "0000000000000000000000000000" "0000" "0100"));

    SettingsFile f(t.services.paths.settingsFile);
    EXPECT_EQ(f.read(1), 9);
    EXPECT_EQ(f.read(5), 0);
    EXPECT_EQ(f.read(10), 1);
    EXPECT_EQ(f.read(11), 0);
    f.write(3, -1);
    EXPECT_EQ(f.read(3), -1);
    f.close();
    EXPECT_EQ(fileBytes(t.services.paths.settingsFile).mid(4, 2), QByteArray::fromHex("ffff"));
}

struct DriveCase {
    qint16 record;
    char expected;
    bool reported;
};

class DriveRecord : public ::testing::TestWithParam<DriveCase> {};

TEST_P(DriveRecord, MapsToLetterOrFallsBackToCWithOneMessage)
{
    const DriveCase c = GetParam();
    TestServices t;
    t.writeSettings({0, 0, 0, c.record});
    Settings s;
    LoadSettings(t.services.paths, s, t.messages);
    EXPECT_EQ(s.LogDrive, QLatin1Char(c.expected));
    ASSERT_EQ(t.messages.shown.size(), c.reported ? 1 : 0);
    if (c.reported) {
        EXPECT_TRUE(t.messages.shown[0].startsWith(QString::number(ErrorNumber::SettingsDriveInvalid) + QLatin1Char(' ')));
        EXPECT_TRUE(t.messages.shown[0].contains(t.services.paths.settingsFile)) << t.messages.shown[0].toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Values, DriveRecord,
                         ::testing::Values(DriveCase{0, 'C', false}, DriveCase{1, 'D', false}, DriveCase{23, 'Z', false},
                                           DriveCase{24, 'C', true}, DriveCase{-1, 'C', true},
                                           DriveCase{-67, 'C', true}, DriveCase{32767, 'C', true}));

TEST(SettingsFile, UnreadableSettingsFolderIsAnErrorNamingThePath)
{
    TestServices t;
    // A file where the settings folder should be: the folder cannot be made.
    writeBytes(t.services.paths.settingsFolder, "x");
    Settings s;
    try {
        LoadSettings(t.services.paths, s, t.messages);
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(t.services.paths.settingsFolder)) << e.text().toStdString();
    }
}
