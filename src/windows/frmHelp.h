#pragma once

#include <QMainWindow>

class QAction;
class QMenu;
class QTextEdit;

namespace wendmoor {

struct Services;

// The help window: the operator's manual, read from the help file each time the window is
// created. A document that cannot be read is reported once through the message window and the
// window opens empty. Not modal; deletes itself when closed by "Files" > "Exit" or the close box.
class frmHelp final : public QMainWindow {
    Q_OBJECT
public:
    explicit frmHelp(Services& services, QWidget* parent = nullptr);

    QTextEdit* RichTextBox1;
    QMenu* mnuFiles;
    QAction* mnuExit;

private:
    void loadDocument();

    Services& m_services;
};

} // namespace wendmoor
