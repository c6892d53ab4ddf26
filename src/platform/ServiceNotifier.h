#pragma once

#include <chrono>
#include <cstdint>

namespace wendmoor {

// Tells the service manager how the program is doing: ready after start-up, alive on every
// watchdog period, stopping at the end. Calls come from the UI thread.
class ServiceNotifier {
public:
    virtual ~ServiceNotifier() = default;
    virtual void ready() = 0;
    virtual void alive() = 0;
    virtual void stopping() = 0;
    // How often alive() must come at the least; zero when nobody watches.
    [[nodiscard]] virtual std::chrono::milliseconds watchdogPeriod() const = 0;
};

// systemd's notification socket (sd_notify). Outside a unit of Type=notify every call does
// nothing, and without libsystemd neither does this class.
class SystemdNotifier final : public ServiceNotifier {
public:
    void ready() override;
    void alive() override;
    void stopping() override;
    [[nodiscard]] std::chrono::milliseconds watchdogPeriod() const override;
};

} // namespace wendmoor
