// How long the "10" button takes from the click to the first sample handed to the output:
// on a twelve-hour 22050 Hz 16-bit log (about 1.9 GB, created sparse once in the temporary
// folder) and on a log that is still being written. `--smoke` uses small files and few runs.
// With WENDMOOR_DEVICE_TESTS set, also through the real PortAudio output to the moment the
// device has taken the first frames.

#include "config/Settings.h"
#include "media/AudioSystem.h"
#include "media/PortAudioSystem.h"
#include "media/WavePlayer.h"
#include "platform/EventLog.h"
#include "platform/MessageSink.h"
#include "platform/PortInput.h"
#include "platform/Prompt.h"
#include "platform/Services.h"
#include "platform/SystemInfo.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "playback/frmPlay.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

using namespace wendmoor;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 22050;
bool g_smoke = false;

// An output that notes when it is first handed samples after being armed.
struct FirstWrite {
    bool armed = false;
    std::optional<Clock::time_point> at;
};

class TimingStream final : public PlaybackStream {
public:
    TimingStream(FirstWrite& first, int rate, int channels)
        : m_first(first)
        , m_rate(rate)
        , m_channels(channels)
    {
    }
    int sampleRate() const override { return m_rate; }
    int channels() const override { return m_channels; }
    QString deviceName() const override { return QStringLiteral("timing output"); }
    void start() override { m_running = true; }
    void stop() override { m_running = false; }
    bool isRunning() const override { return m_running; }
    std::size_t writableFrames() const override { return static_cast<std::size_t>(m_rate); }
    std::size_t write(std::span<const std::int16_t> interleaved) override
    {
        if (m_first.armed && !m_first.at && !interleaved.empty())
            m_first.at = Clock::now();
        return interleaved.size() / static_cast<std::size_t>(m_channels);
    }
    std::int64_t framesPlayed() const override { return 0; }
    std::size_t queuedFrames() const override { return 0; }

private:
    FirstWrite& m_first;
    int m_rate;
    int m_channels;
    bool m_running = false;
};

class TimingAudio final : public AudioSystem {
public:
    FirstWrite first;
    QStringList inputDeviceNames() override { return {}; }
    QStringList outputDeviceNames() override { return { QStringLiteral("timing output") }; }
    std::unique_ptr<CaptureStream> openCapture(int, int) override { return nullptr; }
    std::unique_ptr<PlaybackStream> openPlayback(int, int rate, int channels) override
    {
        return std::make_unique<TimingStream>(first, rate, channels);
    }
};

class OneDrive final : public Volumes {
public:
    explicit OneDrive(QString root)
        : m_root(std::move(root))
    {
    }
    QList<Drive> drives() const override { return { { QLatin1Char('C'), m_root } }; }

private:
    QString m_root;
};

class NoPorts final : public PortInput {
public:
    std::uint8_t Inp(int) override { return 0; }
};
class NoPrompt final : public Prompt {
public:
    bool askYesNo(const QString&, const QString&) override { return false; }
    void notice(const QString&, const QString&) override { }
};
class NoSystemInfo final : public SystemInfo {
public:
    std::optional<RawValue> readValue(const QString&, const QString&) override { return std::nullopt; }
    bool isNormalFile(const QString&) override { return false; }
    bool startProgram(const QString&) override { return false; }
};
class FailOnMessage final : public MessageSink {
public:
    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override { throw std::runtime_error(text.toStdString()); }
};

void putLe(char* at, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

// A plain 44-byte header of a mono 16-bit PCM file with `dataBytes` of audio.
QByteArray waveHeader(std::uint32_t dataBytes)
{
    QByteArray h(44, '\0');
    char* p = h.data();
    std::memcpy(p, "RIFF", 4);
    putLe(p + 4, 36 + dataBytes, 4);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    putLe(p + 16, 16, 4);
    putLe(p + 20, 1, 2); // PCM
    putLe(p + 22, 1, 2); // mono
    putLe(p + 24, kRate, 4);
    putLe(p + 28, kRate * 2, 4);
    putLe(p + 32, 2, 2);
    putLe(p + 34, 16, 2);
    std::memcpy(p + 36, "data", 4);
    putLe(p + 40, dataBytes, 4);
    return h;
}

QByteArray toneBytes(std::int64_t firstFrame, std::int64_t frames)
{
    QByteArray bytes(static_cast<qsizetype>(frames * 2), '\0');
    for (std::int64_t i = 0; i < frames; ++i) {
        const auto s = static_cast<std::int16_t>(
            6000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(firstFrame + i) / kRate));
        putLe(bytes.data() + i * 2, static_cast<std::uint16_t>(s), 2);
    }
    return bytes;
}

// A log of `seconds`, silent (sparse, so it costs no disk) except for its last minute.
void makeLongLog(const QString& path, std::int64_t seconds)
{
    const std::int64_t frames = seconds * kRate;
    const auto dataBytes = static_cast<std::uint32_t>(frames * 2);
    QFile f(path);
    if (f.exists() && f.size() == 44 + static_cast<qint64>(dataBytes))
        return;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot create " + path.toStdString());
    f.write(waveHeader(dataBytes));
    f.resize(44 + static_cast<qint64>(dataBytes));
    const std::int64_t tailFrames = std::min<std::int64_t>(frames, 60 * kRate);
    f.seek(44 + (frames - tailFrames) * 2);
    f.write(toneBytes(frames - tailFrames, tailFrames));
}

