#pragma once

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <mutex>

namespace wendmoor {

// The local time zone, read from the zone file once and again only after that file has changed.
// With TZ unset, the C library looks at the zone file again on every conversion of a local time
// (a stat each time, some ninety a second in this program's clock alone); with the file named
// in TZ it reads it once and never notices a change of zone. This names the file in TZ and looks
// at the file itself, at most once every `every`, reading the zone again when it was replaced or
// re-pointed. A TZ that someone else set is left alone, and then nothing is looked at.
class LocalZone {
public:
    // Call it before other threads run: it may add TZ to the environment.
    explicit LocalZone(QByteArray zoneFile = QByteArrayLiteral("/etc/localtime"),
        std::chrono::milliseconds every = std::chrono::minutes(1));
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

    // Reads the zone again when the file has changed since the last look, if a look is due.
    // Safe from any thread; between looks it costs a read of the steady clock.
    void follow();

private:
    struct Identity {
        long long device = -1, inode = -1, size = -1, modifiedNs = -1;
        bool operator==(const Identity&) const = default;
    };
    [[nodiscard]] Identity identity() const;

    const QByteArray m_file;
    const std::chrono::nanoseconds m_every;
    const bool m_ours;
    std::atomic<long long> m_nextLookNs { 0 };
    std::mutex m_mutex;
    Identity m_seen;
};

} // namespace wendmoor
