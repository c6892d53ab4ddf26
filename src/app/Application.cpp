#include "app/Application.h"

#include "recorder/Menu.h"

namespace wendmoor {

Application::Application(Services& services)
    : m_services(services), m_menu(std::make_unique<Menu>(services, m_settings, m_state))
{
    connect(m_menu.get(), &Menu::exitRequested, this, &Application::exitRequested);
}

Application::~Application() = default;

void Application::start()
{
    m_menu->Form_Initialize();
    m_menu->show();
}

} // namespace wendmoor
