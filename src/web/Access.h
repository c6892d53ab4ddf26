#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace wendmoor {

// Where the server listens: "ADDRESS:PORT", an IPv6 address in brackets ("[::1]:8740").
struct ListenAddress {
    QString host;
    int port = 0;
};
inline constexpr int kDefaultWebPort = 8740;
[[nodiscard]] std::optional<ListenAddress> parseListenAddress(const QString& text);
// 127.0.0.0/8 and ::1: only this machine can reach them.
[[nodiscard]] bool isLoopbackAddress(const QString& host);

// The password in `path` (its first line). Throws Error naming the file when it cannot be read,
// is empty, or can be read or written by anyone but its owner (chmod 600) or is not the user's
// own: a password others can read protects nothing.
[[nodiscard]] QByteArray readPasswordFile(const QString& path);

// Who may do what: with a password, a login opens a session (a random token kept in a cookie)
// and failed logins from one address wait longer each time; without one (the server then
// listens on the loopback only) everybody on this machine is logged in. Every state-changing
// request carries the session's form token, which only a page of the server itself can read.
// Called from the server's threads at once.
class Access {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    explicit Access(QByteArray password, Clock clock = {}, Sleep sleep = {});

    [[nodiscard]] bool loginRequired() const { return !m_password.isEmpty(); }

    // A new session's token, or nothing for a wrong password; a failure waits first (0.5 s,
    // doubled for each failure from `client` before it, up to 8 s).
    [[nodiscard]] std::optional<std::string> logIn(std::string_view password, const std::string& client);
    void logOut(std::string_view session);
    // Whether the session (empty: none) may read; without a password every request may.
    [[nodiscard]] bool mayRead(std::string_view session) const;
    // The form token of a session, empty when it is none.
    [[nodiscard]] std::string formToken(std::string_view session) const;
    // Whether a state-changing request with these cookie and form token may go ahead.
    [[nodiscard]] bool mayChange(std::string_view session, std::string_view formToken) const;

    static constexpr std::chrono::hours kSessionLifetime { 12 };
    static constexpr std::size_t kMaxSessions = 256;

private:
    struct Session {
        std::string formToken;
        std::chrono::steady_clock::time_point expires;
    };
    [[nodiscard]] const Session* find(std::string_view session) const;

    QByteArray m_password;
    Clock m_clock;
    Sleep m_sleep;
    std::string m_openFormToken; // without a password
    mutable std::mutex m_mutex;
    std::map<std::string, Session, std::less<>> m_sessions;
    std::map<std::string, int> m_failures;
};

// A token of 32 random bytes as hex.
[[nodiscard]] std::string randomToken();

} // namespace wendmoor
