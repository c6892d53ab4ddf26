#include "media/PortAudioSystem.h"

#include "media/SpscRing.h"
#include "platform/Error.h"

#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <utility>
#include <vector>

namespace wendmoor {

namespace {

QString paText(PaError err)
{
    return QString::fromLocal8Bit(Pa_GetErrorText(err));
}

// PortAudio device indexes of the devices with inputs (or outputs), in the library's order.
std::vector<PaDeviceIndex> deviceIndexes(bool input)
{
    std::vector<PaDeviceIndex> result;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && (input ? info->maxInputChannels : info->maxOutputChannels) > 0)
            result.push_back(i);
    }
    return result;
}

QStringList deviceNames(bool input)
{
    QStringList names;
    for (PaDeviceIndex i : deviceIndexes(input))
        names.append(QString::fromLocal8Bit(Pa_GetDeviceInfo(i)->name));
    return names;
}

PaDeviceIndex paIndex(bool input, int device, const char* kind)
{
    const std::vector<PaDeviceIndex> indexes = deviceIndexes(input);
    if (device < 0 || device >= static_cast<int>(indexes.size())) {
        throw Error(ErrorNumber::SoundDeviceNotFound,
                    QStringLiteral("There is no %1 device number %2 on this machine (%3 found).")
                        .arg(QLatin1String(kind))
                        .arg(device)
                        .arg(indexes.size()));
    }
    return indexes[static_cast<std::size_t>(device)];
}

constexpr unsigned long kFramesPerBuffer = 512;

class OpenStreamCount {
public:
    explicit OpenStreamCount(std::shared_ptr<int> count) : m_count(std::move(count)) { ++*m_count; }
    ~OpenStreamCount() { --*m_count; }
    OpenStreamCount(const OpenStreamCount&) = delete;
    OpenStreamCount& operator=(const OpenStreamCount&) = delete;

private:
    std::shared_ptr<int> m_count;
};

class PaCapture final : public CaptureStream {
public:
    PaCapture(std::shared_ptr<int> count, PaDeviceIndex index, int rate)
        : m_count(std::move(count)), m_ring(static_cast<std::size_t>(rate) * 8)
    {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        m_name = QString::fromLocal8Bit(info->name);
        PaStreamParameters p{};
        p.device = index;
        p.sampleFormat = paInt16;
        // Latency costs a recorder nothing, while a short device buffer overruns (and loses audio)
        // whenever the machine is busy for a moment.
        p.suggestedLatency = std::max(info->defaultHighInputLatency, 0.25);
        // Mono where the device offers it; otherwise its first two channels, mixed down.
        p.channelCount = 1;
        double useRate = rate;
        if (Pa_IsFormatSupported(&p, nullptr, useRate) != paFormatIsSupported) {
            p.channelCount = std::min(2, info->maxInputChannels);
            if (Pa_IsFormatSupported(&p, nullptr, useRate) != paFormatIsSupported) {
                useRate = info->defaultSampleRate;
                p.channelCount = 1;
                if (Pa_IsFormatSupported(&p, nullptr, useRate) != paFormatIsSupported)
                    p.channelCount = std::min(2, info->maxInputChannels);
            }
        }
        m_channels = p.channelCount;
        const PaError err = Pa_OpenStream(&m_stream, &p, nullptr, useRate, kFramesPerBuffer, paClipOff,
                                          &PaCapture::callback, this);
        if (err != paNoError) {
            m_stream = nullptr;
            throw Error(ErrorNumber::SoundDeviceOpen,
                        QStringLiteral("The sound input \"%1\" could not be opened at %2 Hz: %3")
                            .arg(m_name)
                            .arg(rate)
                            .arg(paText(err)));
        }
        m_rate = static_cast<int>(useRate);
    }
    ~PaCapture() override
    {
        if (m_stream) {
            Pa_AbortStream(m_stream);
            Pa_CloseStream(m_stream);
        }
    }
    PaCapture(const PaCapture&) = delete;
    PaCapture& operator=(const PaCapture&) = delete;

