// The whole program's CPU time while it records unattended, beside the sound server's own
// recorder: format 8 (GSM 6.10, 22050 Hz mono) from the virtual sound card's monitor ("pulse",
// else "default"), and `parecord` recording the same source at the same rate and layout. Each
// figure is user + system time from /proc/<pid>/stat over the same number of seconds: the
// sound server idle (its baseline), parecord, the program with its main window shown, and the
// program with its window minimised (iconified as a window manager does it: WM_STATE Iconic and
// the window unmapped). The server's share of a recorder is what the server spent beyond its
// baseline meanwhile. Run it under a display and the virtual sound card, holding the card, e.g.:
//   PULSE_RUNTIME_PATH=/tmp/wendmoor-pulse flock /tmp/wendmoor-sound.lock
//     xvfb-run -a env QT_QPA_PLATFORM=xcb build/bench/process_cpu [--smoke] [seconds]
// --smoke measures two seconds of each, offscreen and without the minimised phase when there is
// no display, and is skipped without a sound input.
#include "media/PortAudioSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly))
        return -1.0;
    const QByteArray stat = f.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks; // utime, stime
}

// The sound server this process talks to: the pid file in its runtime folder.
qint64 soundServerPid()
{
    QString runtime = qEnvironmentVariable("PULSE_RUNTIME_PATH");
    if (runtime.isEmpty())
        runtime = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse");
    QFile f(runtime + QStringLiteral("/pid"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : -1;
}

// CPU seconds of a process and of the sound server over `seconds`.
struct Spent {
    double process = 0.0;
    double server = 0.0;
};

Spent measure(qint64 pid, qint64 server, int seconds)
{
    const double p0 = pid > 0 ? cpuSeconds(pid) : 0.0;
    const double s0 = cpuSeconds(server);
    QThread::sleep(static_cast<unsigned long>(seconds));
    return { pid > 0 ? cpuSeconds(pid) - p0 : 0.0, cpuSeconds(server) - s0 };
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// Iconifies every shown top-level window of `pid` as a window manager does: WM_STATE Iconic, then
// unmapped. Returns how many.
int minimiseWindowsOf(qint64 pid)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return 0;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t netWmPid = atom(c, "_NET_WM_PID");
    const xcb_atom_t wmState = atom(c, "WM_STATE");
    int count = 0;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    const int n = tree ? xcb_query_tree_children_length(tree) : 0;
    const xcb_window_t* children = tree ? xcb_query_tree_children(tree) : nullptr;
    for (int i = 0; i < n; ++i) {
        xcb_get_property_reply_t* owner = xcb_get_property_reply(
            c, xcb_get_property(c, 0, children[i], netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        const bool ours = owner && xcb_get_property_value_length(owner) == 4
            && *static_cast<const uint32_t*>(xcb_get_property_value(owner)) == static_cast<uint32_t>(pid);
        std::free(owner);
        xcb_get_window_attributes_reply_t* attributes
            = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        const bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (!ours || !shown)
            continue;
        const uint32_t iconic[2] = { 3, XCB_WINDOW_NONE }; // IconicState, no icon window
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, children[i], wmState, wmState, 32, 2, iconic);
        xcb_unmap_window(c, children[i]);
        ++count;
    }
    std::free(tree);
    xcb_flush(c);
    xcb_disconnect(c);
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 300;
    bool smoke = false;
    for (int i = 1; i < argc; ++i) {
        smoke = smoke || std::strcmp(argv[i], "--smoke") == 0;
        seconds = smoke ? 2 : std::max(1, std::atoi(argv[i]));
    }
    int device = -1;
    {
        wendmoor::PortAudioSystem audio;
        const QStringList names = audio.inputDeviceNames();
        device = static_cast<int>(names.indexOf(QStringLiteral("pulse")));
        if (device < 0)
            device = static_cast<int>(names.indexOf(QStringLiteral("default")));
    }
    const qint64 server = soundServerPid();
    if (device < 0 || cpuSeconds(server) < 0) {
        std::fprintf(stderr, "no sound server or no \"pulse\" or \"default\" input: start scripts/virtual-sound\n");
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

    // Start-up (libraries, fonts, the device, the server's stream) is not what a day costs.
    const int settle = smoke ? 1 : 3;
    const Spent idle = measure(-1, server, seconds);

    QProcess parecord;
    parecord.setProcessChannelMode(QProcess::ForwardedChannels);
    parecord.start(QStringLiteral("parecord"),
        { QStringLiteral("--rate=22050"), QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
            QStringLiteral("--file-format=wav"), home.filePath(QStringLiteral("parecord.wav")) });
    if (!parecord.waitForStarted(10000)) {
        std::fprintf(stderr, "parecord did not start (pulseaudio-utils)\n");
        return smoke ? 0 : 2;
    }
    QThread::sleep(static_cast<unsigned long>(settle));
    const Spent reference = measure(parecord.processId(), server, seconds);
    parecord.terminate();
    parecord.waitForFinished(10000);

    QProcess wendmoor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    const bool display = env.contains(QStringLiteral("DISPLAY"))
        && env.value(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")) == QStringLiteral("xcb");
    if (smoke && !display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    wendmoor.setProcessEnvironment(env);
    wendmoor.setProcessChannelMode(QProcess::ForwardedChannels);
    wendmoor.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/wendmoor"), {});
    if (!wendmoor.waitForStarted(10000))
        return 2;
    QThread::sleep(static_cast<unsigned long>(settle));
    const Spent shown = measure(wendmoor.processId(), server, seconds);
    Spent minimised { -1.0, -1.0 };
    if (display && minimiseWindowsOf(wendmoor.processId()) > 0) {
        QThread::sleep(1);
        minimised = measure(wendmoor.processId(), server, seconds);
    }
    ::kill(static_cast<pid_t>(wendmoor.processId()), SIGTERM);
    wendmoor.waitForFinished(10000);

    // The log, not the catalog beside it.
    const QStringList logs
        = QDir(home.path() + QStringLiteral("/Wendmoor/logs")).entryList({ QStringLiteral("*.wav") }, QDir::Files);
    const qint64 bytes
        = logs.isEmpty() ? 0 : QFileInfo(home.path() + QStringLiteral("/Wendmoor/logs/") + logs.front()).size();

    const double referenceTotal = reference.process + std::max(0.0, reference.server - idle.server);
    std::printf("format 8 (22050 Hz mono) from input %d, %d s each; CPU s from /proc; the server's share is its time "
                "beyond %.2f s idle\n%-28s %9s %14s %8s %12s\n",
        device, seconds, idle.server, "", "process", "server share", "total", "x parecord");
    const auto row = [&](const char* name, const Spent& s) {
        const double share = std::max(0.0, s.server - idle.server);
        std::printf("%-28s %9.2f %14.2f %8.2f %12.2f\n", name, s.process, share, s.process + share,
            referenceTotal > 0 ? (s.process + share) / referenceTotal : 0.0);
    };
    row("parecord", reference);
    row("wendmoor, window shown", shown);
    if (minimised.process >= 0)
        row("wendmoor, window minimised", minimised);
    std::printf("the program's log: %lld bytes\n", static_cast<long long>(bytes));
    return shown.process >= 0 && bytes > 60 ? 0 : 1;
}
