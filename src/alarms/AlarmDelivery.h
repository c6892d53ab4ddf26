#pragma once

#include "alarms/AlarmRules.h"
#include "alarms/AlarmSettings.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace wendmoor {

// What one delivery carries: the alarm, whether it was raised, repeated, cleared or said once,
// and the station's host name.
struct AlarmLetter {
    AlarmBoard::Notice notice = AlarmBoard::Notice::Said;
    Alarm alarm;
    QString host;
};

// The JSON body a webhook receives: {"what", "state", "since", "host", "message"}.
[[nodiscard]] QByteArray webhookBody(const AlarmLetter& letter);

// Sends alarms by e-mail (SMTP through libcurl), to a webhook (an HTTP POST of JSON) and to a
// command, on a thread of its own: send() only queues and returns at once, so a slow or dead
// server never holds the caller, which records. A delivery that fails is tried again after each
// of the retry delays; every failure is reported through failed(), emitted on the delivery
// thread (a queued connection brings it to the receiver's thread).
class AlarmDelivery final : public QObject {
    Q_OBJECT
public:
    enum class Channel { Email, Webhook, Command };
    Q_ENUM(Channel)

    struct Options {
        std::chrono::milliseconds connectTimeout { 10000 };
        std::chrono::milliseconds timeout { 30000 }; // one attempt, from connecting to the end
        std::vector<std::chrono::milliseconds> retryDelays { std::chrono::seconds(30), std::chrono::minutes(2),
            std::chrono::minutes(10) };
        std::size_t maxQueued = 200; // beyond this the oldest waiting delivery is given up
    };

    explicit AlarmDelivery(Options options);
    AlarmDelivery()
        : AlarmDelivery(Options {})
    {
    }
    // Gives up what is still queued and aborts a delivery under way within a moment.
    ~AlarmDelivery() override;

    // Queues the letter for each delivery `settings` turns on. Any thread; never blocks on the
    // network.
    void send(const AlarmLetter& letter, const AlarmSettings& settings);
    // How many deliveries are queued or under way.
    [[nodiscard]] std::size_t pending() const;

    [[nodiscard]] static QString channelName(Channel channel);

signals:
    // attempt counts from 1; `final`: no further attempt follows.
    void failed(wendmoor::AlarmDelivery::Channel channel, int attempt, bool final, const QString& reason);
    void delivered(wendmoor::AlarmDelivery::Channel channel, const QString& what);

private:
    struct Job {
        Channel channel;
        AlarmLetter letter;
        AlarmSettings settings;
        int attempt = 0;
        std::chrono::steady_clock::time_point due;
    };

    void run();
    // One attempt: nothing, or why it failed.
    [[nodiscard]] std::optional<QString> attempt(const Job& job);
    [[nodiscard]] std::optional<QString> sendMail(const Job& job);
    [[nodiscard]] std::optional<QString> postWebhook(const Job& job);
    [[nodiscard]] std::optional<QString> runCommand(const Job& job);
    // Runs a prepared transfer: nothing, or why it failed, naming `where` it went.
    [[nodiscard]] std::optional<QString> perform(void* curl, const QString& where);

    Options m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    std::size_t m_busy = 0;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

// The password in `path`, refused unless the file is a regular file of this user that no one
// else may read or write.
[[nodiscard]] std::optional<QString> readPasswordFile(const QString& path, QString& password);

} // namespace wendmoor
