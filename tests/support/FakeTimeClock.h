#pragma once

#include "Fakes.h"
#include "recorder/Menu.h"

#include <QTimer>

namespace wendmoor::test {

// Runs the main window's clock on the fake clock: one tick of TmrClock, and the two one-shot
// guards firing once 1.5 s of fake time have passed since they were started.
class FakeTimeClock {
public:
    FakeTimeClock(Menu& menu, FakeTimeSource& clock) : m_menu(menu), m_clock(clock) { m_menu.TmrClock->stop(); }

    void tick()
    {
        const bool t1 = m_menu.Timer1->isActive();
        const bool t2 = m_menu.Timer2->isActive();
        m_menu.TmrClock_Timer();
        if (!t1 && m_menu.Timer1->isActive())
            m_timer1Since = m_clock.current;
        if (!t2 && m_menu.Timer2->isActive())
            m_timer2Since = m_clock.current;
        if (m_menu.Timer1->isActive() && m_timer1Since.msecsTo(m_clock.current) >= 1500)
            m_menu.Timer1_Timer();
        if (m_menu.Timer2->isActive() && m_timer2Since.msecsTo(m_clock.current) >= 1500)
            m_menu.Timer2_Timer();
    }

private:
    Menu& m_menu;
    FakeTimeSource& m_clock;
    QDateTime m_timer1Since;
    QDateTime m_timer2Since;
};

} // namespace wendmoor::test
