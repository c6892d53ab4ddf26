#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace wendmoor::test {

// The value of a sample: frame number and channel.
using SampleFn = std::function<std::int16_t(std::int64_t frame, int channel)>;

// A counting pattern: every frame carries its own number (modulo 32768), the right channel its
// negative, so that played samples tell which frames of the file they were.
[[nodiscard]] inline std::int16_t countingSample(std::int64_t frame, int channel)
{
    const auto v = static_cast<std::int16_t>(frame % 32768);
    return channel == 0 ? v : static_cast<std::int16_t>(-v);
}

// Writes a 16-bit PCM WAV file through libsndfile. Returns false when it cannot be written.
bool writeWav(
    const QString& path, int rate, int channels, std::int64_t frames, const SampleFn& sample = countingSample);
// A mono 8000 Hz log of `ms` milliseconds with the counting pattern.
bool writeLog(const QString& path, std::int64_t ms);

} // namespace wendmoor::test
