#include "playback/PlaybackController.h"

#include "catalog/Catalog.h"
#include "config/SettingsFile.h"
#include "media/WavePlayer.h"
#include "platform/Error.h"
#include "platform/FormatSeconds.h"
#include "platform/MessageSink.h"
#include "platform/Volumes.h"
#include "playback/LogList.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <limits>

namespace wendmoor {

namespace {

const QString kNoLogSelected = QStringLiteral("No Log Selected");
const QString kBadWaveFile = QStringLiteral("Wave file does not exist or has been damaged");
constexpr int kTickMs = 50;
const QString kDayFormat = QStringLiteral("yyyy-MM-dd");
const QString kTimeFormat = QStringLiteral("HH:mm:ss");

// A clock time as short as it can be told: the day only when it is not `day`.
QString localText(UtcMs utc, const QDate& day)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(utc);
    return when.date() == day ? when.toString(kTimeFormat) : when.toString(kDayFormat + QLatin1Char(' ') + kTimeFormat);
}

// The operator's date and time, local: "2026-12-03 14:32:10", "2026-12-03 14:32", or with a "T".
std::optional<QDateTime> parseLocalTime(const QString& text)
{
    const QString t = text.simplified().replace(QLatin1Char('T'), QLatin1Char(' '));
    for (const char* format : { "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd H:mm:ss", "yyyy-MM-dd H:mm" }) {
        const QDateTime when = QDateTime::fromString(t, QLatin1String(format));
        if (when.isValid())
            return when;
    }
    return std::nullopt;
}

// "standby (VOX), 14:20:03 to 14:45:00", short enough for the status line.
QString describeGap(const Gap& gap, const QDate& day)
{
    QString reason = gapReasonName(gap.reason);
    if (!gap.detail.isEmpty())
        reason += QStringLiteral(" (%1)").arg(gap.detail);
    const bool openBefore = gap.fromUtc == std::numeric_limits<UtcMs>::min();
    const bool openAfter = gap.toUtc == std::numeric_limits<UtcMs>::max();
    if (openBefore && openAfter)
        return reason;
    if (openBefore)
        return QStringLiteral("%1, until %2").arg(reason, localText(gap.toUtc, day));
    if (openAfter)
        return QStringLiteral("%1, from %2 on").arg(reason, localText(gap.fromUtc, day));
    return QStringLiteral("%1, %2 to %3").arg(reason, localText(gap.fromUtc, day), localText(gap.toUtc, day));
}

} // namespace

PlaybackController::PlaybackController(Services& services, Settings& settings, PlaybackMemory& memory, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_settings(settings)
    , m_memory(memory)
    , m_player(new WavePlayer(services.audio, this))
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, &PlaybackController::tick);
    connect(m_player, &WavePlayer::started, this, &PlaybackController::started);
    connect(m_player, &WavePlayer::stopped, this, &PlaybackController::stopped);
    connect(m_player, &WavePlayer::failed, this, [this](const Error& e) { report(e); });
}

PlaybackController::~PlaybackController()
{
    m_memory.IsPlaying = false;
}

void PlaybackController::report(const std::exception& failure)
{
    if (const auto* e = dynamic_cast<const Error*>(&failure))
        m_services.messages.ShowMessage(*e);
    else
        m_services.messages.ShowMessage(Error(ErrorNumber::Unexpected, QString::fromLocal8Bit(failure.what())));
}

void PlaybackController::attempt(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception& e) {
        report(e);
    }
    publish();
}

void PlaybackController::publish()
{
    m_view.playing = m_memory.IsPlaying;
    m_view.paused = m_memory.IsPaused;
    emit changed();
}

std::int32_t PlaybackController::rangeWidth() const
{
    return m_memory.RangeWidth[static_cast<std::size_t>(m_memory.RangeIndex)];
}

void PlaybackController::setSlider(std::int32_t minimum, std::int32_t maximum)
{
    m_view.slider = { minimum, maximum };
}

