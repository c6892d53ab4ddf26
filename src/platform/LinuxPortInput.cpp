#include "platform/LinuxPortInput.h"

#include "platform/Error.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace wendmoor {

namespace {

constexpr int ParallelStatusAddress = 0x379;

QString systemReason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString hexAddress(int address)
{
    return QStringLiteral("0x%1").arg(address, 3, 16, QLatin1Char('0'));
}

} // namespace

LinuxPortInput::LinuxPortInput(QString parallelPortDevice, QString portDevice)
    : m_parallelPortDevice(std::move(parallelPortDevice))
    , m_portDevice(std::move(portDevice))
{
}

LinuxPortInput::~LinuxPortInput()
{
    if (m_parallelFd >= 0) {
        ::ioctl(m_parallelFd, PPRELEASE);
        ::close(m_parallelFd);
    }
}

std::uint8_t LinuxPortInput::Inp(int address)
{
    QString parallelReason;
    if (address == ParallelStatusAddress) {
        const int fd = parallelPort(parallelReason);
        if (fd >= 0) {
            unsigned char status = 0;
            if (::ioctl(fd, PPRSTATUS, &status) == 0)
                return status;
            parallelReason = QStringLiteral("%1: %2").arg(m_parallelPortDevice, systemReason(errno));
            // Opened afresh on the next read, in case the port comes back.
            ::ioctl(fd, PPRELEASE);
            ::close(fd);
            m_parallelFd = -1;
        }
    }
    return readPortDevice(address, parallelReason);
}

int LinuxPortInput::parallelPort(QString& reason)
{
    if (m_parallelFd >= 0)
        return m_parallelFd;
    const QByteArray path = m_parallelPortDevice.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        reason = QStringLiteral("%1: %2").arg(m_parallelPortDevice, systemReason(errno));
        return -1;
    }
    if (::ioctl(fd, PPCLAIM) != 0) {
        reason = QStringLiteral("%1: %2").arg(m_parallelPortDevice, systemReason(errno));
        ::close(fd);
        return -1;
    }
    m_parallelFd = fd;
    return fd;
}

std::uint8_t LinuxPortInput::readPortDevice(int address, const QString& parallelReason)
{
    // Named in every failure, with what went wrong on the parallel-port device as well.
    auto failure = [&](const QString& reason) {
        QString text
            = QStringLiteral("Cannot read I/O port %1 from %2: %3").arg(hexAddress(address), m_portDevice, reason);
        if (!parallelReason.isEmpty())
            text += QStringLiteral(" (and %1)").arg(parallelReason);
        return Error(ErrorNumber::PortAccess, text);
    };
    if (address < 0)
        throw failure(QStringLiteral("no such address"));

    const QByteArray path = m_portDevice.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw failure(systemReason(errno));
    unsigned char byte = 0;
    ssize_t n = 0;
    do {
        n = ::pread(fd, &byte, 1, static_cast<off_t>(address));
    } while (n < 0 && errno == EINTR);
    const int err = errno;
    ::close(fd);
    if (n < 0)
        throw failure(systemReason(err));
    if (n == 0)
        throw failure(QStringLiteral("no byte at that address"));
    return byte;
}

} // namespace wendmoor
