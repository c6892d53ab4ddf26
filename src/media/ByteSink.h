#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace wendmoor {

// Where the file writer's bytes go: a random-access file. Each call reports failure by its
// result and keeps the errno of the first failure, so that no short write goes unnoticed.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    [[nodiscard]] virtual std::int64_t length() = 0;
    // whence as for lseek; returns the new position or -1.
    virtual std::int64_t seek(std::int64_t offset, int whence) = 0;
    [[nodiscard]] virtual std::int64_t tell() = 0;
    virtual std::int64_t read(void* data, std::int64_t bytes) = 0;
    // Returns the bytes written; fewer than asked means a failure.
    virtual std::int64_t write(const void* data, std::int64_t bytes) = 0;
    // Pushes what was written to the disk.
    virtual bool sync() = 0;
    // The errno of the first failure, or 0.
    [[nodiscard]] virtual int error() const = 0;
    // Whether `path` still leads to what is being written (not deleted, moved or replaced).
    [[nodiscard]] virtual bool isNamed(const QString& path) const
    {
        (void)path;
        return true;
    }
};

// A file on disk, created on opening; a file already at the path is an error, never emptied. Other programs may open it
// while it is being written (the header refresh, the playback window). Small writes are gathered into one system call
// of up to kGather bytes; every other call (the writer's header update seeks first) hands them to the file before it
// acts, so the header never describes bytes the file lacks.
class FileByteSink final : public ByteSink {
public:
    // Throws Error naming the path when the file cannot be created or exists already.
    explicit FileByteSink(const QString& path);
    ~FileByteSink() override;
    FileByteSink(const FileByteSink&) = delete;
    FileByteSink& operator=(const FileByteSink&) = delete;

    [[nodiscard]] std::int64_t length() override;
    std::int64_t seek(std::int64_t offset, int whence) override;
    [[nodiscard]] std::int64_t tell() override;
    std::int64_t read(void* data, std::int64_t bytes) override;
    std::int64_t write(const void* data, std::int64_t bytes) override;
    bool sync() override;
    [[nodiscard]] int error() const override { return m_error; }
    [[nodiscard]] bool isNamed(const QString& path) const override;

private:
    static constexpr std::size_t kGather = 32768;

    void fail(int err)
    {
        if (m_error == 0)
            m_error = err;
    }
    std::int64_t writeThrough(const char* data, std::int64_t bytes);
    void flushGathered();

    int m_fd = -1;
    int m_error = 0;
    std::vector<char> m_gathered;
};

} // namespace wendmoor
