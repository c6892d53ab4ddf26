#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct soxr;

namespace wendmoor {

// High-quality streaming sample-rate conversion of 16-bit mono audio (soxr). State carries
// across calls, so a stream cut into buffers converts as one piece; flush() gives what the
// filter still holds at the end.
class Resampler {
public:
    // Throws Error (Resampler) when soxr refuses the rates.
    Resampler(int inputRate, int outputRate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    [[nodiscard]] int inputRate() const { return m_inRate; }
    [[nodiscard]] int outputRate() const { return m_outRate; }

    // Converts `in` and appends the output to `out`.
    void process(std::span<const std::int16_t> in, std::vector<std::int16_t>& out);
    // Appends the rest held in the filter to `out`; the resampler then starts afresh.
    void flush(std::vector<std::int16_t>& out);

private:
    void create();

    int m_inRate;
    int m_outRate;
    soxr* m_soxr = nullptr;
};

} // namespace wendmoor
