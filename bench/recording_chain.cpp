// The recording chain (resample, reduce, encode, write) over a long 22050 Hz 16-bit input for
// each of the recording formats, beside a command-line tool doing the same conversion of the same
// input: sox for the WAV formats, flac and opusenc for FLAC and Opus. Each pair runs five times,
// chain and tool in turn, so that a busy moment of the machine falls on both; prints the median
// times, the median ratio chain/tool with its range over the five, and the bytes per hour of
// both. `--smoke` runs a few seconds of audio once; `--seconds N` sets the length of the input.

#include "media/FormatConverter.h"
#include "media/WaveFileWriter.h"
#include "platform/MessageSink.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace wendmoor;

namespace {

constexpr int kInputRate = 22050;
constexpr std::size_t kBufferFrames = 441; // what the input hands on every 20 ms

struct Target {
    const char* name;
    WaveFormat format;
    std::vector<std::string> soxArgs; // output options of sox
    const char* tool = "sox"; // or "flac", "opusenc", with their own options
};

const std::vector<Target>& targets()
{
    static const std::vector<Target> t = {
        { "pcm8000x8", WaveFormat::pcm(8000, 8), { "-r", "8000", "-b", "8", "-e", "unsigned-integer" } },
        { "pcm8000x16", WaveFormat::pcm(8000, 16), { "-r", "8000", "-b", "16", "-e", "signed-integer" } },
        { "pcm11025x8", WaveFormat::pcm(11025, 8), { "-r", "11025", "-b", "8", "-e", "unsigned-integer" } },
        { "pcm11025x16", WaveFormat::pcm(11025, 16), { "-r", "11025", "-b", "16", "-e", "signed-integer" } },
        { "pcm22050x8", WaveFormat::pcm(22050, 8), { "-r", "22050", "-b", "8", "-e", "unsigned-integer" } },
        { "pcm22050x16", WaveFormat::pcm(22050, 16), { "-r", "22050", "-b", "16", "-e", "signed-integer" } },
        { "gsm8000", WaveFormat::gsm610(8000), { "-r", "8000", "-e", "gsm-full-rate" } },
        { "gsm11025", WaveFormat::gsm610(11025), { "-r", "11025", "-e", "gsm-full-rate" } },
        { "gsm22050", WaveFormat::gsm610(22050), { "-r", "22050", "-e", "gsm-full-rate" } },
        { "flac22050", WaveFormat::flac(22050), {}, "flac" },
        { "opus24000", WaveFormat::opus(24000), {}, "opusenc" },
    };
    return t;
}

class DiscardMessages final : public MessageSink {
public:
    using MessageSink::ShowMessage;
    int count = 0;
    void ShowMessage(const QString& text) override
    {
        ++count;
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
};

struct Workload {
    QTemporaryDir dir;
    std::vector<std::int16_t> input;
    std::string inputPath;
    // Wall-clock and CPU seconds of each run, in the order they ran.
    std::map<std::string, std::vector<double>> chainSeconds;
    std::map<std::string, std::vector<double>> soxSeconds;
    std::map<std::string, std::vector<double>> chainCpu;
    std::map<std::string, std::vector<double>> soxCpu;
    std::map<std::string, qint64> chainBytes;
    std::map<std::string, qint64> soxBytes;
};

Workload* g_work = nullptr;

// Programme-like material, half a minute of each in turn. Speech: a voice of 8 harmonics whose
// pitch wanders around 150 Hz, in syllables of a quarter second with pauses between phrases.
// Music: a chord of three notes with their overtones and a slow swell, changing every 2 s. Both
// over a little noise.
std::vector<std::int16_t> makeInput(double seconds)
{
    const auto frames = static_cast<std::size_t>(seconds * kInputRate);
    std::vector<std::int16_t> out(frames);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 150.0);
    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    constexpr double kChords[4][3]
        = { { 261.6, 329.6, 392.0 }, { 220.0, 261.6, 329.6 }, { 174.6, 220.0, 261.6 }, { 196.0, 246.9, 293.7 } };
    double voicePhase = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kInputRate;
        double v = 0.0;
        if (std::fmod(t, 60.0) < 30.0) {
            voicePhase += kTwoPi * (150.0 + 30.0 * std::sin(kTwoPi * 0.7 * t)) / kInputRate;
            const double syllable = std::max(0.0, std::sin(kTwoPi * 2.0 * t));
            const double phrase = std::fmod(t, 4.0) < 3.2 ? 1.0 : 0.0;
            for (int h = 1; h <= 8; ++h)
                v += 9000.0 / h * std::sin(h * voicePhase);
            v *= syllable * phrase;
        } else {
            const double* chord = kChords[static_cast<int>(t / 2.0) % 4];
            const double swell = 0.6 + 0.4 * std::sin(kTwoPi * 0.1 * t);
            for (int n = 0; n < 3; ++n)
                for (int h = 1; h <= 4; ++h)
                    v += swell * 3000.0 / h * std::sin(kTwoPi * chord[n] * h * t);
        }
        v += noise(rng);
        out[i] = static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
    }
    return out;
}

