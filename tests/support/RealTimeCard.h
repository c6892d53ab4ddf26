#pragma once

#include "FakeAudioSystem.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace wendmoor::test {

// A sound card that captures a counting signal (every sample the one before plus one) into the
// fake input in real time, 20 ms at a 22050 Hz rate at a time, on a thread of its own: at least
// `minBlocks` blocks, and on until finish().
class RealTimeCard {
public:
    RealTimeCard(FakeAudioSystem& audio, int minBlocks)
        : m_thread([this, &audio, minBlocks] {
            std::vector<std::int16_t> block(441);
            const auto begin = std::chrono::steady_clock::now();
            for (int i = 0; i < minBlocks || !m_finish; ++i) {
                for (auto& sample : block)
                    sample = m_counter = static_cast<std::int16_t>((m_counter + 1) & 0x7fff);
                audio.feed(block);
                m_fed += block.size();
                std::this_thread::sleep_until(begin + std::chrono::milliseconds(20 * (i + 1)));
            }
        })
    {
    }
    ~RealTimeCard() { finish(); }
    RealTimeCard(const RealTimeCard&) = delete;
    RealTimeCard& operator=(const RealTimeCard&) = delete;

    // Stops after the least number of blocks, and returns once the card has stopped.
    void finish()
    {
        m_finish = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // Samples captured; read after finish().
    [[nodiscard]] std::size_t fed() const { return m_fed; }

private:
    std::atomic<bool> m_finish { false };
    std::int16_t m_counter = 0;
    std::size_t m_fed = 0;
    std::thread m_thread; // last: starts once the rest is made
};

} // namespace wendmoor::test
