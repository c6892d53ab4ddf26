#include "media/SpscRing.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

namespace wendmoor {
namespace {

// On a ring of 8 whose indexes start at an offset, a write and a read of the given sizes: what
// the ring took comes out in order, whichever way the indexes wrap.
TEST(SpscRing, WritesAndReadsAcrossTheEndComeOutInOrder)
{
    const std::size_t cases[][3] = { { 0, 5, 5 }, { 7, 3, 3 }, { 3, 8, 8 }, { 2, 11, 11 }, { 6, 6, 4 }, { 4, 0, 3 } };
    for (const auto [offset, write, read] : cases) {
        SpscRing<int> ring(8);
        std::vector<int> skip(offset), in(write), out(read);
        ring.write(skip);
        ring.read(skip);
        std::iota(in.begin(), in.end(), 1);
        const std::size_t taken = ring.write(in);
        EXPECT_EQ(taken, std::min<std::size_t>(write, 8)) << offset << ' ' << write;
        const std::size_t got = ring.read(out);
        EXPECT_EQ(got, std::min(taken, read)) << offset << ' ' << write;
        out.resize(got);
        in.resize(got);
        EXPECT_EQ(out, in) << offset << ' ' << write;
        EXPECT_EQ(ring.writable(), 8 - (taken - got)) << offset << ' ' << write;
    }
}

// A producer and a consumer thread with odd block sizes on a small ring: every value arrives
// once, in order.
TEST(SpscRing, TwoThreadsPassACountingSequenceUnbroken)
{
    constexpr int kTotal = 2'000'000;
    SpscRing<int> ring(97);
    std::thread producer([&] {
        std::vector<int> block(13);
        for (int next = 0; next < kTotal;) {
            const auto n = std::min<std::size_t>(block.size(), static_cast<std::size_t>(kTotal - next));
            std::iota(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n), next);
            next += static_cast<int>(ring.write(std::span<const int>(block.data(), n)));
        }
    });
    std::vector<int> out(31);
    int expected = 0;
    bool inOrder = true;
    while (expected < kTotal) {
        const std::size_t n = ring.read(out);
        for (std::size_t i = 0; i < n; ++i)
            inOrder = inOrder && out[i] == expected++;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
}

} // namespace
} // namespace wendmoor
