#include "platform/BackgroundWork.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace wendmoor {

struct BackgroundWork::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> jobs;
    bool running = false;
    bool stopping = false;
    bool ended = false;
    QObject* home = nullptr; // null once the object is gone: nothing is delivered any more
};

BackgroundWork::BackgroundWork(std::chrono::milliseconds waitAtTheEnd)
    : m_shared(std::make_shared<Shared>())
    , m_waitAtTheEnd(waitAtTheEnd)
{
    m_shared->home = &m_home;
    std::thread([shared = m_shared] {
        std::unique_lock lock(shared->mutex);
        for (;;) {
            shared->changed.wait(lock, [&] { return shared->stopping || !shared->jobs.empty(); });
            if (shared->jobs.empty())
                break;
            Job job = std::move(shared->jobs.front());
            shared->jobs.pop_front();
            shared->running = true;
            lock.unlock();
            Result result;
            try {
                result = job();
            } catch (...) {
                // A job's failure is its own to report; the thread goes on with the next.
            }
            lock.lock();
            // Delivered under the lock, so that the home object cannot go meanwhile.
            if (result && shared->home)
                QMetaObject::invokeMethod(shared->home, std::move(result), Qt::QueuedConnection);
            shared->running = false;
            shared->changed.notify_all();
        }
        shared->ended = true;
        shared->changed.notify_all();
    }).detach();
}

BackgroundWork::~BackgroundWork()
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->stopping = true;
    m_shared->home = nullptr;
    m_shared->changed.notify_all();
    // Jobs still waiting are done (a purge that was due); one that hangs is left behind.
    m_shared->changed.wait_for(lock, m_waitAtTheEnd, [this] { return m_shared->ended; });
}

void BackgroundWork::post(Job job)
{
    const std::lock_guard lock(m_shared->mutex);
    m_shared->jobs.push_back(std::move(job));
    m_shared->changed.notify_all();
}

bool BackgroundWork::idle() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->jobs.empty() && !m_shared->running;
}

void BackgroundWork::finish()
{
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->changed.wait(lock, [this] { return m_shared->jobs.empty() && !m_shared->running; });
    }
    if (QThread::currentThread() == m_home.thread())
        QCoreApplication::sendPostedEvents(&m_home);
}

} // namespace wendmoor
