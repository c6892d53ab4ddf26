#pragma once

#include "media/SpscRing.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <span>
#include <utility>

namespace wendmoor {

// What a capture stream lost since it was last asked.
struct Dropouts {
    std::uint64_t frames = 0; // samples the ring had no room for, replaced by silence in their place
    std::uint64_t driverOverflows = 0; // times the sound driver itself said it lost input
};

// The capture side of a sound input: the device's callback thread pushes what it captured, the
// recording thread reads it. Samples the ring has no room for are not dropped from the timeline:
// the reader gets silence for them exactly where they were lost (the stream position the loss
// began at is kept), so later audio keeps its time, and they are counted for the operator.
//
// While a loss is open, the producer adds to it and writes nothing after it until the reader has
// taken the silence: one gap at a time, so that no bookkeeping grows. The reader drains the whole
// ring on each visit, so the gap closes on the next callback after that. push() never blocks,
// locks or allocates.
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
        if (m_gapOpen) {
            if (m_silenceTaken.load(std::memory_order_acquire) != m_lostPushed) {
                addLoss(samples.size());
                return;
            }
            m_gapOpen = false;
        }
        const std::size_t lost = samples.size() - m_ring.write(samples);
        if (lost == 0)
            return;
        m_gapOpen = true;
        m_gapAt.store(m_ring.writePosition(), std::memory_order_relaxed);
        addLoss(lost);
    }
    // Producer: the driver reported that it lost input before handing it over.
    void noteDriverOverflow() { m_driverOverflows.fetch_add(1, std::memory_order_relaxed); }

    // Consumer: up to out.size() samples, with the silence owed for lost ones in their place.
    [[nodiscard]] std::size_t read(std::span<std::int16_t> out)
    {
        std::size_t n = 0;
        while (n < out.size()) {
            const std::uint64_t lost = m_lost.load(std::memory_order_acquire);
            const std::span<std::int16_t> rest = out.subspan(n);
            if (lost == m_taken) {
                n += m_ring.read(rest);
                break;
            }
            // Audio before the gap first, then its silence.
            const std::uint64_t gapAt = m_gapAt.load(std::memory_order_relaxed);
            const std::uint64_t before = gapAt - m_ring.readPosition();
            if (before > 0) {
                n += m_ring.read(rest.first(static_cast<std::size_t>(std::min<std::uint64_t>(before, rest.size()))));
                continue;
            }
            const auto fill = static_cast<std::size_t>(std::min<std::uint64_t>(lost - m_taken, rest.size()));
            std::fill_n(rest.begin(), fill, std::int16_t { 0 });
            n += fill;
            m_taken += fill;
            m_dropped += fill;
            m_silenceTaken.store(m_taken, std::memory_order_release);
        }
        return n;
    }
    // Consumer: what was lost since the last call.
    [[nodiscard]] Dropouts takeDropouts()
    {
        return { std::exchange(m_dropped, 0), m_driverOverflows.exchange(0, std::memory_order_relaxed) };
    }

private:
    void addLoss(std::size_t samples)
    {
        m_lostPushed += samples;
        m_lost.store(m_lostPushed, std::memory_order_release);
    }

    SpscRing<std::int16_t> m_ring;
    // Samples lost in total (producer) and replaced by silence in total (consumer); the gap is
    // open while they differ, at the stream position m_gapAt, which is written before m_lost.
    std::atomic<std::uint64_t> m_lost { 0 };
    std::atomic<std::uint64_t> m_silenceTaken { 0 };
    std::atomic<std::uint64_t> m_gapAt { 0 };
    std::atomic<std::uint64_t> m_driverOverflows { 0 };
    std::uint64_t m_lostPushed = 0; // producer only
    bool m_gapOpen = false; // producer only
    std::uint64_t m_taken = 0; // consumer only
    std::uint64_t m_dropped = 0; // consumer only
};

} // namespace wendmoor