void PlaybackController::open()
{
    // Any failure ends the opening at its step; the window shows what the steps before built.
    attempt([this] {
        chooseRange(transport::kTotal);
        for (std::size_t i = 0; i < transport::kRangeOptionWidths.size(); ++i)
            m_memory.RangeWidth[i + 1] = transport::kRangeOptionWidths[i];
        m_memory.IsPaused = false;
        m_player->setDeviceID(m_settings.PlayDevice);
        const QString folder = m_services.volumes.archiveFolder(m_settings.LogDrive);
        (void)logFileNames(folder); // a missing folder fails here, before anything is listed
        m_folder = folder;
        if (m_settings.LogListOrder != 0 && m_settings.LogListOrder != 1) {
            throw Error(ErrorNumber::InvalidArgument,
                QStringLiteral("The stored log list order %1 is neither 0 nor 1 (settings file %2).")
                    .arg(m_settings.LogListOrder)
                    .arg(m_services.paths.settingsFile));
        }
        m_view.listOrder = m_settings.LogListOrder;
        // The order control moved to 1 stores it as the operator's move does: a record 10 that
        // an earlier write failed to store is written again.
        if (m_settings.LogListOrder == 1)
            storeListOrder();
        fillList();
    });
}

void PlaybackController::fillList()
{
    ++m_view.listVersion;
    m_view.logs.clear();
    m_view.selectedLog = -1;
    if (m_folder.isEmpty())
        return;
    const LogListView list = orderLogs(logFileNames(m_folder), m_settings.LogListOrder);
    m_view.logs = list.entries;
    m_view.selectedLog = list.selected;
}

void PlaybackController::setListOrder(int order)
{
    m_settings.LogListOrder = static_cast<std::int16_t>(order);
    m_view.listOrder = order;
    attempt([this] { fillList(); });
    storeListOrder();
}

void PlaybackController::storeListOrder()
{
    // The order in force stays as chosen when it cannot be stored; the operator is told.
    attempt([this] {
        SettingsFile file(m_services.paths.settingsFile);
        file.write(SettingsRecord::LogListOrder, m_settings.LogListOrder);
        file.close();
    });
}

void PlaybackController::play(const QString& log)
{
    m_memory.RangeIndex = static_cast<std::int16_t>(m_view.checkedRange);
    playFile(log);
}

void PlaybackController::playLast(transport::LastN what, const QString& log)
{
    m_memory.RangeIndex = static_cast<std::int16_t>(what.rangeIndex);
    m_memory.RangeWidth[static_cast<std::size_t>(what.rangeIndex)] = what.width;
    playFile(log);
}

void PlaybackController::playFile(const QString& log)
{
    if (log.isEmpty()) {
        m_services.messages.ShowMessage(kNoLogSelected);
        return;
    }
    try {
        if (m_memory.IsPaused) {
            m_player->resume();
            m_memory.IsPaused = false;
        } else {
            if (m_memory.IsPlaying)
                m_player->stop();
            m_memory.PlayPath = QDir::toNativeSeparators(
                m_services.volumes.archiveFolder(m_settings.LogDrive) + QLatin1Char('/') + log);
            m_player->setDeviceID(m_settings.PlayDevice);
            m_player->setFileName(m_memory.PlayPath);
            m_view.channelText = m_player->channelMode() == 0 ? QStringLiteral("  Mono") : QStringLiteral("  Stereo");
            const std::int32_t length = m_player->lengthMs();
            const transport::LoadPlan plan = transport::planLoad(m_memory.RangeIndex, rangeWidth(), length);
            m_view.slider = plan.window;
            if (plan.startAt)
                m_player->setPositionMs(*plan.startAt);
            for (int i = 1; i <= transport::kLastRangeOption; ++i)
                m_view.rangeEnabled[static_cast<std::size_t>(i)] = transport::rangeOptionEnabled(i, length);
            m_player->play();
        }
    } catch (const std::exception& e) {
        // One message: the fixed sentence, and below it the failure itself, which names the file
        // or the device (a missing sound card is not a damaged file). Two messages would leave
        // only the second one in the message window.
        const auto* error = dynamic_cast<const Error*>(&e);
        m_services.messages.ShowMessage(kBadWaveFile + QLatin1Char('\n')
            + (error ? error->text() : Error(ErrorNumber::Unexpected, QString::fromLocal8Bit(e.what())).text()));
    }
    publish();
}

void PlaybackController::pause()
{
    if (!m_memory.IsPlaying)
        return;
    m_memory.IsPaused = true;
    m_memory.IsPlaying = false;
    attempt([this] { m_player->pause(); });
}

void PlaybackController::stop()
{
    attempt([this] { m_player->stop(); });
}

void PlaybackController::started()
{
    m_memory.IsPlaying = true;
    m_timer->start();
    publish();
}

