// `wendmoor serve` under load, as a separate process the way it runs beside the recorder:
//  1. from request to the first audio byte when playing 14:32:10 of a 24-hour log, for each
//     format (PCM as it is and decoded from that time, GSM 6.10, FLAC and Opus decoded from that
//     time; goal < 100 ms): the median of 15 requests;
//  2. 20 listeners streaming at once at the logs' own rates for a minute (a quarter on each
//     format): the server's CPU share and its largest resident size.
// The 24-hour logs are made once through libsndfile (the Opus one takes minutes) and kept in the
// folder given, by default build/bench/web-archive:
//   build/bench/web_serve [--smoke] [ARCHIVE]
// --smoke uses ten-minute logs in a temporary folder, 05:10 into them, and streams 5 s.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <httplib.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

struct Log {
    const char* name;
    int format;
    int rate;
    int bytesPerSecond; // what a listener takes when it plays the decoded stream
};
// The logs of 2026-03-02, one day each so that every one is "the day's log 0".
const Log kLogs[] = {
    { "L030226.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 16000 },
    { "L030326.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 16000 },
    { "L030426.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 44100 },
    { "L030526.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 24000, 48000 },
};
const char* const kDates[] = { "2026-03-02", "2026-03-03", "2026-03-04", "2026-03-05" };

bool makeLog(const QString& path, const Log& log, int seconds)
{
    if (QFile::exists(path))
        return true;
    const QString part = path + QStringLiteral(".part");
    SF_INFO info {};
    info.samplerate = log.rate;
    info.channels = 1;
    info.format = log.format;
    SNDFILE* file = sf_open(QFile::encodeName(part).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<short> second(static_cast<std::size_t>(log.rate));
    for (int s = 0; s < seconds; ++s) {
        // A tone whose pitch changes every second, so that no two seconds are alike.
        for (std::size_t i = 0; i < second.size(); ++i)
            second[i] = static_cast<short>(6000 * std::sin(2 * M_PI * (200 + s % 500) * double(i) / log.rate));
        if (sf_write_short(file, second.data(), log.rate) != log.rate) {
            sf_close(file);
            return false;
        }
    }
    sf_close(file);
    return QFile::rename(part, path);
}

double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1.0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long rssKb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Milliseconds from sending the request to the first byte of audio after the response's header.
double firstAudioByteMs(int port, const std::string& target, const httplib::Headers& headers)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30);
    const auto start = std::chrono::steady_clock::now();
    double ms = -1;
    (void)client.Get(target.c_str(), headers, [&](const char*, std::size_t) {
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return false;
    });
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool smoke = false;
    QString folder = QStringLiteral(WENDMOOR_BENCH_DIR "/web-archive");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else
            folder = QString::fromLocal8Bit(argv[i]);
    }
    QTemporaryDir temporary;
    if (smoke)
        folder = temporary.path();
    QDir().mkpath(folder);
    const int seconds = smoke ? 600 : 24 * 3600;
    for (const Log& log : kLogs) {
        std::fprintf(stderr, "web_serve: %s …\n", log.name);
        if (!makeLog(QDir(folder).filePath(QString::fromLatin1(log.name)), log, seconds)) {
            std::fprintf(stderr, "web_serve: cannot write %s in %s\n", log.name, qPrintable(folder));
            return 1;
        }
    }

    const int port = 18000 + static_cast<int>(getpid() % 2000);
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QStringLiteral(WENDMOOR_BINARY),
        { QStringLiteral("serve"), QStringLiteral("--archive"), folder, QStringLiteral("--listen"),
            QStringLiteral("127.0.0.1:%1").arg(port) });
    if (!server.waitForStarted())
        return 1;
    httplib::Client probe("127.0.0.1", port);
    for (int i = 0; i < 100 && !probe.Get("/api/days"); ++i)
        QThread::msleep(100);

    const std::string at = smoke ? "00:05:10" : "14:32:10";
    const int atSecond = smoke ? 310 : 14 * 3600 + 32 * 60 + 10;
    std::printf("From request to first audio byte at %s of a %s log (median of 15, ms; goal < 100):\n", at.c_str(),
        smoke ? "10-minute" : "24-hour");
    const auto median = [&](const std::string& target, const httplib::Headers& headers) {
        std::vector<double> ms;
        for (int i = 0; i < 15; ++i)
            ms.push_back(firstAudioByteMs(port, target, headers));
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    };
    const std::string pcmByte = std::to_string(44 + static_cast<long long>(atSecond) * 16000);
    std::printf("  %-44s %7.2f\n", "PCM log as it is (range request)",
        median(std::string("/audio?date=") + kDates[0] + "&log=0", { { "Range", "bytes=" + pcmByte + "-" } }));
    const char* captions[] = { "PCM 8 kHz, decoded from the time", "GSM 6.10 8 kHz, decoded from the time",
        "FLAC 22.05 kHz, decoded from the time", "Opus 24 kHz, decoded from the time" };
    for (int f = 0; f < 4; ++f)
        std::printf(
            "  %-44s %7.2f\n", captions[f], median(std::string("/audio?date=") + kDates[f] + "&from=" + at, {}));

    // Listeners that play in real time: each takes a second of audio a second.
    const int streamSeconds = smoke ? 5 : 60;
    std::atomic<bool> failed = false;
    std::atomic<long> maxRss = 0;
    const double cpuBefore = cpuSeconds(server.processId());
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> listeners;
    for (int i = 0; i < 20; ++i) {
        listeners.emplace_back([&, i] {
            const Log& log = kLogs[i % 4];
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(30);
            long long taken = 0;
            const auto began = std::chrono::steady_clock::now();
            const std::string target = std::string("/audio?date=") + kDates[i % 4] + "&from=" + at;
            auto reply = client.Get(target.c_str(), [&](const char*, std::size_t n) {
                taken += static_cast<long long>(n);
                const auto due = began + std::chrono::duration<double>(double(taken) / log.bytesPerSecond);
                std::this_thread::sleep_until(due);
                return std::chrono::steady_clock::now() - began < std::chrono::seconds(streamSeconds);
            });
            if (taken < static_cast<long long>(log.bytesPerSecond) * (streamSeconds - 1))
                failed = true;
        });
    }
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(streamSeconds)) {
        maxRss = std::max(maxRss.load(), rssKb(server.processId()));
        QThread::msleep(200);
    }
    for (std::thread& t : listeners)
        t.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds(server.processId()) - cpuBefore;
    std::printf("20 listeners for %d s (5 each of PCM, GSM, FLAC, Opus): server CPU %.1f %% of one core, "
                "largest RSS %.1f MB%s\n",
        streamSeconds, 100.0 * cpu / wall, double(maxRss) / 1024.0, failed ? ", SOME LISTENERS STARVED" : "");
    server.terminate();
    server.waitForFinished(10000);
    return failed ? 1 : 0;
}
