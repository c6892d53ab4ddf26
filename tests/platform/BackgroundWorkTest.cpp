#include "platform/BackgroundWork.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace wendmoor;
using namespace std::chrono_literals;

// Jobs run off the posting thread, one after another; what they give back runs on the posting
// thread in the order posted, and only once it delivers its events (finish() here).
TEST(BackgroundWork, ResultsComeBackOnTheHomeThreadInTheOrderPosted)
{
    BackgroundWork work;
    QStringList seen;
    std::atomic<bool> offHome { true };
    for (int i = 0; i < 5; ++i) {
        work.post([&, i]() -> BackgroundWork::Result {
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                offHome = false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5 - i)); // the later ones are quicker
            return [&seen, i] {
                EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                seen.append(QString::number(i));
            };
        });
    }
    EXPECT_TRUE(seen.isEmpty());
    work.finish();
    EXPECT_TRUE(offHome);
    EXPECT_EQ(seen.join(QLatin1Char(' ')).toStdString(), "0 1 2 3 4");
    EXPECT_TRUE(work.idle());
}

// A job stuck on a disk that never answers keeps the work busy (the disk watch measures nothing
// more meanwhile) and does not keep the program from ending: the destructor leaves it behind,
// and what it gives back later goes nowhere.
TEST(BackgroundWork, AJobThatHangsIsLeftBehindAtTheEnd)
{
    auto stuck = std::make_shared<std::atomic<bool>>(true);
    auto delivered = std::make_shared<std::atomic<bool>>(false);
    auto work = std::make_unique<BackgroundWork>();
    work->post([stuck, delivered]() -> BackgroundWork::Result {
        while (*stuck)
            std::this_thread::sleep_for(5ms);
        return [delivered] { *delivered = true; };
    });
    EXPECT_FALSE(work->idle());
    auto ended = std::async(std::launch::async, [&] { work.reset(); });
    const bool endedWhileStuck = ended.wait_for(10s) == std::future_status::ready;
    *stuck = false;
    ended.wait();
    EXPECT_TRUE(endedWhileStuck);
    std::this_thread::sleep_for(50ms);
    QCoreApplication::processEvents();
    EXPECT_FALSE(*delivered);
}
