#include "media/SpscRing.h"
#include "media/CaptureRing.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

using namespace wendmoor;

namespace {

// Writes and reads of the given sizes in turn, starting at an offset, on a ring of 8: whatever
// the ring took comes out in order, whichever way the indexes wrap.
TEST(SpscRing, WritesAndReadsAcrossTheEndComeOutInOrder)
{
    struct Case {
        const char* name;
        std::size_t offset, write, read;
    } cases[] = {
        { "fits before the end", 0, 5, 5 },
        { "wraps by one", 7, 3, 3 },
        { "fills exactly", 3, 8, 8 },
        { "more than room", 2, 11, 11 },
        { "read in two", 6, 6, 4 },
        { "empty read", 4, 0, 3 },
    };
    for (const Case& c : cases) {
        SpscRing<int> ring(8);
        std::vector<int> skip(c.offset);
        ring.write(skip);
        ring.read(skip);
        std::vector<int> in(c.write);
        std::iota(in.begin(), in.end(), 1);
        const std::size_t taken = ring.write(in);
        EXPECT_EQ(taken, std::min<std::size_t>(c.write, 8)) << c.name;
        EXPECT_EQ(ring.readable(), taken) << c.name;
        std::vector<int> out(c.read);
        const std::size_t got = ring.read(out);
        EXPECT_EQ(got, std::min(taken, c.read)) << c.name;
        for (std::size_t i = 0; i < got; ++i)
            ASSERT_EQ(out[i], static_cast<int>(i) + 1) << c.name;
        EXPECT_EQ(ring.writable(), 8 - (taken - got)) << c.name;
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
        int next = 0;
        while (next < kTotal) {
            const std::size_t n = std::min<std::size_t>(block.size(), static_cast<std::size_t>(kTotal - next));
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
    EXPECT_EQ(ring.readable(), 0u);
}

// What a full ring cannot take comes back as silence after what it held, so that later audio
// keeps its time, and is counted once.
TEST(CaptureRing, OverflowComesBackAsCountedSilenceInItsPlace)
{
    CaptureRing ring(4);
    const std::int16_t first[] = { 1, 2, 3, 4, 5, 6 };
    ring.push(first); // 5 and 6 are lost
    std::vector<std::int16_t> out(3);
    ASSERT_EQ(ring.read(out), 3u);
    EXPECT_EQ(out, (std::vector<std::int16_t> { 1, 2, 3 }));
    const std::int16_t second[] = { 7, 8 };
    ring.push(second);
    std::vector<std::int16_t> rest(10);
    rest.resize(ring.read(rest));
    // 4, then the ring's 7 and 8 — the silence owed for 5 and 6 comes after what the ring holds.
    EXPECT_EQ(rest, (std::vector<std::int16_t> { 4, 7, 8, 0, 0 }));
    EXPECT_EQ(ring.takeDroppedFrames(), 2u);
    EXPECT_EQ(ring.takeDroppedFrames(), 0u);
}

} // namespace