qint64 fileBytes(const QString& path)
{
    return QFileInfo(path).size();
}

bool writeInputFile(const std::vector<std::int16_t>& samples, const std::string& path)
{
    SF_INFO info {};
    info.samplerate = kInputRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    const sf_count_t n = sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    return n == static_cast<sf_count_t>(samples.size());
}

double processCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double seconds(const timeval& tv)
{
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

void runChain(benchmark::State& state, const Target& target)
{
    DiscardMessages messages;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        const double cpuBegin = processCpuSeconds();
        FormatConverter converter;
        WaveFileWriter writer(messages);
        converter.setOutput(&writer);
        converter.setOutputFormat(target.format);
        const QString path = g_work->dir.filePath(
            QStringLiteral("chain-%1%2").arg(QLatin1String(target.name), QLatin1String(target.format.fileExtension())));
        QFile::remove(path); // the writer never replaces a file
        writer.setFileName(path);
        writer.setHeaderRefreshInterval(1000);
        converter.beginStream(WaveFormat::pcm(kInputRate, 16));
        writer.setEnabled(true);
        const std::vector<std::int16_t>& in = g_work->input;
        for (std::size_t i = 0; i < in.size(); i += kBufferFrames)
            converter.writeSamples(std::span(in).subspan(i, std::min(kBufferFrames, in.size() - i)));
        converter.endStream();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        state.SetIterationTime(s);
        g_work->chainSeconds[target.name].push_back(s);
        g_work->chainCpu[target.name].push_back(processCpuSeconds() - cpuBegin);
        g_work->chainBytes[target.name] = fileBytes(path);
    }
    if (messages.count > 0)
        state.SkipWithError("the chain reported a failure");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * g_work->input.size()));
}

void runTool(benchmark::State& state, const Target& target)
{
    const QString outPath = g_work->dir.filePath(
        QStringLiteral("tool-%1%2").arg(QLatin1String(target.name), QLatin1String(target.format.fileExtension())));
    const std::string out = outPath.toStdString();
    std::vector<std::string> args;
    if (std::strcmp(target.tool, "flac") == 0) {
        // libsndfile's FLAC encoder works at level 5, flac's default.
        args = { "flac", "-s", "-f", "-o", out, g_work->inputPath };
    } else if (std::strcmp(target.tool, "opusenc") == 0) {
        args = { "opusenc", "--quiet", "--bitrate", std::to_string(WaveFormat::kOpusBitsPerSecond / 1000),
            g_work->inputPath, out };
    } else {
        // No dither, no clipping guard, the default high-quality rate conversion: the chain's own choices.
        args = { "sox", "-D", g_work->inputPath, "-c", "1" };
        args.insert(args.end(), target.soxArgs.begin(), target.soxArgs.end());
        args.push_back(out);
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        rusage usage {};
        wait4(pid, &status, 0, &usage);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        state.SetIterationTime(s);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the tool failed (is it installed? scripts/install-deps)");
            return;
        }
        g_work->soxSeconds[target.name].push_back(s);
        g_work->soxCpu[target.name].push_back(seconds(usage.ru_utime) + seconds(usage.ru_stime));
        g_work->soxBytes[target.name] = fileBytes(outPath);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * g_work->input.size()));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
}

