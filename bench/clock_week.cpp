// What the recorder costs while it runs unattended, in its heaviest format (GSM 6.10 at
// 22050 Hz): CPU seconds per hour of recording through the chain and the clock alone, and the
// resident memory after each simulated day of clock ticks, roll-overs and purges. The sound
// card is the tests' fake input, fed as a real one would be (a buffer every 20 ms), so the
// figures are the program's own work: the drain, the level meter, the conversion, the
// encoding, the file and the clock.
//
//   clock_week                    one hour, then a week
//   clock_week --days 31          one hour, then a month
//   clock_week --smoke [--days N] one minute, then a day (or N days)
#include "ProcessMeasures.h"
#include "recorder/Recorder.h"

#include "TestServices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

using bench::cpuSeconds;
using bench::residentKiB;

class WeekRun {
public:
    TestServices ts;
    Settings settings;
    RecorderState state;
    std::unique_ptr<wendmoor::Recorder> recorder;
    std::vector<std::int16_t> block = std::vector<std::int16_t>(441);
    double phase = 0.0;

    WeekRun()
    {
        ts.makeArchive();
        settings.LogDrive = QLatin1Char('C');
        settings.RecordFormat = 8;
        settings.DaysToKeep = 2;
        recorder = std::make_unique<wendmoor::Recorder>(ts.services, settings, state);
        recorder->clockTimer().stop(); // the clock ticks on the fake time
        ts.clock.current = QDateTime(QDate(2026, 12, 6), QTime(9, 0, 0));
        recorder->record();
    }

    // 100 ms of running: five 20 ms buffers of programme-like audio, the recording thread's
    // drain, then the clock tick.
    void step100(bool audio)
    {
        for (int i = 0; i < 5; ++i) {
            ts.clock.advanceMs(20);
            if (audio) {
                for (auto& s : block) {
                    s = static_cast<std::int16_t>(9000.0 * std::sin(phase));
                    phase += 2.0 * 3.14159265358979 * 440.0 / 22050.0;
                }
                phase = std::fmod(phase, 2.0 * 3.14159265358979);
                ts.audio.feed(block);
            }
        }
        recorder->chain().pump();
        tick();
    }
    // The recorder's tick: the clock's rules, the roll-over and the purge; then what the window
    // thread's event loop does between ticks, delivering what the recording thread posted
    // (without it every posted notification would stay queued and the heap would grow).
    void tick()
    {
        recorder->tick();
        QCoreApplication::processEvents();
    }
};

} // namespace

int main(int argc, char** argv)
{
    bool smoke = false;
    int days = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else if (std::strcmp(argv[i], "--days") == 0 && i + 1 < argc)
            days = std::max(1, std::atoi(argv[++i]));
    }
    if (days == 0)
        days = smoke ? 1 : 7;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    WeekRun r;
    const int hourSteps = smoke ? 600 : 36000;
    const double cpu0 = cpuSeconds();
    for (int i = 0; i < hourSteps; ++i)
        r.step100(true);
    const double cpu = (cpuSeconds() - cpu0) * (36000.0 / hourSteps);
    // The chain and the clock called on a fake clock and a fake card: not the process's cost (no
    // device, no window, no sound server); bench/process_cpu measures that.
    std::printf(
        "format 8, one hour through the chain and the clock alone: %.2f CPU s (%.3f%% of one core)\n", cpu, cpu / 36.0);

    // A week: the clock ticks ten times a second around every midnight and noon, and the audio
    // keeps flowing there; in between the hours pass a second per tick without audio (the
    // audio's cost is the hour above), so that roll-overs and purges come around as they would.
    const long before = residentKiB();
    for (int day = 0; day < days; ++day) {
        const QDate d = r.ts.clock.current.date();
        while (r.ts.clock.current < QDateTime(d, QTime(23, 59, 0))) {
            const QTime t = r.ts.clock.current.time();
            const bool busy = (t >= QTime(11, 59, 0) && t < QTime(12, 1, 0));
            if (busy) {
                r.step100(true);
            } else {
                r.ts.clock.advanceMs(1000);
                r.tick();
            }
        }
        for (int i = 0; i < 1200; ++i) // 23:59:00 to 00:01:00
            r.step100(true);
        std::printf("  after day %d: %ld KiB\n", day + 1, residentKiB());
    }
    const long after = residentKiB();
    const int files
        = static_cast<int>(QDir(r.ts.volumes.archiveFolder(QLatin1Char('C'))).entryList(QDir::Files).size());
    std::printf("resident memory: %ld KiB after the hour, %ld KiB after %d simulated day(s) (%+ld KiB); %d logs kept\n",
        before, after, days, after - before, files);
    return r.state.IsRecording && r.ts.messages.shown.isEmpty() ? 0 : 1;
}
