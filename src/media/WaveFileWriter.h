#pragma once

#include "media/AudioSink.h"
#include "media/ByteSink.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

struct sf_private_tag;

namespace wendmoor {

class MessageSink;

// Writes the recording into a log file (libsndfile): a WAV file of PCM unsigned 8 bit, PCM 16 bit
// or GSM 6.10, a 16-bit FLAC file or an Ogg Opus file. The file is created (never over an existing
// one) when the chain starts and closed when it stops; `started` and `stopped` are emitted once
// each, on the thread the writer lives on (the recording thread), before the call that caused
// them returns.
//
// While the chain runs, the WAV header (RIFF size, data size, GSM sample count) is brought up to
// date, and the FLAC frames and Ogg pages encoded so far handed to the file, at least every
// headerRefreshInterval() milliseconds and the file is pushed to the disk at
// least every five seconds, so a process that dies leaves a valid file missing at most about
// a second. A write that fails (full disk, vanished folder), or a file that loses its name
// (deleted, its folder moved), is reported to the operator once and ends the writing (hasFailed);
// the file keeps what was written before and is closed properly at the stop.
class WaveFileWriter final : public QObject, public AudioSink {
    Q_OBJECT
public:
    using SinkFactory = std::function<std::unique_ptr<ByteSink>(const QString& path)>;

    explicit WaveFileWriter(MessageSink& messages, QObject* parent = nullptr);
    ~WaveFileWriter() override;
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    // False: audio that arrives is dropped, the file stays open, nothing is emitted.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    [[nodiscard]] bool isEnabled() const { return m_enabled; }

    // The file that the next start creates; it must not exist.
    void setFileName(const QString& path) { m_fileName = path; }
    [[nodiscard]] const QString& fileName() const { return m_fileName; }

    // The clock time of the next file's first sample, written into it as its stamp (LogStamp.h);
    // an invalid time writes none.
    void setStartTime(const QDateTime& firstSample) { m_startTime = firstSample; }

    // How often, in milliseconds, the header is brought up to date while audio is written;
    // 0 or less: after every buffer.
    void setHeaderRefreshInterval(int milliseconds);
    [[nodiscard]] int headerRefreshInterval() const { return m_refreshMs; }

    // Milliseconds of audio written into the current (or last) file.
    [[nodiscard]] std::int32_t positionMs() const;
    [[nodiscard]] std::int64_t framesWritten() const { return m_frames; }
    [[nodiscard]] int sampleRate() const { return m_rate; }
    [[nodiscard]] bool isOpen() const { return m_file != nullptr; }
    // True once a write into the current file has failed.
    [[nodiscard]] bool hasFailed() const { return m_failed; }

    // Where the bytes go; by default a FileByteSink on the file name. Tests put failing ones here.
    void setSinkFactory(SinkFactory factory) { m_sinkFactory = std::move(factory); }

    // Creates the file in `format` and emits started. Throws Error naming the file when it
    // cannot be created or the format cannot be written.
    void beginStream(const WaveFormat& format) override;
    void writeSamples(std::span<const std::int16_t> samples) override;
    // Closes the file and emits stopped.
    void endStream() override;
    [[nodiscard]] bool accepting() const override { return m_enabled && m_file && !m_failed; }

    // Brings the header up to date and pushes the file to the disk now.
    void refreshNow();

signals:
    void started();
    void stopped();

private:
    void close();
    void dropCreatedFile();
    void refreshHeader(bool sync);
    void checkSink(const char* doing);
    void maybeRefresh();
    void checkNamed();

    MessageSink& m_messages;
    SinkFactory m_sinkFactory;
    std::unique_ptr<ByteSink> m_sink;
    sf_private_tag* m_file = nullptr;
    QString m_fileName;
    QString m_openPath; // the file open now, as named when it was created
    QString m_openName; // the same, for messages
    QDateTime m_startTime;
    bool m_enabled = false;
    bool m_failed = false;
    bool m_dirty = false;
    bool m_hasHeader = true; // a WAV file, whose sizes are brought up to date
    int m_refreshMs = 1000;
    int m_rate = 8000;
    std::int64_t m_frames = 0;
    QElapsedTimer m_sinceHeader;
    QElapsedTimer m_sinceSync;
    QElapsedTimer m_sinceHandOver;
    QTimer m_refreshTimer;
};

} // namespace wendmoor
