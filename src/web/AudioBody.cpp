#include "web/AudioBody.h"

#include "media/WaveReader.h"
#include "platform/Error.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace wendmoor {

namespace {

void putLe(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// The format tag of a WAV file's fmt chunk (1 for PCM), 0 when there is none in its first 4 KB.
int wavFormatTag(QFile& file)
{
    const QByteArray head = file.read(4096);
    file.seek(0);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return 0;
    qsizetype at = 12;
    while (at + 10 <= head.size()) {
        const auto byte = [&](qsizetype i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(head[i])); };
        const std::uint32_t size = byte(at + 4) | byte(at + 5) << 8 | byte(at + 6) << 16 | byte(at + 7) << 24;
        if (head.mid(at, 4) == "fmt ")
            return static_cast<int>(byte(at + 8) | byte(at + 9) << 8);
        if (size > 4096)
            return 0;
        at += 8 + size + (size & 1);
    }
    return 0;
}

class FileBody final : public AudioBody {
public:
    FileBody(const QString& path, const char* mime)
        : m_file(path)
        , m_mime(mime)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            throw Error(ErrorNumber::WaveFileRead,
                QStringLiteral("Cannot read the log %1: %2").arg(path, m_file.errorString()));
        m_size = m_file.size();
    }
    QFile& file() { return m_file; }

    std::int64_t size() const override { return m_size; }
    const char* mimeType() const override { return m_mime; }
    bool send(std::int64_t offset, std::int64_t length, const Write& write) override
    {
        if (!m_file.seek(offset))
            return false;
        std::array<char, 64 * 1024> buffer {};
        while (length > 0) {
            const qint64 got = m_file.read(buffer.data(), std::min<std::int64_t>(length, buffer.size()));
            if (got <= 0 || !write(buffer.data(), static_cast<std::size_t>(got)))
                return false;
            length -= got;
        }
        return true;
    }

private:
    QFile m_file;
    const char* m_mime;
    std::int64_t m_size = 0;
};

class DecodedBody final : public AudioBody {
public:
    DecodedBody(const QString& path, std::int64_t frame, std::int64_t frames)
        : m_reader(openWaveReader(path))
    {
        m_first = std::clamp<std::int64_t>(frame, 0, m_reader->frames());
        const std::int64_t blockAlign = 2LL * m_reader->channels();
        // The RIFF sizes are 32 bits.
        const std::int64_t most = (0xffffffffLL - 36) / blockAlign;
        m_frames = std::min(m_reader->frames() - m_first, most);
        if (frames >= 0)
            m_frames = std::min(m_frames, frames);
        m_header = pcmWavHeader(m_reader->sampleRate(), m_reader->channels(), m_frames);
    }

    std::int64_t size() const override
    {
        return static_cast<std::int64_t>(m_header.size()) + m_frames * 2 * m_reader->channels();
    }
    const char* mimeType() const override { return "audio/wav"; }
    bool send(std::int64_t offset, std::int64_t length, const Write& write) override
    {
        const auto headerSize = static_cast<std::int64_t>(m_header.size());
        if (offset < headerSize) {
            const std::int64_t n = std::min(length, headerSize - offset);
            if (!write(m_header.data() + offset, static_cast<std::size_t>(n)))
                return false;
            offset += n;
            length -= n;
        }
        const std::int64_t blockAlign = 2LL * m_reader->channels();
        std::int64_t frame = (offset - headerSize) / blockAlign;
        std::int64_t skip = (offset - headerSize) % blockAlign;
        std::vector<std::int16_t> samples(static_cast<std::size_t>(4096 * m_reader->channels()));
        try {
            if (length > 0)
                m_reader->seek(m_first + frame);
            while (length > 0) {
                const std::int64_t got = m_reader->read(samples);
                if (got <= 0)
                    return false;
                const char* bytes = reinterpret_cast<const char*>(samples.data()) + skip;
                const std::int64_t n = std::min(length, got * blockAlign - skip);
                if (!write(bytes, static_cast<std::size_t>(n)))
                    return false;
                length -= n;
                skip = 0;
                frame += got;
            }
        } catch (const Error&) {
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<WaveReader> m_reader;
    std::int64_t m_first = 0;
    std::int64_t m_frames = 0;
    std::string m_header;
};

} // namespace

std::string pcmWavHeader(int sampleRate, int channels, std::int64_t frames)
{
    const auto blockAlign = static_cast<std::uint32_t>(2 * channels);
    const auto dataSize = static_cast<std::uint32_t>(frames * blockAlign);
    std::string h = "RIFF";
    putLe(h, 36 + dataSize, 4);
    h += "WAVEfmt ";
    putLe(h, 16, 4);
    putLe(h, 1, 2);
    putLe(h, static_cast<std::uint32_t>(channels), 2);
    putLe(h, static_cast<std::uint32_t>(sampleRate), 4);
    putLe(h, static_cast<std::uint32_t>(sampleRate) * blockAlign, 4);
    putLe(h, blockAlign, 2);
    putLe(h, 16, 2);
    h += "data";
    putLe(h, dataSize, 4);
    return h;
}

std::unique_ptr<AudioBody> openLogBody(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("flac"))
        return std::make_unique<FileBody>(path, "audio/flac");
    if (suffix == QLatin1String("opus"))
        return std::make_unique<FileBody>(path, "audio/ogg");
    auto body = std::make_unique<FileBody>(path, "audio/wav");
    if (wavFormatTag(body->file()) == 1)
        return body;
    return openDecodedBody(path, 0);
}

std::unique_ptr<AudioBody> openDecodedBody(const QString& path, std::int64_t frame, std::int64_t frames)
{
    return std::make_unique<DecodedBody>(path, frame, frames);
}

} // namespace wendmoor
