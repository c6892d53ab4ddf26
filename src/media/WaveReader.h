#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <span>

namespace wendmoor {

// Reads the audio of a log (WAV, FLAC, Opus) as interleaved 16-bit samples from any frame. Used on one thread
// at a time.
class WaveReader {
public:
    virtual ~WaveReader() = default;

    [[nodiscard]] int sampleRate() const { return m_rate; }
    [[nodiscard]] int channels() const { return m_channels; }
    // Frames in the file as it was when opened: a file still being written keeps this length.
    [[nodiscard]] std::int64_t frames() const { return m_frames; }

    // Reads from `frame` (0 to frames()) on. Throws Error naming the file.
    virtual void seek(std::int64_t frame) = 0;
    // Fills `out` with whole frames and returns how many; fewer only at the end of the file (or
    // where a file that lost its tail ends). Throws Error naming the file when it cannot be read.
    [[nodiscard]] virtual std::int64_t read(std::span<std::int16_t> out) = 0;

protected:
    int m_rate = 0;
    int m_channels = 1;
    std::int64_t m_frames = 0;
};

// Opens a WAV file of any layout a station meets: GSM 6.10 through a decoder of its own that
// seeks to any block, every other one (PCM of 8 to 32 bits, float, extensible, A-law, µ-law,
// ADPCM) through libsndfile, floats scaled so that 1.0 is full scale; FLAC and Ogg (Opus, Vorbis)
// files through libsndfile too, a FLAC file that states no length (its recording was cut short
// or goes on) measured up to its last whole frame. Throws Error: FileNotFound,
// WaveFileRead for a file that cannot be read or decoded, WaveFormatUnsupported for more than
// two channels; each names the file and gives the reason.
[[nodiscard]] std::unique_ptr<WaveReader> openWaveReader(const QString& path);

} // namespace wendmoor
