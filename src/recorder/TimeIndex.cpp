#include "recorder/TimeIndex.h"

#include "archive/LogNames.h"
#include "config/RecordFormats.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <utility>

namespace wendmoor {

TimeIndex::TimeIndex(Recorder& recorder, CatalogWriter& writer, Settings& settings, QObject* parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_writer(writer)
    , m_settings(settings)
{
    m_steadyClock = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    connect(&recorder, &Recorder::audioStarted, this, &TimeIndex::onStarted);
    connect(&recorder, &Recorder::audioStopped, this, &TimeIndex::onStopped);
    connect(&recorder, &Recorder::ticked, this, &TimeIndex::onTick);
    connect(&recorder, &Recorder::statusChanged, this,
        [this](RecorderStatus status) { afterChain([this, status] { onStatus(status); }); });
}

void TimeIndex::afterChain(std::function<void()> step)
{
    // The recorder tells what it asked of the chain as it asks; where the audio began or ended is
    // known once the chain has done it. Every step waits its turn behind the chain's commands, so
    // the steps keep the order the recorder told them in.
    m_recorder.chain().whenDone(this, std::move(step));
}

void TimeIndex::onStatus(RecorderStatus status)
{
    // The input was lost and the writer went off before it came back (with VOX, the silence
    // of a lost input pauses): the outage will not be written, so the segment ends where the
    // input was lost, and the time till audio comes again is this stop's.
    if (!m_open || !m_inputLostAt.isValid() || status == RecorderStatus::Recording)
        return;
    GapReason reason = GapReason::WriteFailure;
    QString detail;
    if (status == RecorderStatus::Standby) {
        reason = GapReason::Standby;
        detail = m_settings.StartPauseMode == ModeVox ? QStringLiteral("VOX") : QStringLiteral("contacts");
    } else if (!m_recorder.shouldRecord()) {
        reason = GapReason::OperatorStop;
    }
    m_writer.segmentEnded(frame(), m_inputLostAt.toMSecsSinceEpoch(), reason, detail);
    m_open = false;
    m_inputLostAt = QDateTime();
}

void TimeIndex::programEnded(const QDateTime& now)
{
    // What the device had taken but not yet handed over when the program ended is lost with the
    // program: its end begins where the last log ends.
    // What the recorder told before waits behind the chain: carried out first.
    m_recorder.chain().settle();
    const std::optional<UtcMs> lastSample = std::exchange(m_programEndSample, std::nullopt);
    const UtcMs nowUtc = now.toMSecsSinceEpoch();
    const UtcMs end = std::min<UtcMs>(nowUtc, lastSample.value_or(nowUtc));
    if (!m_startedAt.isValid() && !m_folder.isEmpty())
        m_writer.programEnded(end);
    m_writer.flush();
}

std::int64_t TimeIndex::frame() const
{
    return m_recorder.chain().written().frame;
}

UtcMs TimeIndex::clockOf(const RecordingChain::FrameTime& stamp, const QDateTime& now, std::int64_t steadyNs)
{
    // The stamp's distance from then on the steady clock, from the recorder's clock then; a stamp
    // without a time is taken as then.
    const UtcMs nowUtc = now.toMSecsSinceEpoch();
    if (!stamp.takenNs)
        return nowUtc;
    return nowUtc - (steadyNs - *stamp.takenNs) / 1'000'000;
}

void TimeIndex::onStarted(const QString& path, const QDateTime& at)
{
    afterChain([this, path, at, steadyNs = steadyNowNs()] { started(path, at, steadyNs); });
}

void TimeIndex::started(const QString& path, const QDateTime& at, std::int64_t steadyNs)
{
    m_programEndSample.reset();
    const QFileInfo file(path);
    if (file.absolutePath() != m_folder) {
        // Recording on another drive: that archive's catalog from now on.
        m_folder = file.absolutePath();
        m_writer.setArchiveFolder(m_folder);
    }
    if (m_startedAt.isValid()) {
        m_writer.programStarted(m_startedAt.toMSecsSinceEpoch());
        m_startedAt = QDateTime();
    }
    const RecordFormat* format = recordFormat(m_settings.RecordFormat);
    m_rate = format ? format->sampleRate : 0;
    const UtcMs utc = at.toMSecsSinceEpoch();
    if (m_inputLostAt.isValid() && m_open) {
        // The input is back: its outage is silence in the same log, and the segment goes on.
        m_writer.inputLost(m_inputLostAt.toMSecsSinceEpoch(), utc);
        m_inputLostAt = QDateTime();
        return;
    }
    m_inputLostAt = QDateTime();
    const std::optional<LogName> name = parseLogName(file.fileName());
    const RecordingChain::FrameTime begun = m_recorder.chain().segmentStart();
    m_segment = begun.segment;
    m_writer.segmentBegun({ file.fileName(), name ? name->date : at.date(), m_rate, 1 }, begun.frame,
        clockOf(begun, at, steadyNs), at.offsetFromUtc());
    m_open = true;
    m_lastPairing = at;
}

void TimeIndex::onStopped(const QString& /*path*/, StopReason reason, const QDateTime& at)
{
    afterChain([this, reason, at, steadyNs = steadyNowNs()] { stopped(reason, at, steadyNs); });
}

void TimeIndex::stopped(StopReason reason, const QDateTime& at, std::int64_t steadyNs)
{
    if (!m_open)
        return;
    if (reason == StopReason::InputLost) {
        // Kept open: what the input missed is written as silence when it delivers again.
        m_inputLostAt = at;
        return;
    }
    GapReason gap = GapReason::Unknown;
    QString detail;
    switch (reason) {
    case StopReason::Operator:
        gap = GapReason::OperatorStop;
        break;
    case StopReason::StandbyVox:
        gap = GapReason::Standby;
        detail = QStringLiteral("VOX");
        break;
    case StopReason::StandbyContacts:
        gap = GapReason::Standby;
        detail = QStringLiteral("contacts");
        break;
    case StopReason::WriteFailed:
        gap = GapReason::WriteFailure;
        break;
    case StopReason::RollOver:
    case StopReason::InputLost:
    case StopReason::ProgramEnd: // the program's end itself opens the gap
        break;
    }
    // The command that stopped the chain has run: the segment's last frame is known.
    m_open = false;
    const RecordingChain::FrameTime last = m_recorder.chain().endOf(m_segment);
    const UtcMs end = clockOf(last, at, steadyNs);
    m_writer.segmentEnded(last.frame, end, gap, detail);
    if (reason == StopReason::ProgramEnd)
        m_programEndSample = end;
}

void TimeIndex::onTick(const QDateTime& now)
{
    // The day before in one line, once the roll-over at midnight has reached the catalog.
    const QDate yesterday = now.date().addDays(-1);
    if (!m_summarisedThrough.isValid()) {
        m_summarisedThrough = yesterday;
    } else if (yesterday > m_summarisedThrough && now.time() >= QTime(0, 0, 30)) {
        m_summarisedThrough = yesterday;
        if (m_summarySink && !m_folder.isEmpty())
            m_writer.daySummary(yesterday, now.toMSecsSinceEpoch(), m_summarySink);
    }
    if (!m_open || m_inputLostAt.isValid() || m_lastPairing.msecsTo(now) < kPairingMs)
        return;
    m_lastPairing = now;
    const RecordingChain::FrameTime newest = m_recorder.chain().written();
    m_writer.position(newest.frame, clockOf(newest, now, steadyNowNs()), now.offsetFromUtc());
}

} // namespace wendmoor