// A log that grows while the benchmark runs, its header brought up to date as a recorder does.
class GrowingLog {
public:
    GrowingLog(const QString& path, std::int64_t seconds)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate))
            throw std::runtime_error("cannot create " + path.toStdString());
        m_frames = seconds * kRate;
        m_file.write(waveHeader(static_cast<std::uint32_t>(m_frames * 2)));
        m_file.resize(44 + m_frames * 2);
        m_file.seek(44 + m_frames * 2);
        append(kRate);
    }
    void append(std::int64_t frames)
    {
        m_file.seek(44 + m_frames * 2);
        m_file.write(toneBytes(m_frames, frames));
        m_frames += frames;
        m_file.seek(0);
        m_file.write(waveHeader(static_cast<std::uint32_t>(m_frames * 2)));
        m_file.flush();
    }

private:
    QFile m_file;
    std::int64_t m_frames = 0;
};

struct NoEvents final : EventLog {
    void write(Kind, const QString&) override {}
};

struct Bench {
    QString root;
    OneDrive volumes { QString() };
    SystemTimeSource clock;
    TimingAudio timing;
    NoPorts ports;
    NoPrompt prompt;
    NoSystemInfo systemInfo;
    FailOnMessage messages;
    NoEvents events;
    QTemporaryDir settingsDir;
    std::unique_ptr<GrowingLog> growing;

    explicit Bench(const QString& folder)
        : root(folder)
        , volumes(folder)
    {
        QDir().mkpath(root + QStringLiteral("/Wendmoor/logs"));
        const QString logs = root + QStringLiteral("/Wendmoor/logs/");
        makeLongLog(logs + QStringLiteral("L120403.wav"), g_smoke ? 120 : 12 * 3600);
        growing = std::make_unique<GrowingLog>(logs + QStringLiteral("L120503.wav"), g_smoke ? 60 : 11 * 3600);
    }

    Services services(AudioSystem& audio)
    {
        return Services { clock, volumes, audio, ports, prompt, systemInfo, messages,
            AppPaths::under(settingsDir.path()), events };
    }
};

Bench* g_bench = nullptr;

void selectLog(frmPlay& window, const char* name)
{
    const auto items = window.lstLogs->findItems(QLatin1String(name), Qt::MatchExactly);
    if (items.isEmpty())
        throw std::runtime_error(std::string("not listed: ") + name);
    window.lstLogs->setCurrentItem(items.first());
}

void lastTenSeconds(benchmark::State& state, const char* log, bool grows)
{
    Services services = g_bench->services(g_bench->timing);
    Settings settings;
    settings.LogDrive = QLatin1Char('C');
    PlaybackMemory memory;
    frmPlay window(services, settings, memory);
    window.Timer1->stop();
    selectLog(window, log);
    FirstWrite& first = g_bench->timing.first;
    for (auto _ : state) {
        state.PauseTiming();
        window.cmdStop_Click();
        QCoreApplication::processEvents();
        if (grows)
            g_bench->growing->append(kRate / 2);
        first = FirstWrite { true, std::nullopt };
        state.ResumeTiming();
        const Clock::time_point clicked = Clock::now();
        window.cmdEnd[2]->click();
        if (!first.at) {
            state.SkipWithError("no sample reached the output");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(*first.at - clicked).count());
    }
    window.close();
}

void BM_LastTen_TwelveHourLog(benchmark::State& state)
{
    lastTenSeconds(state, "L120403.wav", false);
}
void BM_LastTen_LogBeingWritten(benchmark::State& state)
{
    lastTenSeconds(state, "L120503.wav", true);
}

// Through the real output: from the click until the device has taken the first frames.
void BM_LastTen_RealOutput(benchmark::State& state)
{
    PortAudioSystem audio;
    const QStringList outputs = audio.outputDeviceNames();
    int device = static_cast<int>(outputs.indexOf(QStringLiteral("pulse")));
    if (device < 0)
        device = static_cast<int>(outputs.indexOf(QStringLiteral("default")));
    if (device < 0) {
        state.SkipWithError("no pulse or default output");
        return;
    }
    Services services = g_bench->services(audio);
    Settings settings;
    settings.LogDrive = QLatin1Char('C');
    settings.PlayDevice = static_cast<std::int16_t>(device);
    PlaybackMemory memory;
    frmPlay window(services, settings, memory);
    window.Timer1->stop();
    selectLog(window, "L120403.wav");
    for (auto _ : state) {
        state.PauseTiming();
        window.cmdStop_Click();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        const Clock::time_point clicked = Clock::now();
        window.cmdEnd[2]->click();
        const std::int32_t start = window.WavePlayer->positionMs();
        while (window.WavePlayer->positionMs() == start && Clock::now() - clicked < std::chrono::seconds(2))
            window.WavePlayer->pump();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - clicked).count());
    }
    window.close();
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

    const QString folder = g_smoke ? QDir::tempPath() + QStringLiteral("/wendmoor-bench-smoke")
                                   : QDir::tempPath() + QStringLiteral("/wendmoor-bench-playback");
    Bench bench(folder);
    g_bench = &bench;

    const int iterations = g_smoke ? 3 : 50;
    benchmark::RegisterBenchmark("LastTen/TwelveHourLog", BM_LastTen_TwelveHourLog)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations);
    benchmark::RegisterBenchmark("LastTen/LogBeingWritten", BM_LastTen_LogBeingWritten)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations);
    if (!g_smoke && !qEnvironmentVariableIsEmpty("WENDMOOR_DEVICE_TESTS")) {
        benchmark::RegisterBenchmark("LastTen/RealOutput", BM_LastTen_RealOutput)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(20);
    }
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_bench = nullptr;
    if (g_smoke)
        QDir(folder).removeRecursively();
    return 0;
}
