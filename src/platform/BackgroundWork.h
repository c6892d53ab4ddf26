#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace wendmoor {

// A thread of its own for work that touches the disks (measuring a drive, deleting expired logs),
// so that the thread that made this object (the window's) never waits on a file system. Jobs run
// one after another in the order posted; what a job gives back runs on the thread that made this
// object, in the same order, as a queued call. A job that hangs on a dead disk holds only this
// thread: the destructor waits for it a short while and then leaves it behind, and what it gives
// back is dropped.
class BackgroundWork {
public:
    // What to do on the home thread once a job is done; empty for nothing.
    using Result = std::function<void()>;
    using Job = std::function<Result()>;

    // `waitAtTheEnd`: how long the destructor waits for a job still running before it leaves it
    // behind (the purge's deleting is worth a short wait; a measurement for a window is not).
    explicit BackgroundWork(std::chrono::milliseconds waitAtTheEnd = std::chrono::seconds(3));
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    void post(Job job);
    // No job waits or runs.
    [[nodiscard]] bool idle() const;
    // Waits until no job waits or runs, then runs what came back (on the home thread only: tests,
    // the end of a run).
    void finish();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::chrono::milliseconds m_waitAtTheEnd;
    QObject m_home;
};

} // namespace wendmoor
