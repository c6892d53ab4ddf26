#include "platform/EscapedFailures.h"
#include "platform/ShutdownSignals.h"

#include "Fakes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <stdexcept>

namespace {

std::unique_ptr<QProcess> startProbe(const QString& folder, int lifeMs)
{
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(WENDMOOR_INSTANCE_PROBE), { folder, QString::number(lifeMs) });
    return p;
}

QString firstLine(QProcess& p)
{
    EXPECT_TRUE(p.waitForReadyRead(10000));
    return QString::fromLatin1(p.readLine()).trimmed();
}

} // namespace

// Two starts at the same moment, or one after the other: exactly one records, the other asks
// it to come forward; a lock left by a killed instance does not keep the next one out.
TEST(SingleInstance, OnlyOneRecorderRunsAndTheLaterOneRaisesIt)
{
    QTemporaryDir dir;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        auto a = startProbe(dir.path(), 1000);
        auto b = startProbe(dir.path(), 1000);
        QStringList answers { firstLine(*a), firstLine(*b) };
        answers.sort();
        ASSERT_EQ(answers, (QStringList { QStringLiteral("first"), QStringLiteral("running") }));
        a->waitForFinished(10000);
        b->waitForFinished(10000);
        const QString rest = QString::fromLatin1(a->readAll() + b->readAll());
        EXPECT_TRUE(rest.contains(QStringLiteral("raised"))) << rest.toStdString();
    }

    auto running = startProbe(dir.path(), 10000);
    ASSERT_EQ(firstLine(*running), QStringLiteral("first"));
    auto later = startProbe(dir.path(), 0);
    EXPECT_EQ(firstLine(*later), QStringLiteral("running"));
    ASSERT_TRUE(running->waitForReadyRead(10000));
    EXPECT_EQ(QString::fromLatin1(running->readLine()).trimmed(), QStringLiteral("raised"));
    running->kill();
    running->waitForFinished();
    auto afterCrash = startProbe(dir.path(), 0);
    EXPECT_EQ(firstLine(*afterCrash), QStringLiteral("first"));
    afterCrash->waitForFinished();
}

TEST(ShutdownSignals, HangUpEndsTheProgramLikeTerminate)
{
    QObject context;
    int calls = 0;
    wendmoor::onShutdownSignals(&context, [&calls] { ++calls; });
    for (const int signal : { SIGHUP, SIGTERM }) {
        const int before = calls;
        ::raise(signal);
        const QDeadlineTimer deadline(5000);
        while (calls == before && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_EQ(calls, before + 1) << signal;
    }
}

// A failure no handler caught reaches the operator with a number instead of ending the program.
TEST(EscapedFailures, AreReportedInsteadOfEndingTheProgram)
{
    wendmoor::test::RecordingMessages messages;
    EXPECT_TRUE(wendmoor::deliverReportingFailures([] { return true; }, &messages));
    EXPECT_FALSE(wendmoor::deliverReportingFailures(
        []() -> bool { throw wendmoor::Error(61, QStringLiteral("Disk full: /srv/a.wav")); }, &messages));
    EXPECT_FALSE(wendmoor::deliverReportingFailures([]() -> bool { throw std::runtime_error("soxr"); }, &messages));
    EXPECT_EQ(
        messages.shown, (QStringList { QStringLiteral("61 Disk full: /srv/a.wav"), QStringLiteral("1099 soxr") }));
}
