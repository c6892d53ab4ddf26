#pragma once

#include "media/AudioSystem.h"
#include "media/CaptureRing.h"
#include "platform/Error.h"

#include <algorithm>
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
        std::atomic<int> device { -1 };
        std::atomic<int> rate { 0 };
    };
    explicit FakeCaptureStream(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
    }
    ~FakeCaptureStream() override { m_shared->running = false; }

    int sampleRate() const override { return m_shared->rate; }
    QString deviceName() const override { return QStringLiteral("Fake input %1").arg(m_shared->device.load()); }
    void start() override { m_shared->running = true; }
    void stop() override { m_shared->running = false; }
    bool isRunning() const override { return m_shared->running; }
    std::size_t read(std::span<std::int16_t> out) override { return m_shared->ring.read(out); }
    Dropouts takeDropouts() override { return m_shared->ring.takeDropouts(); }
    // Told only when the test stamps what it pushes.
    std::optional<std::int64_t> nextReadTakenNs() const override
    {
        return m_shared->ring.nextReadTakenNs(m_shared->rate);
    }

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
        bool running = false; // also false once the stream is closed
        int rate = 0;
        int channels = 0;
        std::int64_t framesPlayed = 0;
    };
    explicit FakePlaybackStream(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
    }
    ~FakePlaybackStream() override { m_shared->running = false; }

    int sampleRate() const override { return m_shared->rate; }
    int channels() const override { return m_shared->channels; }
    QString deviceName() const override { return QStringLiteral("Fake output"); }
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
    // Called as an input opens, on the thread that opens it (a device that takes its time).
    std::function<void()> onOpenCapture;

    std::shared_ptr<FakeCaptureStream::Shared> capture = std::make_shared<FakeCaptureStream::Shared>();
    std::shared_ptr<FakePlaybackStream::Shared> playback = std::make_shared<FakePlaybackStream::Shared>();
    int captureOpens = 0;

    QStringList inputDeviceNames() override { return inputs; }
    QStringList outputDeviceNames() override { return outputs; }
    std::unique_ptr<CaptureStream> openCapture(int device, int sampleRate) override
    {
        if (failOpen || device < 0 || device >= inputs.size())
            throw Error(
                ErrorNumber::SoundDeviceNotFound, QStringLiteral("There is no sound input number %1.").arg(device));
        if (onOpenCapture)
            onOpenCapture();
        ++captureOpens;
        capture->device = device;
        const bool supported = supportedInputRates.empty()
            || std::ranges::find(supportedInputRates, sampleRate) != supportedInputRates.end();
        capture->rate = supported ? sampleRate : supportedInputRates.front();
        return std::make_unique<FakeCaptureStream>(capture);
    }
    std::unique_ptr<PlaybackStream> openPlayback(int device, int sampleRate, int channels) override
    {
        if (failOpen || device < 0 || device >= outputs.size())
            throw Error(
                ErrorNumber::SoundDeviceNotFound, QStringLiteral("There is no sound output number %1.").arg(device));
        playback->rate = sampleRate;
        playback->channels = channels;
        playback->queued.clear();
        return std::make_unique<FakePlaybackStream>(playback);
    }

    // Feed samples into the input, as if the sound card had captured them.
    void feed(std::span<const std::int16_t> samples) { capture->ring.push(samples); }
    // Let the output device take up to `frames` queued frames.
    void play(std::size_t frames)
    {
        if (!playback->running)
            return;
        const auto n = static_cast<std::ptrdiff_t>(
            std::min(frames * static_cast<std::size_t>(playback->channels), playback->queued.size()));
        playback->played.insert(playback->played.end(), playback->queued.begin(), playback->queued.begin() + n);
        playback->queued.erase(playback->queued.begin(), playback->queued.begin() + n);
        playback->framesPlayed += n / playback->channels;
    }
};

} // namespace wendmoor::test
