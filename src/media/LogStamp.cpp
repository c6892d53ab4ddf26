#include "media/LogStamp.h"

#include "platform/Version.h"

#include <sndfile.h>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace wendmoor {

namespace {

constexpr const char* kOriginator = "Wendmoor";
// The first sample's clock time with its offset from UTC, to the millisecond, in the description
// (bext) or the date (comments); the bext's own date and time are local and whole seconds.
const char* const kDescriptionPrefix = "First sample ";
const char* const kTimeReferencePrefix = "time reference ";

QString isoWithOffset(const QDateTime& t)
{
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

std::int64_t samplesSinceMidnight(const QDateTime& t, int rate)
{
    const QTime time = t.time();
    return std::int64_t(time.msecsSinceStartOfDay()) * rate / 1000;
}

void copyField(char* field, std::size_t size, const QByteArray& text)
{
    std::memcpy(field, text.constData(), std::min<std::size_t>(size, std::size_t(text.size())));
}

QString fieldText(const char* field, std::size_t size)
{
    return QString::fromLatin1(field, qsizetype(strnlen(field, size)));
}

QDateTime parseFirstSample(const QString& text)
{
    static const QRegularExpression iso(
        QStringLiteral(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(?:\.\d+)?(?:Z|[+-]\d\d:\d\d)))"));
    const QRegularExpressionMatch m = iso.match(text);
    return m.hasMatch() ? QDateTime::fromString(m.captured(1), Qt::ISODateWithMs) : QDateTime();
}

} // namespace

bool writeLogStamp(sf_private_tag* file, bool wav, const QDateTime& firstSample, int sampleRate)
{
    const QByteArray version = QByteArray(kOriginator) + ' ' + kVersion;
    const std::int64_t reference = samplesSinceMidnight(firstSample, sampleRate);
    const QByteArray first = isoWithOffset(firstSample).toLatin1();
    if (wav) {
        SF_BROADCAST_INFO info {};
        copyField(info.description, sizeof info.description, kDescriptionPrefix + first);
        copyField(info.originator, sizeof info.originator, kOriginator);
        copyField(info.originator_reference, sizeof info.originator_reference, version);
        copyField(
            info.origination_date, sizeof info.origination_date, firstSample.date().toString(Qt::ISODate).toLatin1());
        copyField(info.origination_time, sizeof info.origination_time,
            firstSample.time().toString(QStringLiteral("HH:mm:ss")).toLatin1());
        info.time_reference_low = std::uint32_t(reference & 0xFFFFFFFF);
        info.time_reference_high = std::uint32_t(std::uint64_t(reference) >> 32);
        info.version = 1;
        return sf_command(file, SFC_SET_BROADCAST_INFO, &info, sizeof info) == SF_TRUE;
    }
    const QByteArray comment = QByteArray(kDescriptionPrefix) + first + ", " + kTimeReferencePrefix
        + QByteArray::number(qlonglong(reference)) + " samples since midnight";
    return sf_set_string(file, SF_STR_DATE, first.constData()) == 0
        && sf_set_string(file, SF_STR_SOFTWARE, version.constData()) == 0
        && sf_set_string(file, SF_STR_COMMENT, comment.constData()) == 0;
}

std::optional<LogStamp> readLogStamp(const QString& path)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    if (!file)
        return std::nullopt;
    LogStamp stamp;
    SF_BROADCAST_INFO bext {};
    if (sf_command(file, SFC_GET_BROADCAST_INFO, &bext, sizeof bext) == SF_TRUE) {
        stamp.originator = fieldText(bext.originator, sizeof bext.originator);
        const QString reference = fieldText(bext.originator_reference, sizeof bext.originator_reference);
        stamp.version = reference.section(QLatin1Char(' '), 1, 1);
        stamp.samplesSinceMidnight
            = std::int64_t((std::uint64_t(bext.time_reference_high) << 32) | bext.time_reference_low);
        stamp.firstSample = parseFirstSample(fieldText(bext.description, sizeof bext.description));
        if (!stamp.firstSample.isValid() && info.samplerate > 0) {
            // Another program's bext: the local date and the time reference.
            const QDate date = QDate::fromString(fieldText(bext.origination_date, 10), Qt::ISODate);
            stamp.firstSample
                = QDateTime(date, QTime(0, 0)).addMSecs(stamp.samplesSinceMidnight * 1000 / info.samplerate);
        }
    } else {
        const char* date = sf_get_string(file, SF_STR_DATE);
        const char* software = sf_get_string(file, SF_STR_SOFTWARE);
        const char* comment = sf_get_string(file, SF_STR_COMMENT);
        if (date)
            stamp.firstSample = parseFirstSample(QString::fromUtf8(date));
        if (software) {
            stamp.originator = QString::fromUtf8(software).section(QLatin1Char(' '), 0, 0);
            stamp.version = QString::fromUtf8(software).section(QLatin1Char(' '), 1, 1);
        }
        if (comment) {
            static const QRegularExpression ref(QStringLiteral("time reference (\\d+)"));
            const QRegularExpressionMatch m = ref.match(QString::fromUtf8(comment));
            if (m.hasMatch())
                stamp.samplesSinceMidnight = m.captured(1).toLongLong();
        }
    }
    sf_close(file);
    if (!stamp.firstSample.isValid())
        return std::nullopt;
    return stamp;
}

} // namespace wendmoor
