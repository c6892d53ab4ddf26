#include "app/Application.h"

#include "mainwindow/Menu.h"
#include "platform/TimeSource.h"
#include "playback/frmPlay.h"
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
    connect(m_menu.get(), &Menu::exitRequested, this, &Application::exitRequested);
    connect(m_menu.get(), &Menu::preferencesRequested, this, &Application::openPreferences);
    connect(m_menu.get(), &Menu::playRequested, this, &Application::openPlay);
    connect(m_menu.get(), &Menu::helpRequested, this, &Application::openHelp);
    connect(m_menu.get(), &Menu::aboutRequested, this, &Application::openAbout);
}

Application::~Application()
{
    // The other windows go before the main window and the services they use.
    delete m_play.data();
    delete m_preferences.data();
    delete m_help.data();
    delete m_about.data();
    m_recorder->setStartPauseControl(nullptr);
    // The recorder's last audio goes into its log and the catalog hears of a clean end.
    m_recorder->shutdown();
    m_timeIndex->programEnded(m_services.clock.now());
}

void Application::start()
{
    m_timeIndex->programStarted(m_services.clock.now());
    m_menu->Form_Initialize();
    m_menu->show();
}

void Application::openPreferences()
{
    showSingle(m_preferences, [this] { return new frmMyPreferences(m_services, m_settings); });
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
