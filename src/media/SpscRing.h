#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <span>
#include <vector>

namespace wendmoor {

// A single-producer, single-consumer ring of samples. One thread writes, one other thread
// reads; neither blocks, locks or allocates after construction, so an audio callback may use
// either end.
template <typename T> class SpscRing {
public:
    explicit SpscRing(std::size_t capacity)
        : m_buffer(capacity + 1)
    {
    }

    [[nodiscard]] std::size_t capacity() const { return m_buffer.size() - 1; }

    // Producer side.
    [[nodiscard]] std::size_t writable() const
    {
        const std::size_t w = m_write.load(std::memory_order_relaxed);
        const std::size_t r = m_read.load(std::memory_order_acquire);
        return (r + m_buffer.size() - w - 1) % m_buffer.size();
    }
    std::size_t write(std::span<const T> data)
    {
        const std::size_t n = std::min(data.size(), writable());
        std::size_t w = m_write.load(std::memory_order_relaxed);
        const std::size_t first = std::min(n, m_buffer.size() - w);
        std::copy_n(data.begin(), first, m_buffer.begin() + static_cast<std::ptrdiff_t>(w));
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(first), n - first, m_buffer.begin());
        w = (w + n) % m_buffer.size();
        m_write.store(w, std::memory_order_release);
        return n;
    }

    // Consumer side.
    [[nodiscard]] std::size_t readable() const
    {
        const std::size_t w = m_write.load(std::memory_order_acquire);
        const std::size_t r = m_read.load(std::memory_order_relaxed);
        return (w + m_buffer.size() - r) % m_buffer.size();
    }
    std::size_t read(std::span<T> out)
    {
        const std::size_t n = std::min(out.size(), readable());
        std::size_t r = m_read.load(std::memory_order_relaxed);
        const std::size_t first = std::min(n, m_buffer.size() - r);
        std::copy_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(r), first, out.begin());
        std::copy_n(m_buffer.begin(), n - first, out.begin() + static_cast<std::ptrdiff_t>(first));
        r = (r + n) % m_buffer.size();
        m_read.store(r, std::memory_order_release);
        return n;
    }
    // Consumer side: forget everything queued.
    void clear() { m_read.store(m_write.load(std::memory_order_acquire), std::memory_order_release); }

private:
    std::vector<T> m_buffer;
    std::atomic<std::size_t> m_write { 0 };
    std::atomic<std::size_t> m_read { 0 };
};

} // namespace wendmoor