void PlaybackController::stopped()
{
    m_view.sliderPosition = m_player->positionMs();
    m_memory.IsPlaying = false;
    m_memory.IsPaused = false;
    m_view.elapsed = QStringLiteral("    ");
    m_view.remaining = QStringLiteral("     ");
    showClock(); // where it stopped (or, after a "go to", where it plays from now)
    publish();
}

// A step moves the player and the slider's window by one width, or nothing at the file's edges.
void PlaybackController::step(std::optional<std::int32_t> target, std::int32_t by)
{
    attempt([&] {
        if (!target)
            return;
        m_player->setPositionMs(*target);
        setSlider(transport::addMs(m_view.slider.minimum, by), transport::addMs(m_view.slider.maximum, by));
        m_memory.RepeatPoint = m_player->positionMs();
    });
}

void PlaybackController::fastForward()
{
    step(transport::fastForward(m_player->positionMs(), rangeWidth(), m_player->lengthMs()), rangeWidth());
}

void PlaybackController::rewind()
{
    step(transport::rewind(m_player->positionMs(), rangeWidth()), -rangeWidth());
}

void PlaybackController::chooseRange(int option)
{
    m_view.checkedRange = option;
    m_memory.RangeIndex = static_cast<std::int16_t>(option);
    m_view.stepsEnabled = option != transport::kTotal;
    if (option == transport::kTotal)
        m_view.slider.maximum = m_player->lengthMs();
    else
        setSlider(m_view.sliderPosition, transport::addMs(m_view.sliderPosition, rangeWidth()));
    publish();
}

void PlaybackController::seek(std::int32_t ms)
{
    m_view.sliderPosition = ms;
    attempt([&] { m_player->setPositionMs(ms); });
}

void PlaybackController::tick()
{
    if (!m_memory.IsPlaying) {
        m_timer->stop();
        return;
    }
    const std::int32_t position = m_player->positionMs();
    m_view.elapsed = FormatSeconds(transport::elapsedSeconds(position));
    m_view.remaining = FormatSeconds(transport::remainingSeconds(m_player->lengthMs(), position));
    if (const auto paged = transport::page(position, m_view.slider, rangeWidth()))
        m_view.slider = *paged;
    m_view.sliderPosition = position;
    showClock();
    publish();
}

void PlaybackController::storeMemory(int index)
{
    m_memory.MemoryPoint[static_cast<std::size_t>(index)] = m_player->positionMs();
}

void PlaybackController::recallMemory(int index)
{
    attempt([&] {
        if (m_memory.RangeIndex == transport::kTotal)
            m_memory.RangeWidth[0] = m_player->lengthMs();
        m_player->setPositionMs(m_memory.MemoryPoint[static_cast<std::size_t>(index)]);
        const std::int32_t start = m_player->positionMs();
        setSlider(start, transport::addMs(start, rangeWidth()));
        m_view.sliderPosition = start;
        if (!m_memory.IsPlaying)
            m_player->play();
    });
}

void PlaybackController::repeat()
{
    attempt([this] {
        if (m_memory.RangeIndex <= transport::kLastRangeOption) {
            if (m_memory.RangeIndex == transport::kTotal)
                m_memory.RangeWidth[0] = m_player->lengthMs();
            m_player->setPositionMs(m_memory.RepeatPoint);
            setSlider(m_memory.RepeatPoint, transport::addMs(m_memory.RepeatPoint, rangeWidth()));
        } else {
            const std::int32_t length = m_player->lengthMs();
            setSlider(transport::addMs(length, -static_cast<std::int64_t>(rangeWidth())), length);
            m_player->setPositionMs(m_view.slider.minimum);
        }
        m_player->play();
    });
}

Catalog* PlaybackController::catalog(bool asked)
{
    // An archive without a catalog (recorded before there was one) plays without clock times;
    // only a "go to" reads the logs instead, and says so.
    if (!asked && !QFileInfo::exists(QDir(m_folder).filePath(QLatin1String(Catalog::kFileName))))
        return m_catalog.get();
    if (!m_catalog && !m_catalogFailed && !m_folder.isEmpty()) {
        try {
            m_catalog = Catalog::open(m_folder, Catalog::Mode::ReadOnly, &m_services.messages);
        } catch (const std::exception& e) {
            // Told once; playback goes on without clock times until the next "go to".
            m_catalogFailed = true;
            report(e);
        }
    }
    return m_catalog.get();
}

