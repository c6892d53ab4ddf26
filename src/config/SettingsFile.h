#pragma once

#include <QFile>
#include <QString>

#include <cstdint>

namespace wendmoor {

// The settings file: records of one little-endian signed 16-bit integer each, numbered from 1,
// record n at byte 2 × (n − 1), no header. A record beyond the end reads 0. The file is open
// only for the life of this object: each read or write of the program opens it, works record by
// record and closes it again.
class SettingsFile {
public:
    enum class Access { ReadOnly, ReadWrite };
    // Opens the file, creating it empty when it does not exist. Reading needs no write access,
    // so a settings file locked against writing (chmod 444, a read-only file system) still
    // loads. Throws Error naming the file.
    explicit SettingsFile(const QString& path, Access access = Access::ReadWrite);
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    [[nodiscard]] std::int16_t read(int record);
    // Writes one record, extending the file when needed. Throws Error (a full disk included).
    void write(int record, std::int16_t value);
    // Flushes and closes; throws Error when what was written could not be stored.
    void close();

private:
    QFile m_file;
};

} // namespace wendmoor
