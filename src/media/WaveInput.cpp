#include "media/WaveInput.h"

#include "platform/Error.h"
#include "platform/MessageSink.h"

#include <algorithm>

namespace wendmoor {

WaveInput::WaveInput(AudioSystem& audio, MessageSink& messages, QObject* parent)
    : QObject(parent)
    , m_audio(audio)
    , m_messages(messages)
    , m_raw(kBufferFrames)
{
    m_monotonic.start();
    m_clock = [this] { return m_monotonic.elapsed(); };
    m_drainTimer.setInterval(20);
    connect(&m_drainTimer, &QTimer::timeout, this, &WaveInput::pump);
    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(0);
    connect(&m_closeTimer, &QTimer::timeout, this, &WaveInput::closeParked);
}

WaveInput::~WaveInput()
{
    // The later stages may be gone already: release the device without calling them. Whoever
    // owns the chain stops it first to end the stream properly; the writer closes its file itself.
    m_output = nullptr;
    stop();
    closeParked();
}

void WaveInput::open()
{
    // A parked device is taken back only while it still captures; a dead one is opened afresh.
    if (m_stream && m_openDevice == m_deviceId && m_openRate == m_sampleRate && (!m_parked || m_stream->isRunning())) {
        if (m_parked) {
            // Taken back in the same turn as the stop: the device never stopped capturing.
            m_parked = false;
            m_closeTimer.stop();
            m_state = Opened;
        }
        return;
    }
    if (m_state == Recording)
        stop();
    closeParked();
    // The device that was open goes first, so a failure below leaves the input closed.
    m_stream.reset();
    m_state = Closed;
    m_stream = m_audio.openCapture(m_deviceId, m_sampleRate);
    m_deviceName = m_stream->deviceName();
    m_openDevice = m_deviceId;
    m_openRate = m_sampleRate;
    m_resampler.reset();
    if (m_stream->sampleRate() != m_sampleRate)
        m_resampler = std::make_unique<Resampler>(m_stream->sampleRate(), m_sampleRate);
    m_dropped = 0;
    m_driverOverflows = 0;
    m_dropReported = false;
    m_failureReported = false;
    m_state = Opened;
}

void WaveInput::start()
{
    if (m_state == Recording)
        return;
    if (m_state != Opened || !m_stream) {
        throw Error(ErrorNumber::SoundDeviceFailure,
            QStringLiteral("The sound input number %1 cannot start: it is not open.").arg(m_deviceId));
    }
    const bool wasRunning = m_stream->isRunning();
    if (!wasRunning)
        m_stream->start();
    try {
        if (m_output)
            m_output->beginStream(waveFormat());
    } catch (...) {
        m_stream->stop();
        throw;
    }
    m_state = Recording;
    m_lastDataMs = m_clock();
    // A file begun while the device is away holds silence from its start.
    m_gapFromMs = m_failureReported ? m_lastDataMs : -1;
    if (m_drainTimer.interval() > 0)
        m_drainTimer.start();
}

void WaveInput::stop(bool keepDevice)
{
    if (m_state == Closed)
        return;
    m_drainTimer.stop();
    const bool wasRecording = m_state == Recording;
    m_state = Closed;
    if (!wasRecording) {
        closeParked();
        m_stream.reset();
        return;
    }
    // What is still in the ring stays there: it belongs to the stream that a reopen starts.
    // Only when the output still keeps audio (no roll-over) does the resampler's tail go now.
    if (m_resampler && m_output && m_output->accepting()) {
        m_converted.clear();
        m_resampler->flush(m_converted);
        if (!m_converted.empty()) {
            emit bufferFilled(m_converted);
            m_output->writeSamples(m_converted);
        }
    }
    m_parked = true;
    if (!keepDevice)
        m_closeTimer.start();
    if (m_output)
        m_output->endStream();
}

void WaveInput::closeParked()
{
    m_closeTimer.stop();
    if (!m_parked)
        return;
    m_parked = false;
    if (m_stream)
        m_stream->stop();
    m_stream.reset();
    m_resampler.reset();
    m_openDevice = -1;
}

void WaveInput::pump()
{
    if (m_state != Recording)
        return;
    if (!m_stream) {
        // The device went away and could not be opened again yet.
        if ((m_clock() - m_lastReopenMs) >= m_reopenIntervalMs)
            reopenDevice();
        return;
    }
    for (;;) {
        const std::size_t n = m_stream->read(m_raw);
        if (n == 0)
            break;
        m_lastDataMs = m_clock();
        if (m_failureReported)
            endOutage(n);
        const std::span<const std::int16_t> got(m_raw.data(), n);
        if (m_resampler) {
            m_converted.clear();
            m_resampler->process(got, m_converted);
            deliver(m_converted);
        } else {
            deliver(got);
        }
        if (m_state != Recording)
            return; // a handler stopped the input
        if (n < m_raw.size())
            break;
    }
    checkDevice();
    emit pumped();
}

void WaveInput::deliver(std::span<const std::int16_t> samples)
{
    if (samples.empty())
        return;
    emit bufferFilled(samples);
    if (m_output && m_state == Recording)
        m_output->writeSamples(samples);
}

void WaveInput::checkDevice()
{
    const Dropouts lost = m_stream->takeDropouts();
    m_dropped += lost.frames;
    m_driverOverflows += lost.driverOverflows;
    if ((lost.frames > 0 || lost.driverOverflows > 0) && !m_dropReported) {
        m_dropReported = true;
        QString text = QStringLiteral("The sound input \"%1\" lost audio: ").arg(m_stream->deviceName());
        if (lost.frames > 0)
            text += QStringLiteral("%1 samples that the program could not take in time were recorded as silence in "
                                   "their place")
                        .arg(lost.frames);
        if (lost.frames > 0 && lost.driverOverflows > 0)
            text += QStringLiteral(", and ");
        if (lost.driverOverflows > 0)
            text
                += QStringLiteral("the sound driver overran %1 times before handing it over").arg(lost.driverOverflows);
        m_messages.ShowMessage(Error(ErrorNumber::SoundDropout, text + QLatin1Char('.')));
    }
    const bool silent = m_lastDataMs >= 0 && m_clock() - m_lastDataMs >= m_silenceLimitMs;
    if (!m_stream->isRunning() || silent) {
        if (!m_failureReported) {
            m_failureReported = true;
            m_messages.ShowMessage(Error(ErrorNumber::SoundDeviceFailure,
                QStringLiteral("The sound input \"%1\" stopped delivering audio; the "
                               "recorder keeps trying to open it again.")
                    .arg(m_stream->deviceName())));
            m_lastReopenMs = m_clock();
            m_gapFromMs = m_lastDataMs;
            emit deviceLost();
        }
        if ((m_clock() - m_lastReopenMs) >= m_reopenIntervalMs)
            reopenDevice();
    }
}

void WaveInput::reopenDevice()
{
    m_lastReopenMs = m_clock();
    try {
        // pump() has taken what the dead stream held; it makes room for the new one.
        m_stream.reset();
        m_stream = m_audio.openCapture(m_deviceId, m_sampleRate);
        m_stream->start();
    } catch (const Error&) {
        return; // still gone: tried again after the interval
    }
    if (m_stream->sampleRate() != m_sampleRate) {
        if (!m_resampler)
            m_resampler = std::make_unique<Resampler>(m_stream->sampleRate(), m_sampleRate);
    } else {
        m_resampler.reset();
    }
    // The new stream gets the whole silence limit to deliver its first buffer (a sound server
    // takes a second or two); the outage ends when it does.
    m_lastDataMs = m_clock();
}

void WaveInput::endOutage(std::size_t framesJustRead)
{
    m_failureReported = false;
    // The buffer just read was captured before it arrived: the outage ended where it begins.
    const qint64 bufferMs = static_cast<qint64>(framesJustRead) * 1000 / m_stream->sampleRate();
    const qint64 goneMs = m_gapFromMs >= 0 ? std::max<qint64>(0, m_lastDataMs - bufferMs - m_gapFromMs) : 0;
    m_gapFromMs = -1;
    m_messages.ShowMessage(Error(ErrorNumber::SoundDeviceFailure,
        QStringLiteral("The sound input \"%1\" delivers audio again; the %2 seconds it was "
                       "gone are silence in the log.")
            .arg(m_stream->deviceName())
            .arg(goneMs / 1000)));
    emit deviceBack();
    // The outage as silence at the asked rate, in buffers of the usual size.
    const std::vector<std::int16_t> silence(kBufferFrames);
    for (qint64 left = goneMs * m_sampleRate / 1000; left > 0 && m_state == Recording;) {
        const auto n = static_cast<std::size_t>(std::min<qint64>(left, kBufferFrames));
        deliver(std::span<const std::int16_t>(silence.data(), n));
        left -= static_cast<qint64>(n);
    }
}

} // namespace wendmoor
