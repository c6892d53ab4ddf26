#include "media/WaveReader.h"

#include "media/WaveFormat.h"
#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

extern "C" {
#include <gsm/gsm.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace wendmoor {

namespace {

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

Error readError(const QString& path, const QString& reason)
{
    return Error(
        ErrorNumber::WaveFileRead, QStringLiteral("The wave file %1 cannot be read: %2").arg(native(path), reason));
}

std::uint32_t le(const char* p, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<std::uint8_t>(p[i]);
    return v;
}

// Where a GSM 6.10 WAV keeps its audio. The blocks are WAV49 framing: 65 bytes holding two
// 160-sample frames, the first in 33 bytes, the second in the 32 after it.
struct GsmLayout {
    int rate = 0;
    qint64 dataOffset = 0;
    qint64 dataBytes = 0;
    std::optional<std::uint32_t> factFrames;
};
constexpr int kGsmFormatTag = 0x0031;
constexpr int kGsmBlockBytes = WaveFormat::kGsmBlockBytes;
constexpr int kGsmFirstFrameBytes = 33;
constexpr int kGsmBlockFrames = WaveFormat::kGsmBlockSamples;
constexpr int kGsmSettleBlocks = 8;

// The GSM layout of a RIFF WAVE file with a GSM 6.10 format chunk before its data chunk, or
// nothing for any other file (libsndfile reads those).
std::optional<GsmLayout> gsmLayout(QFile& file)
{
    char riff[12];
    if (file.read(riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return std::nullopt;
    GsmLayout layout;
    bool gsm = false;
    char head[8];
    while (file.read(head, 8) == 8) {
        const qint64 size = le(head + 4, 4);
        const qint64 body = file.pos();
        if (std::memcmp(head, "fmt ", 4) == 0) {
            char fmt[20] {};
            if (size < 20 || file.read(fmt, 20) != 20 || static_cast<int>(le(fmt, 2)) != kGsmFormatTag)
                return std::nullopt;
            if (le(fmt + 2, 2) != 1 || le(fmt + 12, 2) != kGsmBlockBytes || le(fmt + 18, 2) != kGsmBlockFrames)
                return std::nullopt;
            layout.rate = static_cast<int>(le(fmt + 4, 4));
            gsm = true;
        } else if (std::memcmp(head, "fact", 4) == 0 && size >= 4) {
            char fact[4];
            if (file.read(fact, 4) == 4)
                layout.factFrames = le(fact, 4);
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!gsm)
                return std::nullopt;
            layout.dataOffset = body;
            // A header that claims more than the file holds (a log cut off, or one whose header
            // is behind) gives way to what is really there.
            const qint64 held = std::max<qint64>(file.size() - body, 0);
            layout.dataBytes = (size == 0 || size == 0xFFFFFFFF) ? held : std::min(size, held);
            return layout;
        }
        if (!file.seek(body + size + (size & 1)))
            return std::nullopt;
    }
    return std::nullopt;
}

class GsmWaveReader final : public WaveReader {
public:
    GsmWaveReader(std::unique_ptr<QFile> file, const GsmLayout& layout)
        : m_file(std::move(file))
        , m_dataOffset(layout.dataOffset)
    {
        m_rate = layout.rate;
        m_channels = 1;
        const qint64 blocks = layout.dataBytes / kGsmBlockBytes;
        m_frames = blocks * kGsmBlockFrames;
        // The sample count is the exact length when it ends inside the last block; one that ends
        // earlier is stale (a header mended after a crash), and the blocks are what counts.
        if (layout.factFrames && *layout.factFrames > m_frames - kGsmBlockFrames && *layout.factFrames < m_frames)
            m_frames = *layout.factFrames;
        if (m_rate <= 0)
            throw readError(m_file->fileName(), QStringLiteral("its GSM 6.10 format gives a sample rate of 0."));
    }
    ~GsmWaveReader() override
    {
        if (m_gsm)
            gsm_destroy(m_gsm);
    }
    GsmWaveReader(const GsmWaveReader&) = delete;
    GsmWaveReader& operator=(const GsmWaveReader&) = delete;

    void seek(std::int64_t frame) override
    {
        frame = std::clamp<std::int64_t>(frame, 0, m_frames);
        const std::int64_t block = frame / kGsmBlockFrames;
        // A fresh decoder starts a few blocks early: by the block asked for its long-term
        // predictor has settled, and what is heard follows the file as decoded from its start.
        resetDecoder();
        const std::int64_t first = std::max<std::int64_t>(block - kGsmSettleBlocks, 0);
        if (!m_file->seek(m_dataOffset + first * kGsmBlockBytes))
            throw readError(m_file->fileName(), m_file->errorString());
        m_position = frame;
        m_used = m_decoded = 0;
        if (frame == m_frames)
            return;
        for (std::int64_t b = first; b <= block; ++b)
            decodeBlock();
        m_used = static_cast<int>(frame % kGsmBlockFrames);
    }

    std::int64_t read(std::span<std::int16_t> out) override
    {
        const std::int64_t want = std::min<std::int64_t>(static_cast<std::int64_t>(out.size()), m_frames - m_position);
        std::int64_t done = 0;
        while (done < want) {
            if (m_used == m_decoded)
                decodeBlock();
            const auto n = std::min<std::int64_t>(want - done, m_decoded - m_used);
            std::copy_n(m_pcm.begin() + m_used, n, out.begin() + done);
            m_used += static_cast<int>(n);
            done += n;
        }
        m_position += done;
        return done;
    }

private:
    void resetDecoder()
    {
        if (m_gsm)
            gsm_destroy(m_gsm);
        m_gsm = gsm_create();
        int wav49 = 1;
        if (!m_gsm || gsm_option(m_gsm, GSM_OPT_WAV49, &wav49) < 0)
            throw Error(ErrorNumber::Unexpected, QStringLiteral("The GSM 6.10 decoder cannot be set up."));
    }

    void decodeBlock()
    {
        std::array<gsm_byte, kGsmBlockBytes> bytes {};
        const qint64 got = m_file->read(reinterpret_cast<char*>(bytes.data()), kGsmBlockBytes);
        if (got != kGsmBlockBytes) {
            throw readError(m_file->fileName(),
                got < 0 ? m_file->errorString()
                        : QStringLiteral("it ends inside the GSM 6.10 block it said it holds."));
        }
        if (gsm_decode(m_gsm, bytes.data(), m_pcm.data()) < 0
            || gsm_decode(m_gsm, bytes.data() + kGsmFirstFrameBytes, m_pcm.data() + kGsmBlockFrames / 2) < 0) {
            throw readError(m_file->fileName(), QStringLiteral("a GSM 6.10 block is damaged."));
        }
        m_used = 0;
        m_decoded = kGsmBlockFrames;
    }

    std::unique_ptr<QFile> m_file;
    qint64 m_dataOffset;
    gsm m_gsm = nullptr;
    std::array<gsm_signal, kGsmBlockFrames> m_pcm {};
    int m_used = 0;
    int m_decoded = 0;
    std::int64_t m_position = 0;
};

class SndfileReader final : public WaveReader {
public:
    SndfileReader(const QString& path)
        : m_path(path)
    {
        SF_INFO info {};
        m_file = open(info);
        const int major = info.format & SF_FORMAT_TYPEMASK;
        if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX && major != SF_FORMAT_FLAC && major != SF_FORMAT_OGG) {
            sf_close(m_file);
            throw Error(ErrorNumber::WaveFormatUnsupported,
                QStringLiteral("%1 is not a WAV, FLAC or Ogg file.").arg(native(path)));
        }
        if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0) {
            sf_close(m_file);
            throw Error(ErrorNumber::WaveFormatUnsupported,
                QStringLiteral("The wave file %1 has %2 channels at %3 Hz; only mono and stereo can be played.")
                    .arg(native(path))
                    .arg(info.channels)
                    .arg(info.samplerate));
        }
        // libsndfile hands float samples to a 16-bit reader unscaled (full scale 1.0 becomes 1,
        // silence); its own scaling option raises every file to full scale. Floats are read as
        // they are and scaled here, so that a file keeps its level, clipped at full scale.
        const int encoding = info.format & SF_FORMAT_SUBMASK;
        m_float = encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE;
        m_rate = info.samplerate;
        m_channels = info.channels;
        m_frames = std::max<sf_count_t>(info.frames, 0);
        // A FLAC file whose recording was cut short, or is still going on, states no length.
        if (major == SF_FORMAT_FLAC && (info.frames == 0 || info.frames == SF_COUNT_MAX))
            m_frames = measureFrames();
    }
    ~SndfileReader() override { sf_close(m_file); }
    SndfileReader(const SndfileReader&) = delete;
    SndfileReader& operator=(const SndfileReader&) = delete;

    void seek(std::int64_t frame) override
    {
        if (sf_seek(m_file, std::clamp<std::int64_t>(frame, 0, m_frames), SEEK_SET) < 0) {
            throw Error(ErrorNumber::WaveFileRead,
                QStringLiteral("The wave file %1 cannot be read at frame %2: %3")
                    .arg(native(m_path))
                    .arg(frame)
                    .arg(QString::fromLocal8Bit(sf_strerror(m_file))));
        }
    }

    std::int64_t read(std::span<std::int16_t> out) override
    {
        const sf_count_t want = static_cast<sf_count_t>(out.size()) / m_channels;
        sf_count_t got = 0;
        if (m_float) {
            m_floats.resize(out.size());
            got = sf_readf_float(m_file, m_floats.data(), want);
            for (std::size_t i = 0; i < static_cast<std::size_t>(std::max<sf_count_t>(got, 0) * m_channels); ++i)
                out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(m_floats[i] * 32768.0f, -32768.0f, 32767.0f)));
        } else {
            got = sf_readf_short(m_file, out.data(), want);
        }
        if (got < want && sf_error(m_file) != SF_ERR_NO_ERROR)
            throw readError(m_path, QString::fromLocal8Bit(sf_strerror(m_file)));
        return std::max<sf_count_t>(got, 0);
    }

