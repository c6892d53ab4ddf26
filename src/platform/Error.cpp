#include "platform/Error.h"

#include <cerrno>
#include <cstring>

namespace wendmoor {

Error::Error(int number, QString description)
    : m_number(number)
    , m_description(std::move(description))
    , m_what(text().toUtf8())
{
}

QString Error::text() const
{
    return QString::number(m_number) + QLatin1Char(' ') + m_description;
}

int errorNumberForErrno(int err) noexcept
{
    switch (err) {
    case ENOENT:
        return ErrorNumber::PathNotFound;
    case ENOSPC:
    case EDQUOT:
        return ErrorNumber::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrorNumber::PermissionDenied;
    case EIO:
        return ErrorNumber::DeviceIoError;
    case ENAMETOOLONG:
    case EINVAL:
        return ErrorNumber::BadFileName;
    default:
        return ErrorNumber::PathFileAccess;
    }
}

Error fileError(int err, const QString& what, const QString& path)
{
    return Error(errorNumberForErrno(err),
        QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(err))));
}

} // namespace wendmoor
