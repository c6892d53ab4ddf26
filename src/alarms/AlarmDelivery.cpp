#include "alarms/AlarmDelivery.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace wendmoor {

namespace {

using Clock = std::chrono::steady_clock;

// Whoever may read the password need not be able to read its file.
constexpr qint64 kMaxPasswordBytes = 4096;

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

struct Upload {
    QByteArray data;
    qsizetype offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user)
{
    auto* up = static_cast<Upload*>(user);
    const size_t n = std::min(size * count, size_t(up->data.size() - up->offset));
    std::copy_n(up->data.constData() + up->offset, n, buffer);
    up->offset += qsizetype(n);
    return n;
}

size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

// Aborts a transfer under way when the delivery thread is told to stop.
int abortOnStop(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

QString oneLine(QString s)
{
    return s.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString subject(const AlarmLetter& l)
{
    return oneLine(QStringLiteral("Wendmoor on %1: %2 %3").arg(l.host, alarmName(l.alarm.kind), noticeName(l.notice)));
}

QString sinceText(const AlarmLetter& l)
{
    return l.alarm.since.isValid() ? l.alarm.since.toString(Qt::ISODate) : QString();
}

} // namespace

QByteArray webhookBody(const AlarmLetter& l)
{
    const QJsonObject o { { QStringLiteral("what"), alarmName(l.alarm.kind) },
        { QStringLiteral("state"), noticeName(l.notice) }, { QStringLiteral("since"), sinceText(l) },
        { QStringLiteral("host"), l.host }, { QStringLiteral("message"), l.alarm.message } };
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<QString> readPasswordFile(const QString& path, QString& password)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st { };
    if (::stat(native.constData(), &st) != 0)
        return QStringLiteral("the password file %1 cannot be read").arg(path);
    if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return QStringLiteral("the password file %1 must be this user's own and readable by no one else (chmod 600)")
            .arg(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("the password file %1 cannot be read: %2").arg(path, f.errorString());
    const QByteArray first = f.read(kMaxPasswordBytes).split('\n').value(0);
    password = QString::fromUtf8(first).remove(QLatin1Char('\r'));
    return std::nullopt;
}

AlarmDelivery::AlarmDelivery(Options options)
    : m_options(std::move(options))
{
    initCurlOnce();
    m_thread = std::thread([this] { run(); });
}

AlarmDelivery::~AlarmDelivery()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    m_thread.join();
}

QString AlarmDelivery::channelName(Channel channel)
{
    switch (channel) {
    case Channel::Email:
        return QStringLiteral("e-mail");
    case Channel::Webhook:
        return QStringLiteral("webhook");
    case Channel::Command:
        break;
    }
    return QStringLiteral("command");
}

void AlarmDelivery::send(const AlarmLetter& letter, const AlarmSettings& settings)
{
    std::vector<Channel> channels;
    if (!settings.emailServer.isEmpty())
        channels.push_back(Channel::Email);
    if (!settings.webhookUrl.isEmpty())
        channels.push_back(Channel::Webhook);
    if (!settings.command.isEmpty())
        channels.push_back(Channel::Command);
    {
        std::lock_guard lock(m_mutex);
        for (const Channel c : channels) {
            if (m_jobs.size() >= m_options.maxQueued)
                m_jobs.pop_front();
            m_jobs.push_back({ c, letter, settings, 0, Clock::now() });
        }
    }
    m_wake.notify_all();
}

std::size_t AlarmDelivery::pending() const
{
    std::lock_guard lock(m_mutex);
    return m_jobs.size() + m_busy;
}

void AlarmDelivery::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        const auto next
            = std::min_element(m_jobs.begin(), m_jobs.end(), [](const Job& a, const Job& b) { return a.due < b.due; });
        if (next == m_jobs.end()) {
            m_wake.wait(lock);
            continue;
        }
        if (next->due > Clock::now()) {
            m_wake.wait_until(lock, next->due);
            continue;
        }
        Job job = std::move(*next);
        m_jobs.erase(next);
        ++m_busy;
        lock.unlock();
        ++job.attempt;
        const std::optional<QString> failure = attempt(job);
        const bool final = !failure || m_stop || std::size_t(job.attempt) > m_options.retryDelays.size();
        if (failure && !m_stop)
            emit failed(job.channel, job.attempt, final, *failure);
        else if (!failure)
            emit delivered(job.channel,
                QStringLiteral("%1 %2").arg(alarmName(job.letter.alarm.kind), noticeName(job.letter.notice)));
        lock.lock();
        --m_busy;
        if (!final) {
            job.due = Clock::now() + m_options.retryDelays[std::size_t(job.attempt - 1)];
            m_jobs.push_back(std::move(job));
        }
    }
}

std::optional<QString> AlarmDelivery::attempt(const Job& job)
{
    switch (job.channel) {
    case Channel::Email:
        return sendMail(job);
    case Channel::Webhook:
        return postWebhook(job);
    case Channel::Command:
        break;
    }
    return runCommand(job);
}

