#include "alarms/AlarmDelivery.h"
#include "Fakes.h"
#include "alarms/Alarms.h"
#include "platform/ClockSync.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;
using namespace std::chrono_literals;

namespace {

// An SMTP server or a webhook listener on the loopback (tests/alarms/servers), writing what it
// receives into the folder.
class LoopbackServer {
public:
    LoopbackServer(const QString& folder, QStringList args)
    {
        m_process.start(
            QStringLiteral("/usr/bin/python3"), QStringList { QStringLiteral(WENDMOOR_LOOPBACK_SERVER) } + args);
        if (m_process.waitForReadyRead(10000))
            port = m_process.readLine().trimmed().toInt();
        Q_UNUSED(folder);
    }
    ~LoopbackServer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
    int port = 0;

private:
    QProcess m_process;
};

QByteArray received(const QString& file, int waitMs = 10000)
{
    QFile f(file);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.exists(); }, waitMs)) << "nothing received in " << file.toStdString();
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

AlarmLetter deadAirRaised()
{
    return { AlarmBoard::Notice::Raised,
        { AlarmKind::DeadAir, QDateTime(QDate(2026, 12, 7), QTime(3, 4, 5)),
            QStringLiteral("Dead air since 03:04:05.") },
        QStringLiteral("studio-1") };
}

AlarmDelivery::Options quick()
{
    return { 500ms, 2000ms, { 50ms }, 200 };
}

// The mail reaches a real SMTP server with the user and the password from an owner-only file,
// to every address of To. A password file others can read, or STARTTLS asked of a server that
// has none, sends nothing: the password never goes out in the clear or from an exposed file.
TEST(AlarmDelivery, MailReachesSmtpServerOnlyWithOwnerOnlyPasswordAndTheSecurityAsked)
{
    QTemporaryDir dir;
    LoopbackServer smtp(
        dir.path(), { QStringLiteral("smtp"), dir.path(), QStringLiteral("logger"), QStringLiteral("s3cret") });
    ASSERT_GT(smtp.port, 0);
    const QString passwordFile = dir.filePath(QStringLiteral("password"));
    QFile pw(passwordFile);
    ASSERT_TRUE(pw.open(QIODevice::WriteOnly));
    pw.write("s3cret\n");
    pw.close();

    AlarmSettings s;
    s.emailServer = QStringLiteral("127.0.0.1");
    s.emailPort = smtp.port;
    s.emailUser = QStringLiteral("logger");
    s.emailPasswordFile = passwordFile;
    s.emailFrom = QStringLiteral("logger@studio-1");
    s.emailTo = { QStringLiteral("eng@example.org"), QStringLiteral("pd@example.org") };

    const struct {
        const char* name;
        AlarmSettings::Security security;
        QFile::Permissions permissions;
        const char* failure; // nothing: delivered
    } cases[] = {
        { "readable by the group", AlarmSettings::Security::None, QFile::ReadOwner | QFile::ReadGroup, "chmod 600" },
        { "STARTTLS from a server without it", AlarmSettings::Security::StartTls, QFile::ReadOwner, "SSL" },
        { "plain, owner-only password", AlarmSettings::Security::None, QFile::ReadOwner | QFile::WriteOwner, nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QFile::setPermissions(passwordFile, c.permissions));
        s.emailSecurity = c.security;
        AlarmDelivery delivery({ 2000ms, 5000ms, {}, 200 });
        QSignalSpy failed(&delivery, &AlarmDelivery::failed);
        QSignalSpy delivered(&delivery, &AlarmDelivery::delivered);
        delivery.send(deadAirRaised(), s);
        ASSERT_TRUE(QTest::qWaitFor([&] { return failed.size() + delivered.size() == 1; }, 10000));
        if (c.failure) {
            ASSERT_EQ(failed.size(), 1);
            EXPECT_TRUE(failed[0][3].toString().contains(QLatin1String(c.failure)))
                << failed[0][3].toString().toStdString();
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList({ QStringLiteral("mail-*") }).size(), 1) << "a refused case sent mail";
    const QByteArray mail = received(dir.filePath(QStringLiteral("mail-1.eml")));
    EXPECT_TRUE(mail.contains("X-Rcpt: eng@example.org,pd@example.org")) << mail.constData();
    EXPECT_TRUE(mail.contains("X-Auth: logger"));
    EXPECT_TRUE(mail.contains("Subject: Wendmoor on studio-1: dead-air raised"));
    EXPECT_TRUE(mail.contains("Dead air since 03:04:05."));
}

// The webhook receives the JSON facts; a listener that answers 500 is tried again, the failure
// reported as not final, and the second attempt delivers. The command gets the same facts in
// its environment.
TEST(AlarmDelivery, WebhookAndCommandGetTheFactsAndAFailureIsTriedAgain)
{
    QTemporaryDir dir;
    LoopbackServer http(dir.path(), { QStringLiteral("http"), dir.path(), QStringLiteral("500") });
    ASSERT_GT(http.port, 0);
    AlarmSettings s;
    s.webhookUrl = QStringLiteral("http://127.0.0.1:%1/alarm").arg(http.port);
    s.command = QStringLiteral("env | grep ^WENDMOOR_ | sort > '%1'").arg(dir.filePath(QStringLiteral("env.txt")));
    AlarmDelivery delivery(quick());
    QSignalSpy failed(&delivery, &AlarmDelivery::failed);
    QSignalSpy delivered(&delivery, &AlarmDelivery::delivered);
    delivery.send(deadAirRaised(), s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 2; }, 10000)) << failed.size();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0][0].value<AlarmDelivery::Channel>(), AlarmDelivery::Channel::Webhook);
    EXPECT_FALSE(failed[0][2].toBool()) << "the first failure was final";

    EXPECT_EQ(
        received(dir.filePath(QStringLiteral("post-1.json"))), received(dir.filePath(QStringLiteral("post-2.json"))));
    const QJsonObject body = QJsonDocument::fromJson(received(dir.filePath(QStringLiteral("post-2.json")))).object();
    EXPECT_EQ(body.value(QStringLiteral("what")).toString(), QStringLiteral("dead-air"));
    EXPECT_EQ(body.value(QStringLiteral("state")).toString(), QStringLiteral("raised"));
    EXPECT_TRUE(body.value(QStringLiteral("since")).toString().startsWith(QLatin1String("2026-12-07T03:04:05")));
    EXPECT_EQ(body.value(QStringLiteral("host")).toString(), QStringLiteral("studio-1"));
    EXPECT_EQ(body.value(QStringLiteral("message")).toString(), QStringLiteral("Dead air since 03:04:05."));

    const QByteArray env = received(dir.filePath(QStringLiteral("env.txt")));
    for (const char* line : { "WENDMOOR_ALARM=dead-air\n", "WENDMOOR_ALARM_STATE=raised\n",
             "WENDMOOR_ALARM_MESSAGE=Dead air since 03:04:05.\n", "WENDMOOR_HOST=studio-1\n",
             "WENDMOOR_ALARM_NUMBER=1072\n" })
        EXPECT_TRUE(env.contains(line)) << line << " in " << env.constData();
}

