#pragma once

#include "media/SpscRing.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
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
        m_produced += samples.size();
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
    // Producer, after a push: the last sample pushed so far was taken at `takenNs` on the steady
    // clock (std::chrono::steady_clock). The reader learns from it when each sample it reads was
    // taken; never locks.
    void stamp(std::int64_t takenNs)
    {
        const std::uint64_t seq = m_stampSeq.load(std::memory_order_relaxed);
        m_stampSeq.store(seq + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        m_stampFrames.store(m_produced, std::memory_order_relaxed);
        m_stampNs.store(takenNs, std::memory_order_relaxed);
        m_stampSeq.store(seq + 2, std::memory_order_release);
    }

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
        m_consumed += n;
        return n;
    }
    // Consumer: when the next sample to be read was (or will be) taken, on the steady clock, at
    // `rate` samples a second; nothing before the producer's first stamp.
    [[nodiscard]] std::optional<std::int64_t> nextReadTakenNs(int rate) const
    {
        std::uint64_t frames = 0;
        std::int64_t ns = 0;
        for (;;) {
            const std::uint64_t seq = m_stampSeq.load(std::memory_order_acquire);
            frames = m_stampFrames.load(std::memory_order_relaxed);
            ns = m_stampNs.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if ((seq & 1U) == 0 && m_stampSeq.load(std::memory_order_relaxed) == seq) {
                if (seq == 0 || rate <= 0)
                    return std::nullopt;
                break;
            }
        }
        // The stamped sample is frames - 1; the next one to read is m_consumed (signed: the
        // reader may have read past the last stamp).
        const auto ahead = static_cast<std::int64_t>(m_consumed) - static_cast<std::int64_t>(frames) + 1;
        return ns + ahead * 1'000'000'000 / rate;
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
    // Samples pushed in total, lost ones included (producer), and the last stamp: the sample count
    // and its time, written under a sequence count that is odd while they change.
    std::uint64_t m_produced = 0; // producer only
    std::atomic<std::uint64_t> m_stampSeq { 0 };
    std::atomic<std::uint64_t> m_stampFrames { 0 };
    std::atomic<std::int64_t> m_stampNs { 0 };
    std::uint64_t m_consumed = 0; // consumer only: samples read, silence included
    std::uint64_t m_taken = 0; // consumer only
    std::uint64_t m_dropped = 0; // consumer only
};

} // namespace wendmoor
