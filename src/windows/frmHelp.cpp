#include "windows/frmHelp.h"

#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/Services.h"
#include "richtext/RtfReader.h"
#include "widgets/WindowLook.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>

#include <optional>

namespace wendmoor {

namespace {
// The client area the window opens with, in pixels, and the margin around the text box.
constexpr int ClientWidth = 640;
constexpr int ClientHeight = 480;
constexpr int Margin = 8;
} // namespace

frmHelp::frmHelp(Services& services, QWidget* parent)
    // A sizable window without minimise or maximise box.
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_services(services)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Wendmoor Help"));
    setAttribute(Qt::WA_DeleteOnClose);

    mnuFiles = menuBar()->addMenu(QStringLiteral("Files"));
    mnuFiles->setObjectName(QStringLiteral("mnuFiles"));
    mnuExit = mnuFiles->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    // The text box fills the window as it opens and keeps that size and place when the operator
    // resizes the window.
    auto* client = new QWidget(this);
    setCentralWidget(client);
    RichTextBox1 = new QTextEdit(client);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setAccessibleName(windowTitle());
    RichTextBox1->setGeometry(Margin, Margin, ClientWidth - 2 * Margin, ClientHeight - 2 * Margin);
    const QFont font = msSansSerif(12);
    RichTextBox1->setFont(font);
    RichTextBox1->document()->setDefaultFont(font);
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());

    loadDocument();
}

frmHelp::~frmHelp()
{
    if (m_cancel)
        m_cancel->store(true);
}

void frmHelp::loadDocument()
{
    // Read into a document of its own, so that a damaged file leaves the box empty rather than
    // showing the part before the damage.
    struct Outcome {
        std::unique_ptr<QTextDocument> document;
        std::optional<Error> error;
    };
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_loading = true;
    m_loader.post([this, cancel = m_cancel, path = m_services.paths.helpFile, font = RichTextBox1->font(),
                      window = QThread::currentThread()]() -> BackgroundWork::Result {
        auto outcome = std::make_shared<Outcome>();
        auto document = std::make_unique<QTextDocument>();
        document->setDefaultFont(font);
        try {
            RtfReader::loadFile(path, *document, cancel.get());
            document->moveToThread(window);
            outcome->document = std::move(document);
        } catch (const Error& error) {
            outcome->error = error;
        }
        return [this, outcome] {
            m_loading = false;
            if (outcome->error) {
                m_services.messages.ShowMessage(*outcome->error);
            } else if (outcome->document) {
                QTextDocument* document = outcome->document.release();
                document->setParent(RichTextBox1);
                RichTextBox1->setDocument(document);
            }
            emit loaded();
        };
    });
}

} // namespace wendmoor
