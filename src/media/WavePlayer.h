#pragma once

#include "platform/Error.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class QTimer;

namespace wendmoor {

class AudioSystem;
class PlaybackStream;
class WaveReader;

// Plays a WAV file through a sound output. Everything here runs on the user-interface thread:
// a short timer (pump()) reads the file in small blocks and queues them on the output stream,
// whose device callback only takes samples from its ring. The position is what has been heard:
// the frame playback last started from plus the frames the device has taken since.
//
// Notifications are queued, so they reach their receivers after the command that caused them
// has returned, in the order of the commands: started() on every play and resume, stopped() on
// every stop of a playing or paused file and when the end of the file has been played. A file
// that cannot be read while it plays ends its playback with failed() and stopped().
class WavePlayer final : public QObject {
    Q_OBJECT
public:
    enum class State { Stopped, Playing, Paused };

    explicit WavePlayer(AudioSystem& audio, QObject* parent = nullptr);
    ~WavePlayer() override;
    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    // The output device number; takes effect with the next file loaded.
    void setDeviceID(int device) { m_device = device; }
    [[nodiscard]] int deviceID() const { return m_device; }

    // Loads a file of any layout openWaveReader() reads, stopping what plays (with its stopped
    // notification). The length is taken now: a file still being written plays up to the length
    // it has at this moment. The new file stands at position 0. Throws Error naming the file or
    // the device; after a failure no file is loaded.
    void setFileName(const QString& path);
    [[nodiscard]] QString fileName() const { return m_path; }
    [[nodiscard]] bool isLoaded() const { return m_reader != nullptr; }

    // Length of the loaded file in milliseconds (0 when none is loaded).
    [[nodiscard]] std::int32_t lengthMs() const;
    // 0 for mono, 1 for stereo (or more channels).
    [[nodiscard]] int channelMode() const { return m_channels > 1 ? 1 : 0; }
    // Frames per second of the loaded file (0 when none is loaded).
    [[nodiscard]] int sampleRate() const { return m_reader ? m_rate : 0; }

    // Readable and settable in every state. A negative position means the start of the file, a
    // position beyond the end the end. Setting it while playing goes on playing from there.
    [[nodiscard]] std::int32_t positionMs() const;
    void setPositionMs(std::int32_t ms);

    // Starts from the position, in any state (while playing: again from what is heard now).
    // Throws Error when no file is loaded or the device cannot start.
    void play();
    // Holds the position; nothing happens unless playing.
    void pause();
    // Continues a paused playback; nothing happens in the other states.
    void resume();
    // Ends playing or paused playback at the position reached.
    void stop();
    // Ends playback at once without a notification and releases the device (the window that
    // owns the player is closing).
    void close();

    [[nodiscard]] State state() const { return m_state; }

    // Gets the samples as they are played, for a level meter, and an empty block when playback
    // stops.
    using LevelTap = std::function<void(std::span<const std::int16_t>)>;
    void setLevelTap(LevelTap tap) { m_levelTap = std::move(tap); }

    // Moves file data to the output and notices the end of the file. Runs from a 10 ms timer
    // while playing; tests call it directly.
    void pump();

signals:
    void started();
    void stopped();
    void failed(const wendmoor::Error& error);

private:
    void openFile(const QString& path);
    void closeFile();
    void startFrom(std::int64_t frame);
    void haltStream();
    void fill();
    void feedMeter(std::int64_t playedFrames);
    void halt(State state);
    void notify(void (WavePlayer::*signal)());
    [[nodiscard]] std::int64_t playedSinceStart() const;
    [[nodiscard]] std::int64_t currentFrame() const;
    [[nodiscard]] std::int64_t framesForMs(std::int64_t ms) const;
    [[nodiscard]] std::int64_t msForFrames(std::int64_t frames) const;

    AudioSystem& m_audio;
    int m_device = 0;
    QString m_path;
    std::unique_ptr<WaveReader> m_reader;
    std::unique_ptr<PlaybackStream> m_stream;
    int m_streamDevice = -1;
    int m_rate = 0;
    int m_channels = 1;
    std::int64_t m_frames = 0;

    State m_state = State::Stopped;
    std::int64_t m_baseFrame = 0; // where the current run started, or the held position
    std::int64_t m_playedAtStart = 0; // the stream's framesPlayed() at that start
    std::int64_t m_queuedFrames = 0; // frames queued since that start
    std::int64_t m_meteredFrames = 0; // frames since that start already shown on the meter

    // The last second queued, kept so that the meter can show the blocks as they are played.
    std::vector<std::int16_t> m_history;
    std::int64_t m_historyFrames = 0;
    // The block last read from the file and how much of it the output has taken.
    std::vector<std::int16_t> m_block;
    std::int64_t m_blockFrames = 0;
    std::int64_t m_blockUsed = 0;

    QTimer* m_pumpTimer;
    LevelTap m_levelTap;
};

} // namespace wendmoor
