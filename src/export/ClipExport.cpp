#include "export/ClipExport.h"

#include "catalog/LogFiles.h"
#include "media/ByteSink.h"
#include "media/LogStamp.h"
#include "media/Resampler.h"
#include "media/WaveReader.h"
#include "platform/Error.h"
#include "platform/Sha256.h"
#include "platform/Version.h"

#include <sndfile.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTimeZone>
#include <QUuid>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <map>
#include <unistd.h>

namespace wendmoor {

namespace {

constexpr std::int64_t kBlockFrames = 65536;
constexpr UtcMs kEarliest = std::numeric_limits<UtcMs>::min() / 2;
constexpr UtcMs kLatest = std::numeric_limits<UtcMs>::max() / 2;

enum class ClipFormat { Wav, Flac, Opus };

std::optional<ClipFormat> formatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("wav"))
        return ClipFormat::Wav;
    if (suffix == QLatin1String("flac"))
        return ClipFormat::Flac;
    if (suffix == QLatin1String("opus"))
        return ClipFormat::Opus;
    return std::nullopt;
}

int sndfileFormat(ClipFormat format)
{
    switch (format) {
    case ClipFormat::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case ClipFormat::Opus:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    case ClipFormat::Wav:
        break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

// Opus takes only a few rates: the lowest of them that loses nothing of the logs.
int clipRate(ClipFormat format, int logRate)
{
    if (format != ClipFormat::Opus)
        return logRate;
    for (const int rate : { 8000, 12000, 16000, 24000 })
        if (logRate <= rate)
            return rate;
    return 48000;
}

std::int64_t framesIn(UtcMs ms, int rate)
{
    return (ms * rate + 500) / 1000;
}

QString isoText(UtcMs utc)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(utc, QTimeZone::systemTimeZone());
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// The frame of segment `s` taken at `utc`: the catalog's interpolation between its pairings when
// it names this segment, the segment's own rate from its start otherwise.
std::int64_t frameAt(const Catalog& catalog, const Segment& s, UtcMs utc)
{
    if (utc <= s.startUtc)
        return s.firstFrame;
    if (utc >= s.endUtc)
        return s.firstFrame + s.frames;
    const Location at = catalog.locate(utc);
    if (at.segment && at.segment->log == s.log && at.segment->firstFrame == s.firstFrame)
        return std::clamp(at.frame, s.firstFrame, s.firstFrame + s.frames);
    return std::clamp(s.firstFrame + framesIn(utc - s.startUtc, s.sampleRate), s.firstFrame, s.firstFrame + s.frames);
}

ClipPiece silencePiece(UtcMs from, UtcMs to, const std::vector<Gap>& gaps)
{
    ClipPiece piece;
    piece.fromUtc = from;
    piece.toUtc = to;
    piece.silence = true;
    // The recorded gap that covers most of it gives the reason.
    UtcMs best = 0;
    for (const Gap& g : gaps) {
        const UtcMs overlap = std::min(g.toUtc, to) - std::max(g.fromUtc, from);
        if (g.reason != GapReason::InputLost && overlap > best) {
            best = overlap;
            piece.reason = g.reason;
            piece.detail = g.detail;
        }
    }
    return piece;
}

Error rangeError(const QString& text)
{
    return Error(ErrorNumber::InvalidArgument, text);
}

// Removes a file it was told about unless released: whatever an export leaves half done.
class TemporaryFiles {
public:
    ~TemporaryFiles()
    {
        for (const QString& path : m_paths)
            QFile::remove(path);
    }
    void add(const QString& path) { m_paths.append(path); }
    void release() { m_paths.clear(); }

private:
    QStringList m_paths;
};

QString temporaryBeside(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().filePath(
        QStringLiteral(".%1.%2.part").arg(info.fileName(), QUuid::createUuid().toString(QUuid::WithoutBraces).left(8)));
}

// Gives the temporary file its name: never over an existing file unless `overwrite`.
void giveName(const QString& temporary, const QString& name, bool overwrite)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(name);
    if (overwrite) {
        if (::rename(from.constData(), to.constData()) != 0)
            throw fileError(errno, QStringLiteral("The export could not be named"), QDir::toNativeSeparators(name));
        return;
    }
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return;
    }
    const int err = errno;
    // A file system without hard links (a FAT memory stick): look, then rename.
    if (err != EEXIST && !QFileInfo::exists(name) && ::rename(from.constData(), to.constData()) == 0)
        return;
    throw fileError(err == EEXIST || QFileInfo::exists(name) ? EEXIST : err,
        QStringLiteral("The export could not be named"), QDir::toNativeSeparators(name));
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(text) != text.size() || !file.flush()) {
        const int err = errno != 0 ? errno : EIO;
        throw fileError(
            err, QStringLiteral("The export's manifest could not be written:"), QDir::toNativeSeparators(path));
    }
}

