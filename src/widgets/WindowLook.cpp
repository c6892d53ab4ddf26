#include "widgets/WindowLook.h"

#include "widgets/UiUnits.h"

#include <QWidget>

namespace wendmoor {

QFont msSansSerif(double points, bool bold)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

void setBackColour(QWidget* button, unsigned bgr)
{
    QPalette pal = button->palette();
    pal.setColor(QPalette::Button, bgrColor(bgr));
    button->setPalette(pal);
    button->setAutoFillBackground(true);
}

} // namespace wendmoor
