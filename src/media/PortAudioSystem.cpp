#include "media/PortAudioSystem.h"

#include "media/CaptureRing.h"
#include "media/SpscRing.h"
#include "platform/Error.h"

#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
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

// The most frames the callback mixes at once (on its stack).
constexpr unsigned long kFramesPerBuffer = 2048;

// An input's buffer is a quarter of a second at any rate: each buffer is a wake-up of the sound
// server, of its client thread and of the callback (through the ALSA plugin the server sends one
// fragment per buffer), and a recorder gains nothing from short ones; the level meter still
// moves four times a second.
constexpr int kCaptureBuffersPerSecond = 4;

} // namespace

// The recording thread opens and closes inputs while the user-interface thread lists devices and
// plays: every call into the library outside the callbacks holds this lock.
struct PortAudioSystem::Library {
    std::mutex mutex;
    std::atomic<int> openStreams { 0 };
};

namespace {

using Library = PortAudioSystem::Library;

// Made while the library's lock is held (in openCapture/openPlayback).
class OpenStreamCount {
public:
    explicit OpenStreamCount(std::shared_ptr<Library> library)
        : m_library(std::move(library))
    {
        ++m_library->openStreams;
    }
    ~OpenStreamCount() { --m_library->openStreams; }
    OpenStreamCount(const OpenStreamCount&) = delete;
    OpenStreamCount& operator=(const OpenStreamCount&) = delete;
    [[nodiscard]] std::mutex& mutex() const { return m_library->mutex; }

private:
    std::shared_ptr<Library> m_library;
};

class PaCapture final : public CaptureStream {
public:
    PaCapture(std::shared_ptr<Library> count, PaDeviceIndex index, int rate)
        : m_count(std::move(count))
        , m_ring(static_cast<std::size_t>(rate) * 8)
    {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        m_name = QString::fromLocal8Bit(info->name);
        PaStreamParameters p {};
        p.device = index;
        p.sampleFormat = paInt16;
        // Latency costs a recorder nothing, while a short device buffer overruns (and loses audio)
        // whenever the machine is busy for a moment: two buffers at least.
        p.suggestedLatency = std::max(info->defaultHighInputLatency, 2.0 / kCaptureBuffersPerSecond);
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
        const auto framesPerBuffer = static_cast<unsigned long>(useRate) / kCaptureBuffersPerSecond;
        const PaError err
            = Pa_OpenStream(&m_stream, &p, nullptr, useRate, framesPerBuffer, paClipOff, &PaCapture::callback, this);
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
            const std::lock_guard lock(m_count.mutex());
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
        const std::lock_guard lock(m_count.mutex());
        if (Pa_IsStreamActive(m_stream) == 1)
            return;
        m_restartStamps.store(true, std::memory_order_release);
        const PaError err = Pa_StartStream(m_stream);
        if (err != paNoError) {
            throw Error(ErrorNumber::SoundDeviceFailure,
                QStringLiteral("The sound input \"%1\" could not start: %2").arg(m_name, paText(err)));
        }
    }
    void stop() override
    {
        const std::lock_guard lock(m_count.mutex());
        if (Pa_IsStreamStopped(m_stream) == 0)
            Pa_StopStream(m_stream);
    }
    bool isRunning() const override
    {
        const std::lock_guard lock(m_count.mutex());
        return Pa_IsStreamActive(m_stream) == 1;
    }

    std::size_t read(std::span<std::int16_t> out) override { return m_ring.read(out); }
    Dropouts takeDropouts() override { return m_ring.takeDropouts(); }
    std::optional<std::int64_t> nextReadTakenNs() const override { return m_ring.nextReadTakenNs(m_rate); }

private:
    // Runs on PortAudio's callback thread: copies into the ring, never blocks or allocates.
    static int callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo* time,
        PaStreamCallbackFlags status, void* user)
    {
        auto* self = static_cast<PaCapture*>(user);
        if ((status & paInputOverflow) != 0)
            self->m_ring.noteDriverOverflow();
        const auto* in = static_cast<const std::int16_t*>(input);
        std::array<std::int16_t, kFramesPerBuffer> mixed {};
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
            self->m_ring.push(std::span<const std::int16_t>(mixed.data(), chunk));
            done += chunk;
        }
        self->stampTime(time, frames);
        return paContinue;
    }

    // Callback thread: tells the ring when the last sample pushed was taken. The driver's own
    // time of the buffer's first sample is used where it is in reason, the callback's time
    // otherwise; a callback that came late (the machine busy for a moment) or a driver time that
    // is off would move a log's timing by a buffer, so the stream's start is taken as the median
    // over the last callbacks, and each sample's time follows from its count.
    void stampTime(const PaStreamCallbackTimeInfo* time, unsigned long frames)
    {
        if (m_restartStamps.exchange(false, std::memory_order_acquire)) {
            m_offsetCount = 0;
            m_offsetNext = 0;
        }
        const double perFrameNs = 1e9 / m_rate;
        std::int64_t takenNs
            = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count();
        if (time && time->inputBufferAdcTime > 0) {
            const double age = time->currentTime - time->inputBufferAdcTime - static_cast<double>(frames - 1) / m_rate;
            if (age > 0 && age < 1.0)
                takenNs -= static_cast<std::int64_t>(age * 1e9);
        }
        m_framesPushed += frames;
        // When sample 0 of the stream would have been taken, by this callback.
        m_offsets[m_offsetNext]
            = takenNs - static_cast<std::int64_t>(static_cast<double>(m_framesPushed - 1) * perFrameNs);
        m_offsetNext = (m_offsetNext + 1) % m_offsets.size();
        m_offsetCount = std::min(m_offsetCount + 1, m_offsets.size());
        std::array<std::int64_t, kStampWindow> sorted {};
        std::copy_n(m_offsets.begin(), m_offsetCount, sorted.begin());
        const auto middle = static_cast<std::ptrdiff_t>(m_offsetCount / 2);
        std::nth_element(
            sorted.begin(), sorted.begin() + middle, sorted.begin() + static_cast<std::ptrdiff_t>(m_offsetCount));
        m_ring.stamp(sorted[static_cast<std::size_t>(middle)]
            + static_cast<std::int64_t>(static_cast<double>(m_framesPushed - 1) * perFrameNs));
    }

    static constexpr std::size_t kStampWindow = 9; // callbacks: about two seconds
    std::array<std::int64_t, kStampWindow> m_offsets {}; // callback thread
    std::size_t m_offsetCount = 0; // callback thread
    std::size_t m_offsetNext = 0; // callback thread
    std::uint64_t m_framesPushed = 0; // callback thread
    std::atomic<bool> m_restartStamps { false }; // a start: the device's timing begins anew

    OpenStreamCount m_count;
    PaStream* m_stream = nullptr;
    QString m_name;
    int m_rate = 0;
    int m_channels = 1;
    CaptureRing m_ring;
};

