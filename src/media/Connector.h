#pragma once

#include "media/AudioSink.h"

#include <functional>
#include <vector>

namespace wendmoor {

// Passes the input's buffers on to the next stage, and first shows each of them to its taps
// (the level meter, the start/pause control), so that a tap that resumes a paused writer has
// the very buffer that resumed it written.
class Connector final : public AudioSink {
public:
    using Tap = std::function<void(std::span<const std::int16_t>)>;

    void setOutput(AudioSink* output) { m_output = output; }
    void addTap(Tap tap) { m_taps.push_back(std::move(tap)); }

    void beginStream(const WaveFormat& format) override
    {
        if (m_output)
            m_output->beginStream(format);
    }
    void writeSamples(std::span<const std::int16_t> samples) override
    {
        for (const Tap& tap : m_taps)
            tap(samples);
        if (m_output)
            m_output->writeSamples(samples);
    }
    void endStream() override
    {
        if (m_output)
            m_output->endStream();
    }
    [[nodiscard]] bool accepting() const override { return m_output && m_output->accepting(); }

private:
    AudioSink* m_output = nullptr;
    std::vector<Tap> m_taps;
};

} // namespace wendmoor
