#include "media/FormatConverter.h"

#include "platform/Error.h"

#include <algorithm>

namespace wendmoor {

void FormatConverter::beginStream(const WaveFormat& inputFormat)
{
    if (!m_format) {
        throw Error(ErrorNumber::WaveFormatUnsupported,
            QStringLiteral("The format converter has no output format to convert to."));
    }
    const bool sameConversion = m_resampler && m_inputRate == inputFormat.sampleRate() && m_active == *m_format;
    m_active = *m_format;
    m_inputRate = inputFormat.sampleRate();
    if (!sameConversion) {
        m_resampler.reset();
        if (inputFormat.sampleRate() != m_active.sampleRate())
            m_resampler = std::make_unique<Resampler>(inputFormat.sampleRate(), m_active.sampleRate());
    }
    m_running = true;
    if (m_output)
        m_output->beginStream(m_active);
}

void FormatConverter::writeSamples(std::span<const std::int16_t> samples)
{
    if (!m_running)
        return;
    const bool reduce = m_active.encoding() == WaveEncoding::Pcm && m_active.bitsPerSample() == 8;
    if (!m_resampler && !reduce) {
        if (m_output && !samples.empty())
            m_output->writeSamples(samples);
        return;
    }
    m_scratch.clear();
    if (m_resampler)
        m_resampler->process(samples, m_scratch);
    else
        m_scratch.assign(samples.begin(), samples.end());
    pass(m_scratch);
}

void FormatConverter::endStream()
{
    if (!m_running)
        return;
    m_running = false;
    if (m_resampler && accepting()) {
        m_scratch.clear();
        m_resampler->flush(m_scratch);
        pass(m_scratch);
        m_resampler.reset();
    }
    if (m_output)
        m_output->endStream();
}

void FormatConverter::pass(std::vector<std::int16_t>& samples)
{
    if (samples.empty() || !m_output)
        return;
    if (m_active.encoding() == WaveEncoding::Pcm && m_active.bitsPerSample() == 8)
        reduceTo8Bit(samples);
    m_output->writeSamples(samples);
}

void FormatConverter::reduceTo8Bit(std::span<std::int16_t> samples)
{
    for (std::int16_t& s : samples) {
        const int rounded = ((static_cast<int>(s) + 128) >> 8) << 8;
        s = static_cast<std::int16_t>(std::min(rounded, 32512));
    }
}

} // namespace wendmoor