    int sampleRate() const override { return m_rate; }
    QString deviceName() const override { return m_name; }
    void start() override
    {
        if (isRunning())
            return;
        const PaError err = Pa_StartStream(m_stream);
        if (err != paNoError) {
            throw Error(ErrorNumber::SoundDeviceFailure,
                        QStringLiteral("The sound input \"%1\" could not start: %2").arg(m_name, paText(err)));
        }
    }
    void stop() override
    {
        if (Pa_IsStreamStopped(m_stream) == 0)
            Pa_StopStream(m_stream);
    }
    bool isRunning() const override { return Pa_IsStreamActive(m_stream) == 1; }

    std::size_t read(std::span<std::int16_t> out) override
    {
        std::size_t n = m_ring.read(out);
        // Samples lost to a full ring come back as silence after what the ring held.
        if (n < out.size()) {
            std::uint64_t pending = m_pendingSilence.load(std::memory_order_acquire);
            if (pending > 0) {
                const std::size_t fill = static_cast<std::size_t>(std::min<std::uint64_t>(pending, out.size() - n));
                std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(n), fill, std::int16_t{0});
                m_pendingSilence.fetch_sub(fill, std::memory_order_acq_rel);
                m_droppedUnreported += fill;
                n += fill;
            }
        }
        return n;
    }
    std::uint64_t takeDroppedFrames() override { return std::exchange(m_droppedUnreported, 0); }

private:
    // Runs on PortAudio's callback thread: copies into the ring, never blocks or allocates.
    static int callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* user)
    {
        auto* self = static_cast<PaCapture*>(user);
        const auto* in = static_cast<const std::int16_t*>(input);
        std::size_t lost = 0;
        std::array<std::int16_t, kFramesPerBuffer> mixed{};
        unsigned long done = 0;
        while (done < frames) {
            const unsigned long chunk = std::min<unsigned long>(frames - done, kFramesPerBuffer);
            if (!in) {
                mixed.fill(0);
            } else if (self->m_channels == 1) {
                std::copy_n(in + done, chunk, mixed.begin());
            } else {
                for (unsigned long i = 0; i < chunk; ++i) {
                    const int l = in[(done + i) * 2];
                    const int r = in[(done + i) * 2 + 1];
                    mixed[i] = static_cast<std::int16_t>((l + r) / 2);
                }
            }
            const std::size_t written = self->m_ring.write(std::span<const std::int16_t>(mixed.data(), chunk));
            lost += chunk - written;
            done += chunk;
        }
        if (lost > 0)
            self->m_pendingSilence.fetch_add(lost, std::memory_order_acq_rel);
        return paContinue;
    }

    OpenStreamCount m_count;
    PaStream* m_stream = nullptr;
    QString m_name;
    int m_rate = 0;
    int m_channels = 1;
    SpscRing<std::int16_t> m_ring;
    std::atomic<std::uint64_t> m_pendingSilence{0};
    std::uint64_t m_droppedUnreported = 0;
};

class PaPlayback final : public PlaybackStream {
public:
    PaPlayback(std::shared_ptr<int> count, PaDeviceIndex index, int rate, int channels)
        : m_count(std::move(count)), m_channels(channels), m_rate(rate),
          m_ring(static_cast<std::size_t>(rate) * static_cast<std::size_t>(channels))
    {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        m_name = QString::fromLocal8Bit(info->name);
        PaStreamParameters p{};
        p.device = index;
        p.sampleFormat = paInt16;
        p.channelCount = channels;
        p.suggestedLatency = info->defaultLowOutputLatency;
        const PaError err = Pa_OpenStream(&m_stream, nullptr, &p, rate, paFramesPerBufferUnspecified, paClipOff,
                                          &PaPlayback::callback, this);
        if (err != paNoError) {
            m_stream = nullptr;
            throw Error(ErrorNumber::SoundDeviceOpen,
                        QStringLiteral("The sound output \"%1\" could not be opened at %2 Hz, %3 channel(s): %4")
                            .arg(m_name)
                            .arg(rate)
                            .arg(channels)
                            .arg(paText(err)));
        }
    }
    ~PaPlayback() override
    {
        if (m_stream) {
            Pa_AbortStream(m_stream);
            Pa_CloseStream(m_stream);
        }
    }
    PaPlayback(const PaPlayback&) = delete;
    PaPlayback& operator=(const PaPlayback&) = delete;

