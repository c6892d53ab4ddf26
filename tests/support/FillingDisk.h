#pragma once

#include "media/ByteSink.h"

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace wendmoor::test {

// A real file whose writes a test's disk may hold, shorten or refuse: everything else goes to the
// file as it is.
class FileBackedDisk : public ByteSink {
public:
    explicit FileBackedDisk(const QString& path)
        : m_file(path)
    {
    }
    std::int64_t length() override { return m_file.length(); }
    std::int64_t seek(std::int64_t offset, int whence) override { return m_file.seek(offset, whence); }
    std::int64_t tell() override { return m_file.tell(); }
    std::int64_t read(void* data, std::int64_t bytes) override { return m_file.read(data, bytes); }
    std::int64_t write(const void* data, std::int64_t bytes) override { return m_file.write(data, bytes); }
    bool sync() override { return m_file.sync(); }
    int error() const override { return m_file.error(); }

protected:
    FileByteSink m_file;
};

// A file on a disk that is full beyond `room` bytes; the test may move `room` from any thread.
class FillingDisk final : public FileBackedDisk {
public:
    FillingDisk(const QString& path, const std::atomic<std::int64_t>& room)
        : FileBackedDisk(path)
        , m_room(room)
    {
    }
    std::int64_t write(const void* data, std::int64_t bytes) override
    {
        const std::int64_t n = m_error != 0 ? 0 : std::clamp<std::int64_t>(m_room - m_file.tell(), 0, bytes);
        if (n < bytes && m_error == 0)
            m_error = ENOSPC;
        return n > 0 ? m_file.write(data, n) : 0;
    }
    int error() const override { return m_error != 0 ? m_error : m_file.error(); }

private:
    const std::atomic<std::int64_t>& m_room;
    int m_error = 0;
};

} // namespace wendmoor::test
