#include "platform/Error.h"
#include "platform/EscapedFailures.h"
#include "platform/FormatSeconds.h"
#include "platform/LinuxPortInput.h"
#include "platform/LinuxSystemInfo.h"
#include "platform/ShutdownSignals.h"

#include "Fakes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <limits>
#include <memory>
#include <stdexcept>

using namespace wendmoor;

// Two starts at the same moment: exactly one records, the other asks it to come forward; a lock
// left by a killed instance does not keep the next one out.
TEST(SingleInstance, OnlyOneRecorderRunsAndTheLaterOneRaisesIt)
{
    QTemporaryDir dir;
    const auto start = [&dir](int lifeMs) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(WENDMOOR_INSTANCE_PROBE), { dir.path(), QString::number(lifeMs) });
        return p;
    };
    const auto firstLine = [](QProcess& p) {
        EXPECT_TRUE(p.waitForReadyRead(10000));
        return QString::fromLatin1(p.readLine()).trimmed();
    };
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        auto a = start(1000);
        auto b = start(1000);
        QStringList answers { firstLine(*a), firstLine(*b) };
        answers.sort();
        ASSERT_EQ(answers, (QStringList { QStringLiteral("first"), QStringLiteral("running") }));
        a->waitForFinished(10000);
        b->waitForFinished(10000);
        const QString rest = QString::fromLatin1(a->readAll() + b->readAll());
        EXPECT_TRUE(rest.contains(QStringLiteral("raised"))) << rest.toStdString();
    }
    auto running = start(10000);
    ASSERT_EQ(firstLine(*running), QStringLiteral("first"));
    running->kill();
    running->waitForFinished();
    auto afterCrash = start(0);
    EXPECT_EQ(firstLine(*afterCrash), QStringLiteral("first"));
    afterCrash->waitForFinished();
}

TEST(ShutdownSignals, HangUpEndsTheProgramLikeTerminate)
{
    QObject context;
    int calls = 0;
    onShutdownSignals(&context, [&calls] { ++calls; });
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
    test::RecordingMessages messages;
    EXPECT_TRUE(deliverReportingFailures([] { return true; }, &messages));
    EXPECT_FALSE(deliverReportingFailures(
        []() -> bool { throw Error(61, QStringLiteral("Disk full: /srv/a.wav")); }, &messages));
    EXPECT_FALSE(deliverReportingFailures([]() -> bool { throw std::runtime_error("soxr"); }, &messages));
    EXPECT_EQ(
        messages.shown, (QStringList { QStringLiteral("61 Disk full: /srv/a.wav"), QStringLiteral("1099 soxr") }));
}

// An ordinary file stands in for the raw port device: its byte at offset N is port N. Without a
// parallel-port device, or with one that refuses the claim, the byte at the address of the port
// device is read, afresh each time; an address past its end is an error that names the device
// and the reason.
TEST(LinuxPortInput, ReadsTheByteAtTheAddressFromThePortDeviceOrSaysWhyNot)
{
    QTemporaryDir dir;
    QFile port(dir.filePath(QStringLiteral("port")));
    const auto writePort = [&port](int address, char value) {
        ASSERT_TRUE(port.open(QIODevice::ReadWrite));
        ASSERT_TRUE(port.seek(address) && port.putChar(value));
        port.close();
    };
    writePort(0x285, 0x30);
    const QString notAParport = dir.filePath(QStringLiteral("parport0"));
    ASSERT_TRUE(QFile(notAParport).open(QIODevice::WriteOnly));
    for (const QString& parport : { dir.filePath(QStringLiteral("no-parport")), notAParport }) {
        LinuxPortInput input(parport, port.fileName());
        writePort(0x379, 0x5f);
        EXPECT_EQ(input.Inp(0x379), 0x5f);
        EXPECT_EQ(input.Inp(0x285), 0x30);
        writePort(0x379, char(0xdf));
        EXPECT_EQ(input.Inp(0x379), 0xdf) << "a changed contact was not seen on the next read";
    }

    // An address past the end of the device; a missing device is PortFileDrive's test.
    try {
        (void)LinuxPortInput(dir.filePath(QStringLiteral("no-parport")), port.fileName()).Inp(0x1000);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PortAccess);
        EXPECT_TRUE(e.description().contains(port.fileName())) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QStringLiteral("no byte"))) << e.description().toStdString();
    }
}

// The system information program: the first known one that is an executable on the path, as a
// closed text value of the one key and name the About box asks for.
TEST(LinuxSystemInfo, FirstKnownProgramOnThePathAnswersAsAClosedTextValue)
{
    QTemporaryDir a, b;
    const auto makeProgram = [](const QTemporaryDir& folder, const char* name, bool executable) {
        QFile f(folder.filePath(QLatin1String(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write("#!/bin/sh\nexit 0\n") > 0);
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | (executable ? QFile::ExeOwner : QFile::Permission {}));
        return f.fileName();
    };
    makeProgram(a, "kinfocenter", true);
    makeProgram(a, "hardinfo2", false); // not executable: not a program
    const QString best = makeProgram(b, "hardinfo", true);
    LinuxSystemInfo info(QStringList { a.path(), b.path() });
    const QString key = QString::fromLatin1(LinuxSystemInfo::ProgramKey);
    const QString name = QString::fromLatin1(LinuxSystemInfo::ProgramValue);

    const auto value = info.readValue(key, name);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, 1u);
    EXPECT_EQ(value->data, best.toLocal8Bit() + '\0');
    // Registry names are not case-sensitive; other keys and a folder without a program give nothing.
    EXPECT_TRUE(info.readValue(key.toLower(), QStringLiteral("path")));
    EXPECT_FALSE(info.readValue(key, QStringLiteral("OTHER")));
    EXPECT_FALSE(LinuxSystemInfo(QStringList { a.path() + QStringLiteral("/none") }).readValue(key, name));
}

TEST(FormatSeconds, HoursOnlyFromOneHourPaddedBelowTen)
{
    const std::pair<std::int32_t, const char*> cases[]
        = { { 0, "00:00" }, { 60, "01:00" }, { 3599, "59:59" }, { 3600, " 1:00:00" }, { 3725, " 1:02:05" },
              { 35999, " 9:59:59" }, { 36000, "10:00:00" }, { 360000, "100:00:00" }, { -3, "-00:03" },
              { -3725, "- 1:02:05" }, { std::numeric_limits<std::int32_t>::min(), "-596523:14:08" } };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(FormatSeconds(seconds), QString::fromLatin1(text)) << seconds;
}