class PaPlayback final : public PlaybackStream {
public:
    PaPlayback(std::shared_ptr<Library> count, PaDeviceIndex index, int rate, int channels)
        : m_count(std::move(count))
        , m_channels(channels)
        , m_rate(rate)
        , m_ring(static_cast<std::size_t>(rate) * static_cast<std::size_t>(channels))
    {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        m_name = QString::fromLocal8Bit(info->name);
        PaStreamParameters p {};
        p.device = index;
        p.sampleFormat = paInt16;
        p.channelCount = channels;
        p.suggestedLatency = info->defaultLowOutputLatency;
        const PaError err = Pa_OpenStream(
            &m_stream, nullptr, &p, rate, paFramesPerBufferUnspecified, paClipOff, &PaPlayback::callback, this);
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
            const std::lock_guard lock(m_count.mutex());
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
        const std::lock_guard lock(m_count.mutex());
        if (Pa_IsStreamActive(m_stream) == 1)
            return;
        const PaError err = Pa_StartStream(m_stream);
        if (err != paNoError) {
            throw Error(ErrorNumber::SoundDeviceFailure,
                QStringLiteral("The sound output \"%1\" could not start: %2").arg(m_name, paText(err)));
        }
    }
    void stop() override
    {
        {
            const std::lock_guard lock(m_count.mutex());
            if (Pa_IsStreamStopped(m_stream) == 0)
                Pa_AbortStream(m_stream);
        }
        m_ring.clear(); // the callback no longer runs, so this thread may act as the consumer
    }
    bool isRunning() const override
    {
        const std::lock_guard lock(m_count.mutex());
        return Pa_IsStreamActive(m_stream) == 1;
    }
    std::size_t writableFrames() const override { return m_ring.writable() / static_cast<std::size_t>(m_channels); }
    std::size_t write(std::span<const std::int16_t> interleaved) override
    {
        const std::size_t frames
            = std::min(interleaved.size() / static_cast<std::size_t>(m_channels), writableFrames());
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
        std::fill(out + got, out + want, std::int16_t { 0 });
        self->m_played.fetch_add(
            static_cast<std::int64_t>(got / static_cast<std::size_t>(self->m_channels)), std::memory_order_acq_rel);
        return paContinue;
    }

    OpenStreamCount m_count;
    PaStream* m_stream = nullptr;
    QString m_name;
    int m_channels;
    int m_rate;
    SpscRing<std::int16_t> m_ring;
    std::atomic<std::int64_t> m_played { 0 };
};

} // namespace

PortAudioSystem::PortAudioSystem()
    : m_library(std::make_shared<Library>())
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
    if (m_library->openStreams > 0)
        return;
    if (m_initialised)
        Pa_Terminate();
    const PaError err = Pa_Initialize();
    m_initialised = err == paNoError;
    m_initError = m_initialised ? QString() : QStringLiteral("The audio library could not start: %1").arg(paText(err));
}

QStringList PortAudioSystem::inputDeviceNames()
{
    const std::lock_guard lock(m_library->mutex);
    refreshDevices();
    return m_initialised ? deviceNames(true) : QStringList();
}

QStringList PortAudioSystem::outputDeviceNames()
{
    const std::lock_guard lock(m_library->mutex);
    refreshDevices();
    return m_initialised ? deviceNames(false) : QStringList();
}

std::unique_ptr<CaptureStream> PortAudioSystem::openCapture(int device, int sampleRate)
{
    const std::lock_guard lock(m_library->mutex);
    if (!m_initialised)
        throw Error(ErrorNumber::SoundDeviceOpen, m_initError);
    return std::make_unique<PaCapture>(m_library, paIndex(true, device, "sound input"), sampleRate);
}

std::unique_ptr<PlaybackStream> PortAudioSystem::openPlayback(int device, int sampleRate, int channels)
{
    const std::lock_guard lock(m_library->mutex);
    if (!m_initialised)
        throw Error(ErrorNumber::SoundDeviceOpen, m_initError);
    return std::make_unique<PaPlayback>(m_library, paIndex(false, device, "sound output"), sampleRate, channels);
}

} // namespace wendmoor
