#pragma once

#include "web/Access.h"
#include "web/ArchiveView.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace wendmoor {

// $XDG_RUNTIME_DIR/wendmoor-status.json: where the running recorder says what it is doing
// (app/StatusFile writes it), for the server, which runs in a process of its own.
[[nodiscard]] QString statusFilePath();

struct WebServerOptions {
    QString archiveFolder;
    ListenAddress listen { QStringLiteral("127.0.0.1"), kDefaultWebPort };
    QByteArray password; // empty: no login, and then only a loopback address is accepted
    QString statusFile; // what the running recorder says of itself
    // Connections served at once, and accepted connections waiting for a thread; more wait in
    // the system's listen queue.
    int threads = 32;
    int waiting = 64;
    // A client that sends or takes nothing for this long is cut off.
    int timeoutSeconds = 10;
    std::function<std::int64_t()> nowUtc; // the clock, UTC ms (the system's when not set)
    std::function<void(const std::string&)> log; // one line per request (standard error when not set)
};

// `wendmoor serve`: the archive's pages and audio over HTTP. It reads the archive and changes
// nothing in it. Each request runs on one of a fixed number of threads, with read and write
// timeouts, so that slow or many clients wait or are cut off and never take the process down.
class WebServer {
public:
    // Throws Error when the address is not a loopback one and there is no password.
    explicit WebServer(WebServerOptions options);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Takes the address (port 0: any free port). Throws Error naming it when it cannot.
    void bind();
    [[nodiscard]] int port() const { return m_port; }
    // Serves until stop(), from any thread.
    void run();
    void stop();

private:
    struct Routes;
    WebServerOptions m_options;
    Access m_access;
    ArchiveView m_archive;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = 0;
};

} // namespace wendmoor
