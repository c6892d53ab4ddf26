#include "web/Access.h"

#include "platform/Error.h"

#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <thread>

namespace wendmoor {

std::optional<ListenAddress> parseListenAddress(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    QHostAddress address;
    if (!ok || port < 1 || port > 65535 || !address.setAddress(host))
        return std::nullopt;
    return ListenAddress { host, port };
}

bool isLoopbackAddress(const QString& host)
{
    return QHostAddress(host).isLoopback();
}

QByteArray readPasswordFile(const QString& path)
{
    struct stat status { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        throw fileError(errno, QStringLiteral("Cannot read the password file"), path);
    if ((status.st_mode & 077) != 0 || status.st_uid != ::getuid())
        throw Error(ErrorNumber::PermissionDenied,
            QStringLiteral("The password file %1 can be read or written by others than its owner, or is not yours: "
                           "make it yours alone (chmod 600 %1)")
                .arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorNumber::PathFileAccess,
            QStringLiteral("Cannot read the password file %1: %2").arg(path, file.errorString()));
    QByteArray password = file.read(4096);
    password = password.left(password.indexOf('\n') < 0 ? password.size() : password.indexOf('\n'));
    if (password.endsWith('\r'))
        password.chop(1);
    if (password.isEmpty())
        throw Error(ErrorNumber::InvalidArgument, QStringLiteral("The password file %1 holds no password").arg(path));
    return password;
}

std::string randomToken()
{
    std::array<quint32, 8> words {};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof(words)).toHex().toStdString();
}

namespace {

// Compares without stopping at the first difference, so that the time taken tells nothing.
bool sameSecret(std::string_view a, std::string_view b)
{
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    return difference == 0;
}

} // namespace

Access::Access(QByteArray password, Clock clock, Sleep sleep)
    : m_password(std::move(password))
    , m_clock(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); }))
    , m_sleep(sleep ? std::move(sleep) : Sleep([](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); }))
    , m_openFormToken(randomToken())
{
}

std::optional<std::string> Access::logIn(std::string_view password, const std::string& client)
{
    if (!loginRequired())
        return std::nullopt;
    if (!sameSecret(password, std::string_view(m_password.constData(), static_cast<std::size_t>(m_password.size())))) {
        int failures = 0;
        {
            const std::lock_guard lock(m_mutex);
            if (m_failures.size() > 4096)
                m_failures.clear();
            failures = ++m_failures[client];
        }
        m_sleep(std::chrono::milliseconds(std::min(500 << std::min(failures - 1, 4), 8000)));
        return std::nullopt;
    }
    const std::lock_guard lock(m_mutex);
    m_failures.erase(client);
    const auto now = m_clock();
    std::erase_if(m_sessions, [&](const auto& entry) { return entry.second.expires <= now; });
    if (m_sessions.size() >= kMaxSessions) {
        auto oldest = std::min_element(m_sessions.begin(), m_sessions.end(),
            [](const auto& a, const auto& b) { return a.second.expires < b.second.expires; });
        m_sessions.erase(oldest);
    }
    std::string token = randomToken();
    m_sessions.emplace(token, Session { randomToken(), now + kSessionLifetime });
    return token;
}

void Access::logOut(std::string_view session)
{
    const std::lock_guard lock(m_mutex);
    if (auto it = m_sessions.find(session); it != m_sessions.end())
        m_sessions.erase(it);
}

const Access::Session* Access::find(std::string_view session) const
{
    const auto it = m_sessions.find(session);
    if (it == m_sessions.end() || it->second.expires <= m_clock())
        return nullptr;
    return &it->second;
}

bool Access::mayRead(std::string_view session) const
{
    if (!loginRequired())
        return true;
    const std::lock_guard lock(m_mutex);
    return find(session) != nullptr;
}

std::string Access::formToken(std::string_view session) const
{
    if (!loginRequired())
        return m_openFormToken;
    const std::lock_guard lock(m_mutex);
    const Session* found = find(session);
    return found ? found->formToken : std::string();
}

bool Access::mayChange(std::string_view session, std::string_view token) const
{
    const std::string expected = formToken(session);
    return !expected.empty() && sameSecret(token, expected);
}

} // namespace wendmoor
