#include "config/ListBox.h"
#include "config/frmMyPreferences.h"

#include "TestServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <gtest/gtest.h>

namespace wendmoor {
namespace {

QString plainCaption(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// The fonts on the machine replace the requested "MS Sans Serif"; a wider replacement must not
// hide the end of a caption behind the next control.
TEST(PreferencesLayout, NoCaptionIsCutOffWithTheInstalledFonts)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    test::TestServices ts;
    // Long device names and a chosen VOX mode, so that the picture shows the dialog as it is used.
    ts.audio.outputs
        = { QStringLiteral("Built-in Audio Analog Stereo"), QStringLiteral("HDMI / DisplayPort 1 Output") };
    ts.audio.inputs = { QStringLiteral("USB Audio CODEC Analog Stereo Input") };
    ts.writeSettings({ 0, 0, 5, 0, 14, 1, 300, 4, 1, 0, 1 });
    Settings settings;
    QPointer<frmMyPreferences> dialog = new frmMyPreferences(ts.services, settings);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));

    for (QLabel* l : dialog->findChildren<QLabel*>()) {
        if (l->objectName() == QLatin1String("lblDrvFolder"))
            continue; // shortens long folders itself, with the whole path as its tooltip
        if (l->wordWrap())
            EXPECT_LE(l->heightForWidth(l->width()), l->height()) << l->objectName().toStdString();
        else
            EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text().trimmed()), l->contentsRect().width())
                << l->objectName().toStdString();
        EXPECT_LE(l->fontMetrics().height(), l->height()) << l->objectName().toStdString();
        // Nothing may reach past the window's right edge either.
        EXPECT_LE(l->geometry().right(), l->parentWidget()->width()) << l->objectName().toStdString();
    }
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
        if (auto* push = qobject_cast<QPushButton*>(b)) {
            const int margin = push->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push);
            EXPECT_LE(push->fontMetrics().horizontalAdvance(plainCaption(push->text())) + 2 * margin, push->width())
                << b->objectName().toStdString();
        } else {
            // Option buttons and the check box: indicator, spacing and caption.
            EXPECT_LE(b->sizeHint().width(), b->width()) << b->objectName().toStdString();
        }
    }
    for (const char* name : { "List1", "List2", "lstDrv" }) {
        auto* list = dialog->findChild<ListBox*>(QLatin1String(name));
        ASSERT_NE(list, nullptr) << name;
        for (int i = 0; i < list->count(); ++i)
            ASSERT_LE(list->fontMetrics().horizontalAdvance(list->item(i)->text()),
                list->visualItemRect(list->item(i)).width())
                << name << ' ' << list->item(i)->text().toStdString();
    }
    for (QGroupBox* g : dialog->findChildren<QGroupBox*>()) {
        EXPECT_LE(g->fontMetrics().horizontalAdvance(g->title()) + 16, g->width()) << g->objectName().toStdString();
    }

    // Under a real display (xvfb-run) the picture of the dialog can be kept for review.
    const QString folder = qEnvironmentVariable("WENDMOOR_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(dialog->grab().save(folder + QStringLiteral("/preferences.png")));
    }
    delete dialog.data();
}

} // namespace
} // namespace wendmoor