// libsndfile's virtual file calls, on a ByteSink.
SF_VIRTUAL_IO byteSinkIo()
{
    SF_VIRTUAL_IO io {};
    io.get_filelen = [](void* user) -> sf_count_t { return static_cast<ByteSink*>(user)->length(); };
    io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t {
        return static_cast<ByteSink*>(user)->seek(offset, whence);
    };
    io.read = [](void* p, sf_count_t n, void* user) -> sf_count_t { return static_cast<ByteSink*>(user)->read(p, n); };
    io.write = [](const void* p, sf_count_t n, void* user) -> sf_count_t {
        return static_cast<ByteSink*>(user)->write(p, n);
    };
    io.tell = [](void* user) -> sf_count_t { return static_cast<ByteSink*>(user)->tell(); };
    return io;
}

// Bytes in memory, for a WAV header made by libsndfile.
class MemorySink final : public ByteSink {
public:
    std::int64_t length() override { return std::int64_t(bytes.size()); }
    std::int64_t seek(std::int64_t offset, int whence) override
    {
        const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? at : length();
        at = std::max<std::int64_t>(0, base + offset);
        return at;
    }
    std::int64_t tell() override { return at; }
    std::int64_t read(void* data, std::int64_t n) override
    {
        n = std::clamp<std::int64_t>(length() - at, 0, n);
        std::memcpy(data, bytes.data() + at, std::size_t(n));
        at += n;
        return n;
    }
    std::int64_t write(const void* data, std::int64_t n) override
    {
        if (at + n > length())
            bytes.resize(std::size_t(at + n));
        std::memcpy(bytes.data() + at, data, std::size_t(n));
        at += n;
        return n;
    }
    bool sync() override { return true; }
    int error() const override { return 0; }

    QByteArray bytes;
    std::int64_t at = 0;
};

