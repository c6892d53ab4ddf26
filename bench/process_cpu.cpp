// The whole program's CPU time while it records unattended: format 8 (GSM 6.10, 22050 Hz) from
// the virtual sound card's monitor ("pulse", else "default"), the main window shown, for ten
// minutes; the figure is the process's user + system time from /proc/<pid>/stat. Run it under a
// display and the virtual sound card, for example:
//   PULSE_RUNTIME_PATH=/tmp/wendmoor-pulse xvfb-run -a env QT_QPA_PLATFORM=xcb
//     build/bench/process_cpu [--smoke] [seconds]
// --smoke records for five seconds, offscreen when there is no display, and is skipped without
// a sound input.
#include "media/PortAudioSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1.0;
    const QByteArray stat = f.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks; // utime, stime
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 600;
    bool smoke = false;
    for (int i = 1; i < argc; ++i) {
        smoke = smoke || std::strcmp(argv[i], "--smoke") == 0;
        seconds = smoke ? 5 : std::atoi(argv[i]);
    }
    int device = -1;
    {
        wendmoor::PortAudioSystem audio;
        const QStringList names = audio.inputDeviceNames();
        device = static_cast<int>(names.indexOf(QStringLiteral("pulse")));
        if (device < 0)
            device = static_cast<int>(names.indexOf(QStringLiteral("default")));
    }
    if (device < 0) {
        std::fprintf(stderr, "no \"pulse\" or \"default\" input: start scripts/virtual-sound\n");
        return smoke ? 0 : 2;
    }

    QTemporaryDir home;
    const QString config = home.path() + QStringLiteral("/config/Wendmoor");
    QDir().mkpath(config);
    QDir().mkpath(home.path() + QStringLiteral("/Wendmoor/logs"));
    QFile settings(config + QStringLiteral("/ZaZuve.ini"));
    if (!settings.open(QIODevice::WriteOnly))
        return 2;
    // Eleven 16-bit records: record device, format 8, drive C, start on loading.
    const qint16 records[11] = { 0, static_cast<qint16>(device), 8, 0, 0, 0, 0, 0, 0, 0, 1 };
    for (const qint16 r : records) {
        const char bytes[2] = { static_cast<char>(r & 0xff), static_cast<char>((r >> 8) & 0xff) };
        settings.write(bytes, 2);
    }
    settings.close();

    QProcess wendmoor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    if (smoke && !env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    wendmoor.setProcessEnvironment(env);
    wendmoor.setProcessChannelMode(QProcess::ForwardedChannels);
    wendmoor.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/wendmoor"), {});
    if (!wendmoor.waitForStarted(10000))
        return 2;
    // Start-up (libraries, fonts, the device) is not what an unattended day costs.
    QThread::sleep(3);
    const double before = cpuSeconds(wendmoor.processId());
    QThread::sleep(static_cast<unsigned long>(seconds));
    const double after = cpuSeconds(wendmoor.processId());
    ::kill(static_cast<pid_t>(wendmoor.processId()), SIGTERM);
    wendmoor.waitForFinished(10000);

    const QStringList logs = QDir(home.path() + QStringLiteral("/Wendmoor/logs")).entryList(QDir::Files);
    const qint64 bytes
        = logs.isEmpty() ? 0 : QFileInfo(home.path() + QStringLiteral("/Wendmoor/logs/") + logs.front()).size();
    std::printf(
        "format 8 from input %d for %d s with the main window shown: %.2f CPU s (%.2f%% of one core); log %lld bytes\n",
        device, seconds, after - before, 100.0 * (after - before) / seconds, static_cast<long long>(bytes));
    return before >= 0 && after >= 0 && bytes > 60 ? 0 : 1;
}
