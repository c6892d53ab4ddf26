#include "media/LogRepair.h"

#include "platform/Error.h"

#include <sndfile.h>

#include <QDir>
#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace wendmoor {

namespace {

std::uint32_t le32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return b[0] | (b[1] << 8U) | (b[2] << 16U) | (static_cast<std::uint32_t>(b[3]) << 24U);
}

std::uint16_t le16(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8U));
}

QByteArray le32Bytes(std::uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (8 * i)) & 0xFFU);
    return b;
}

[[noreturn]] void fail(const QFile& file, const char* doing)
{
    throw Error(ErrorNumber::WaveFileRead,
        QStringLiteral("The header of the log %1 could not be %2: %3")
            .arg(QDir::toNativeSeparators(file.fileName()), QLatin1String(doing), file.errorString()));
}

void writeAt(QFile& file, qint64 offset, const QByteArray& bytes)
{
    if (!file.seek(offset) || file.write(bytes) != bytes.size())
        fail(file, "mended");
}

// RIFF, its chunks in order; the data chunk must be the last, as the writer leaves it.
std::optional<MendedHeader> mendWav(QFile& file)
{
    const qint64 size = file.size();
    std::optional<qint64> factAt;
    std::uint16_t tag = 0, blockAlign = 0, samplesPerBlock = 0;
    std::uint32_t rate = 0;
    for (qint64 at = 12; at + 8 <= size;) {
        if (!file.seek(at))
            fail(file, "read");
        const QByteArray head = file.read(8);
        if (head.size() != 8)
            fail(file, "read");
        const std::uint32_t length = le32(head.constData() + 4);
        const QByteArray id = head.left(4);
        if (id == "fmt ") {
            const QByteArray fmt = file.read(std::min<qint64>(length, 20));
            if (fmt.size() < 16)
                return std::nullopt;
            tag = le16(fmt.constData());
            rate = le32(fmt.constData() + 4);
            blockAlign = le16(fmt.constData() + 12);
            if (fmt.size() >= 20)
                samplesPerBlock = le16(fmt.constData() + 18);
        } else if (id == "fact") {
            factAt = at + 8;
        } else if (id == "data") {
            const bool gsm = tag == 0x31;
            if (blockAlign == 0 || rate == 0 || (gsm && samplesPerBlock == 0))
                return std::nullopt;
            const qint64 payload = at + 8;
            const qint64 blocks = (size - payload) / blockAlign;
            const auto dataBytes = static_cast<std::uint32_t>(std::min<qint64>(blocks * blockAlign, 0xFFFFFFF0LL));
            const qint64 framesPerBlock = gsm ? samplesPerBlock : 1;
            const std::int64_t before = static_cast<std::int64_t>(length / blockAlign) * framesPerBlock;
            const std::int64_t after = static_cast<std::int64_t>(dataBytes / blockAlign) * framesPerBlock;
            if (dataBytes == length)
                return std::nullopt;
            // The data chunk ends the RIFF, with its pad byte when its length is odd.
            writeAt(file, 4, le32Bytes(static_cast<std::uint32_t>(payload - 8 + dataBytes + (dataBytes & 1U))));
            writeAt(file, at + 4, le32Bytes(dataBytes));
            if (gsm && factAt)
                writeAt(file, *factAt, le32Bytes(static_cast<std::uint32_t>(after)));
            return MendedHeader { before, after, static_cast<int>(rate) };
        }
        at += 8 + length + (length & 1U);
    }
    return std::nullopt;
}

// STREAMINFO is the first metadata block, right after "fLaC"; its 36-bit sample count is 0 until
// the encoder finishes the file.
std::optional<MendedHeader> mendFlac(QFile& file)
{
    if (!file.seek(0))
        fail(file, "read");
    const QByteArray head = file.read(42);
    if (head.size() != 42 || !head.startsWith("fLaC") || (head[4] & 0x7F) != 0)
        return std::nullopt;
    const auto* info = reinterpret_cast<const unsigned char*>(head.constData() + 8);
    const int rate = static_cast<int>((info[10] << 12U) | (info[11] << 4U) | (info[12] >> 4U));
    const std::int64_t stated = (static_cast<std::int64_t>(info[13] & 0x0FU) << 32U)
        | (static_cast<std::int64_t>(info[14]) << 24U) | (info[15] << 16U) | (info[16] << 8U) | info[17];
    if (stated != 0)
        return std::nullopt;

    // What decodes is what the file holds.
    SF_INFO sfinfo {};
    SNDFILE* sf = sf_open(QFile::encodeName(file.fileName()).constData(), SFM_READ, &sfinfo);
    if (!sf)
        return std::nullopt;
    std::vector<short> buffer(65536);
    const sf_count_t chunk = static_cast<sf_count_t>(buffer.size()) / std::max(1, sfinfo.channels);
    std::int64_t frames = 0;
    for (sf_count_t n = 0; (n = sf_readf_short(sf, buffer.data(), chunk)) > 0;)
        frames += n;
    sf_close(sf);
    if (frames == 0)
        return std::nullopt;

    QByteArray count(5, '\0');
    count[0] = static_cast<char>((info[13] & 0xF0U) | ((frames >> 32) & 0x0F));
    for (int i = 1; i < 5; ++i)
        count[i] = static_cast<char>((frames >> (8 * (4 - i))) & 0xFF);
    writeAt(file, 8 + 13, count);
    return MendedHeader { 0, frames, rate };
}

} // namespace

std::optional<MendedHeader> mendLogHeader(const QString& path)
{
    QFile file(path);
    // ReadWrite without Truncate: the file keeps every byte it has.
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        fail(file, "read");
    const QByteArray magic = file.read(12);
    std::optional<MendedHeader> mended;
    if (magic.startsWith("RIFF") && magic.mid(8, 4) == "WAVE")
        mended = mendWav(file);
    else if (magic.startsWith("fLaC"))
        mended = mendFlac(file);
    if (mended && !file.flush())
        fail(file, "mended");
    return mended;
}

QStringList mendLogHeaders(const QString& folder)
{
    QStringList notes;
    const QDir dir(folder);
    for (const QString& name :
        dir.entryList({ QStringLiteral("L*.wav"), QStringLiteral("L*.flac") }, QDir::Files, QDir::Name)) {
        const QString path = QDir::toNativeSeparators(dir.filePath(name));
        try {
            if (const std::optional<MendedHeader> m = mendLogHeader(dir.filePath(name))) {
                notes << QStringLiteral("Mended the header of %1: it said %2 s, the file holds %3 s")
                             .arg(path)
                             .arg(static_cast<double>(m->framesBefore) / m->sampleRate, 0, 'f', 2)
                             .arg(static_cast<double>(m->framesAfter) / m->sampleRate, 0, 'f', 2);
            }
        } catch (const Error& e) {
            notes << e.text();
        }
    }
    return notes;
}

} // namespace wendmoor