// The ratio of each run of the chain to the run of the tool beside it.
std::vector<double> ratios(const std::vector<double>& chain, const std::vector<double>& tool)
{
    std::vector<double> r;
    for (std::size_t i = 0; i < std::min(chain.size(), tool.size()); ++i)
        r.push_back(chain[i] / tool[i]);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    bool smoke = false;
    double audioSeconds = 3600.0;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            audioSeconds = std::max(1.0, std::atof(argv[++i]));
        else
            args.push_back(argv[i]);
    }
    if (smoke)
        audioSeconds = 3.0;
    const int runs = smoke ? 1 : 5;
    int benchArgc = static_cast<int>(args.size());
    QCoreApplication app(benchArgc, args.data());

    Workload work;
    g_work = &work;
    work.input = makeInput(audioSeconds);
    work.inputPath = work.dir.filePath(QStringLiteral("input.wav")).toStdString();
    if (!writeInputFile(work.input, work.inputPath)) {
        std::fprintf(stderr, "cannot write the input file %s\n", work.inputPath.c_str());
        return 1;
    }

    // Registered in the order they run: the pairs one after the other, each chain, tool, chain, ...
    for (const Target& t : targets()) {
        for (int run = 1; run <= runs; ++run) {
            const std::string suffix = std::string(t.name) + "/run:" + std::to_string(run);
            benchmark::RegisterBenchmark(("chain/" + suffix).c_str(), [&t](benchmark::State& s) { runChain(s, t); })
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(
                (std::string(t.tool) + "/" + suffix).c_str(), [&t](benchmark::State& s) { runTool(s, t); })
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&benchArgc, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // Wall time includes the chain's pushes to the disk (every 5 s and at the close); the tools do none.
    std::printf("\n%.0f s of 22050 Hz 16-bit input, %d run(s) of each; medians; ratio = chain / tool, its lowest "
                "and highest in brackets; bytes per hour of audio\n"
                "%-12s %8s %8s %17s %9s %9s %17s %10s %12s %12s\n",
        audioSeconds, runs, "format", "chain s", "tool s", "wall ratio", "chain cpu", "tool cpu", "cpu ratio",
        "x realtime", "chain B/h", "tool B/h");
    for (const Target& t : targets()) {
        const std::string n = t.name;
        if (!work.chainSeconds.contains(n) || !work.soxSeconds.contains(n))
            continue;
        const std::vector<double> wall = ratios(work.chainSeconds[n], work.soxSeconds[n]);
        const std::vector<double> cpu = ratios(work.chainCpu[n], work.soxCpu[n]);
        const double cw = median(work.chainSeconds[n]);
        const double perHour = 3600.0 / audioSeconds;
        std::printf("%-12s %8.3f %8.3f %5.2f (%4.2f-%4.2f) %9.3f %9.3f %5.2f (%4.2f-%4.2f) %10.0f %12.0f %12.0f\n",
            t.name, cw, median(work.soxSeconds[n]), median(wall), *std::min_element(wall.begin(), wall.end()),
            *std::max_element(wall.begin(), wall.end()), median(work.chainCpu[n]), median(work.soxCpu[n]), median(cpu),
            *std::min_element(cpu.begin(), cpu.end()), *std::max_element(cpu.begin(), cpu.end()), audioSeconds / cw,
            static_cast<double>(work.chainBytes[n]) * perHour, static_cast<double>(work.soxBytes[n]) * perHour);
    }
    return 0;
}
