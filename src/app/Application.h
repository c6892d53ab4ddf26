#pragma once

#include "config/Settings.h"
#include "platform/Services.h"
#include "recorder/RecorderState.h"

#include <QObject>

#include <memory>

namespace wendmoor {

class Menu;

// The running program: the main window and the windows it opens from its menu, each existing
// once, all sharing the services, the settings and the recorder state.
class Application final : public QObject {
    Q_OBJECT
public:
    explicit Application(Services& services);
    ~Application() override;

    // Start-up: load the settings, start recording when they say so, show the main window.
    void start();

    [[nodiscard]] Menu& menu() { return *m_menu; }
    [[nodiscard]] Settings& settings() { return m_settings; }
    [[nodiscard]] RecorderState& state() { return m_state; }

signals:
    // "Exit": the program ends at once.
    void exitRequested();

private:
    Services& m_services;
    Settings m_settings;
    RecorderState m_state;
    std::unique_ptr<Menu> m_menu;
};

} // namespace wendmoor
