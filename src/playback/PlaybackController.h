#pragma once

#include "config/Settings.h"
#include "platform/Services.h"
#include "playback/PlaybackMemory.h"
#include "playback/TransportLogic.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace wendmoor {

class Catalog;
class Error;
class WavePlayer;

// What the playback window shows. The controller keeps it; the window only draws it.
struct PlaybackView {
    QStringList logs;
    int selectedLog = -1;
    int listVersion = 0; // changes each time the list is read afresh
    int listOrder = 0;
    int checkedRange = transport::kTotal; // the range option chosen, 0 to 5
    std::array<bool, 6> rangeEnabled { true, false, false, false, false, false };
    bool stepsEnabled = false; // "<" and ">"
    transport::SliderWindow slider;
    std::int32_t sliderPosition = 0;
    QString elapsed; // the two time labels
    QString remaining;
    bool playing = false;
    bool paused = false;
    QString channelText; // "  Mono" or "  Stereo" for the log last loaded
    // The clock time at which the position was recorded ("14:32:10") and its day ("2026-12-03"),
    // from the archive's catalog; empty when it does not know.
    QString clockTime;
    QString clockDay;
    int selectionVersion = 0; // changes when the controller selects a log in the list
    QString goToNote; // what the last "go to" found: where the time is, or which gap and why
};

// The playback window's decisions, apart from any widget: which log plays from where, the slider's
// window and its paging, the steps, memory points and Repeat, the log list and its order. The
// window passes each command on and draws view() whenever changed() is emitted. The values that
// outlive the window are kept in the PlaybackMemory the application passes in. Everything runs on
// the user-interface thread; every failure is shown in the message window, none escapes.
class PlaybackController final : public QObject {
    Q_OBJECT
public:
    PlaybackController(Services& services, Settings& settings, PlaybackMemory& memory, QObject* parent = nullptr);
    ~PlaybackController() override;

    [[nodiscard]] const PlaybackView& view() const { return m_view; }
    [[nodiscard]] WavePlayer& player() { return *m_player; }

    // Opening the window: the range widths, the order and the logs of the archive.
    void open();
    void setListOrder(int order);
    // Plays `log` (a name in the list; empty when none is chosen) by the range option chosen, or
    // resumes a paused playback.
    void play(const QString& log);
    // The "5", "10", "20" buttons and the pop-up menu: the end of `log`.
    void playLast(transport::LastN what, const QString& log);
    void pause();
    void stop();
    void fastForward();
    void rewind();
    void chooseRange(int option);
    // The operator moved the slider to `ms`.
    void seek(std::int32_t ms);
    // Every 50 ms while playing: the time labels, the slider and its paging.
    void tick();
    void storeMemory(int index);
    void recallMemory(int index);
    void repeat();
    // The window closes: playback ends at once.
    void close();
    // "Go to a time": `text` is a local date and time, "2026-12-03 14:32:10" (the seconds may be
    // left out). The log that holds it is selected and played from that time; a time in no log
    // leaves the playback as it is, and the note says which gap holds it and why.
    void goToTime(const QString& text);
    // The clock time at which `ms` of the log loaded in the player was recorded; nothing when no
    // log is loaded or the catalog does not know it.
    [[nodiscard]] std::optional<std::int64_t> clockAt(std::int32_t ms);
    // The archive folder the logs are listed from.
    [[nodiscard]] const QString& archiveFolder() const { return m_folder; }

signals:
    void changed();

private:
    void playFile(const QString& log);
    void fillList();
    // Record 10 of the settings file; a failure is reported and the order in force stays.
    void storeListOrder();
    void step(std::optional<std::int32_t> target, std::int32_t by);
    void started();
    void stopped();
    void attempt(const std::function<void()>& command);
    void report(const std::exception& failure);
    void publish();
    [[nodiscard]] std::int32_t rangeWidth() const;
    void setSlider(std::int32_t minimum, std::int32_t maximum);
    void startAt(const QString& log, std::int32_t ms);
    void showClock();
    Catalog* catalog(bool asked);

    Services& m_services;
    Settings& m_settings;
    PlaybackMemory& m_memory;
    WavePlayer* m_player;
    QTimer* m_timer;
    QString m_folder;
    PlaybackView m_view;
    // Opened (read-only) when first needed and again for each "go to"; none after it failed.
    std::unique_ptr<Catalog> m_catalog;
    bool m_catalogFailed = false;
};

} // namespace wendmoor
