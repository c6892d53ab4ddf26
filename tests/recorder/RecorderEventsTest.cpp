#include "FillingDisk.h"
#include "RecorderFixture.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// What a time index learns from the recorder: each log's audio starts once and stops once, with
// the time and the reason, through a roll-over, the operator's Stop, a full disk and its retry,
// and the program's end.
TEST(RecorderEvents, EveryLogsAudioStartsAndStopsOnceWithItsReason)
{
    RecorderFixture f(3);
    std::atomic<std::int64_t> room { std::int64_t { 1 } << 40 };
    f.recorder->chain().withStages([&room](WaveInput&, WaveFileWriter& writer) {
        writer.setSinkFactory([&room](const QString& p) { return std::make_unique<FillingDisk>(p, room); });
    });
    QStringList seen;
    const auto at = [](const QDateTime& t) { return t.toString(QStringLiteral("HH:mm:ss.z")); };
    QObject::connect(f.recorder.get(), &Recorder::audioStarted, [&](const QString& path, const QDateTime& t) {
        seen << QStringLiteral("start %1 %2").arg(QFileInfo(path).fileName(), at(t));
    });
    QObject::connect(
        f.recorder.get(), &Recorder::audioStopped, [&](const QString& path, StopReason reason, const QDateTime& t) {
            seen << QStringLiteral("stop %1 %2 %3").arg(QFileInfo(path).fileName()).arg(int(reason)).arg(at(t));
        });
    QList<QDateTime> notRecording;
    QObject::connect(f.recorder.get(), &Recorder::notRecording, [&](const QDateTime& t) { notRecording << t; });

    f.at(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 58)));
    f.record();
    f.run(3'000);
    f.stop();
    f.record(); // the day's log exists: not replaced (No), renumbered
    f.run(1'000);
    room = 0; // found full by the write of the next drain, seen by the tick after it
    f.run(1'000);
    room = std::int64_t { 1 } << 40;
    f.run(5'000);
    f.recorder.reset();

    const QStringList expected {
        QStringLiteral("start L120626.wav 23:59:58.0"),
        QStringLiteral("stop L120626.wav %1 00:00:01.0").arg(int(StopReason::RollOver)),
        QStringLiteral("start L120726.wav 00:00:01.0"),
        QStringLiteral("stop L120726.wav %1 00:00:01.0").arg(int(StopReason::Operator)),
        QStringLiteral("start L12072601.wav 00:00:01.0"),
        QStringLiteral("stop L12072601.wav %1 00:00:02.2").arg(int(StopReason::WriteFailed)),
        QStringLiteral("start L12072602.wav 00:00:07.2"),
        QStringLiteral("stop L12072602.wav %1 00:00:08.0").arg(int(StopReason::ProgramEnd)),
    };
    EXPECT_EQ(seen.join(QLatin1Char('\n')).toStdString(), expected.join(QLatin1Char('\n')).toStdString());
    EXPECT_EQ(notRecording, QList<QDateTime> { QDateTime(QDate(2026, 12, 7), QTime(0, 0, 2, 200)) });
}

} // namespace
