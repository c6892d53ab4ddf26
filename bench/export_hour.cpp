// An hour exported by clock time from a PCM, a GSM 6.10, a FLAC and an Opus log (each recorded
// through the recorder's converter and writer, an hour and two minutes long), against sox cutting
// the same hour (`sox LOG out.wav trim 60 3600`; for Opus, which this sox cannot read,
// `opusdec LOG - | sox - out.wav trim …`) in the same run: the wall-time ratio (goal <= 1.0
// each). The export also needs the log's and the clip's checksums for its manifest: the clip's is
// taken as it is written (WAV) or read after; the log's is read whole when the log is still being
// written ("live"), and is the one the recorder remembered in the catalog when the log is finished
// ("finished", the ratio of the goal). And where the clip's first
// sample is: the log holds a marker (a loud square wave) from the frame the catalog maps to
// --from, so the clip's first loud sample should be its first (within one sample for PCM and
// FLAC, 20 ms for GSM and Opus). `--smoke`: logs of three minutes, a minute exported.

#include "catalog/Catalog.h"
#include "export/ClipExport.h"
#include "media/WaveFormat.h"
#include "media/WaveReader.h"

#include "Fakes.h"
#include "RecordedLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace {

using namespace wendmoor;

struct Case {
    const char* name;
    WaveFormat format;
    const char* extension;
    double toleranceMs;
};

constexpr int kLeadSeconds = 60;
constexpr int kMarkerMs = 200;

// The first loud sample of a file, in frames from its start; -1 when there is none.
std::int64_t firstLoud(const QString& path, int& rate)
{
    const auto reader = openWaveReader(path);
    rate = reader->sampleRate();
    std::vector<std::int16_t> block(std::size_t(4096 * reader->channels()));
    std::int64_t at = 0;
    while (const std::int64_t n = reader->read(block)) {
        for (std::int64_t i = 0; i < n; ++i)
            if (std::abs(block[std::size_t(i * reader->channels())]) > 8000)
                return at + i;
        at += n;
    }
    return -1;
}

double secondsOf(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    const int exportSeconds = smoke ? 60 : 3600;
    const int logSeconds = exportSeconds + 2 * kLeadSeconds;
    const Case cases[] = {
        { "PCM 22050 Hz 16 bit", WaveFormat::pcm(22050, 16), "wav", 1000.0 / 22050 },
        { "GSM 6.10 22050 Hz", WaveFormat::gsm610(22050), "wav", 20 },
        { "FLAC 22050 Hz", WaveFormat::flac(22050), "flac", 1000.0 / 22050 },
        { "Opus 24000 Hz", WaveFormat::opus(24000), "opus", 20 },
    };
    test::RecordingMessages messages;
    const UtcMs start = QDateTime(QDate(2026, 1, 14), QTime(10, 0)).toMSecsSinceEpoch();
    const UtcMs from = start + kLeadSeconds * 1000;
    bool met = true;
    std::printf(
        "%-20s %10s %10s %10s %7s %7s %14s\n", "log", "finished s", "live s", "sox s", "ratio", "live", "first sample");
    for (const Case& c : cases) {
        QTemporaryDir archive;
        QTemporaryDir out;
        const QString log = archive.filePath(QStringLiteral("L011426.") + QLatin1String(c.extension));
        const int rate = c.format.sampleRate();
        const std::int64_t marker = std::int64_t(kLeadSeconds) * rate;
        test::recordLog(
            log, c.format, logSeconds,
            [rate, marker](std::int64_t frame) {
                const double t = double(frame) / rate;
                if (frame >= marker && frame < marker + std::int64_t(kMarkerMs) * rate / 1000)
                    return std::int16_t((frame - marker) * 2000 / rate % 2 == 0 ? 20000 : -20000);
                return std::int16_t(600 * std::sin(2 * std::numbers::pi * 440 * t));
            },
            messages);
        const std::int64_t frames = openWaveReader(log)->frames();
        {
            auto catalog = Catalog::open(archive.path(), Catalog::Mode::ReadWrite);
            catalog->programStarted(start);
            catalog->segmentBegun(LogEntry { QFileInfo(log).fileName(), QDate(2026, 1, 14), rate, 1 }, 0, start,
                QDateTime::fromMSecsSinceEpoch(start).offsetFromUtc());
            for (std::int64_t f = std::int64_t(rate) * 60; f < frames; f += std::int64_t(rate) * 60)
                catalog->position(f, start + f * 1000 / rate, QDateTime::fromMSecsSinceEpoch(start).offsetFromUtc());
            catalog->segmentEnded(frames, start + frames * 1000 / rate, GapReason::OperatorStop);
        }
        auto exportHour = [&](const QString& clip) {
            ClipExportResult result;
            const double seconds = secondsOf([&] {
                const auto catalog = Catalog::open(archive.path(), Catalog::Mode::ReadOnly);
                ClipExportOptions options;
                options.output = clip;
                result = exportClip(planClip(*catalog, from, from + exportSeconds * 1000), options);
            });
            return seconds;
        };
        const double live = exportHour(out.filePath(QStringLiteral("live.wav")));
        {
            // Finished a while ago: the recorder's catalog thread has remembered its checksum.
            QFile file(log);
            if (!file.open(QIODevice::ReadWrite)
                || !file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime))
                std::printf("the log's time could not be set\n");
            bool settled = false;
            const LogChecksum sum = takeChecksum(archive.path(), QFileInfo(log).fileName(), settled);
            Catalog::open(archive.path(), Catalog::Mode::ReadWrite)->rememberChecksum(sum);
        }
        const QString clip = out.filePath(QStringLiteral("clip.wav"));
        const double ours = exportHour(clip);
        const QString soxOut = out.filePath(QStringLiteral("sox.wav"));
        QString program = QStringLiteral("sox");
        QStringList soxArgs { log, soxOut, QStringLiteral("trim"), QString::number(kLeadSeconds),
            QString::number(exportSeconds) };
        if (QLatin1String(c.extension) == QLatin1String("opus")) {
            // This sox reads no Opus: opusdec decodes the log for it, at the log's rate.
            program = QStringLiteral("sh");
            soxArgs = QStringList { QStringLiteral("-c"),
                QStringLiteral(
                    "opusdec --quiet --rate %1 '%2' - | sox -t raw -r %1 -e signed -b 16 -c 1 - '%3' trim %4 %5")
                    .arg(rate)
                    .arg(log, soxOut)
                    .arg(kLeadSeconds)
                    .arg(exportSeconds) };
        }
        int soxCode = -1;
        const double sox = secondsOf([&] { soxCode = QProcess::execute(program, soxArgs); });
        int clipRate = 0;
        const std::int64_t loud = firstLoud(clip, clipRate);
        const double errorMs = loud < 0 ? 1e9 : double(loud) * 1000 / clipRate;
        const double ratio = soxCode == 0 ? ours / sox : 0;
        const double liveRatio = soxCode == 0 ? live / sox : 0;
        const bool ok = (soxCode != 0 || ratio <= 1.0) && errorMs <= c.toleranceMs;
        met = met && ok;
        std::printf("%-20s %10.3f %10.3f %10.3f %7.2f %7.2f %8lld (%.2f ms)%s%s\n", c.name, ours, live, sox, ratio,
            liveRatio, static_cast<long long>(loud), errorMs, soxCode == 0 ? "" : "  (sox could not read it)",
            ok ? "" : "  MISSED");
    }
    std::printf("%s\n", met ? "goals met" : "a goal was missed");
    // The smoke run checks that it works; the figures are for the full run.
    return 0;
}
