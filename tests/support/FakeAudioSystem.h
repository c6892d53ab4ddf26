#pragma once

#include "media/AudioSystem.h"
#include "media/CaptureRing.h"

#include <atomic>
#include <deque>
#include <vector>

namespace wendmoor::test {

// An input whose samples the test feeds, from any one thread, into a capture ring like the real
// device's: what does not fit comes back as counted silence.
class FakeCaptureStream final : public CaptureStream {
public:
    struct Shared {
        explicit Shared(std::size_t capacity = std::size_t { 1 } << 20)
            : ring(capacity)
        {
        }
        CaptureRing ring;
        std::atomic<bool> running { false };
        std::atomic<bool> open { false };
        std::atomic<int> starts { 0 };
        std::atomic<int> device { -1 };
        std::atomic<int> rate { 0 };
    };
    explicit FakeCaptureStream(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
        m_shared->open = true;
    }
    ~FakeCaptureStream() override
    {
        m_shared->open = false;
        m_shared->running = false;
    }
    FakeCaptureStream(const FakeCaptureStream&) = delete;
    FakeCaptureStream& operator=(const FakeCaptureStream&) = delete;

    int sampleRate() const override { return m_shared->rate; }
    QString deviceName() const override { return QStringLiteral("Fake input %1").arg(m_shared->device.load()); }
    void start() override
    {
        m_shared->running = true;
        ++m_shared->starts;
    }
    void stop() override { m_shared->running = false; }
    bool isRunning() const override { return m_shared->running; }
    std::size_t read(std::span<std::int16_t> out) override { return m_shared->ring.read(out); }
    std::uint64_t takeDroppedFrames() override { return m_shared->ring.takeDroppedFrames(); }

private:
    std::shared_ptr<Shared> m_shared;
};

// An output that keeps everything written to it; the test decides when the "device" plays.
class FakePlaybackStream final : public PlaybackStream {
public:
    struct Shared {
        std::vector<std::int16_t> played; // samples handed to the device
        std::deque<std::int16_t> queued;
        std::size_t capacityFrames = 48000;
        bool running = false;
        bool open = false;
        int device = -1;
        int rate = 0;
        int channels = 0;
        std::int64_t framesPlayed = 0;
    };
    explicit FakePlaybackStream(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
        m_shared->open = true;
    }
    ~FakePlaybackStream() override
    {
        m_shared->open = false;
        m_shared->running = false;
    }
    FakePlaybackStream(const FakePlaybackStream&) = delete;
    FakePlaybackStream& operator=(const FakePlaybackStream&) = delete;

    int sampleRate() const override { return m_shared->rate; }
    int channels() const override { return m_shared->channels; }
    QString deviceName() const override { return QStringLiteral("Fake output %1").arg(m_shared->device); }
    void start() override { m_shared->running = true; }
    void stop() override
    {
        m_shared->running = false;
        m_shared->queued.clear();
    }
    bool isRunning() const override { return m_shared->running; }
    std::size_t writableFrames() const override
    {
        const std::size_t queuedFrames = m_shared->queued.size() / static_cast<std::size_t>(m_shared->channels);
        return queuedFrames >= m_shared->capacityFrames ? 0 : m_shared->capacityFrames - queuedFrames;
    }
    std::size_t write(std::span<const std::int16_t> interleaved) override
    {
        const auto ch = static_cast<std::size_t>(m_shared->channels);
        const std::size_t frames = std::min(interleaved.size() / ch, writableFrames());
        m_shared->queued.insert(m_shared->queued.end(), interleaved.begin(),
            interleaved.begin() + static_cast<std::ptrdiff_t>(frames * ch));
        return frames;
    }
    std::int64_t framesPlayed() const override { return m_shared->framesPlayed; }
    std::size_t queuedFrames() const override
    {
        return m_shared->queued.size() / static_cast<std::size_t>(m_shared->channels);
    }

private:
    std::shared_ptr<Shared> m_shared;
};

class FakeAudioSystem final : public AudioSystem {
public:
    QStringList inputs { QStringLiteral("Fake input 0") };
    QStringList outputs { QStringLiteral("Fake output 0") };
    // Rates the fake input can run at; any other rate opens at the first of them. Empty: any.
    std::vector<int> supportedInputRates;
    std::atomic<bool> failOpen { false };

    std::shared_ptr<FakeCaptureStream::Shared> capture = std::make_shared<FakeCaptureStream::Shared>();
    std::shared_ptr<FakePlaybackStream::Shared> playback = std::make_shared<FakePlaybackStream::Shared>();
    int captureOpens = 0;
    int playbackOpens = 0;

    QStringList inputDeviceNames() override { return inputs; }
    QStringList outputDeviceNames() override { return outputs; }
    std::unique_ptr<CaptureStream> openCapture(int device, int sampleRate) override;
    std::unique_ptr<PlaybackStream> openPlayback(int device, int sampleRate, int channels) override;

    // Feed samples into the input, as if the sound card had captured them.
    void feed(std::span<const std::int16_t> samples) { capture->ring.push(samples); }
    // Let the output device take up to `frames` queued frames.
    void play(std::size_t frames);
};

} // namespace wendmoor::test
