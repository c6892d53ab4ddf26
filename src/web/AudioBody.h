#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace wendmoor {

// Audio the server sends in pieces from any byte, so that a browser can seek with range
// requests and nothing is read into memory beyond one piece at a time. Used by one thread.
class AudioBody {
public:
    using Write = std::function<bool(const char* data, std::size_t size)>;
    virtual ~AudioBody() = default;

    [[nodiscard]] virtual std::int64_t size() const = 0;
    [[nodiscard]] virtual const char* mimeType() const = 0;
    // Sends bytes [offset, offset + length) through `write`; false when `write` refused (the
    // client went away) or the log could not be read.
    [[nodiscard]] virtual bool send(std::int64_t offset, std::int64_t length, const Write& write) = 0;
};

// A log as browsers can play it: a PCM WAV, FLAC or Opus log as it is on disk (its length when
// opened: a log being written is sent up to its last write), any other WAV (GSM 6.10, A-law,
// ADPCM …) decoded to a 16-bit PCM WAV on the fly. Throws Error naming the file.
[[nodiscard]] std::unique_ptr<AudioBody> openLogBody(const QString& path);

// A 16-bit PCM WAV of the log from `frame` on (at most `frames` of them when not negative),
// decoded on the fly whatever its format, at most as long as a WAV can say. Throws Error naming
// the file.
[[nodiscard]] std::unique_ptr<AudioBody> openDecodedBody(
    const QString& path, std::int64_t frame, std::int64_t frames = -1);

// The 44-byte header of a 16-bit PCM WAV.
[[nodiscard]] std::string pcmWavHeader(int sampleRate, int channels, std::int64_t frames);

} // namespace wendmoor
