#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace wendmoor {

// A single-producer, single-consumer ring of samples. One thread writes, one other thread
// reads; neither blocks, locks or allocates after construction, so an audio callback may use
// either end.
//
// The write and read indexes run freely (they count every sample ever written and read, and are
// reduced to a place in the buffer only on access), so that a position in the stream keeps its
// meaning across the wrap: the capture ring marks where a loss began by it.
template <typename T> class SpscRing {
public:
    explicit SpscRing(std::size_t capacity)
        : m_buffer(std::max<std::size_t>(capacity, 1))
    {
    }

    [[nodiscard]] std::size_t capacity() const { return m_buffer.size(); }

    // Producer side.
    [[nodiscard]] std::size_t writable() const
    {
        const std::uint64_t w = m_write.load(std::memory_order_relaxed);
        const std::uint64_t r = m_read.load(std::memory_order_acquire);
        return m_buffer.size() - static_cast<std::size_t>(w - r);
    }
    // Samples written since construction: the stream position of the next one written.
    [[nodiscard]] std::uint64_t writePosition() const { return m_write.load(std::memory_order_relaxed); }
    std::size_t write(std::span<const T> data)
    {
        const std::size_t n = std::min(data.size(), writable());
        const std::uint64_t w = m_write.load(std::memory_order_relaxed);
        const std::size_t at = place(w);
        const std::size_t first = std::min(n, m_buffer.size() - at);
        std::copy_n(data.begin(), first, m_buffer.begin() + static_cast<std::ptrdiff_t>(at));
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(first), n - first, m_buffer.begin());
        m_write.store(w + n, std::memory_order_release);
        return n;
    }

    // Consumer side.
    [[nodiscard]] std::size_t readable() const
    {
        const std::uint64_t w = m_write.load(std::memory_order_acquire);
        const std::uint64_t r = m_read.load(std::memory_order_relaxed);
        return static_cast<std::size_t>(w - r);
    }
    // Samples read since construction: the stream position of the next one read.
    [[nodiscard]] std::uint64_t readPosition() const { return m_read.load(std::memory_order_relaxed); }
    std::size_t read(std::span<T> out)
    {
        const std::size_t n = std::min(out.size(), readable());
        const std::uint64_t r = m_read.load(std::memory_order_relaxed);
        const std::size_t at = place(r);
        const std::size_t first = std::min(n, m_buffer.size() - at);
        std::copy_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(at), first, out.begin());
        std::copy_n(m_buffer.begin(), n - first, out.begin() + static_cast<std::ptrdiff_t>(first));
        m_read.store(r + n, std::memory_order_release);
        return n;
    }
    // Consumer side: forget everything queued.
    void clear() { m_read.store(m_write.load(std::memory_order_acquire), std::memory_order_release); }

private:
    [[nodiscard]] std::size_t place(std::uint64_t index) const
    {
        return static_cast<std::size_t>(index % m_buffer.size());
    }

    std::vector<T> m_buffer;
    std::atomic<std::uint64_t> m_write { 0 };
    std::atomic<std::uint64_t> m_read { 0 };
};

} // namespace wendmoor
