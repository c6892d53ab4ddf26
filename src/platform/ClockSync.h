#pragma once

#include <optional>

namespace wendmoor {

// Whether the system clock is kept synchronised (by NTP or the like).
class ClockSync {
public:
    virtual ~ClockSync() = default;
    // Nothing when it cannot be told.
    [[nodiscard]] virtual std::optional<bool> synchronised() const = 0;
};

// The kernel's own time status (adjtimex): what timedatectl's NTPSynchronized reports, without
// needing systemd or a process.
class KernelClockSync final : public ClockSync {
public:
    [[nodiscard]] std::optional<bool> synchronised() const override;
};

} // namespace wendmoor
