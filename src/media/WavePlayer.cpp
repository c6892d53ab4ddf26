#include "media/WavePlayer.h"

#include "media/AudioSystem.h"
#include "media/LevelMeter.h"
#include "platform/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <sndfile.h>

#include <algorithm>
#include <span>

namespace wendmoor {

namespace {

// Small reads keep each timer tick short even on a slow disk.
constexpr std::int64_t kBlockFrames = 1024;
constexpr int kPumpIntervalMs = 10;

SNDFILE* handle(const std::unique_ptr<void, WavePlayer::SndFileCloser>& file)
{
    return static_cast<SNDFILE*>(file.get());
}

} // namespace

void WavePlayer::SndFileCloser::operator()(void* file) const
{
    sf_close(static_cast<SNDFILE*>(file));
}

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
    if (!QFileInfo(path).isFile()) {
        throw Error(ErrorNumber::FileNotFound, QStringLiteral("The wave file %1 does not exist.").arg(path));
    }
    SF_INFO info {};
    SNDFILE* raw = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!raw) {
        throw Error(ErrorNumber::WaveFileRead,
            QStringLiteral("The wave file %1 cannot be read: %2")
                .arg(path, QString::fromLocal8Bit(sf_strerror(nullptr))));
    }
    std::unique_ptr<void, SndFileCloser> file(raw);
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) {
        throw Error(ErrorNumber::WaveFormatUnsupported, QStringLiteral("%1 is not a wave file.").arg(path));
    }
    if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0) {
        throw Error(ErrorNumber::WaveFormatUnsupported,
            QStringLiteral("The wave file %1 has %2 channels at %3 Hz; only mono and stereo can be played.")
                .arg(path)
                .arg(info.channels)
                .arg(info.samplerate));
    }
    // The output stays open from file to file while the device and format are the same, so that
    // a reload starts at once.
    if (!m_stream || m_streamDevice != m_device || m_stream->sampleRate() != info.samplerate
        || m_stream->channels() != info.channels) {
        m_stream.reset();
        m_stream = m_audio.openPlayback(m_device, info.samplerate, info.channels);
        m_streamDevice = m_device;
    }
    m_file = std::move(file);
    m_path = path;
    m_rate = info.samplerate;
    m_channels = info.channels;
    m_frames = std::max<sf_count_t>(info.frames, 0);
    m_historyFrames = m_rate;
    m_history.assign(static_cast<std::size_t>(m_historyFrames * m_channels), 0);
    m_block.assign(static_cast<std::size_t>(kBlockFrames * m_channels), 0);
    m_baseFrame = 0;
}

void WavePlayer::closeFile()
{
    haltStream();
    m_file.reset();
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
    if (!m_file)
        throw Error(ErrorNumber::WaveFileRead, QStringLiteral("No wave file is loaded in the player."));
    startFrom(currentFrame());
    notify(&WavePlayer::started);
}

void WavePlayer::pause()
{
    if (m_state != State::Playing)
        return;
    const std::int64_t frame = currentFrame();
    haltStream();
    m_baseFrame = frame;
    m_state = State::Paused;
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
    const std::int64_t frame = currentFrame();
    haltStream();
    m_baseFrame = frame;
    m_state = State::Stopped;
    if (m_meter)
        m_meter->reset();
    notify(&WavePlayer::stopped);
}

void WavePlayer::close()
{
    haltStream();
    m_state = State::Stopped;
    m_stream.reset();
    m_file.reset();
}

void WavePlayer::startFrom(std::int64_t frame)
{
    haltStream();
    frame = std::clamp<std::int64_t>(frame, 0, m_frames);
    m_state = State::Stopped;
    m_baseFrame = frame;
    if (sf_seek(handle(m_file), frame, SEEK_SET) < 0) {
        throw Error(ErrorNumber::WaveFileRead,
            QStringLiteral("The wave file %1 cannot be read at frame %2: %3")
                .arg(m_path)
                .arg(frame)
                .arg(QString::fromLocal8Bit(sf_strerror(handle(m_file)))));
    }
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
    room = std::min(room, m_frames - (m_baseFrame + m_queuedFrames));
    const auto ch = static_cast<std::size_t>(m_channels);
    while (room > 0) {
        const sf_count_t want = std::min(room, kBlockFrames);
        const sf_count_t got = sf_readf_short(handle(m_file), m_block.data(), want);
        if (got <= 0) {
            // The file is shorter than its header said (cut off or damaged): it ends here.
            m_frames = m_baseFrame + m_queuedFrames;
            break;
        }
        const std::span<const std::int16_t> block(m_block.data(), static_cast<std::size_t>(got) * ch);
        const std::size_t taken = m_stream->write(block);
        for (std::size_t f = 0; f < taken; ++f) {
            const auto slot
                = static_cast<std::size_t>((m_queuedFrames + static_cast<std::int64_t>(f)) % m_historyFrames);
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(f * ch), ch,
                m_history.begin() + static_cast<std::ptrdiff_t>(slot * ch));
        }
        m_queuedFrames += static_cast<std::int64_t>(taken);
        if (static_cast<sf_count_t>(taken) < got) {
            sf_seek(handle(m_file), m_baseFrame + m_queuedFrames, SEEK_SET);
            break;
        }
        room -= got;
    }
}

void WavePlayer::feedMeter(std::int64_t playedFrames)
{
    const std::int64_t upTo = std::min(playedFrames, m_queuedFrames);
    std::int64_t from = std::max(m_meteredFrames, upTo - m_historyFrames);
    m_meteredFrames = std::max(m_meteredFrames, upTo);
    if (!m_meter || from >= upTo)
        return;
    const auto ch = static_cast<std::size_t>(m_channels);
    while (from < upTo) {
        const std::int64_t slot = from % m_historyFrames;
        const std::int64_t n = std::min(upTo - from, m_historyFrames - slot);
        m_meter->setSamples(std::span<const std::int16_t>(
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
        haltStream();
        m_baseFrame = m_frames;
        m_state = State::Stopped;
        if (m_meter)
            m_meter->reset();
        notify(&WavePlayer::stopped);
        return;
    }
    fill();
}

void WavePlayer::notify(void (WavePlayer::*signal)())
{
    QMetaObject::invokeMethod(
        this, [this, signal] { (this->*signal)(); }, Qt::QueuedConnection);
}

} // namespace wendmoor