private:
    SNDFILE* open(SF_INFO& info) const
    {
        SNDFILE* file = sf_open(QFile::encodeName(m_path).constData(), SFM_READ, &info);
        if (!file)
            throw readError(m_path, QString::fromLocal8Bit(sf_strerror(nullptr)));
        return file;
    }

    // The frames of a FLAC file up to its last whole frame: the first frame that cannot be
    // reached, found by halving. The decoder is of no use after a seek that fails, so the file is
    // opened anew after each one.
    std::int64_t measureFrames()
    {
        const auto readable = [this](std::int64_t frame) {
            std::int16_t sample[2];
            if (sf_seek(m_file, frame, SEEK_SET) == frame && sf_readf_short(m_file, sample, 1) == 1)
                return true;
            sf_close(m_file);
            SF_INFO info {};
            m_file = open(info);
            return false;
        };
        // A block of silence takes a dozen bytes for 4096 samples.
        std::int64_t good = -1;
        std::int64_t bad = QFileInfo(m_path).size() * 512 + 1;
        while (bad - good > 1) {
            const std::int64_t middle = good + (bad - good) / 2;
            (readable(middle) ? good : bad) = middle;
        }
        sf_seek(m_file, 0, SEEK_SET);
        return good + 1;
    }

    QString m_path;
    SNDFILE* m_file = nullptr;
    bool m_float = false;
    std::vector<float> m_floats;
};

} // namespace

std::unique_ptr<WaveReader> openWaveReader(const QString& path)
{
    if (!QFileInfo(path).isFile())
        throw Error(ErrorNumber::FileNotFound, QStringLiteral("The wave file %1 does not exist.").arg(native(path)));
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: a GSM block is read when it is decoded, so that a read failure is noticed there.
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw readError(path, file->errorString());
    if (const std::optional<GsmLayout> gsm = gsmLayout(*file))
        return std::make_unique<GsmWaveReader>(std::move(file), *gsm);
    file.reset();
    return std::make_unique<SndfileReader>(path);
}

} // namespace wendmoor
