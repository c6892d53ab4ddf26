#include "alarms/AlarmRules.h"
#include "Fakes.h"
#include "alarms/AlarmSettings.h"
#include "alarms/Alarms.h"
#include "platform/ClockSync.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// A level (peak, or -1 for no level at all: recording stopped) for so many tenths of a second.
struct Stretch {
    int peak;
    int tenths;
};

// -50 dBFS is a peak of 103.6: 104 rounds to -50.0 dB and counts as silence, 106 is -49.8 dB.
TEST(DeadAir, RaisesOnceAfterSecondsOfSilenceAndClearsOnceAfterRecovery)
{
    const std::vector<Stretch> speech = [] {
        std::vector<Stretch> v;
        for (int i = 0; i < 30; ++i)
            v.insert(v.end(), { { 6000, 20 }, { 50, 20 } });
        return v;
    }();
    const struct {
        const char* name;
        std::vector<Stretch> input;
        int raised;
        int cleared;
    } cases[] = {
        { "silence at the threshold for Seconds+1, then a tone", { { 104, 310 }, { 8000, 60 } }, 1, 1 },
        { "speech with 2-s pauses", speech, 0, 0 },
        { "silence 0.1 s short of Seconds", { { 0, 300 }, { 8000, 60 } }, 0, 0 },
        { "a level 0.2 dB above the threshold", { { 106, 400 } }, 0, 0 },
        { "a click shorter than the recovery neither clears nor raises again",
            { { 0, 310 }, { 8000, 10 }, { 0, 310 }, { 8000, 60 } }, 1, 1 },
        { "a tone 0.1 s short of the recovery does not clear", { { 0, 310 }, { 8000, 50 } }, 1, 0 },
        { "no levels for 5 s (not recording) do not count as silence", { { 0, 200 }, { -1, 50 }, { 0, 200 } }, 0, 0 },
    };
    AlarmSettings settings; // -50 dBFS, 30 s, 5 s
    for (const auto& c : cases) {
        DeadAirDetector detector(settings);
        int raised = 0, cleared = 0;
        qint64 ms = 0;
        for (const Stretch& s : c.input)
            for (int i = 0; i < s.tenths; ++i, ms += 100) {
                if (s.peak < 0)
                    continue;
                const auto change = detector.feed(s.peak, ms);
                raised += change == DeadAirDetector::Change::Raised;
                cleared += change == DeadAirDetector::Change::Cleared;
            }
        EXPECT_EQ(raised, c.raised) << c.name;
        EXPECT_EQ(cleared, c.cleared) << c.name;
    }
}

// An alarm is sent when raised, every RepeatMinutes while it stands, and its end once.
TEST(AlarmBoard, RepeatsEveryRepeatMinutesWhileStandingAndClearsOnce)
{
    AlarmBoard board;
    const QDateTime t0(QDate(2026, 12, 7), QTime(3, 0));
    const Alarm lost { AlarmKind::InputLost, t0, QStringLiteral("lost") };
    ASSERT_EQ(board.update({ AlarmKind::InputLost }, { lost }, t0).size(), 1u);
    EXPECT_TRUE(board.update({ AlarmKind::InputLost }, { lost }, t0.addSecs(5)).empty()) << "raised twice";
    std::vector<int> repeatedAtMinute;
    for (int minute = 1; minute <= 130; ++minute)
        if (!board.repeatsDue(t0.addSecs(minute * 60), 60).empty())
            repeatedAtMinute.push_back(minute);
    EXPECT_EQ(repeatedAtMinute, (std::vector<int> { 60, 120 }));
    const auto cleared = board.update({ AlarmKind::InputLost }, {}, t0.addSecs(131 * 60));
    ASSERT_EQ(cleared.size(), 1u);
    EXPECT_EQ(cleared[0].notice, AlarmBoard::Notice::Cleared);
    EXPECT_TRUE(board.update({ AlarmKind::InputLost }, {}, t0.addSecs(132 * 60)).empty()) << "cleared twice";
    EXPECT_TRUE(board.repeatsDue(t0.addSecs(300 * 60), 60).empty()) << "a cleared alarm repeats";
}

struct AlarmsFixture {
    QTemporaryDir dir;
    FakeTimeSource clock;
    RecordingMessages messages;
    RecordingEvents events;
    FakeClockSync sync;
    std::unique_ptr<Alarms> alarms;

    void start() { alarms = std::make_unique<Alarms>(messages, events, clock, sync, places()); }
    Alarms::Places places() const
    {
        return { dir.filePath(QStringLiteral("alarms.ini")), dir.filePath(QStringLiteral("Running.txt")) };
    }
    int shownWith(int number) const
    {
        return int(messages.shown.filter(QRegularExpression(QStringLiteral("^%1 ").arg(number))).size());
    }
};

