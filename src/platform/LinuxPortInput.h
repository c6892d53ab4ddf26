#pragma once

#include "platform/PortInput.h"

#include <QString>

namespace wendmoor {

// Reads I/O ports on Linux. The first parallel port's status register (0x379) comes from the
// parallel-port device (ppdev) when it can be opened and claimed, which needs no special rights
// beyond access to that device; every other address, and the status register when ppdev is not
// available, is one byte of the raw port device at the address as offset.
class LinuxPortInput final : public PortInput {
public:
    explicit LinuxPortInput(
        QString parallelPortDevice = QStringLiteral("/dev/parport0"), QString portDevice = QStringLiteral("/dev/port"));
    ~LinuxPortInput() override;
    LinuxPortInput(const LinuxPortInput&) = delete;
    LinuxPortInput& operator=(const LinuxPortInput&) = delete;

    // Throws Error (PortAccess) naming the device and the system's reason when no byte can be read.
    [[nodiscard]] std::uint8_t Inp(int address) override;

private:
    // The claimed parallel-port device, or -1 with the reason it could not be had.
    [[nodiscard]] int parallelPort(QString& reason);
    [[nodiscard]] std::uint8_t readPortDevice(int address, const QString& parallelReason);

    QString m_parallelPortDevice;
    QString m_portDevice;
    int m_parallelFd = -1;
};

} // namespace wendmoor
