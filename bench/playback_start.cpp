// How long playback takes to start: from the "10" button, and from a seek to the middle while it
// plays, to the moment the output has been handed the first samples. On three logs: a 24-hour
// GSM 6.10 22050 Hz log (about 390 MB, made sparse in a temporary folder, with recorded audio in
// its middle and last minute), an hour of FLAC and twenty minutes of Opus (recorded through the
// recorder's converter and writer; a compressed stream cannot be made sparse, and a day of them
// takes too long to encode here). Each is timed with the log in the page cache and, "NotCached",
// with it dropped from the cache (posix_fadvise POSIX_FADV_DONTNEED) before each run. The output
// is the tests' fake, which takes samples at once; with WENDMOOR_DEVICE_TESTS set, "10" is also
// timed through the real PortAudio output until the device has taken frames. `--smoke` uses
// two-minute logs and few runs.

#include "media/PortAudioSystem.h"
#include "media/WavePlayer.h"
#include "playback/PlaybackController.h"
#include "playback/frmPlay.h"

#include "RecordedLog.h"
#include "TestServices.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace wendmoor;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 22050;
constexpr int kBlockBytes = 65;
constexpr int kBlockFrames = 320;
bool g_smoke = false;
test::TestServices* g_services = nullptr;

// One log of the archive: its file name and the middle of its recorded audio.
struct Log {
    std::string name; // of the benchmark
    QString path;
    std::int32_t middleMs = 0;
};

void putLe32(QByteArray& bytes, qsizetype at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

// The log: a minute of tone recorded by the recorder's converter and writer gives the header and
// the blocks that are copied into the middle and the end; everything else is sparse.
std::int32_t makeGsmLog(const QString& path, std::int64_t seconds)
{
    const QString minute = path + QStringLiteral(".minute");
    test::recordLog(
        minute, WaveFormat::gsm610(kRate), 60,
        [](std::int64_t frame) {
            return std::int16_t(6000 * std::sin(2 * std::numbers::pi * 440 * double(frame) / kRate));
        },
        g_services->messages);
    QFile source(minute);
    if (!source.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + minute.toStdString());
    const QByteArray recorded = source.readAll();
    const qsizetype data = recorded.indexOf("data") + 8;
    const QByteArray blocks = recorded.mid(data, (recorded.size() - data) / kBlockBytes * kBlockBytes);

    const std::int64_t totalBlocks = seconds * kRate / kBlockFrames;
    const std::int64_t dataBytes = totalBlocks * kBlockBytes;
    QByteArray header = recorded.left(data);
    putLe32(header, 4, static_cast<std::uint32_t>(data - 8 + dataBytes));
    putLe32(header, header.indexOf("fact") + 8, static_cast<std::uint32_t>(totalBlocks * kBlockFrames));
    putLe32(header, data - 4, static_cast<std::uint32_t>(dataBytes));
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly) || !log.resize(data + dataBytes))
        throw std::runtime_error("cannot create " + path.toStdString());
    log.write(header);
    for (const qint64 at : { qint64(totalBlocks / 2 * kBlockBytes), qint64(dataBytes - blocks.size()) }) {
        log.seek(data + at);
        log.write(blocks);
    }
    QFile::remove(minute);
    return static_cast<std::int32_t>(seconds * 500 + 10000);
}

// A log of tone recorded whole by the recorder's converter and writer.
std::int32_t makeRecordedLog(const QString& path, const WaveFormat& format, int seconds)
{
    const int rate = format.sampleRate();
    test::recordLog(
        path, format, seconds,
        [rate](std::int64_t frame) {
            return std::int16_t(6000 * std::sin(2 * std::numbers::pi * 440 * double(frame) / rate));
        },
        g_services->messages);
    return seconds * 500;
}

// Written out and dropped from the page cache, so that the next read comes from the disk.
void dropFromCache(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path.toStdString());
    ::fdatasync(fd);
    const int failed = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    if (failed != 0)
        throw std::runtime_error("posix_fadvise failed on " + path.toStdString());
}

struct Window {
    Settings settings;
    PlaybackMemory memory;
    frmPlay window;

    explicit Window(Services& services, int device = 0)
        : settings(withDevice(device))
        , window(services, settings, memory)
    {
    }
    static Settings withDevice(int device)
    {
        Settings s;
        s.LogDrive = QLatin1Char('C');
        s.PlayDevice = static_cast<std::int16_t>(device);
        return s;
    }
    void select(const QString& path)
    {
        const auto items = window.lstLogs->findItems(QFileInfo(path).fileName(), Qt::MatchFixedString);
        if (items.isEmpty())
            throw std::runtime_error("the list does not show " + path.toStdString());
        window.lstLogs->setCurrentItem(items.front());
    }
    void stop()
    {
        window.cmdStop_Click();
        QCoreApplication::processEvents();
    }
    // The fake output has been handed samples.
    [[nodiscard]] static bool handed() { return !g_services->audio.playback->queued.empty(); }
};

