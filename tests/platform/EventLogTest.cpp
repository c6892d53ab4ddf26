#include "platform/EventLogFile.h"
#include "platform/LoggedMessages.h"

#include "Fakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wendmoor;

namespace {

QStringList linesOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

struct EventLogTest : ::testing::Test {
    QTemporaryDir dir;
    test::FakeTimeSource clock;
    test::RecordingMessages window;

    EventLogFile make(const QString& folder, qint64 maxBytes = 1 << 20)
    {
        return EventLogFile(clock, window, { folder, maxBytes, false });
    }
};

} // namespace

TEST_F(EventLogTest, RotatesIntoOneOlderFileAndStaysBounded)
{
    const qint64 bound = 200;
    const QString folder = dir.path() + QStringLiteral("/state/Wendmoor"); // made by the log
    EventLogFile log = make(folder, bound);
    for (int i = 0; i < 30; ++i)
        log.note(QStringLiteral("event %1").arg(i, 2, 10, QLatin1Char('0')));

    const QStringList current = linesOf(log.path());
    const QStringList older = linesOf(log.path() + QStringLiteral(".1"));
    EXPECT_LE(QFile(log.path()).size(), bound);
    EXPECT_LE(QFile(log.path() + QStringLiteral(".1")).size(), bound);
    ASSERT_FALSE(current.isEmpty());
    ASSERT_FALSE(older.isEmpty());
    EXPECT_TRUE(current.last().endsWith(QStringLiteral("event 29")));
    // No line is lost between the two files, and no third file appears.
    EXPECT_TRUE(older.last().endsWith(QStringLiteral("event %1").arg(29 - current.size())));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
    EXPECT_TRUE(window.shown.isEmpty());
}

// A full disk costs the file, never the program: the operator hears of it once, the messages
// still reach the window, and a log that has room again is written again: every message shown
// and every event with its time, the events not shown.
TEST_F(EventLogTest, AFullStateFolderIsReportedOnceAndNeverStopsTheProgram)
{
    const QString folder = dir.path() + QStringLiteral("/full");
    QDir().mkpath(folder);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), folder + QStringLiteral("/events.log")));
    EventLogFile log = make(folder);
    LoggedMessages messages(window, log);
    messages.ShowMessage(QStringLiteral("first"));
    log.note(QStringLiteral("second"));
    messages.ShowMessage(QStringLiteral("third"));

    // The report comes before the message that met the failure, so that the message stays in view.
    ASSERT_EQ(window.shown.size(), 3);
    EXPECT_TRUE(window.shown[0].startsWith(QStringLiteral("61 ")) && window.shown[0].contains(log.path()))
        << window.shown[0].toStdString();
    EXPECT_EQ(window.shown.mid(1), (QStringList { QStringLiteral("first"), QStringLiteral("third") }));

    QFile::remove(log.path());
    messages.ShowMessage(Error(53, QStringLiteral("File not found /x/L120626.wav")));
    clock.advanceMs(61'000);
    log.note(QStringLiteral("Roll-over: closed /x/L120626.wav, 44 bytes"));
    EXPECT_EQ(window.shown.mid(3), QStringList { QStringLiteral("53 File not found /x/L120626.wav") });
    EXPECT_EQ(linesOf(log.path()),
        (QStringList { QStringLiteral("2026-12-06 10:00:00  Message: 53 File not found /x/L120626.wav"),
            QStringLiteral("2026-12-06 10:01:01  Roll-over: closed /x/L120626.wav, 44 bytes") }));
}
