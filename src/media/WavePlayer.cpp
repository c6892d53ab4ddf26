#include "media/WavePlayer.h"

#include "media/AudioSystem.h"
#include "media/WaveReader.h"

#include <QTimer>

#include <algorithm>

namespace wendmoor {

namespace {

// Small reads keep each timer tick short even on a slow disk.
constexpr std::int64_t kBlockFrames = 1024;
constexpr int kPumpIntervalMs = 10;

} // namespace

WavePlayer::WavePlayer(AudioSystem& audio, QObject* parent)
    : QObject(parent)
    , m_audio(audio)
    , m_pumpTimer(new QTimer(this))
{
    m_pumpTimer->setInterval(kPumpIntervalMs);
    m_pumpTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pumpTimer, &QTimer::timeout, this, &WavePlayer::pump);
}

WavePlayer::~WavePlayer()
{
    close();
}

void WavePlayer::setFileName(const QString& path)
{
    stop();
    closeFile();
    openFile(path);
}

void WavePlayer::openFile(const QString& path)
{
    std::unique_ptr<WaveReader> reader = openWaveReader(path);
    const int rate = reader->sampleRate();
    const int channels = reader->channels();
    // The output stays open from file to file while the device and format are the same, so that
    // a reload starts at once.
    if (!m_stream || m_streamDevice != m_device || m_stream->sampleRate() != rate || m_stream->channels() != channels) {
        m_stream.reset();
        m_stream = m_audio.openPlayback(m_device, rate, channels);
        m_streamDevice = m_device;
    }
    m_path = path;
    m_rate = rate;
    m_channels = channels;
    m_frames = reader->frames();
    m_reader = std::move(reader);
    m_historyFrames = m_rate;
    m_history.assign(static_cast<std::size_t>(m_historyFrames * m_channels), 0);
    m_block.assign(static_cast<std::size_t>(kBlockFrames * m_channels), 0);
    m_baseFrame = 0;
}

void WavePlayer::closeFile()
{
    haltStream();
    m_reader.reset();
    m_path.clear();
    m_frames = 0;
    m_baseFrame = 0;
    m_state = State::Stopped;
}

std::int64_t WavePlayer::framesForMs(std::int64_t ms) const
{
    return m_rate > 0 ? (ms * m_rate + 500) / 1000 : 0;
}

std::int64_t WavePlayer::msForFrames(std::int64_t frames) const
{
    return m_rate > 0 ? (frames * 1000 + m_rate / 2) / m_rate : 0;
}

std::int32_t WavePlayer::lengthMs() const
{
    return static_cast<std::int32_t>(std::min<std::int64_t>(msForFrames(m_frames), INT32_MAX));
}

std::int64_t WavePlayer::playedSinceStart() const
{
    return m_stream ? m_stream->framesPlayed() - m_playedAtStart : 0;
}

std::int64_t WavePlayer::currentFrame() const
{
    if (m_state != State::Playing)
        return m_baseFrame;
    return std::min(m_baseFrame + std::min(playedSinceStart(), m_queuedFrames), m_frames);
}

std::int32_t WavePlayer::positionMs() const
{
    return static_cast<std::int32_t>(std::min<std::int64_t>(msForFrames(currentFrame()), INT32_MAX));
}

void WavePlayer::setPositionMs(std::int32_t ms)
{
    const std::int64_t frame = std::clamp<std::int64_t>(framesForMs(std::max(ms, 0)), 0, m_frames);
    if (m_state == State::Playing)
        startFrom(frame);
    else
        m_baseFrame = frame;
}

void WavePlayer::play()
{
    if (!m_reader)
        throw Error(ErrorNumber::WaveFileRead, QStringLiteral("No wave file is loaded in the player."));
    startFrom(currentFrame());
    notify(&WavePlayer::started);
}

void WavePlayer::pause()
{
    if (m_state != State::Playing)
        return;
    halt(State::Paused);
}

void WavePlayer::halt(State state)
{
    const std::int64_t frame = currentFrame();
    haltStream();
    m_baseFrame = frame;
    m_state = state;
    if (m_levelTap && state == State::Stopped)
        m_levelTap({});
}

void WavePlayer::resume()
{
    if (m_state != State::Paused)
        return;
    startFrom(m_baseFrame);
    notify(&WavePlayer::started);
}

