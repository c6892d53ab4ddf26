#pragma once

#include "platform/BackgroundWork.h"

#include <QMainWindow>

#include <atomic>
#include <memory>

class QAction;
class QMenu;
class QTextEdit;

namespace wendmoor {

struct Services;

// The help window: the operator's manual, read from the help file each time the window is
// created. The file is read on a thread of its own, so that a long or damaged manual never
// holds up the windows; the text box shows it when it is read. A document that cannot be read
// is reported once through the message window and the window stays empty. Not modal; deletes
// itself when closed by "Files" > "Exit" or the close box.
class frmHelp final : public QMainWindow {
    Q_OBJECT
public:
    explicit frmHelp(Services& services, QWidget* parent = nullptr);
    ~frmHelp() override;

    // True until the manual is shown or its failure reported.
    [[nodiscard]] bool isLoading() const { return m_loading; }

    QTextEdit* RichTextBox1;
    QMenu* mnuFiles;
    QAction* mnuExit;

signals:
    void loaded();

private:
    void loadDocument();

    Services& m_services;
    bool m_loading = false;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    // Last: goes first; a window closed while its manual is still being read does not wait for
    // the rest (the reading stops at the cancel).
    BackgroundWork m_loader;
};

} // namespace wendmoor
