#include "config/SettingsFile.h"

#include "platform/Error.h"

#include <cerrno>

namespace wendmoor {

namespace {
Error settingsError(const QFile& file, const QString& what)
{
    const int err = errno != 0 ? errno : EIO;
    Error e = fileError(err, what, file.fileName());
    return Error(e.number(), e.description() + QStringLiteral(" (%1)").arg(file.errorString()));
}
} // namespace

SettingsFile::SettingsFile(const QString& path, Access access)
    : m_file(path)
{
    errno = 0;
    if (access == Access::ReadOnly && !m_file.exists()) {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !m_file.exists())
            throw settingsError(m_file, QStringLiteral("Cannot create the settings file"));
        m_file.close();
    }
    const auto mode = access == Access::ReadOnly ? QIODevice::ReadOnly : QIODevice::ReadWrite;
    if (!m_file.open(mode))
        throw settingsError(m_file, QStringLiteral("Cannot open the settings file"));
}

SettingsFile::~SettingsFile()
{
    if (m_file.isOpen())
        m_file.close();
}

std::int16_t SettingsFile::read(int record)
{
    if (record < 1)
        throw Error(
            ErrorNumber::BadFileName, QStringLiteral("Bad record number %1 in %2").arg(record).arg(m_file.fileName()));
    const qint64 offset = 2 * static_cast<qint64>(record - 1);
    if (m_file.size() < offset + 2)
        return 0;
    errno = 0;
    char bytes[2];
    if (!m_file.seek(offset) || m_file.read(bytes, 2) != 2)
        throw settingsError(m_file, QStringLiteral("Cannot read the settings file"));
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]))
        | static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[1]) << 8));
}

void SettingsFile::write(int record, std::int16_t value)
{
    if (record < 1)
        throw Error(
            ErrorNumber::BadFileName, QStringLiteral("Bad record number %1 in %2").arg(record).arg(m_file.fileName()));
    const qint64 offset = 2 * static_cast<qint64>(record - 1);
    const auto u = static_cast<std::uint16_t>(value);
    const char bytes[2] = { static_cast<char>(u & 0xff), static_cast<char>(u >> 8) };
    errno = 0;
    // A record written past the end leaves the skipped records as zeros.
    if (m_file.size() < offset && !m_file.resize(offset))
        throw settingsError(m_file, QStringLiteral("Cannot write the settings file"));
    if (!m_file.seek(offset) || m_file.write(bytes, 2) != 2 || !m_file.flush())
        throw settingsError(m_file, QStringLiteral("Cannot write the settings file"));
}

void SettingsFile::close()
{
    errno = 0;
    const bool ok = !m_file.isWritable() || m_file.flush();
    m_file.close();
    if (!ok)
        throw settingsError(m_file, QStringLiteral("Cannot write the settings file"));
}

} // namespace wendmoor