void putLittle32(QByteArray& bytes, qsizetype at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

// The header of a mono 16-bit WAV clip of `frames` frames, bext included, as libsndfile writes it
// when it closes such a file: made for no frames, then its RIFF and data sizes set. Nothing when
// the header does not end in its data chunk as expected or the clip is too long for a WAV.
std::optional<QByteArray> wavHeader(int rate, UtcMs firstSample, std::int64_t frames)
{
    MemorySink memory;
    SF_VIRTUAL_IO io = byteSinkIo();
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (!file)
        return std::nullopt;
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(firstSample, QTimeZone::systemTimeZone());
    const bool stamped = writeLogStamp(file, true, first, rate);
    if (sf_close(file) != 0 || !stamped)
        return std::nullopt;
    QByteArray& header = memory.bytes;
    const std::int64_t dataBytes = frames * 2;
    if (header.size() < 44 || !header.startsWith("RIFF") || header.mid(8, 4) != "WAVE"
        || header.mid(header.size() - 8, 8) != QByteArray("data\0\0\0\0", 8)
        || header.size() - 8 + dataBytes > std::int64_t(std::numeric_limits<std::uint32_t>::max()))
        return std::nullopt;
    putLittle32(header, 4, std::uint32_t(header.size() - 8 + dataBytes));
    putLittle32(header, header.size() - 4, std::uint32_t(dataBytes));
    return header;
}

// Writes the clip's samples, mono 16 bit, into a ByteSink: through libsndfile, or (a WAV clip
// whose length is known before it is written) as a header that is final from the start and the
// samples after it, hashed as they go out so that the clip need not be read again.
class ClipWriter {
public:
    ClipWriter(std::unique_ptr<ByteSink> sink, const QString& name, ClipFormat format, int rate, UtcMs firstSample,
        std::optional<std::int64_t> knownFrames)
        : m_sink(std::move(sink))
        , m_name(name)
    {
        if (format == ClipFormat::Wav && knownFrames) {
            if (const std::optional<QByteArray> header = wavHeader(rate, firstSample, *knownFrames)) {
                m_hash.emplace();
                m_plannedFrames = *knownFrames;
                m_dataOffset = header->size();
                put(header->constData(), header->size());
                return;
            }
        }
        SF_VIRTUAL_IO io = byteSinkIo();
        SF_INFO info {};
        info.samplerate = rate;
        info.channels = 1;
        info.format = sndfileFormat(format);
        m_file = sf_open_virtual(&io, SFM_WRITE, &info, m_sink.get());
        if (!m_file) {
            check();
            throw Error(ErrorNumber::WaveFileCreate,
                QStringLiteral("The clip %1 could not be created: %2")
                    .arg(m_name, QString::fromLocal8Bit(sf_strerror(nullptr))));
        }
        // The clip says when its first sample was taken, as a log does.
        const QDateTime first = QDateTime::fromMSecsSinceEpoch(firstSample, QTimeZone::systemTimeZone());
        (void)writeLogStamp(m_file, format == ClipFormat::Wav, first, rate);
    }
    ~ClipWriter()
    {
        if (m_file)
            sf_close(m_file);
    }
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    void write(std::span<const std::int16_t> samples)
    {
        if (samples.empty())
            return;
        if (!m_file) {
            if constexpr (std::endian::native == std::endian::little) {
                put(samples.data(), std::int64_t(samples.size_bytes()));
            } else {
                m_swapped.resize(samples.size());
                for (std::size_t i = 0; i < samples.size(); ++i)
                    m_swapped[i] = std::int16_t(std::uint16_t(samples[i]) << 8 | std::uint16_t(samples[i]) >> 8);
                put(m_swapped.data(), std::int64_t(samples.size_bytes()));
            }
            m_frames += std::int64_t(samples.size());
            return;
        }
        const sf_count_t n = sf_write_short(m_file, samples.data(), sf_count_t(samples.size()));
        if (n != sf_count_t(samples.size())) {
            check();
            throw Error(ErrorNumber::WaveFileWrite,
                QStringLiteral("The clip %1 could not be written: %2")
                    .arg(m_name, QString::fromLocal8Bit(sf_strerror(m_file))));
        }
        m_frames += n;
    }

    // Finishes the file (header, last pages) and pushes it to the disk.
    void close()
    {
        if (!m_file) {
            if (m_frames != m_plannedFrames) {
                // Fewer or more frames than planned (a resampler's rounding): the header is put
                // right and the clip is hashed from the disk instead.
                QByteArray sizes(4, '\0');
                putLittle32(sizes, 0, std::uint32_t(m_dataOffset - 8 + m_frames * 2));
                m_sink->seek(4, SEEK_SET);
                m_sink->write(sizes.constData(), 4);
                putLittle32(sizes, 0, std::uint32_t(m_frames * 2));
                m_sink->seek(m_dataOffset - 4, SEEK_SET);
                m_sink->write(sizes.constData(), 4);
                m_hash.reset();
            }
            const bool synced = m_sink->sync();
            check();
            if (!synced)
                throw Error(
                    ErrorNumber::WaveFileWrite, QStringLiteral("The clip %1 could not be finished.").arg(m_name));
            m_sink.reset();
            return;
        }
        const int result = sf_close(m_file);
        m_file = nullptr;
        m_sink->sync();
        check();
        if (result != 0)
            throw Error(ErrorNumber::WaveFileWrite, QStringLiteral("The clip %1 could not be finished.").arg(m_name));
        m_sink.reset();
    }

    [[nodiscard]] std::int64_t frames() const { return m_frames; }
    // The SHA-256 of every byte written, when they were written in order once; nothing otherwise.
    [[nodiscard]] std::optional<QByteArray> sha256()
    {
        if (!m_hash)
            return std::nullopt;
        return m_hash->hex();
    }

private:
    void put(const void* data, std::int64_t bytes)
    {
        if (m_sink->write(data, bytes) != bytes) {
            check();
            throw Error(ErrorNumber::WaveFileWrite, QStringLiteral("The clip %1 could not be written.").arg(m_name));
        }
        m_hash->add(data, bytes);
    }

    void check() const
    {
        if (const int err = m_sink->error(); err != 0) {
            if (err == ENOSPC || err == EDQUOT || err == EFBIG)
                throw Error(ErrorNumber::DiskFull,
                    QStringLiteral("The disk is full: the clip %1 could not be written, and nothing was kept.")
                        .arg(m_name));
            throw fileError(err, QStringLiteral("The clip could not be written:"), m_name);
        }
    }

    std::unique_ptr<ByteSink> m_sink;
    QString m_name;
    SNDFILE* m_file = nullptr;
    std::int64_t m_frames = 0;
    std::optional<Sha256> m_hash;
    std::int64_t m_plannedFrames = 0;
    std::int64_t m_dataOffset = 0;
    std::vector<std::int16_t> m_swapped;
};

} // namespace