    int sampleRate() const override { return m_rate; }
    int channels() const override { return m_channels; }
    QString deviceName() const override { return m_name; }
    void start() override
    {
        if (isRunning())
            return;
        const PaError err = Pa_StartStream(m_stream);
        if (err != paNoError) {
            throw Error(ErrorNumber::SoundDeviceFailure,
                        QStringLiteral("The sound output \"%1\" could not start: %2").arg(m_name, paText(err)));
        }
    }
    void stop() override
    {
        if (Pa_IsStreamStopped(m_stream) == 0)
            Pa_AbortStream(m_stream);
        m_ring.clear(); // the callback no longer runs, so this thread may act as the consumer
    }
    bool isRunning() const override { return Pa_IsStreamActive(m_stream) == 1; }
    std::size_t writableFrames() const override { return m_ring.writable() / static_cast<std::size_t>(m_channels); }
    std::size_t write(std::span<const std::int16_t> interleaved) override
    {
        const std::size_t frames = std::min(interleaved.size() / static_cast<std::size_t>(m_channels), writableFrames());
        m_ring.write(interleaved.first(frames * static_cast<std::size_t>(m_channels)));
        return frames;
    }
    std::int64_t framesPlayed() const override { return m_played.load(std::memory_order_acquire); }
    std::size_t queuedFrames() const override { return m_ring.readable() / static_cast<std::size_t>(m_channels); }

private:
    // Runs on PortAudio's callback thread: takes from the ring, plays silence when it is dry.
    static int callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* user)
    {
        auto* self = static_cast<PaPlayback*>(user);
        auto* out = static_cast<std::int16_t*>(output);
        const std::size_t want = frames * static_cast<std::size_t>(self->m_channels);
        const std::size_t got = self->m_ring.read(std::span<std::int16_t>(out, want));
        std::fill(out + got, out + want, std::int16_t{0});
        self->m_played.fetch_add(static_cast<std::int64_t>(got / static_cast<std::size_t>(self->m_channels)),
                                 std::memory_order_acq_rel);
        return paContinue;
    }

    OpenStreamCount m_count;
    PaStream* m_stream = nullptr;
    QString m_name;
    int m_channels;
    int m_rate;
    SpscRing<std::int16_t> m_ring;
    std::atomic<std::int64_t> m_played{0};
};

} // namespace

PortAudioSystem::PortAudioSystem()
{
    const PaError err = Pa_Initialize();
    m_initialised = err == paNoError;
    if (!m_initialised)
        m_initError = QStringLiteral("The audio library could not start: %1").arg(paText(err));
}

PortAudioSystem::~PortAudioSystem()
{
    if (m_initialised)
        Pa_Terminate();
}

void PortAudioSystem::refreshDevices()
{
    if (*m_openStreams > 0)
        return;
    if (m_initialised)
        Pa_Terminate();
    const PaError err = Pa_Initialize();
    m_initialised = err == paNoError;
    m_initError = m_initialised ? QString() : QStringLiteral("The audio library could not start: %1").arg(paText(err));
}

QStringList PortAudioSystem::inputDeviceNames()
{
    refreshDevices();
    return m_initialised ? deviceNames(true) : QStringList();
}

QStringList PortAudioSystem::outputDeviceNames()
{
    refreshDevices();
    return m_initialised ? deviceNames(false) : QStringList();
}

std::unique_ptr<CaptureStream> PortAudioSystem::openCapture(int device, int sampleRate)
{
    if (!m_initialised)
        throw Error(ErrorNumber::SoundDeviceOpen, m_initError);
    return std::make_unique<PaCapture>(m_openStreams, paIndex(true, device, "sound input"), sampleRate);
}

std::unique_ptr<PlaybackStream> PortAudioSystem::openPlayback(int device, int sampleRate, int channels)
{
    if (!m_initialised)
        throw Error(ErrorNumber::SoundDeviceOpen, m_initError);
    return std::make_unique<PaPlayback>(m_openStreams, paIndex(false, device, "sound output"), sampleRate, channels);
}

} // namespace wendmoor
