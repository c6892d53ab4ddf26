#include "windows/frmError.h"

#include "widgets/WindowLook.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace wendmoor {

frmError::frmError(QWidget* parent)
    // A tool window: not in the taskbar, no minimise or maximise box.
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmError"));
    setWindowTitle(QStringLiteral("Error Message"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);

    lblMessage = new QLabel(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setWordWrap(true);
    lblMessage->setTextFormat(Qt::PlainText);
    lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblMessage->setMinimumWidth(320);
    lblMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblMessage->setFont(msSansSerif(8.25, true));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage, 1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    setMinimumSize(360, 140);

    // OK is first in the tab order and holds the focus.
    setTabOrder(OKButton, lblMessage);
    OKButton->setFocus();
    connect(OKButton, &QPushButton::clicked, this, &QDialog::close);
}

void frmError::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        OKButton->setFocus();
}

} // namespace wendmoor
