#pragma once

#include "media/AudioSink.h"
#include "media/Resampler.h"

#include <memory>
#include <optional>
#include <vector>

namespace wendmoor {

// Converts the 16-bit input into the recording format: resamples when the input's rate differs
// from the output format's, and reduces to 8 bit where the format asks. GSM 6.10 leaves here as
// 16-bit samples at the format's rate; the file writer encodes it. Runs on the user-interface
// thread; the resampler's state carries from buffer to buffer and is flushed when the chain stops.
class FormatConverter final : public AudioSink {
public:
    FormatConverter() = default;

    void setOutput(AudioSink* output) { m_output = output; }
    void setOutputFormat(const WaveFormat& format) { m_format = format; }
    [[nodiscard]] std::optional<WaveFormat> outputFormat() const { return m_format; }

    // Throws Error when no output format was set or the rates cannot be converted.
    void beginStream(const WaveFormat& inputFormat) override;
    void writeSamples(std::span<const std::int16_t> samples) override;
    // Flushes what the resampler holds when the output keeps it; otherwise (a roll-over with
    // the writer switched off) keeps it for the next stream of the same formats.
    void endStream() override;
    [[nodiscard]] bool accepting() const override { return m_output && m_output->accepting(); }

    // Rounds 16-bit samples to the nearest 8-bit step (a multiple of 256), clipping at the top,
    // so that storing the high byte keeps the best 8-bit value.
    static void reduceTo8Bit(std::span<std::int16_t> samples);

private:
    void pass(std::vector<std::int16_t>& samples);

    AudioSink* m_output = nullptr;
    std::optional<WaveFormat> m_format;
    WaveFormat m_active = WaveFormat::pcm(8000, 16);
    std::unique_ptr<Resampler> m_resampler;
    std::vector<std::int16_t> m_scratch;
    int m_inputRate = 0;
    bool m_running = false;
};

} // namespace wendmoor