void WavePlayer::stop()
{
    if (m_state == State::Stopped)
        return;
    halt(State::Stopped);
    notify(&WavePlayer::stopped);
}

void WavePlayer::close()
{
    haltStream();
    m_state = State::Stopped;
    m_stream.reset();
    m_reader.reset();
}

void WavePlayer::startFrom(std::int64_t frame)
{
    haltStream();
    frame = std::clamp<std::int64_t>(frame, 0, m_frames);
    m_state = State::Stopped;
    m_baseFrame = frame;
    m_reader->seek(frame);
    m_blockFrames = m_blockUsed = 0;
    m_playedAtStart = m_stream->framesPlayed();
    m_queuedFrames = 0;
    m_meteredFrames = 0;
    // Queued before the device starts, so that its first callback already has the file's audio.
    fill();
    m_stream->start();
    m_state = State::Playing;
    m_pumpTimer->start();
}

void WavePlayer::haltStream()
{
    m_pumpTimer->stop();
    if (m_stream && m_stream->isRunning())
        m_stream->stop();
}

void WavePlayer::fill()
{
    const std::int64_t ahead = m_queuedFrames - playedSinceStart();
    std::int64_t room
        = std::min<std::int64_t>(static_cast<std::int64_t>(m_stream->writableFrames()), m_historyFrames - ahead);
    const auto ch = static_cast<std::size_t>(m_channels);
    while (room > 0) {
        if (m_blockUsed == m_blockFrames) {
            const std::int64_t left = m_frames - (m_baseFrame + m_queuedFrames);
            m_blockUsed = 0;
            m_blockFrames = left > 0 ? m_reader->read(std::span(m_block.data(), std::min(left, kBlockFrames) * ch)) : 0;
            if (m_blockFrames == 0) {
                // A file that lost its tail since it was loaded ends where it ends now.
                m_frames = m_baseFrame + m_queuedFrames;
                break;
            }
        }
        const std::int64_t n = std::min(room, m_blockFrames - m_blockUsed);
        const std::span<const std::int16_t> block(
            m_block.data() + static_cast<std::size_t>(m_blockUsed) * ch, static_cast<std::size_t>(n) * ch);
        const auto taken = static_cast<std::int64_t>(m_stream->write(block));
        for (std::int64_t f = 0; f < taken; ++f) {
            const auto slot = static_cast<std::size_t>((m_queuedFrames + f) % m_historyFrames);
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(f) * m_channels, ch,
                m_history.begin() + static_cast<std::ptrdiff_t>(slot * ch));
        }
        m_queuedFrames += taken;
        m_blockUsed += taken;
        if (taken < n)
            break;
        room -= n;
    }
}

void WavePlayer::feedMeter(std::int64_t playedFrames)
{
    const std::int64_t upTo = std::min(playedFrames, m_queuedFrames);
    std::int64_t from = std::max(m_meteredFrames, upTo - m_historyFrames);
    m_meteredFrames = std::max(m_meteredFrames, upTo);
    if (!m_levelTap || from >= upTo)
        return;
    const auto ch = static_cast<std::size_t>(m_channels);
    while (from < upTo) {
        const std::int64_t slot = from % m_historyFrames;
        const std::int64_t n = std::min(upTo - from, m_historyFrames - slot);
        m_levelTap(std::span<const std::int16_t>(
            m_history.data() + static_cast<std::size_t>(slot) * ch, static_cast<std::size_t>(n) * ch));
        from += n;
    }
}

void WavePlayer::pump()
{
    if (m_state != State::Playing)
        return;
    const std::int64_t played = playedSinceStart();
    feedMeter(played);
    if (m_baseFrame + m_queuedFrames >= m_frames && played >= m_queuedFrames) {
        halt(State::Stopped);
        notify(&WavePlayer::stopped);
        return;
    }
    try {
        fill();
    } catch (const Error& e) {
        halt(State::Stopped);
        QMetaObject::invokeMethod(
            this, [this, e] { emit failed(e); }, Qt::QueuedConnection);
        notify(&WavePlayer::stopped);
    }
}

void WavePlayer::notify(void (WavePlayer::*signal)())
{
    QMetaObject::invokeMethod(
        this, [this, signal] { (this->*signal)(); }, Qt::QueuedConnection);
}

} // namespace wendmoor
