#include "media/WaveFileWriter.h"

#include "media/LogRepair.h"
#include "media/LogStamp.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"

#include <sndfile.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace wendmoor {

namespace {

constexpr qint64 kSyncIntervalMs = 5000;

ByteSink& sinkOf(void* user)
{
    return *static_cast<ByteSink*>(user);
}

SF_VIRTUAL_IO virtualIo()
{
    SF_VIRTUAL_IO io {};
    io.get_filelen = [](void* user) -> sf_count_t { return sinkOf(user).length(); };
    io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t { return sinkOf(user).seek(offset, whence); };
    io.read = [](void* ptr, sf_count_t count, void* user) -> sf_count_t { return sinkOf(user).read(ptr, count); };
    io.write
        = [](const void* ptr, sf_count_t count, void* user) -> sf_count_t { return sinkOf(user).write(ptr, count); };
    io.tell = [](void* user) -> sf_count_t { return sinkOf(user).tell(); };
    return io;
}

// How often the Ogg pages of an Opus log are written out, at the latest, and how often what is
// encoded of a FLAC or Opus log is handed to the file: together well within a second.
constexpr double kOggPageLatencyMs = 500.0;
constexpr int kHandOverMs = 250;

int sndfileFormat(const WaveFormat& format)
{
    switch (format.encoding()) {
    case WaveEncoding::Gsm610:
        return SF_FORMAT_WAV | SF_FORMAT_GSM610;
    case WaveEncoding::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case WaveEncoding::Opus:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    case WaveEncoding::Pcm:
        break;
    }
    return SF_FORMAT_WAV | (format.bitsPerSample() == 8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
}

// The Opus encoder's settings: the bit rate, as libsndfile's compression level (0 is its highest
// rate, 1 its lowest: 6 kbit/s plus 250 kbit/s times one minus the level), and the page latency.
// libsndfile answers the bit rate mode and the latency with 0 whether they took or not; a
// refusal shows in its error state.
bool setUpOpus(SNDFILE* file)
{
    int mode = SF_BITRATE_MODE_AVERAGE;
    double level = 1.0 - (WaveFormat::kOpusBitsPerSecond - 6000) / 250000.0;
    double latency = kOggPageLatencyMs;
    sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    sf_command(file, SFC_SET_OGG_PAGE_LATENCY_MS, &latency, sizeof latency);
    return sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level) == SF_TRUE
        && sf_error(file) == SF_ERR_NO_ERROR;
}

} // namespace

WaveFileWriter::WaveFileWriter(MessageSink& messages, QObject* parent)
    : QObject(parent)
    , m_messages(messages)
    , m_sinkFactory([](const QString& path) { return std::make_unique<FileByteSink>(path); })
{
    m_refreshTimer.setInterval(m_refreshMs);
    // Keeps the header current while the writer is paused or the input is quiet.
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] {
        if (m_file && (m_dirty || m_sinceSync.elapsed() >= kSyncIntervalMs))
            refreshHeader(m_sinceSync.elapsed() >= kSyncIntervalMs);
        checkNamed();
    });
}

WaveFileWriter::~WaveFileWriter()
{
    close();
}

void WaveFileWriter::setHeaderRefreshInterval(int milliseconds)
{
    m_refreshMs = milliseconds;
    m_refreshTimer.setInterval(std::clamp(milliseconds, 50, 1000));
}

std::int32_t WaveFileWriter::positionMs() const
{
    const std::int64_t ms = m_frames * 1000 / std::max(1, m_rate);
    return static_cast<std::int32_t>(std::min<std::int64_t>(ms, INT32_MAX));
}

void WaveFileWriter::beginStream(const WaveFormat& format)
{
    close();
    m_failed = false;
    m_frames = 0;
    m_rate = format.sampleRate();
    const QString native = QDir::toNativeSeparators(m_fileName);
    if (m_fileName.isEmpty())
        throw Error(ErrorNumber::BadFileName, QStringLiteral("The log file has no name."));

    m_sink = m_sinkFactory(m_fileName);
    SF_INFO info {};
    info.samplerate = format.sampleRate();
    info.channels = 1;
    info.format = sndfileFormat(format);
    SF_VIRTUAL_IO io = virtualIo();
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, m_sink.get());
    QString reason;
    if (file && format.encoding() == WaveEncoding::Opus && !setUpOpus(file)) {
        reason = QStringLiteral("the Opus encoder refused its settings (%1)")
                     .arg(QString::fromLocal8Bit(sf_strerror(file)));
        sf_close(file);
        file = nullptr;
    }
    // The stamp says when the log began to whoever copies it out of the archive; a log without
    // one is still a log, so a refusal (none is known) does not stop the recording.
    if (file && m_startTime.isValid())
        (void)writeLogStamp(file, (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV, m_startTime, info.samplerate);
    if (!file) {
        const int err = m_sink->error();
        dropCreatedFile();
        if (err != 0)
            throw fileError(err, QStringLiteral("The log file could not be written:"), native);
        if (reason.isEmpty())
            reason = QString::fromLocal8Bit(sf_strerror(nullptr));
        throw Error(ErrorNumber::WaveFileCreate,
            QStringLiteral("The log file %1 could not be created as %2 %3: %4")
                .arg(native, format.describe().first, format.describe().second, reason));
    }
    // The new file is a valid, empty WAV on the disk from the start, or it is not started at all
    // (and not left behind: a recorder that tries again on a full disk must not pile up files).
    m_sink->sync();
    if (const int err = m_sink->error(); err != 0) {
        sf_close(file);
        dropCreatedFile();
        throw fileError(err, QStringLiteral("The log file could not be written:"), native);
    }
    m_file = file;
    m_openPath = m_fileName;
    m_openName = native;
    m_hasHeader = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
    m_dirty = false;
    m_sinceHeader.start();
    m_sinceHandOver.start();
    m_sinceSync.start();
    m_refreshTimer.start();
    emit started();
}

