#include "windows/QtPrompt.h"

#include <QMessageBox>

namespace wendmoor {

bool QtPrompt::askYesNo(const QString& title, const QString& text)
{
    // No is the default: an Enter pressed in passing must not replace a day's log or end a
    // recording.
    return QMessageBox::question(nullptr, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void QtPrompt::notice(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
}

} // namespace wendmoor