std::optional<QString> AlarmDelivery::sendMail(const Job& job)
{
    const AlarmSettings& s = job.settings;
    if (s.emailTo.isEmpty())
        return QStringLiteral("no address in To");
    QString password;
    if (!s.emailPasswordFile.isEmpty())
        if (auto failure = readPasswordFile(s.emailPasswordFile, password))
            return failure;

    const QString scheme
        = s.emailSecurity == AlarmSettings::Security::Tls ? QStringLiteral("smtps") : QStringLiteral("smtp");
    const QByteArray url = QStringLiteral("%1://%2:%3").arg(scheme, s.emailServer).arg(s.emailPort).toUtf8();
    const QString from = s.emailFrom.isEmpty() ? QStringLiteral("wendmoor@%1").arg(job.letter.host) : s.emailFrom;
    Upload mail;
    mail.data = QStringLiteral(
        "Date: %1\r\nFrom: %2\r\nTo: %3\r\nSubject: %4\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
        "%5\r\n\r\nWhat: %6\r\nState: %7\r\nSince: %8\r\nHost: %9\r\n")
                    .arg(QDateTime::currentDateTime().toString(Qt::RFC2822Date), oneLine(from),
                        oneLine(s.emailTo.join(QStringLiteral(", "))), subject(job.letter), job.letter.alarm.message,
                        alarmName(job.letter.alarm.kind), noticeName(job.letter.notice), sinceText(job.letter),
                        job.letter.host)
                    .toUtf8();

    Easy curl(curl_easy_init());
    if (!curl)
        return QStringLiteral("libcurl could not start");
    Slist rcpt;
    for (const QString& to : s.emailTo)
        rcpt.reset(curl_slist_append(rcpt.release(), QStringLiteral("<%1>").arg(to).toUtf8().constData()));
    const QByteArray mailFrom = QStringLiteral("<%1>").arg(from).toUtf8();
    const QByteArray user = s.emailUser.toUtf8();
    const QByteArray pass = password.toUtf8();
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, mailFrom.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &mail);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(mail.data.size()));
    curl_easy_setopt(c, CURLOPT_USE_SSL,
        s.emailSecurity == AlarmSettings::Security::None ? long(CURLUSESSL_NONE) : long(CURLUSESSL_ALL));
    if (!user.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, pass.constData());
    }
    return perform(c, QStringLiteral("%1:%2").arg(s.emailServer).arg(s.emailPort));
}

std::optional<QString> AlarmDelivery::postWebhook(const Job& job)
{
    Easy curl(curl_easy_init());
    if (!curl)
        return QStringLiteral("libcurl could not start");
    const QByteArray url = job.settings.webhookUrl.toUtf8();
    const QByteArray body = webhookBody(job.letter);
    Slist headers(curl_slist_append(nullptr, "Content-Type: application/json"));
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
    return perform(c, job.settings.webhookUrl);
}

std::optional<QString> AlarmDelivery::perform(void* curl, const QString& where)
{
    // Every transfer has its time-outs and ends at once when the program does.
    CURL* c = curl;
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.connectTimeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(m_options.timeout.count()));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, abortOnStop);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &m_stop);
    char detail[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK)
        return QStringLiteral("%1 (%2): %3")
            .arg(QString::fromUtf8(curl_easy_strerror(rc)), where, QString::fromUtf8(detail));
    return std::nullopt;
}

std::optional<QString> AlarmDelivery::runCommand(const Job& job)
{
    const AlarmLetter& l = job.letter;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WENDMOOR_ALARM"), alarmName(l.alarm.kind));
    env.insert(QStringLiteral("WENDMOOR_ALARM_NUMBER"), QString::number(alarmNumber(l.alarm.kind)));
    env.insert(QStringLiteral("WENDMOOR_ALARM_STATE"), noticeName(l.notice));
    env.insert(QStringLiteral("WENDMOOR_ALARM_SINCE"), sinceText(l));
    env.insert(QStringLiteral("WENDMOOR_ALARM_MESSAGE"), l.alarm.message);
    env.insert(QStringLiteral("WENDMOOR_HOST"), l.host);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), job.settings.command });
    if (!p.waitForStarted(int(m_options.connectTimeout.count())))
        return QStringLiteral("\"%1\" did not start: %2").arg(job.settings.command, p.errorString());
    const auto deadline = Clock::now() + m_options.timeout;
    while (p.state() != QProcess::NotRunning && !p.waitForFinished(100)) {
        if (m_stop || Clock::now() >= deadline) {
            p.kill();
            p.waitForFinished(1000);
            return QStringLiteral("\"%1\" did not end within %2 s and was stopped")
                .arg(job.settings.command)
                .arg(m_options.timeout.count() / 1000.0);
        }
        p.readAll(); // a talkative command must not fill the pipe and stall
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("\"%1\" ended with %2: %3")
            .arg(job.settings.command)
            .arg(p.exitCode())
            .arg(QString::fromLocal8Bit(p.readAll()).trimmed().left(200));
    return std::nullopt;
}

} // namespace wendmoor