void WaveFileWriter::dropCreatedFile()
{
    // Only the file this start created goes, and only while the name still leads to it: a log
    // that took the name meanwhile is never removed.
    const bool ours = m_sink->isNamed(m_fileName);
    m_sink.reset();
    if (ours)
        QFile::remove(m_fileName);
}

void WaveFileWriter::writeSamples(std::span<const std::int16_t> samples)
{
    if (!m_enabled || !m_file || m_failed || samples.empty())
        return;
    const sf_count_t n = sf_write_short(m_file, samples.data(), static_cast<sf_count_t>(samples.size()));
    if (n > 0)
        m_frames += n;
    m_dirty = true;
    if (n != static_cast<sf_count_t>(samples.size()) && m_sink->error() == 0) {
        m_failed = true;
        m_messages.ShowMessage(Error(ErrorNumber::WaveFileWrite,
            QStringLiteral("Writing the log file %1 failed: %2. Recording into it has "
                           "stopped; what was written before is kept.")
                .arg(m_openName, QString::fromLocal8Bit(sf_strerror(m_file)))));
        return;
    }
    checkSink("writing");
    if (!m_failed)
        maybeRefresh();
}

void WaveFileWriter::maybeRefresh()
{
    const bool syncDue = m_sinceSync.elapsed() >= kSyncIntervalMs;
    const int interval = m_hasHeader ? m_refreshMs : std::min(m_refreshMs, kHandOverMs);
    if (interval <= 0 || m_sinceHeader.elapsed() >= interval || syncDue) {
        refreshHeader(syncDue);
    } else if (m_sinceHandOver.elapsed() >= kHandOverMs) {
        // What is gathered goes to the file between header refreshes too, so that a process
        // that dies loses well under a second of it (the next start mends the header).
        m_sink->seek(0, SEEK_CUR);
        m_sinceHandOver.restart();
        checkSink("writing");
    }
}

void WaveFileWriter::refreshNow()
{
    if (m_file)
        refreshHeader(true);
}

void WaveFileWriter::refreshHeader(bool sync)
{
    if (!m_file)
        return;
    // FLAC and Ogg have no header to update: their encoders write each frame or page as it is
    // complete (FLAC every 4096 samples, Ogg within kOggPageLatencyMs), and what is gathered
    // for the file is handed to it here.
    if (m_hasHeader)
        sf_command(m_file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    else
        m_sink->seek(0, SEEK_CUR);
    m_dirty = false;
    m_sinceHeader.restart();
    m_sinceHandOver.restart();
    if (sync) {
        m_sink->sync();
        m_sinceSync.restart();
    }
    checkSink("updating");
}

void WaveFileWriter::checkSink(const char* doing)
{
    if (m_failed || !m_sink || m_sink->error() == 0)
        return;
    m_failed = true;
    const Error e = fileError(m_sink->error(),
        QStringLiteral("Recording stopped after an error %1 the log file").arg(QLatin1String(doing)), m_openName);
    m_messages.ShowMessage(e);
    // Make what did reach the disk readable: the header lies at the start, so this needs no room.
    if (m_file && m_hasHeader)
        sf_command(m_file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
}

void WaveFileWriter::checkNamed()
{
    // The name it was opened under: a name set for the next file is no sign of this one's loss.
    if (!m_file || m_failed || m_sink->isNamed(m_openPath))
        return;
    // Whatever is written now is lost with the file: stop, so that the recorder starts a new log.
    m_failed = true;
    m_messages.ShowMessage(Error(ErrorNumber::FileNotFound,
        QStringLiteral("The log file %1 was deleted or moved while it was being recorded; "
                       "recording goes on into a new log.")
            .arg(m_openName)));
}

void WaveFileWriter::endStream()
{
    close();
    emit stopped();
}

void WaveFileWriter::close()
{
    m_refreshTimer.stop();
    if (!m_file)
        return;
    // sf_close writes the last GSM block and the final header.
    sf_close(m_file);
    m_file = nullptr;
    if (m_sink)
        m_sink->sync();
    checkSink("closing");
    // A write that failed part-way (a full disk) can leave more in the file than its header
    // says, or a FLAC log without its length: the header is made to say what the file holds,
    // as long as the name still leads to this file.
    const bool mend = m_failed && m_sink && m_sink->isNamed(m_openPath);
    m_sink.reset();
    if (mend) {
        try {
            (void)mendLogHeader(m_openPath);
        } catch (const Error&) {
            // The next start of the recorder tries again and says so in the event log.
        }
    }
}

} // namespace wendmoor
