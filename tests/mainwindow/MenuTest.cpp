#include "mainwindow/Menu.h"

#include "RecorderFixture.h"
#include "platform/FormatSeconds.h"
#include "widgets/UiUnits.h"

#include <QLabel>
#include <QLocale>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// The window draws what the recorder says: the Record button's caption and colour for each
// state, the format, the recorded time and the clock line.
TEST(MainWindow, DrawsTheRecordersStateFormatTimeAndClock)
{
    RecorderFixture f(3);
    f.settings.StartPauseMode = ModeVox;
    f.settings.Threshold = 32767; // nothing is activity: Standby 2 s after the last activity
    f.settings.StopDelay = 2;
    f.state.LastActivityTime = 36000;
    Menu menu(*f.recorder, f.state, f.ts.services);
    f.at(10, 0, 0);
    const auto button = [&menu] {
        return menu.cmdRecord->text() + QLatin1Char(' ') + menu.cmdRecord->palette().color(QPalette::Button).name();
    };
    const QString idle = button();

    menu.cmdRecord->click();

    f.settle();
    EXPECT_EQ(button(), QStringLiteral("Recording ") + bgrColor(0x000000FF).name());
    EXPECT_EQ(menu.Label1->text(), QStringLiteral("Format:  PCM   11.025 kHz, 16 Bit, Mono"));
    f.run(2'500);
    EXPECT_EQ(button(), QStringLiteral("Standby ") + bgrColor(0x0080FFFF).name());
    EXPECT_EQ(menu.lblTimer->text(), FormatSeconds(2));
    EXPECT_EQ(
        menu.lblClock->text(), QLocale().toString(f.ts.clock.now(), QStringLiteral("dddd  MM/dd/yyyy  HH:mm:ss")));
    menu.cmdStop->click();
    f.settle();
    EXPECT_EQ(button(), QStringLiteral("Record ") + bgrColor(0x000000C0).name());
    EXPECT_NE(idle, button()) << "the first caption is the accelerated &Record";
}

// The clock line keeps its order (weekday, month, day, year, time) with the locale's separators.
TEST(MainWindow, ClockLineTakesItsSeparatorsFromTheLocale)
{
    const QDateTime sunday(QDate(2026, 12, 6), QTime(14, 5, 9));
    const std::pair<QLocale, const char*> cases[] = {
        { QLocale(QLocale::English, QLocale::UnitedStates), "Sunday  12/06/2026  14:05:09" },
        { QLocale(QLocale::German, QLocale::Germany), "Sonntag  12.06.2026  14:05:09" },
        { QLocale(QLocale::Danish, QLocale::Denmark), "søndag  12.06.2026  14.05.09" },
    };
    for (const auto& [locale, expected] : cases)
        EXPECT_EQ(locale.toString(sunday, Menu::clockFormat(locale)), QString::fromUtf8(expected));
}

} // namespace
