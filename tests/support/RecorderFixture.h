#pragma once

#include "TestServices.h"
#include "config/RecordFormats.h"
#include "recorder/Recorder.h"

#include <QDir>
#include <QFile>

#include <memory>
#include <vector>

namespace wendmoor::test {

// The recorder over fake services, its clock stopped: the test moves the fake time in 100 ms
// steps, and in each the sound card captures a counting signal (every sample the one before plus
// one), the clock ticks and the chain drains.
struct RecorderFixture {
    explicit RecorderFixture(int format = 5)
    {
        settings.LogDrive = QLatin1Char('C');
        settings.RecordFormat = static_cast<std::int16_t>(format);
        recorder = std::make_unique<Recorder>(ts.services, settings, state);
        recorder->clockTimer().stop();
    }

    void at(const QDateTime& t) { ts.clock.current = t; }
    void at(int h, int m, int s, int ms = 0) { at(QDateTime(QDate(2026, 12, 6), QTime(h, m, s, ms))); }

    void step(bool feed = true)
    {
        ts.clock.advanceMs(100);
        if (feed && ts.audio.capture->running) {
            std::vector<std::int16_t> block(static_cast<std::size_t>(ts.audio.capture->rate / 10));
            for (auto& s : block)
                s = counter = static_cast<std::int16_t>((counter + 1) & 0x7fff);
            ts.audio.feed(block);
        }
        recorder->tick();
        recorder->chain().pump();
    }
    void run(qint64 ms, bool feed = true)
    {
        for (qint64 done = 0; done < ms; done += 100)
            step(feed);
    }

    // The recorder's commands, and the wait till the chain has carried them out.
    void settle() { recorder->chain().settle(); }
    void record()
    {
        recorder->record();
        settle();
    }
    void stop()
    {
        recorder->stop();
        settle();
    }
    void recordLog()
    {
        recorder->RecordLog();
        settle();
    }

    [[nodiscard]] QString log(const QString& name) const { return archive + QLatin1Char('/') + name; }
    [[nodiscard]] QStringList logs() const
    {
        return QDir(archive).entryList({ QStringLiteral("*.wav") }, QDir::Files, QDir::Name);
    }
    void touch(const QString& name) const
    {
        QFile f(log(name));
        if (f.open(QIODevice::WriteOnly))
            f.write("x");
    }

    TestServices ts;
    Settings settings;
    RecorderState state;
    QString archive = ts.makeArchive();
    std::unique_ptr<Recorder> recorder;
    std::int16_t counter = 0;
};

// Whether every sample is the one before it plus one (modulo 32768): nothing lost, nothing twice.
// Returns the index of the first break, or 0.
[[nodiscard]] inline std::size_t countingBreak(const std::vector<std::int16_t>& s)
{
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] != static_cast<std::int16_t>((s[i - 1] + 1) & 0x7fff))
            return i;
    }
    return 0;
}

} // namespace wendmoor::test