// Each health alarm is raised by its fault, once (NotRecording only after NotRecordingSeconds),
// and cleared once when the fault goes; both reach the message window with the alarm's number.
TEST(HealthAlarms, EachRaisedByItsFaultOnceAndClearedOnce)
{
    using Apply = std::function<void(AlarmsFixture&, bool fault)>;
    const struct {
        AlarmKind kind;
        bool waits; // raised only after NotRecordingSeconds
        Apply apply;
    } cases[] = {
        { AlarmKind::NotRecording, true,
            [](AlarmsFixture& f, bool fault) {
                f.alarms->setNotRecordingSince(fault ? std::optional(f.clock.now()) : std::nullopt);
            } },
        { AlarmKind::InputLost, false,
            [](AlarmsFixture& f, bool fault) {
                f.alarms->setInputLostSince(fault ? std::optional(f.clock.now()) : std::nullopt);
            } },
        { AlarmKind::DiskFilling, false,
            [](AlarmsFixture& f, bool fault) { f.alarms->setDiskDaysUntilFull(fault ? 2.9 : 3.0); } },
        { AlarmKind::ClockUnsynchronised, false,
            [](AlarmsFixture& f, bool fault) {
                f.sync.value = !fault;
                f.clock.advanceMs(61000); // the clock's status is read once a minute
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(alarmName(c.kind).toStdString());
        AlarmsFixture f;
        f.start();
        const int number = alarmNumber(c.kind);
        f.alarms->tick();
        c.apply(f, true);
        f.clock.advanceMs(59000);
        f.alarms->tick();
        EXPECT_EQ(f.alarms->stands(c.kind), !c.waits);
        f.clock.advanceMs(2000);
        f.alarms->tick();
        f.alarms->tick();
        EXPECT_TRUE(f.alarms->stands(c.kind));
        EXPECT_EQ(f.shownWith(number), 1) << f.messages.shown.join(QLatin1Char('\n')).toStdString();
        c.apply(f, false);
        f.alarms->tick();
        f.alarms->tick();
        EXPECT_FALSE(f.alarms->stands(c.kind));
        EXPECT_EQ(f.shownWith(number), 2);
        EXPECT_TRUE(f.messages.shown.last().contains(QLatin1String("Alarm over")))
            << f.messages.shown.last().toStdString();
    }
}

// A start after an unexpected end says how long the program was not running; a start after a
// clean end says nothing.
TEST(HealthAlarms, StartAfterUnexpectedEndSaysHowLongNothingRan)
{
    for (const bool clean : { true, false }) {
        AlarmsFixture f;
        f.start();
        f.alarms->startRun();
        f.clock.advanceMs(90000);
        f.alarms->tick(); // alive at 10:01:30
        if (clean)
            f.alarms->endRun();
        f.alarms.reset();
        f.clock.advanceMs(3 * 3600 * 1000);
        f.start();
        f.alarms->startRun();
        const QStringList said = f.messages.shown.filter(QStringLiteral("%1 ").arg(ErrorNumber::UnexpectedEnd));
        if (clean) {
            EXPECT_TRUE(said.isEmpty()) << said.join(QLatin1Char('\n')).toStdString();
        } else {
            ASSERT_EQ(said.size(), 1);
            EXPECT_TRUE(said[0].contains(QLatin1String("10:01 to 2026-12-06 13:01:30 (3:00:00)")))
                << said[0].toStdString();
        }
    }
}

// What the Alarms page writes is read back the same; a damaged file names each damaged line,
// keeps the good lines and never throws.
TEST(AlarmSettingsFile, RoundTripsAndNamesDamagedLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("alarms.ini"));
    const AlarmSettingsRead missing = readAlarmSettings(path);
    EXPECT_FALSE(missing.exists);
    EXPECT_FALSE(missing.problem);

    AlarmSettings s;
    s.deadAirThresholdDbfs = -42.5;
    s.deadAirSeconds = 12;
    s.clockUnsynchronised = false;
    s.emailServer = QStringLiteral("mail.example.org");
    s.emailSecurity = AlarmSettings::Security::Tls;
    s.emailTo = { QStringLiteral("a@example.org"), QStringLiteral("b@example.org") };
    s.command = QStringLiteral("logger -t wendmoor \"$WENDMOOR_ALARM\"\nrm -rf /");
    ASSERT_FALSE(writeAlarmSettings(path, s));
    const AlarmSettingsRead back = readAlarmSettings(path);
    EXPECT_FALSE(back.problem) << back.problem->text().toStdString();
    s.command.replace(QLatin1Char('\n'), QLatin1Char(' ')); // a line break would start a line of its own
    EXPECT_EQ(back.settings, s);

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    static const char damagedText[] = "[DeadAir]\nSeconds=20\nThresholdDbfs=loud\n[Email]\nPort=99999\nTo=x@y; z@w\n"
                                      "Secret=1\n\xff\xfe\x00garbage\n[Repeat]\nRepeatMinutes=5\n";
    f.write(damagedText, sizeof damagedText - 1);
    f.close();
    const AlarmSettingsRead damaged = readAlarmSettings(path);
    ASSERT_TRUE(damaged.problem);
    const QString text = damaged.problem->text();
    for (const char* line : { "line 3 ", "line 5 ", "line 7 ", "line 8 " })
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line << " in " << text.toStdString();
    EXPECT_FALSE(text.contains(QLatin1String("line 2 ")) || text.contains(QLatin1String("line 6 ")));
    EXPECT_EQ(damaged.settings.deadAirSeconds, 20);
    EXPECT_EQ(damaged.settings.deadAirThresholdDbfs, -50);
    EXPECT_EQ(damaged.settings.emailPort, 587);
    EXPECT_EQ(damaged.settings.emailTo, QStringList({ QStringLiteral("x@y"), QStringLiteral("z@w") }));
    EXPECT_EQ(damaged.settings.repeatMinutes, 5);
}

} // namespace
