#include "config/SettingsFile.h"
#include "TestServices.h"
#include "config/Settings.h"
#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

// On the first start the settings folder is made with an empty file in it, nothing written and
// nothing said; a folder that cannot be made (a file stands in its place) is an error naming it.
TEST(SettingsFile, FirstStartMakesFolderAndEmptyFileOrNamesTheFolderItCannotMake)
{
    TestServices t;
    const AppPaths& paths = t.services.paths;
    ASSERT_FALSE(QDir(paths.settingsFolder).exists());
    Settings s;
    LoadSettings(paths, s, t.messages);
    EXPECT_TRUE(QDir(paths.settingsFolder).exists());
    ASSERT_TRUE(QFileInfo::exists(paths.settingsFile));
    EXPECT_EQ(QFileInfo(paths.settingsFile).size(), 0) << "loading must not write records";
    EXPECT_TRUE(t.messages.shown.isEmpty());

    ASSERT_TRUE(QDir(paths.settingsFolder).removeRecursively());
    ASSERT_TRUE(QFile(paths.settingsFolder).open(QIODevice::WriteOnly));
    try {
        LoadSettings(paths, s, t.messages);
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(paths.settingsFolder)) << e.text().toStdString();
    }
}

// The playback window writes record 10 alone into a file that may be shorter.
TEST(SettingsFile, WritingPastTheEndExtendsWithZeroRecordsAndKeepsOthers)
{
    TestServices t;
    t.writeSettings({ 9 });
    SettingsFile f(t.services.paths.settingsFile);
    f.write(SettingsRecord::LogListOrder, -2);
    f.close();
    QFile written(t.services.paths.settingsFile);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().toHex(), "0900" + QByteArray(32, '0') + "feff");
}

// Values no setting stands for fall back to one that works, each told once with the file's name.
TEST(SettingsFile, DriveAndModeOutsideTheirRangesFallBackAndAreReported)
{
    struct Case {
        qint16 drive, mode;
        char letter;
        int usedMode, reported; // reported: 0, or the message's number
    };
    const Case cases[] = { { 0, 3, 'C', 3, 0 }, { 23, 0, 'Z', 0, 0 },
        { 24, 0, 'C', 0, ErrorNumber::SettingsDriveInvalid }, { -1, 0, 'C', 0, ErrorNumber::SettingsDriveInvalid },
        { 1, 32767, 'D', 0, ErrorNumber::SettingsValueInvalid }, { 1, -1, 'D', 0, ErrorNumber::SettingsValueInvalid },
        { 1, 4, 'D', 0, ErrorNumber::SettingsValueInvalid } };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.drive << ' ' << c.mode);
        TestServices t;
        t.writeSettings({ 0, 0, 0, c.drive, 0, c.mode });
        Settings s;
        LoadSettings(t.services.paths, s, t.messages);
        EXPECT_EQ(s.LogDrive, QLatin1Char(c.letter));
        EXPECT_EQ(s.StartPauseMode, c.usedMode);
        ASSERT_EQ(t.messages.shown.size(), c.reported ? 1 : 0);
        if (c.reported) {
            EXPECT_TRUE(t.messages.shown[0].startsWith(QString::number(c.reported) + QLatin1Char(' ')));
            EXPECT_TRUE(t.messages.shown[0].contains(t.services.paths.settingsFile))
                << t.messages.shown[0].toStdString();
        }
    }
}

// A settings file that cannot be written still loads. Root ignores permissions, but nobody may
// write to a program while it runs: a running copy of one stands for such a file.
TEST(SettingsFile, SettingsFileThatCannotBeWrittenStillLoads)
{
    TestServices t;
    QDir().mkpath(t.services.paths.settingsFolder);
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), t.services.paths.settingsFile));
    QFile::setPermissions(t.services.paths.settingsFile, QFile::ReadOwner | QFile::ExeOwner);
    QProcess running;
    running.start(t.services.paths.settingsFile, { QStringLiteral("30") });
    ASSERT_TRUE(running.waitForStarted());
    Settings s;
    EXPECT_NO_THROW(LoadSettings(t.services.paths, s, t.messages));
    EXPECT_EQ(s.PlayDevice, 0x457f) << "the file's first two bytes, 7F 45";
    running.kill();
    running.waitForFinished();
}
