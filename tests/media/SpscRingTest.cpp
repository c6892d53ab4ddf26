#include "media/SpscRing.h"
#include "media/CaptureRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
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

// A capture ring of 8 fed a counting sequence (each push continues it, lost samples included)
// and read in the given sizes (a step > 0 pushes that many, < 0 reads up to that many): what comes
// out is the sequence with silence (0) exactly where samples were lost, however full the ring was
// when the loss began and whenever the reader comes by.
TEST(CaptureRing, LostSamplesAreSilenceExactlyWhereTheLossBegan)
{
    struct Case {
        const char* name;
        std::vector<int> steps;
        std::vector<std::int16_t> expected;
    } cases[] = {
        { "overflow while partly full, then a push before the reader comes", { 6, -3, 6, -4, 2, -16, 2, -16 },
            { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 0, 0, 15, 16 } },
        { "the silence read in parts, a push meanwhile", { 12, -10, -1, 2, -1, -9, 2, -4 },
            { 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 15, 16 } },
        { "two losses, each in its place", { 10, -16, 4, 7, -3, -16 },
            { 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0 } },
    };
    for (const Case& c : cases) {
        CaptureRing ring(8);
        std::vector<std::int16_t> out;
        std::int16_t next = 1;
        for (const int step : c.steps) {
            std::vector<std::int16_t> block(static_cast<std::size_t>(std::abs(step)));
            if (step > 0) {
                std::iota(block.begin(), block.end(), next);
                next = static_cast<std::int16_t>(next + step);
                ring.push(block);
            } else {
                block.resize(ring.read(block));
                out.insert(out.end(), block.begin(), block.end());
            }
        }
        EXPECT_EQ(out, c.expected) << c.name;
        EXPECT_EQ(ring.takeDropouts().frames, static_cast<std::uint64_t>(std::ranges::count(c.expected, 0))) << c.name;
    }
}

// A producer that outruns a slow reader on a small ring: every sample comes out at its own place
// in the stream, as itself or as silence, and nothing is lost from the timeline.
TEST(CaptureRing, ThreadsKeepEverySampleAtItsPlaceUnderOverflow)
{
    constexpr std::size_t kTotal = 1'000'000;
    const auto value = [](std::size_t i) { return static_cast<std::int16_t>(i % 30000 + 1); };
    CaptureRing ring(97);
    std::thread producer([&] {
        std::vector<std::int16_t> block(13);
        for (std::size_t next = 0; next < kTotal; next += block.size()) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = value(next + i);
            ring.push(block);
        }
    });
    std::vector<std::int16_t> out(31);
    std::size_t at = 0, misplaced = 0, silent = 0;
    const std::size_t pushed = (kTotal + 12) / 13 * 13;
    while (at < pushed) {
        const std::size_t n = ring.read(out);
        for (std::size_t i = 0; i < n; ++i, ++at) {
            silent += out[i] == 0;
            misplaced += out[i] != 0 && out[i] != value(at);
        }
        if (n == 0 || at % 1000 < n)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    producer.join();
    EXPECT_EQ(misplaced, 0u);
    EXPECT_GT(silent, 0u) << "the reader never fell behind";
    EXPECT_EQ(ring.takeDropouts().frames, silent);
}

} // namespace
} // namespace wendmoor