// An SMTP server that accepts the connection and never answers costs the recorder nothing: the
// level that raises dead air returns at once, the failure comes later in the event log and the
// message window, and ending the program does not wait for the server's time-out.
TEST(AlarmDelivery, SilentSmtpServerNeverHoldsTheCaller)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QTemporaryDir dir;
    AlarmSettings s;
    s.deadAirSeconds = 1;
    s.emailServer = QStringLiteral("127.0.0.1");
    s.emailPort = silent.serverPort();
    s.emailSecurity = AlarmSettings::Security::None;
    s.emailTo = { QStringLiteral("eng@example.org") };
    ASSERT_FALSE(writeAlarmSettings(dir.filePath(QStringLiteral("alarms.ini")), s));

    FakeTimeSource clock;
    RecordingMessages messages;
    RecordingEvents events;
    FakeClockSync sync;
    auto alarms = std::make_unique<Alarms>(messages, events, clock, sync,
        Alarms::Places { dir.filePath(QStringLiteral("alarms.ini")), dir.filePath(QStringLiteral("Running.txt")) },
        AlarmDelivery::Options { 3000ms, 3000ms, { 50ms }, 200 });
    qint64 steady = 0;
    alarms->setSteadyClock([&steady] { return steady; });

    qint64 slowestNs = 0;
    for (int i = 0; i <= 40; ++i, steady += 100) {
        QElapsedTimer t;
        t.start();
        alarms->level(0);
        slowestNs = std::max(slowestNs, t.nsecsElapsed());
    }
    ASSERT_TRUE(alarms->stands(AlarmKind::DeadAir));
    EXPECT_LT(slowestNs, 20'000'000) << "a level took " << slowestNs / 1000 << " us";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !events.notes.filter(QStringLiteral("e-mail failed (attempt 1)")).isEmpty(); }, 6000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.filter(QStringLiteral("1071 ")).isEmpty(); }, 5000));

    alarms->setSteadyClock([&steady] { return steady += 100; });
    for (int i = 0; i < 60; ++i)
        alarms->level(20000); // cleared: its end goes to the same silent server
    QTest::qWait(100);
    QElapsedTimer ending;
    ending.start();
    alarms.reset();
    EXPECT_LT(ending.elapsed(), 1500) << "ending waited for the silent server";
}

} // namespace
