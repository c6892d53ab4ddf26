#include "platform/LocalZone.h"

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

namespace wendmoor {

namespace {

long long steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Names `file` in TZ the way both the C library and Qt read as "the zone of this file" (Qt takes
// ":/etc/localtime" for the system's zone).
QByteArray pinned(const QByteArray& file)
{
    return ':' + file;
}

} // namespace

LocalZone::LocalZone(QByteArray zoneFile, std::chrono::milliseconds every)
    : m_file(std::move(zoneFile))
    , m_every(every)
    , m_ours(!std::getenv("TZ") || pinned(m_file) == std::getenv("TZ"))
{
    if (!m_ours)
        return;
    m_seen = identity();
    ::setenv("TZ", pinned(m_file).constData(), 1);
    ::tzset();
    m_nextLookNs.store(steadyNs() + m_every.count(), std::memory_order_relaxed);
}

LocalZone::Identity LocalZone::identity() const
{
    struct stat st { };
    if (::stat(m_file.constData(), &st) != 0)
        return {};
    return { static_cast<long long>(st.st_dev), static_cast<long long>(st.st_ino), static_cast<long long>(st.st_size),
        static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec };
}

void LocalZone::follow()
{
    const long long now = steadyNs();
    if (!m_ours || now < m_nextLookNs.load(std::memory_order_relaxed))
        return;
    const std::lock_guard lock(m_mutex);
    if (now < m_nextLookNs.load(std::memory_order_relaxed))
        return;
    m_nextLookNs.store(now + m_every.count(), std::memory_order_relaxed);
    const Identity seen = identity();
    if (seen == m_seen)
        return;
    m_seen = seen;
    // The C library reads the zone again only when TZ changes: once by another spelling of the
    // same file, then back to the spelling Qt knows. TZ is in the environment already, so this
    // replaces its value and never moves the environment that other threads may be reading.
    ::setenv("TZ", (":/." + m_file).constData(), 1);
    ::tzset();
    ::setenv("TZ", pinned(m_file).constData(), 1);
    ::tzset();
}

} // namespace wendmoor