void rememberChecksums(const QString& archiveFolder, const std::vector<LogChecksum>& sums)
{
    if (sums.empty() || !QFileInfo::exists(QDir(archiveFolder).filePath(QLatin1String(Catalog::kFileName))))
        return;
    try {
        // A damaged catalog is left for the recorder to set aside and rebuild.
        if (Catalog::open(archiveFolder, Catalog::Mode::ReadOnly)->wasRebuilt())
            return;
        const std::unique_ptr<Catalog> catalog = Catalog::open(archiveFolder, Catalog::Mode::ReadWrite);
        for (const LogChecksum& sum : sums)
            catalog->rememberChecksum(sum);
    } catch (const Error&) {
        // Not kept: the next export reads the logs again.
    }
}

std::optional<UtcMs> parseClockTime(const QString& text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char('T'), QLatin1Char(' '));
    for (const char* format : { "yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm" }) {
        const QDateTime local = QDateTime::fromString(t, QLatin1String(format));
        if (local.isValid())
            return local.toMSecsSinceEpoch();
    }
    return std::nullopt;
}

QString clockTimeText(UtcMs utc)
{
    return QDateTime::fromMSecsSinceEpoch(utc, QTimeZone::systemTimeZone())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

ClipPlan planClip(const Catalog& catalog, UtcMs fromUtc, UtcMs toUtc)
{
    const QString range = QStringLiteral("%1 to %2").arg(clockTimeText(fromUtc), clockTimeText(toUtc));
    if (fromUtc >= toUtc)
        throw rangeError(QStringLiteral("The range %1 is empty: --from must be before --to.").arg(range));
    const std::vector<Segment> all = catalog.segmentsOverlapping(kEarliest, kLatest);
    if (all.empty())
        throw rangeError(QStringLiteral("The archive %1 holds no recording.")
                             .arg(QDir::toNativeSeparators(catalog.archiveFolder())));
    UtcMs first = kLatest;
    UtcMs last = kEarliest;
    for (const Segment& s : all) {
        first = std::min(first, s.startUtc);
        last = std::max(last, s.endUtc);
    }
    if (fromUtc < first || toUtc > last)
        throw rangeError(QStringLiteral("The range %1 is outside the archive, which holds %2 to %3.")
                             .arg(range, clockTimeText(first), clockTimeText(last)));
    const std::vector<Segment> segments = catalog.segmentsOverlapping(fromUtc, toUtc);
    if (segments.empty()) {
        const Location at = catalog.locate(fromUtc);
        const GapReason reason = at.gap ? at.gap->reason : GapReason::Unknown;
        throw rangeError(
            QStringLiteral("The range %1 is wholly in a gap of the archive (%2%3): nothing was recorded.")
                .arg(range, gapReasonName(reason),
                    at.gap && !at.gap->detail.isEmpty() ? QStringLiteral(", ") + at.gap->detail : QString()));
    }

    ClipPlan plan;
    plan.fromUtc = fromUtc;
    plan.toUtc = toUtc;
    plan.archiveFolder = catalog.archiveFolder();
    const std::vector<Gap> gaps = catalog.gapsOverlapping(fromUtc, toUtc);
    UtcMs cursor = fromUtc;
    for (const Segment& s : segments) {
        // After a clock set back, a later segment may cover time an earlier one held: each instant once.
        const UtcMs a = std::max(s.startUtc, cursor);
        const UtcMs b = std::min(s.endUtc, toUtc);
        if (a >= b)
            continue;
        if (a > cursor)
            plan.pieces.push_back(silencePiece(cursor, a, gaps));
        ClipPiece piece;
        piece.fromUtc = a;
        piece.toUtc = b;
        piece.log = s.log;
        piece.sampleRate = s.sampleRate;
        piece.firstFrame = frameAt(catalog, s, a);
        piece.frames = frameAt(catalog, s, b) - piece.firstFrame;
        plan.sampleRate = std::max(plan.sampleRate, s.sampleRate);
        plan.pieces.push_back(piece);
        cursor = b;
    }
    if (cursor < toUtc)
        plan.pieces.push_back(silencePiece(cursor, toUtc, gaps));
    for (const ClipPiece& p : plan.pieces)
        if (!p.silence && !plan.checksums.contains(p.log))
            if (std::optional<LogChecksum> sum = catalog.checksum(p.log))
                plan.checksums.emplace(p.log, std::move(*sum));
    for (const Gap& g : gaps)
        if (g.reason == GapReason::InputLost)
            plan.silences.push_back(Gap { std::max(g.fromUtc, fromUtc), std::min(g.toUtc, toUtc), g.reason, g.detail });
    return plan;
}

std::optional<QString> outputProblem(const QString& archiveFolder, const QString& output, bool overwrite)
{
    const QString native = QDir::toNativeSeparators(output);
    if (output.isEmpty())
        return QStringLiteral("No output file was given.");
    if (!formatOf(output))
        return QStringLiteral("The output %1 has no known extension: .wav, .flac or .opus.").arg(native);
    const QFileInfo info(output);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("The output's folder %1 does not exist.")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    const QString archive = QFileInfo(archiveFolder).canonicalFilePath();
    if (!archive.isEmpty() && folder.canonicalFilePath() == archive)
        return parseLogFileName(info.fileName())
            ? QStringLiteral("The output %1 is one of the logs: choose a file outside the archive.").arg(native)
            : QStringLiteral("The output %1 is in the archive folder: choose a file outside it.").arg(native);
    if (!folder.isWritable() || ::access(QFile::encodeName(folder.absoluteFilePath()).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("The output's folder %1 cannot be written.")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    if (info.isDir())
        return QStringLiteral("The output %1 is a folder.").arg(native);
    if (!overwrite)
        for (const QString& path : { output, output + QStringLiteral(".json"), output + QStringLiteral(".sha256") })
            if (QFileInfo(path).exists() || QFileInfo(path).isSymLink())
                return QStringLiteral("%1 exists already: give --force to replace it.")
                    .arg(QDir::toNativeSeparators(path));
    return std::nullopt;
}

ClipExportResult exportClip(const ClipPlan& plan, const ClipExportOptions& options)
{
    if (const std::optional<QString> problem = outputProblem(plan.archiveFolder, options.output, options.overwrite))
        throw Error(ErrorNumber::InvalidArgument, *problem);
    const ClipFormat format = *formatOf(options.output);
    const int rate = clipRate(format, plan.sampleRate);
    const QString output = QFileInfo(options.output).absoluteFilePath();
    const QString name = QDir::toNativeSeparators(output);
    const QDir archive(plan.archiveFolder);

    std::int64_t total = 0;
    bool resampled = false;
    for (const ClipPiece& p : plan.pieces) {
        total += p.silence ? framesIn(p.toUtc - p.fromUtc, rate) : p.frames * rate / std::max(1, p.sampleRate);
        resampled = resampled || (!p.silence && p.sampleRate != rate);
    }

    TemporaryFiles temporary;
    const QString clipTemp = temporaryBeside(output);
    temporary.add(clipTemp);
    std::unique_ptr<ByteSink> sink = options.sink ? options.sink(clipTemp) : std::make_unique<FileByteSink>(clipTemp);
    ClipWriter writer(std::move(sink), name, format, rate, plan.fromUtc,
        resampled ? std::nullopt : std::optional<std::int64_t>(total));

    // The logs whose checksums are not remembered (or no longer hold) are read whole on a thread
    // of their own while the clip is written; an export that ends early stops it.
    using Taken = std::map<QString, std::pair<LogChecksum, bool>>;
    QStringList toRead;
    for (const ClipPiece& p : plan.pieces) {
        const auto known = plan.checksums.find(p.log);
        if (!p.silence && !toRead.contains(p.log)
            && (known == plan.checksums.end() || !checksumHolds(plan.archiveFolder, known->second)))
            toRead.append(p.log);
    }
    std::atomic<bool> stopReading { false };
    std::future<Taken> reading;
    if (!toRead.isEmpty())
        reading = std::async(std::launch::async, [folder = plan.archiveFolder, toRead, &stopReading] {
            Taken taken;
            for (const QString& log : toRead) {
                bool settled = false;
                LogChecksum sum = takeChecksum(folder, log, settled, &stopReading);
                taken.emplace(log, std::pair { std::move(sum), settled });
            }
            return taken;
        });
    const auto stopTheReading = qScopeGuard([&] {
        stopReading = true;
        if (reading.valid())
            reading.wait();
    });

    std::vector<std::int16_t> in;
    std::vector<std::int16_t> mono;
    std::vector<std::int16_t> out;
    auto cancelled = [&] { return options.cancel && options.cancel->load(std::memory_order_relaxed); };
    auto advance = [&] {
        if (cancelled())
            throw Error(ErrorNumber::ExportCancelled, QStringLiteral("The export to %1 was cancelled.").arg(name));
        if (options.progress)
            options.progress(writer.frames(), total);
    };
    auto writeSilence = [&](std::int64_t frames) {
        mono.assign(std::size_t(std::min(frames, kBlockFrames)), 0);
        while (frames > 0) {
            const std::int64_t n = std::min(frames, kBlockFrames);
            writer.write(std::span<const std::int16_t>(mono.data(), std::size_t(n)));
            frames -= n;
            advance();
        }
    };

    std::vector<ClipPiece> shortLogs;
    for (const ClipPiece& piece : plan.pieces) {
        if (piece.silence) {
            writeSilence(framesIn(piece.toUtc - piece.fromUtc, rate));
            continue;
        }
        const std::unique_ptr<WaveReader> reader = openWaveReader(archive.filePath(piece.log));
        const int channels = std::max(1, reader->channels());
        std::optional<Resampler> resampler;
        if (reader->sampleRate() != rate)
            resampler.emplace(reader->sampleRate(), rate);
        reader->seek(std::min(piece.firstFrame, reader->frames()));
        std::int64_t left = piece.frames;
        while (left > 0) {
            const std::int64_t want = std::min(left, kBlockFrames);
            // A mono log is read straight into the block; the channels of another are averaged.
            std::vector<std::int16_t>& target = channels == 1 ? mono : in;
            target.resize(std::size_t(want * channels));
            const std::int64_t got = reader->read(target);
            if (got <= 0)
                break;
            mono.resize(std::size_t(got));
            for (std::int64_t i = 0; channels > 1 && i < got; ++i) {
                int sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += in[std::size_t(i * channels + c)];
                mono[std::size_t(i)] = std::int16_t(sum / channels);
            }
            if (resampler) {
                out.clear();
                resampler->process(mono, out);
                writer.write(out);
            } else {
                writer.write(mono);
            }
            left -= got;
            advance();
        }
        if (resampler) {
            out.clear();
            resampler->flush(out);
            writer.write(out);
        }
        if (left > 0) {
            // The log ends before the catalog says it does (its tail was lost): silence keeps the
            // time of what follows, and the manifest says so.
            ClipPiece lost = piece;
            lost.firstFrame = piece.firstFrame + piece.frames - left;
            lost.frames = left;
            shortLogs.push_back(lost);
            writeSilence(left * rate / std::max(1, reader->sampleRate()));
        }
    }
    writer.close();
    const std::int64_t frames = writer.frames();
    const std::optional<QByteArray> clipSum = writer.sha256();

    ClipExportResult result;
    result.clip = output;
    result.manifest = output + QStringLiteral(".json");
    result.sums = output + QStringLiteral(".sha256");
    result.sampleRate = rate;
    result.frames = frames;
    result.sha256 = clipSum ? *clipSum : sha256OfFile(clipTemp);

    // The manifest and the sums, each by its own temporary name.
    const Taken read = reading.valid() ? reading.get() : Taken();
    QJsonArray sources;
    QByteArray sums = result.sha256 + "  " + QFile::encodeName(QFileInfo(output).fileName()) + '\n';
    std::map<QString, LogChecksum> logSums;
    QJsonArray gaps;
    for (const ClipPiece& p : plan.pieces) {
        QJsonObject o { { QStringLiteral("from"), isoText(p.fromUtc) }, { QStringLiteral("to"), isoText(p.toUtc) },
            { QStringLiteral("seconds"), double(p.toUtc - p.fromUtc) / 1000.0 } };
        if (p.silence) {
            o.insert(QStringLiteral("reason"), gapReasonName(p.reason));
            if (!p.detail.isEmpty())
                o.insert(QStringLiteral("detail"), p.detail);
            gaps.append(o);
            continue;
        }
        const QString path = archive.filePath(p.log);
        auto [it, added] = logSums.try_emplace(p.log);
        if (added) {
            advance();
            // A finished log's remembered checksum while its size and time are unchanged; else read.
            const auto known = plan.checksums.find(p.log);
            if (const auto r = read.find(p.log); r != read.end()) {
                it->second = r->second.first;
                if (r->second.second)
                    result.taken.push_back(it->second);
            } else if (known != plan.checksums.end() && checksumHolds(plan.archiveFolder, known->second)) {
                it->second = known->second;
            } else {
                bool settled = false;
                it->second = takeChecksum(plan.archiveFolder, p.log, settled);
                if (settled)
                    result.taken.push_back(it->second);
            }
            sums += it->second.sha256 + "  " + QFile::encodeName(QFileInfo(path).absoluteFilePath()) + '\n';
        }
        o.insert(QStringLiteral("log"), p.log);
        o.insert(QStringLiteral("path"), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
        o.insert(QStringLiteral("sha256"), QString::fromLatin1(it->second.sha256));
        o.insert(QStringLiteral("sha256Taken"), isoText(it->second.takenUtc));
        o.insert(QStringLiteral("firstFrame"), double(p.firstFrame));
        o.insert(QStringLiteral("frames"), double(p.frames));
        o.insert(QStringLiteral("sampleRate"), p.sampleRate);
        sources.append(o);
    }
    for (const Gap& g : plan.silences)
        gaps.append(
            QJsonObject { { QStringLiteral("from"), isoText(g.fromUtc) }, { QStringLiteral("to"), isoText(g.toUtc) },
                { QStringLiteral("seconds"), double(g.toUtc - g.fromUtc) / 1000.0 },
                { QStringLiteral("reason"), gapReasonName(g.reason) }, { QStringLiteral("detail"), g.detail },
                { QStringLiteral("inLog"), true } });
    for (const ClipPiece& p : shortLogs)
        gaps.append(QJsonObject { { QStringLiteral("log"), p.log },
            { QStringLiteral("firstFrame"), double(p.firstFrame) }, { QStringLiteral("frames"), double(p.frames) },
            { QStringLiteral("reason"), gapReasonName(GapReason::Unknown) },
            { QStringLiteral("detail"), QStringLiteral("the log ends before the catalog says; silence written") } });
    const QDateTime exportedAt = options.exportedAt.isValid() ? options.exportedAt : QDateTime::currentDateTime();
    const QJsonObject manifest {
        { QStringLiteral("from"), isoText(plan.fromUtc) },
        { QStringLiteral("to"), isoText(plan.toUtc) },
        { QStringLiteral("archive"), QDir::toNativeSeparators(QFileInfo(plan.archiveFolder).absoluteFilePath()) },
        { QStringLiteral("clip"),
            QJsonObject { { QStringLiteral("file"), QFileInfo(output).fileName() },
                { QStringLiteral("sha256"), QString::fromLatin1(result.sha256) },
                { QStringLiteral("sampleRate"), rate }, { QStringLiteral("frames"), double(frames) },
                { QStringLiteral("seconds"), double(frames) / rate } } },
        { QStringLiteral("sources"), sources },
        { QStringLiteral("gaps"), gaps },
        { QStringLiteral("version"), QLatin1String(kVersion) },
        { QStringLiteral("exportedAt"), exportedAt.toOffsetFromUtc(exportedAt.offsetFromUtc()).toString(Qt::ISODate) },
    };
    const QString manifestTemp = temporaryBeside(result.manifest);
    temporary.add(manifestTemp);
    writeText(manifestTemp, QJsonDocument(manifest).toJson());
    const QString sumsTemp = temporaryBeside(result.sums);
    temporary.add(sumsTemp);
    writeText(sumsTemp, sums);
    advance();

    // The clip last: a clip under its name always has its manifest beside it.
    giveName(manifestTemp, result.manifest, options.overwrite);
    temporary.add(result.manifest);
    giveName(sumsTemp, result.sums, options.overwrite);
    temporary.add(result.sums);
    giveName(clipTemp, output, options.overwrite);
    temporary.release();
    return result;
}

} // namespace wendmoor
