// How long playback takes to start on a 24-hour GSM 6.10 22050 Hz log (about 390 MB, made sparse in
// a temporary folder, with recorded audio in its middle and last minute): from the "10" button,
// and from a seek to the middle while it plays, to the moment the output has been handed the first
// samples. The output is the tests' fake, which takes samples at once; with WENDMOOR_DEVICE_TESTS
// set, "10" is also timed through the real PortAudio output until the device has taken frames.
// `--smoke` uses a two-minute log and few runs.

#include "media/PortAudioSystem.h"
#include "media/WavePlayer.h"
#include "playback/PlaybackController.h"
#include "playback/frmPlay.h"

#include "RecordedLog.h"
#include "TestServices.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <stdexcept>

namespace {

using namespace wendmoor;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 22050;
constexpr int kBlockBytes = 65;
constexpr int kBlockFrames = 320;
bool g_smoke = false;
test::TestServices* g_services = nullptr;
std::int32_t g_middleMs = 0;

void putLe32(QByteArray& bytes, qsizetype at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

// The log: a minute of tone recorded by the recorder's converter and writer gives the header and
// the blocks that are copied into the middle and the end; everything else is sparse.
void makeLog(const QString& path, std::int64_t seconds)
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
    g_middleMs = static_cast<std::int32_t>(seconds * 500 + 10000);
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

void BM_LastTen(benchmark::State& state)
{
    Window w(g_services->services);
    timeUntilHanded(
        state, w, [] {}, [&] { w.window.cmdEnd[2]->click(); });
}

void BM_SeekToTheMiddle(benchmark::State& state)
{
    Window w(g_services->services);
    timeUntilHanded(
        state, w, [&] { w.window.cmdEnd[2]->click(); }, [&] { w.window.controller().seek(g_middleMs); });
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
    makeLog(services.makeArchive() + QStringLiteral("/L120403.wav"), g_smoke ? 120 : 24 * 3600);

    const int iterations = g_smoke ? 3 : 50;
    using Bench = void (*)(benchmark::State&);
    for (const auto& [name, function] : { std::pair<const char*, Bench> { "LastTen/Gsm24Hours", BM_LastTen },
             std::pair<const char*, Bench> { "SeekToTheMiddle/Gsm24Hours", BM_SeekToTheMiddle } }) {
        benchmark::RegisterBenchmark(name, function)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(iterations);
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
