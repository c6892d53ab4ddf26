#include "media/ByteSink.h"

#include "platform/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wendmoor {

FileByteSink::FileByteSink(const QString& path)
{
    const QByteArray native = path.toLocal8Bit();
    do {
        m_fd = ::open(native.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        throw fileError(errno, QStringLiteral("The log file could not be created:"), path);
}

FileByteSink::~FileByteSink()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::int64_t FileByteSink::length()
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        fail(errno);
        return -1;
    }
    return st.st_size;
}

std::int64_t FileByteSink::seek(std::int64_t offset, int whence)
{
    const off_t r = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (r < 0)
        fail(errno);
    return r;
}

std::int64_t FileByteSink::tell()
{
    return ::lseek(m_fd, 0, SEEK_CUR);
}

std::int64_t FileByteSink::read(void* data, std::int64_t bytes)
{
    auto* p = static_cast<char*>(data);
    std::int64_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::read(m_fd, p + done, static_cast<std::size_t>(bytes - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

std::int64_t FileByteSink::write(const void* data, std::int64_t bytes)
{
    const auto* p = static_cast<const char*>(data);
    std::int64_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::write(m_fd, p + done, static_cast<std::size_t>(bytes - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fail(n < 0 ? errno : ENOSPC);
            break;
        }
        done += n;
    }
    return done;
}

bool FileByteSink::sync()
{
    if (::fdatasync(m_fd) != 0) {
        fail(errno);
        return false;
    }
    return true;
}

} // namespace wendmoor
