#pragma once

#include "alarms/Alarms.h"
#include "config/Settings.h"
#include "platform/Services.h"
#include "playback/PlaybackMemory.h"
#include "playback/frmPlay.h"
#include "preferences/frmAlarms.h"
#include "preferences/frmMyPreferences.h"
#include "recorder/Recorder.h"
#include "recorder/RecorderState.h"
#include "recorder/TimeIndex.h"
#include "windows/frmAbout.h"
#include "windows/frmHelp.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace wendmoor {

class Menu;
class StartPause;

// The running program: the main window and the windows it opens from its menu, each existing
// once, all sharing the services, the settings and the recorder state.
class Application final : public QObject {
    Q_OBJECT
public:
    explicit Application(Services& services);
    ~Application() override;

    // Start-up: load the settings, start recording when they say so, show the main window.
    void start();

    [[nodiscard]] Recorder& recorder() { return *m_recorder; }
    [[nodiscard]] Menu& menu() { return *m_menu; }
    [[nodiscard]] Settings& settings() { return m_settings; }
    [[nodiscard]] RecorderState& state() { return m_state; }
    [[nodiscard]] PlaybackMemory& playback() { return m_playback; }
    [[nodiscard]] Alarms& alarms() { return *m_alarms; }

    // The menu commands. Preferences, Help and About come to the front when already open;
    // Play always gives a freshly opened playback window.
    void openPreferences();
    void openPlay();
    void openHelp();
    void openAbout();
    // My Preferences' Alarms button.
    void openAlarms();

    [[nodiscard]] frmMyPreferences* preferencesWindow() const { return m_preferences; }
    [[nodiscard]] frmPlay* playWindow() const { return m_play; }
    [[nodiscard]] frmHelp* helpWindow() const { return m_help; }
    [[nodiscard]] frmAbout* aboutWindow() const { return m_about; }
    [[nodiscard]] frmAlarms* alarmsWindow() const { return m_alarmsPage; }

signals:
    // Exit or the main window's close box (after its question while recording): the program ends.
    void exitRequested();

private:
    Services& m_services;
    Settings m_settings;
    RecorderState m_state;
    PlaybackMemory m_playback;
    std::unique_ptr<Recorder> m_recorder;
    std::unique_ptr<CatalogWriter> m_catalog;
    std::unique_ptr<TimeIndex> m_timeIndex;
    std::unique_ptr<Menu> m_menu;
    std::unique_ptr<StartPause> m_startPause;
    std::unique_ptr<Alarms> m_alarms;
    // The alarms' health rules and repeats, once a second.
    QTimer m_alarmTick;
    QPointer<frmMyPreferences> m_preferences;
    QPointer<frmPlay> m_play;
    QPointer<frmHelp> m_help;
    QPointer<frmAbout> m_about;
    QPointer<frmAlarms> m_alarmsPage;
};

} // namespace wendmoor
