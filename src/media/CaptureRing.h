#pragma once

#include "media/SpscRing.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <span>
#include <utility>

namespace wendmoor {

// The capture side of a sound input: the device's callback thread pushes what it captured, the
// recording thread reads it. Samples the ring has no room for are not dropped from the timeline:
// they come back as silence after what the ring held, so later audio keeps its time, and they
// are counted for the operator. push() never blocks, locks or allocates.
class CaptureRing {
public:
    explicit CaptureRing(std::size_t capacity)
        : m_ring(capacity)
    {
    }

    [[nodiscard]] std::size_t capacity() const { return m_ring.capacity(); }

    // Producer (the device's callback thread).
    void push(std::span<const std::int16_t> samples)
    {
        const std::size_t lost = samples.size() - m_ring.write(samples);
        if (lost > 0)
            m_pendingSilence.fetch_add(lost, std::memory_order_acq_rel);
    }

    // Consumer: up to out.size() samples, the silence owed for lost ones after what the ring held.
    [[nodiscard]] std::size_t read(std::span<std::int16_t> out)
    {
        std::size_t n = m_ring.read(out);
        if (n < out.size()) {
            const std::uint64_t pending = m_pendingSilence.load(std::memory_order_acquire);
            if (pending > 0) {
                const auto fill = static_cast<std::size_t>(std::min<std::uint64_t>(pending, out.size() - n));
                std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(n), fill, std::int16_t { 0 });
                m_pendingSilence.fetch_sub(fill, std::memory_order_acq_rel);
                m_dropped += fill;
                n += fill;
            }
        }
        return n;
    }
    // Consumer: the samples replaced by silence since the last call.
    [[nodiscard]] std::uint64_t takeDroppedFrames() { return std::exchange(m_dropped, 0); }

private:
    SpscRing<std::int16_t> m_ring;
    std::atomic<std::uint64_t> m_pendingSilence { 0 };
    std::uint64_t m_dropped = 0;
};

} // namespace wendmoor
