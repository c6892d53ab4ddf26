#include "windows/MessageWindow.h"

#include "windows/frmError.h"

#include <QLabel>

namespace wendmoor {

MessageWindow::~MessageWindow()
{
    delete m_window.data();
}

void MessageWindow::ShowMessage(const QString& text)
{
    if (!m_window)
        m_window = new frmError();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_window->lblMessage->setText(text);
    m_window->adjustSize();
}

} // namespace wendmoor
