#include "app/Application.h"

#include "mainwindow/Menu.h"
#include "platform/EventLog.h"
#include "platform/TimeSource.h"
#include "playback/frmPlay.h"
#include "preferences/frmAlarms.h"
#include "preferences/frmMyPreferences.h"
#include "startpause/StartPause.h"
#include "windows/frmAbout.h"
#include "windows/frmHelp.h"

namespace wendmoor {

namespace {

// Shows a window that exists once: created when missing, brought to the front otherwise.
template <typename Window, typename Make> Window* showSingle(QPointer<Window>& window, Make make)
{
    if (!window) {
        window = make();
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace

Application::Application(Services& services)
    : m_services(services)
    , m_recorder(std::make_unique<Recorder>(services, m_settings, m_state))
    , m_catalog(std::make_unique<CatalogWriter>(services.messages))
    , m_timeIndex(std::make_unique<TimeIndex>(*m_recorder, *m_catalog, m_settings))
    , m_menu(std::make_unique<Menu>(*m_recorder, m_state, services))
{
    m_startPause
        = std::make_unique<StartPause>(m_settings, m_state, services, [this] { m_recorder->resumeFromStandby(); });
    m_recorder->setStartPauseControl(m_startPause.get());
    m_timeIndex->setSummarySink([this](const QString& summary) { m_services.events.note(summary); });
    connect(m_menu.get(), &Menu::exitRequested, this, &Application::exitRequested);
    connect(m_menu.get(), &Menu::preferencesRequested, this, &Application::openPreferences);
    connect(m_menu.get(), &Menu::playRequested, this, &Application::openPlay);
    connect(m_menu.get(), &Menu::helpRequested, this, &Application::openHelp);
    connect(m_menu.get(), &Menu::aboutRequested, this, &Application::openAbout);

    // The alarms listen to the recorder; whatever they do returns at once, and their deliveries
    // run on a thread of their own.
    m_alarms = std::make_unique<Alarms>(services.messages, services.events, services.clock, services.clockSync,
        Alarms::Places { services.paths.alarmsFile, services.paths.runStateFile });
    Alarms* alarms = m_alarms.get();
    connect(m_recorder.get(), &Recorder::level, alarms, &Alarms::level);
    connect(m_recorder.get(), &Recorder::inputLost, alarms,
        [this, alarms] { alarms->setInputLostSince(m_services.clock.now()); });
    connect(m_recorder.get(), &Recorder::inputBack, alarms, [alarms] { alarms->setInputLostSince(std::nullopt); });
    connect(m_recorder.get(), &Recorder::notRecording, alarms,
        [alarms](const QDateTime& since) { alarms->setNotRecordingSince(since); });
    connect(
        m_recorder.get(), &Recorder::recordingAgain, alarms, [alarms] { alarms->setNotRecordingSince(std::nullopt); });
    m_alarmTick.setInterval(1000);
    connect(&m_alarmTick, &QTimer::timeout, alarms, [this, alarms] {
        // Stopped by the operator: nothing should record, and nothing is lost.
        if (!m_recorder->shouldRecord()) {
            alarms->setNotRecordingSince(std::nullopt);
            alarms->setInputLostSince(std::nullopt);
        }
        alarms->tick();
    });
}

Application::~Application()
{
    // The other windows go before the main window and the services they use.
    delete m_play.data();
    delete m_preferences.data();
    delete m_help.data();
    delete m_about.data();
    delete m_alarmsPage.data();
    m_recorder->setStartPauseControl(nullptr);
    // The recorder's last audio goes into its log and the catalog hears of a clean end.
    m_recorder->shutdown();
    m_timeIndex->programEnded(m_services.clock.now());
    m_alarmTick.stop();
    m_alarms->endRun();
}

void Application::start()
{
    m_timeIndex->programStarted(m_services.clock.now());
    m_alarms->startRun();
    m_menu->Form_Initialize();
    m_menu->show();
    m_alarmTick.start();
}

void Application::openPreferences()
{
    showSingle(m_preferences, [this] {
        auto* window = new frmMyPreferences(m_services, m_settings);
        connect(window, &frmMyPreferences::alarmsRequested, this, &Application::openAlarms);
        return window;
    });
}

void Application::openAlarms()
{
    showSingle(m_alarmsPage, [this] {
        auto* page = new frmAlarms(m_services.paths.alarmsFile, m_services.messages,
            [this](const AlarmSettings& settings) { m_alarms->sendTest(settings); });
        connect(page, &frmAlarms::saved, m_alarms.get(), &Alarms::reload);
        return page;
    });
}

void Application::openPlay()
{
    // Every use gives a freshly loaded window with a fresh list; closing ends its playback.
    if (m_play) {
        m_play->close();
        delete m_play.data();
    }
    showSingle(m_play, [this] { return new frmPlay(m_services, m_settings, m_playback); });
}

void Application::openHelp()
{
    showSingle(m_help, [this] { return new frmHelp(m_services); });
}

void Application::openAbout()
{
    showSingle(m_about, [this] { return new frmAbout(m_services); });
}

} // namespace wendmoor
