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
        // Exclusive: a file that appeared at the path since the caller looked is never emptied.
        m_fd = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        throw fileError(errno, QStringLiteral("The log file could not be created:"), path);
    m_gathered.reserve(kGather);
}

FileByteSink::~FileByteSink()
{
    if (m_fd >= 0) {
        flushGathered();
        ::close(m_fd);
    }
}

void FileByteSink::flushGathered()
{
    if (m_gathered.empty())
        return;
    writeThrough(m_gathered.data(), static_cast<std::int64_t>(m_gathered.size()));
    m_gathered.clear();
}

std::int64_t FileByteSink::length()
{
    flushGathered();
    struct stat st { };
    if (::fstat(m_fd, &st) != 0) {
        fail(errno);
        return -1;
    }
    return st.st_size;
}

std::int64_t FileByteSink::seek(std::int64_t offset, int whence)
{
    flushGathered();
    const off_t r = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (r < 0)
        fail(errno);
    return r;
}

std::int64_t FileByteSink::tell()
{
    const off_t r = ::lseek(m_fd, 0, SEEK_CUR);
    return r < 0 ? r : r + static_cast<std::int64_t>(m_gathered.size());
}

std::int64_t FileByteSink::read(void* data, std::int64_t bytes)
{
    flushGathered();
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
    if (m_error != 0)
        return 0;
    const auto* p = static_cast<const char*>(data);
    if (m_gathered.size() + static_cast<std::size_t>(bytes) > kGather)
        flushGathered();
    if (static_cast<std::size_t>(bytes) >= kGather)
        return writeThrough(p, bytes);
    m_gathered.insert(m_gathered.end(), p, p + bytes);
    return bytes;
}

std::int64_t FileByteSink::writeThrough(const char* p, std::int64_t bytes)
{
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

bool FileByteSink::isNamed(const QString& path) const
{
    struct stat open { };
    struct stat named { };
    if (::fstat(m_fd, &open) != 0)
        return true; // nothing known: no alarm
    if (open.st_nlink == 0)
        return false;
    return ::stat(path.toLocal8Bit().constData(), &named) == 0 && named.st_dev == open.st_dev
        && named.st_ino == open.st_ino;
}

bool FileByteSink::sync()
{
    flushGathered();
    if (::fdatasync(m_fd) != 0) {
        fail(errno);
        return false;
    }
    return true;
}

} // namespace wendmoor