// The clock label reads the catalog at each tick; a failure there is told once and ends the
// clock times until the next "go to" opens the catalog again.
void PlaybackController::showClock()
{
    m_view.clockTime.clear();
    m_view.clockDay.clear();
    const int rate = m_player->sampleRate();
    Catalog* index = rate > 0 ? catalog(false) : nullptr;
    if (index == nullptr)
        return;
    try {
        const std::int64_t frame = std::int64_t(m_player->positionMs()) * rate / 1000;
        if (const auto utc = index->timeOfFrame(QFileInfo(m_player->fileName()).fileName(), frame)) {
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(*utc);
            m_view.clockTime = when.toString(kTimeFormat);
            m_view.clockDay = when.toString(kDayFormat);
        }
    } catch (const std::exception& e) {
        m_catalog.reset();
        m_catalogFailed = true;
        report(e);
    }
}

std::optional<std::int64_t> PlaybackController::clockAt(std::int32_t ms)
{
    const int rate = m_player->sampleRate();
    Catalog* index = rate > 0 ? catalog(false) : nullptr;
    if (index == nullptr)
        return std::nullopt;
    try {
        return index->timeOfFrame(QFileInfo(m_player->fileName()).fileName(), std::int64_t(ms) * rate / 1000);
    } catch (const std::exception& e) {
        m_catalog.reset();
        m_catalogFailed = true;
        report(e);
        return std::nullopt;
    }
}

// Plays `log` from `ms`, the slider's window starting there (the whole file for "Total").
void PlaybackController::startAt(const QString& log, std::int32_t ms)
{
    if (m_memory.IsPlaying || m_memory.IsPaused)
        m_player->stop();
    m_memory.IsPaused = false;
    m_memory.PlayPath = QDir::toNativeSeparators(m_folder + QLatin1Char('/') + log);
    m_player->setDeviceID(m_settings.PlayDevice);
    m_player->setFileName(m_memory.PlayPath);
    m_view.channelText = m_player->channelMode() == 0 ? QStringLiteral("  Mono") : QStringLiteral("  Stereo");
    const std::int32_t length = m_player->lengthMs();
    for (int i = 1; i <= transport::kLastRangeOption; ++i)
        m_view.rangeEnabled[static_cast<std::size_t>(i)] = transport::rangeOptionEnabled(i, length);
    if (m_memory.RangeIndex == transport::kTotal)
        setSlider(0, length);
    else
        setSlider(ms, transport::addMs(ms, rangeWidth()));
    m_player->setPositionMs(ms);
    m_view.sliderPosition = m_player->positionMs();
    m_memory.RepeatPoint = m_view.sliderPosition;
    m_player->play();
}

void PlaybackController::goToTime(const QString& text)
{
    const auto when = parseLocalTime(text);
    if (!when) {
        m_view.goToNote = QStringLiteral("Not a date and time: type it as 2026-12-03 14:32:10.");
        publish();
        return;
    }
    // Afresh: the recorder has written to the catalog since the window opened.
    m_catalog.reset();
    m_catalogFailed = false;
    attempt([&] {
        Catalog* index = catalog(true);
        if (index == nullptr)
            return;
        const Location where = index->locate(when->toMSecsSinceEpoch());
        if (!where.segment) {
            m_view.goToNote = QStringLiteral("In no log: %1.").arg(describeGap(*where.gap, when->date()));
            return;
        }
        const Segment& s = *where.segment;
        const auto row = m_view.logs.indexOf(s.log);
        if (row < 0) {
            m_view.goToNote = QStringLiteral("Recorded in %1, which is no longer in the archive folder %2.")
                                  .arg(s.log, QDir::toNativeSeparators(m_folder));
            return;
        }
        m_view.selectedLog = static_cast<int>(row);
        ++m_view.selectionVersion;
        const std::int32_t ms = static_cast<std::int32_t>(where.frame * 1000 / s.sampleRate);
        m_view.goToNote = QStringLiteral("At %1 of %2.").arg(FormatSeconds(ms / 1000).trimmed(), s.log);
        startAt(s.log, ms);
        showClock();
    });
}

void PlaybackController::close()
{
    // Playback ends with the window; no stop notification is waited for.
    m_memory.IsPlaying = false;
    m_timer->stop();
    m_player->close();
}

} // namespace wendmoor