// Times `command` from its call to the moment the fake output holds samples; `prepare` is not
// timed.
void timeUntilHanded(
    benchmark::State& state, Window& w, const std::function<void()>& prepare, const std::function<void()>& command)
{
    for (auto _ : state) {
        w.stop();
        prepare();
        g_services->audio.playback->queued.clear();
        const Clock::time_point start = Clock::now();
        command();
        const Clock::time_point handed = Clock::now();
        if (!Window::handed() || !g_services->messages.shown.isEmpty()) {
            state.SkipWithError(g_services->messages.shown.join(QLatin1Char('\n')).toStdString().c_str());
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(handed - start).count());
    }
}

void lastTen(benchmark::State& state, const Log& log, bool cached)
{
    Window w(g_services->services);
    w.select(log.path);
    timeUntilHanded(
        state, w,
        [&] {
            if (!cached)
                dropFromCache(log.path);
        },
        [&] { w.window.cmdEnd[2]->click(); });
}

void seekToTheMiddle(benchmark::State& state, const Log& log, bool cached)
{
    Window w(g_services->services);
    w.select(log.path);
    timeUntilHanded(
        state, w,
        [&] {
            w.window.cmdEnd[2]->click();
            if (!cached)
                dropFromCache(log.path);
        },
        [&] { w.window.controller().seek(log.middleMs); });
}

// Through the real output: from the click until the device has taken the first frames.
void BM_LastTen_RealOutput(benchmark::State& state)
{
    PortAudioSystem audio;
    int device = static_cast<int>(audio.outputDeviceNames().indexOf(QStringLiteral("pulse")));
    if (device < 0)
        device = static_cast<int>(audio.outputDeviceNames().indexOf(QStringLiteral("default")));
    if (device < 0) {
        state.SkipWithError("no pulse or default output");
        return;
    }
    test::TestServices& t = *g_services;
    Services services { t.clock, t.volumes, audio, t.ports, t.prompt, t.systemInfo, t.messages, t.services.paths,
        t.services.events, t.clockSync };
    Window w(services, device);
    w.select(g_services->volumes.archiveFolder(QLatin1Char('C')) + QStringLiteral("/L120403.wav"));
    for (auto _ : state) {
        w.window.cmdStop_Click();
        QCoreApplication::processEvents();
        const Clock::time_point clicked = Clock::now();
        w.window.cmdEnd[2]->click();
        WavePlayer& player = w.window.controller().player();
        const std::int32_t from = player.positionMs();
        while (player.positionMs() == from && Clock::now() - clicked < std::chrono::seconds(2))
            player.pump();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - clicked).count());
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            g_smoke = true;
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(count, args.data());

    test::TestServices services;
    g_services = &services;
    const QString archive = services.makeArchive();
    std::vector<Log> logs(3);
    logs[0] = { "Gsm24Hours", archive + QStringLiteral("/L120403.wav"), 0 };
    logs[0].middleMs = makeGsmLog(logs[0].path, g_smoke ? 120 : 24 * 3600);
    logs[1] = { "Flac1Hour", archive + QStringLiteral("/L120503.flac"), 0 };
    logs[1].middleMs = makeRecordedLog(logs[1].path, WaveFormat::flac(kRate), g_smoke ? 120 : 3600);
    logs[2] = { "Opus20Minutes", archive + QStringLiteral("/L120603.opus"), 0 };
    logs[2].middleMs = makeRecordedLog(logs[2].path, WaveFormat::opus(24000), g_smoke ? 120 : 1200);

    const int iterations = g_smoke ? 3 : 50;
    for (const Log& log : logs) {
        for (const bool cached : { true, false }) {
            const std::string suffix = log.name + (cached ? "" : "/NotCached");
            benchmark::RegisterBenchmark(
                ("LastTen/" + suffix).c_str(), [&log, cached](benchmark::State& s) { lastTen(s, log, cached); })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(cached ? iterations : std::max(3, iterations / 5));
            benchmark::RegisterBenchmark(("SeekToTheMiddle/" + suffix).c_str(),
                [&log, cached](benchmark::State& s) { seekToTheMiddle(s, log, cached); })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(cached ? iterations : std::max(3, iterations / 5));
        }
    }
    if (!g_smoke && !qEnvironmentVariableIsEmpty("WENDMOOR_DEVICE_TESTS")) {
        benchmark::RegisterBenchmark("LastTen/Gsm24Hours/RealOutput", BM_LastTen_RealOutput)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(20);
    }
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_services = nullptr;
    return 0;
}
