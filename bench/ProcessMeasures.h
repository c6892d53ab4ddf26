#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

#include <ctime>
#include <unistd.h>

namespace wendmoor::bench {

// The CPU time this process has used, in seconds.
inline double cpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// This process's resident memory in KiB, or -1 when /proc cannot say.
inline long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

} // namespace wendmoor::bench
