#include "web/WebServer.h"

#include "export/ClipExport.h"
#include "platform/Error.h"
#include "platform/SingleInstance.h"
#include "web/AudioBody.h"
#include "web/ByteRange.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace wendmoor {

namespace {

constexpr const char* kSessionCookie = "wendmoor_session";
// A web clip's length: six hours of 48 kHz audio are 2 GB of WAV in the temporary folder.
constexpr std::int64_t kClipLongestMs = 6 * 3'600'000;

// One of the few exports that may run at once; nothing when all are taken.
class ExportSlot {
public:
    static std::unique_ptr<ExportSlot> take()
    {
        static constexpr int kSlots = 2;
        if (s_taken.fetch_add(1) >= kSlots) {
            s_taken.fetch_sub(1);
            return nullptr;
        }
        return std::unique_ptr<ExportSlot>(new ExportSlot);
    }
    ~ExportSlot() { s_taken.fetch_sub(1); }
    ExportSlot(const ExportSlot&) = delete;
    ExportSlot& operator=(const ExportSlot&) = delete;

private:
    ExportSlot() = default;
    static inline std::atomic<int> s_taken { 0 };
};

// A body that keeps a folder (the clip's temporary one) for as long as it is sent.
class KeptFolderBody final : public AudioBody {
public:
    KeptFolderBody(std::unique_ptr<AudioBody> body, std::shared_ptr<QTemporaryDir> folder)
        : m_body(std::move(body))
        , m_folder(std::move(folder))
    {
    }
    [[nodiscard]] std::int64_t size() const override { return m_body->size(); }
    [[nodiscard]] const char* mimeType() const override { return m_body->mimeType(); }
    [[nodiscard]] bool send(std::int64_t offset, std::int64_t length, const Write& write) override
    {
        return m_body->send(offset, length, write);
    }

private:
    std::unique_ptr<AudioBody> m_body;
    std::shared_ptr<QTemporaryDir> m_folder;
};

// A fixed number of threads and a bounded queue of accepted connections: when both are full
// the accepting thread waits, and further clients wait in the system's listen queue instead of
// each costing a thread or memory here.
class BoundedPool final : public httplib::TaskQueue {
public:
    BoundedPool(int threads, int waiting)
        : m_limit(static_cast<std::size_t>(waiting))
    {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    void enqueue(std::function<void()> fn) override
    {
        std::unique_lock lock(m_mutex);
        m_roomLeft.wait(lock, [&] { return m_jobs.size() < m_limit || m_stopping; });
        m_jobs.push_back(std::move(fn));
        m_ready.notify_one();
    }
    void shutdown() override
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_ready.notify_all();
        m_roomLeft.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [&] { return !m_jobs.empty() || m_stopping; });
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            m_roomLeft.notify_one();
            job();
        }
    }

    std::size_t m_limit;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_roomLeft;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    bool m_stopping = false;
};

std::map<std::string, std::pair<std::string, std::string>> loadPages()
{
    // Served path -> (resource, type).
    const std::vector<std::tuple<std::string, QString, std::string>> pages = {
        { "/", QStringLiteral(":/web/days.html"), "text/html; charset=utf-8" },
        { "/day", QStringLiteral(":/web/day.html"), "text/html; charset=utf-8" },
        { "/now", QStringLiteral(":/web/now.html"), "text/html; charset=utf-8" },
        { "/login", QStringLiteral(":/web/login.html"), "text/html; charset=utf-8" },
        { "/static/style.css", QStringLiteral(":/web/style.css"), "text/css; charset=utf-8" },
        { "/static/pages.js", QStringLiteral(":/web/pages.js"), "text/javascript; charset=utf-8" },
    };
    std::map<std::string, std::pair<std::string, std::string>> loaded;
    for (const auto& [path, resource, type] : pages) {
        QFile file(resource);
        if (file.open(QIODevice::ReadOnly))
            loaded[path] = { file.readAll().toStdString(), type };
    }
    return loaded;
}

std::string cookie(const httplib::Request& req, std::string_view name)
{
    const std::string header = req.get_header_value("Cookie");
    std::string_view rest = header;
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        std::string_view item = rest.substr(0, end);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        if (item.size() > name.size() && item.substr(0, name.size()) == name && item[name.size()] == '=')
            return std::string(item.substr(name.size() + 1));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return {};
}

void sendJson(httplib::Response& res, const QJsonDocument& json, int status = 200)
{
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(json.toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

void sendProblem(httplib::Response& res, int status, const QString& text)
{
    sendJson(res, QJsonDocument(QJsonObject { { QStringLiteral("error"), text } }), status);
}

QDate dayParameter(const httplib::Request& req)
{
    static const QRegularExpression pattern(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d$"));
    const QString text = QString::fromStdString(req.get_param_value("date"));
    return pattern.match(text).hasMatch() ? QDate::fromString(text, Qt::ISODate) : QDate();
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.mmm" of a day, as UTC ms.
std::optional<std::int64_t> clockParameter(const httplib::Request& req, const char* name, const QDate& day)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d\\d):(\\d\\d)(?::(\\d\\d)(?:\\.(\\d{1,3}))?)?$"));
    const QRegularExpressionMatch m = pattern.match(QString::fromStdString(req.get_param_value(name)));
    if (!m.hasMatch())
        return std::nullopt;
    const QTime time(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
        m.captured(4).leftJustified(3, QLatin1Char('0')).toInt());
    if (!time.isValid())
        return std::nullopt;
    return QDateTime(day, time).toMSecsSinceEpoch();
}

std::string requestLine(const httplib::Request& req)
{
    std::string line = req.remote_addr + " " + req.method + " " + req.path;
    std::string query;
    for (const auto& [key, value] : req.params)
        query += (query.empty() ? "?" : "&") + key + "=" + value;
    line += query;
    if (req.has_header("Range"))
        line += " Range: " + req.get_header_value("Range");
    return line;
}

void sendBody(const httplib::Request& req, httplib::Response& res, std::shared_ptr<AudioBody> body,
    const std::function<void(const std::string&)>& log)
{
    log(requestLine(req) + " begins");
    const ByteRange range = resolveRange(req.get_header_value("Range"), body->size());
    // The range is answered here, against the body's real length; the library must not apply
    // it a second time.
    const_cast<httplib::Request&>(req).ranges.clear();
    res.set_header("Accept-Ranges", "bytes");
    res.set_header("Cache-Control", "no-store");
    const std::string size = std::to_string(body->size());
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + size);
        return;
    }
    if (range.kind == ByteRange::Kind::Part) {
        res.status = 206;
        res.set_header(
            "Content-Range", "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" + size);
    } else {
        res.status = 200;
    }
    const std::int64_t first = range.first;
    res.set_content_provider(static_cast<std::size_t>(std::max<std::int64_t>(range.size(), 0)), body->mimeType(),
        [body, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return body->send(first + static_cast<std::int64_t>(offset), static_cast<std::int64_t>(length),
                [&sink](const char* data, std::size_t n) { return sink.write(data, n); });
        });
}

QString clockText(std::int64_t utc)
{
    return QDateTime::fromMSecsSinceEpoch(utc).toString(QStringLiteral("HH:mm:ss"));
}

QJsonObject dayJson(const ArchiveView::Day& day)
{
    QJsonArray logs;
    for (int i = 0; i < day.logs.size(); ++i)
        logs.append(QJsonObject { { QStringLiteral("log"), i } });
    QJsonArray segments;
    for (const ArchiveView::Segment& s : day.segments)
        segments.append(QJsonObject { { QStringLiteral("log"), s.log }, { QStringLiteral("from"), double(s.startUtc) },
            { QStringLiteral("to"), double(s.endUtc) }, { QStringLiteral("fromClock"), clockText(s.startUtc) },
            { QStringLiteral("toClock"), clockText(s.endUtc) },
            { QStringLiteral("seconds"), double(s.firstFrame) / std::max(s.sampleRate, 1) } });
    QJsonArray gaps;
    for (const ArchiveView::Gap& g : day.gaps)
        gaps.append(QJsonObject { { QStringLiteral("from"), double(g.fromUtc) },
            { QStringLiteral("to"), double(g.toUtc) }, { QStringLiteral("fromClock"), clockText(g.fromUtc) },
            { QStringLiteral("toClock"), clockText(g.toUtc) }, { QStringLiteral("reason"), g.reason },
            { QStringLiteral("detail"), g.detail } });
    QJsonArray holds;
    for (const ArchiveView::Hold& h : day.holds)
        holds.append(QJsonObject { { QStringLiteral("id"), double(h.id) },
            { QStringLiteral("from"), double(h.fromUtc) }, { QStringLiteral("to"), double(h.toUtc) },
            { QStringLiteral("reason"), h.reason }, { QStringLiteral("user"), h.user },
            { QStringLiteral("fromClock"),
                QDateTime::fromMSecsSinceEpoch(h.fromUtc).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) },
            { QStringLiteral("toClock"),
                QDateTime::fromMSecsSinceEpoch(h.toUtc).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) } });
    return { { QStringLiteral("date"), day.day.toString(Qt::ISODate) },
        { QStringLiteral("from"), double(day.startUtc) }, { QStringLiteral("to"), double(day.endUtc) },
        { QStringLiteral("end"), double(QDateTime(day.day.addDays(1), QTime(0, 0)).toMSecsSinceEpoch()) },
        { QStringLiteral("recordedMs"), double(day.recordedMs()) }, { QStringLiteral("logs"), logs },
        { QStringLiteral("segments"), segments }, { QStringLiteral("gaps"), gaps },
        { QStringLiteral("holds"), holds } };
}

} // namespace

QString statusFilePath()
{
    return SingleInstance::defaultFolder() + QStringLiteral("/wendmoor-status.json");
}

struct WebServer::Routes {
    static void install(WebServer& self);
};

WebServer::WebServer(WebServerOptions options)
    : m_options(std::move(options))
    , m_access(m_options.password)
    , m_archive(m_options.archiveFolder)
    , m_server(std::make_unique<httplib::Server>())
{
    if (!m_access.loginRequired() && !isLoopbackAddress(m_options.listen.host))
        throw Error(ErrorNumber::PermissionDenied,
            QStringLiteral("Refusing to listen on %1, which other machines can reach, without a password: "
                           "give --password-file FILE (a file only you can read), or listen on 127.0.0.1")
                .arg(m_options.listen.host));
    if (!m_options.nowUtc)
        m_options.nowUtc = [] { return QDateTime::currentMSecsSinceEpoch(); };
    if (!m_options.log)
        m_options.log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    const int threads = m_options.threads;
    const int waiting = m_options.waiting;
    m_server->new_task_queue = [threads, waiting] { return new BoundedPool(threads, waiting); };
    // An idle connection is kept 5 s (or the timeout, when shorter).
    m_server->set_read_timeout(m_options.timeoutSeconds);
    m_server->set_write_timeout(m_options.timeoutSeconds);
    m_server->set_keep_alive_timeout(std::min(5, m_options.timeoutSeconds));
    m_server->set_keep_alive_max_count(100);
    m_server->set_payload_max_length(64 * 1024);
    Routes::install(*this);
}

WebServer::~WebServer()
{
    stop();
}

void WebServer::bind()
{
    const std::string host = m_options.listen.host.toStdString();
    if (m_options.listen.port == 0) {
        m_port = m_server->bind_to_any_port(host);
    } else if (m_server->bind_to_port(host, m_options.listen.port)) {
        m_port = m_options.listen.port;
    }
    if (m_port <= 0)
        throw Error(ErrorNumber::PathFileAccess,
            QStringLiteral("Cannot listen on %1 port %2: %3")
                .arg(m_options.listen.host)
                .arg(m_options.listen.port)
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

void WebServer::run()
{
    m_server->listen_after_bind();
}

void WebServer::stop()
{
    m_server->stop();
}

void WebServer::Routes::install(WebServer& self)
{
    httplib::Server& server = *self.m_server;
    Access& access = self.m_access;
    ArchiveView& archive = self.m_archive;
    WebServerOptions& options = self.m_options;
    auto pages = std::make_shared<const std::map<std::string, std::pair<std::string, std::string>>>(loadPages());
    const std::string port = std::to_string(self.m_options.listen.port);

    // Each request when it is answered; audio also when it begins, since a stream is answered
    // only when the listener stops.
    server.set_logger([&options](const httplib::Request& req, const httplib::Response& res) {
        options.log(requestLine(req) + " -> " + std::to_string(res.status));
    });
    server.set_exception_handler(
        [&options](const httplib::Request&, httplib::Response& res, std::exception_ptr failure) {
            QString text = QStringLiteral("unexpected failure");
            try {
                std::rethrow_exception(failure);
            } catch (const Error& e) {
                text = e.text();
            } catch (const std::exception& e) {
                text = QString::fromLocal8Bit(e.what());
            } catch (...) {
            }
            options.log("failure: " + text.toStdString());
            sendProblem(res, 500, text);
        });

    // Without a password the pages answer only to names of this machine: a web site whose name
    // is made to point at 127.0.0.1 is not the server's own and reads nothing.
    server.set_pre_routing_handler([&access, port](const httplib::Request& req, httplib::Response& res) {
        const std::string host = req.get_header_value("Host");
        if (!access.loginRequired() && !host.empty()) {
            const std::string name = host.substr(
                0, host.rfind(':') == std::string::npos || host.back() == ']' ? host.size() : host.rfind(':'));
            if (name != "127.0.0.1" && name != "localhost" && name != "[::1]") {
                sendProblem(res, 403, QStringLiteral("This server answers only to 127.0.0.1 or localhost"));
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        // A state-changing request from another site's page carries another Origin.
        if (req.method == "POST" && req.has_header("Origin")) {
            const std::string origin = req.get_header_value("Origin");
            if (origin != "http://" + host) {
                sendProblem(res, 403, QStringLiteral("Refused: the request comes from another site"));
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        const bool open = req.path == "/login" || req.path.rfind("/static/", 0) == 0 || req.path == "/api/session";
        if (!open && !access.mayRead(cookie(req, kSessionCookie))) {
            if (req.path.rfind("/api/", 0) == 0 || req.path == "/audio") {
                sendProblem(res, 401, QStringLiteral("Log in first"));
            } else {
                res.status = 303;
                res.set_header("Location", "/login");
            }
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    for (const auto& [path, content] : *pages) {
        server.Get(path, [pages, path = path](const httplib::Request&, httplib::Response& res) {
            const auto& [text, type] = pages->at(path);
            res.set_header("Content-Security-Policy", "default-src 'self'; media-src 'self'; frame-ancestors 'none'");
            res.set_header("X-Content-Type-Options", "nosniff");
            res.set_content(text, type);
        });
    }

    server.Get("/api/session", [&access](const httplib::Request& req, httplib::Response& res) {
        const std::string session = cookie(req, kSessionCookie);
        const bool in = access.mayRead(session);
        sendJson(res,
            QJsonDocument(QJsonObject { { QStringLiteral("loginRequired"), access.loginRequired() },
                { QStringLiteral("loggedIn"), in },
                { QStringLiteral("token"), QString::fromStdString(in ? access.formToken(session) : std::string()) } }));
    });
    server.Post("/login", [&access](const httplib::Request& req, httplib::Response& res) {
        const std::optional<std::string> session = access.logIn(req.get_param_value("password"), req.remote_addr);
        if (!session) {
            res.status = 303;
            res.set_header("Location", "/login?failed=1");
            return;
        }
        res.status = 303;
        res.set_header("Set-Cookie",
            std::string(kSessionCookie) + "=" + *session + "; Path=/; HttpOnly; SameSite=Strict; Max-Age=43200");
        res.set_header("Location", "/");
    });
    server.Post("/logout", [&access](const httplib::Request& req, httplib::Response& res) {
        const std::string session = cookie(req, kSessionCookie);
        if (!access.mayChange(session, req.get_param_value("token"))) {
            sendProblem(res, 403, QStringLiteral("Refused: the form's token is missing or stale"));
            return;
        }
        access.logOut(session);
        res.status = 303;
        res.set_header("Set-Cookie", std::string(kSessionCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
        res.set_header("Location", "/login");
    });

    server.Get("/api/days", [&archive, &options](const httplib::Request&, httplib::Response& res) {
        QJsonArray days;
        const std::int64_t now = options.nowUtc();
        for (const QDate& date : archive.days()) {
            const ArchiveView::Day day = archive.day(date, now);
            days.append(QJsonObject { { QStringLiteral("date"), date.toString(Qt::ISODate) },
                { QStringLiteral("recordedMs"), double(day.recordedMs()) },
                { QStringLiteral("lengthMs"), double(day.endUtc - day.startUtc) },
                { QStringLiteral("gaps"), int(day.gaps.size()) }, { QStringLiteral("logs"), int(day.logs.size()) } });
        }
        sendJson(res, QJsonDocument(days));
    });
    server.Get("/api/day", [&archive, &options](const httplib::Request& req, httplib::Response& res) {
        const QDate date = dayParameter(req);
        if (!date.isValid())
            return sendProblem(res, 400, QStringLiteral("Give the day as date=YYYY-MM-DD"));
        sendJson(res, QJsonDocument(dayJson(archive.day(date, options.nowUtc()))));
    });
    server.Get("/api/locate", [&archive, &options](const httplib::Request& req, httplib::Response& res) {
        const QDate date = dayParameter(req);
        const std::optional<std::int64_t> at = date.isValid() ? clockParameter(req, "time", date) : std::nullopt;
        if (!at)
            return sendProblem(res, 400, QStringLiteral("Give date=YYYY-MM-DD and time=HH:MM:SS"));
        const std::optional<ArchiveView::Place> place = archive.locate(date, *at, options.nowUtc());
        if (!place)
            return sendProblem(res, 404, QStringLiteral("Nothing was recorded at %1").arg(clockText(*at)));
        sendJson(res,
            QJsonDocument(QJsonObject { { QStringLiteral("log"), place->log },
                { QStringLiteral("seconds"), double(place->frame) / place->sampleRate } }));
    });
    server.Get("/audio", [&archive, &options](const httplib::Request& req, httplib::Response& res) {
        const QDate date = dayParameter(req);
        if (!date.isValid())
            return sendProblem(res, 400, QStringLiteral("Give the day as date=YYYY-MM-DD"));
        if (req.has_param("from")) {
            const std::optional<std::int64_t> at = clockParameter(req, "from", date);
            if (!at)
                return sendProblem(res, 400, QStringLiteral("Give the clock time as from=HH:MM:SS"));
            const std::optional<ArchiveView::Place> place = archive.locate(date, *at, options.nowUtc());
            if (!place)
                return sendProblem(res, 404, QStringLiteral("Nothing was recorded at %1").arg(clockText(*at)));
            return sendBody(req, res,
                openDecodedBody(archive.logPath(date, place->log, options.nowUtc()), place->frame), options.log);
        }
        bool ok = false;
        const int log = QString::fromStdString(req.get_param_value("log")).toInt(&ok);
        const QString path = ok ? archive.logPath(date, log, options.nowUtc()) : QString();
        if (path.isEmpty())
            return sendProblem(res, 404, QStringLiteral("The day has no such log"));
        sendBody(req, res, openLogBody(path), options.log);
    });
    // A clip to keep, as `wendmoor export` writes it: across logs, a gap as silence of its length,
    // a 16-bit PCM WAV with its bext time. With manifest=1 the manifest of the same clip instead
    // (the clip's bytes are the same at each export; its SHA-256 is also in X-Clip-SHA256).
    server.Get("/clip", [&archive, &options](const httplib::Request& req, httplib::Response& res) {
        const QDate date = dayParameter(req);
        const std::optional<std::int64_t> from = date.isValid() ? clockParameter(req, "from", date) : std::nullopt;
        const std::optional<std::int64_t> to = date.isValid() ? clockParameter(req, "to", date) : std::nullopt;
        if (!from || !to || *to <= *from)
            return sendProblem(res, 400, QStringLiteral("Give the day, and a from time before the to time"));
        if (*to - *from > kClipLongestMs)
            return sendProblem(res, 400,
                QStringLiteral("A clip here is at most %1 hours; `wendmoor export` cuts longer ones")
                    .arg(kClipLongestMs / 3'600'000));
        // Each export writes the clip to a temporary folder first: a few at once, the others wait.
        const std::unique_ptr<ExportSlot> slot = ExportSlot::take();
        if (!slot) {
            res.set_header("Retry-After", "10");
            return sendProblem(res, 503, QStringLiteral("Other clips are being cut; try again in a moment"));
        }
        auto folder = std::make_shared<QTemporaryDir>();
        const std::string name = "wendmoor-" + date.toString(Qt::ISODate).toStdString() + "-"
            + clockText(*from).remove(QLatin1Char(':')).toStdString() + "-"
            + clockText(*to).remove(QLatin1Char(':')).toStdString() + ".wav";
        ClipExportResult result;
        try {
            ClipPlan plan;
            archive.readCatalog([&](const Catalog& catalog) { plan = planClip(catalog, *from, *to); });
            ClipExportOptions clip;
            clip.output = folder->filePath(QString::fromStdString(name));
            if (!folder->isValid())
                throw Error(ErrorNumber::WaveFileCreate, QStringLiteral("No temporary folder for the clip"));
            result = exportClip(plan, clip);
        } catch (const Error& e) {
            return sendProblem(res, e.number() == ErrorNumber::InvalidArgument ? 404 : 500, e.text());
        }
        res.set_header("X-Clip-SHA256", result.sha256.toStdString());
        if (req.get_param_value("manifest") == "1") {
            QFile manifest(result.manifest);
            if (!manifest.open(QIODevice::ReadOnly))
                return sendProblem(res, 500, QStringLiteral("The clip's manifest could not be read"));
            res.set_header("Content-Disposition", "attachment; filename=\"" + name + ".json\"");
            res.set_header("Cache-Control", "no-store");
            res.set_content(manifest.readAll().toStdString(), "application/json");
            return;
        }
        res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
        // The temporary folder goes with the last byte sent.
        sendBody(req, res, std::make_shared<KeptFolderBody>(openLogBody(result.clip), folder), options.log);
    });
    server.Post("/api/holds", [&access, &archive, &options](const httplib::Request& req, httplib::Response& res) {
        if (!access.mayChange(cookie(req, kSessionCookie), req.get_param_value("token")))
            return sendProblem(
                res, 403, QStringLiteral("Refused: the form's token is missing or stale; load the page again"));
        const QDate date = dayParameter(req);
        const QString reason = QString::fromStdString(req.get_param_value("reason")).trimmed().left(500);
        const std::optional<std::int64_t> fromTime = date.isValid() ? clockParameter(req, "from", date) : std::nullopt;
        const std::optional<std::int64_t> toTime = date.isValid() ? clockParameter(req, "to", date) : std::nullopt;
        const std::int64_t from = fromTime.value_or(0);
        std::int64_t to = toTime.value_or(0);
        // A hold to 00:00 holds to the end of the day.
        if (toTime && req.get_param_value("to").rfind("00:00", 0) == 0)
            to = QDateTime(date.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
        if (!fromTime || !toTime || to <= from || reason.isEmpty())
            return sendProblem(res, 400, QStringLiteral("Give the day, a from time before the to time, and a reason"));
        const QString user = QStringLiteral("%1 (web, %2)")
                                 .arg(qEnvironmentVariable("USER", QStringLiteral("wendmoor")),
                                     QString::fromStdString(req.remote_addr));
        const std::int64_t id = archive.addHold(from, to, reason, user, options.nowUtc());
        options.log("hold " + std::to_string(id) + " placed by " + user.toStdString() + ": " + reason.toStdString());
        sendJson(res, QJsonDocument(QJsonObject { { QStringLiteral("id"), double(id) } }));
    });
    server.Get("/api/status", [&options](const httplib::Request&, httplib::Response& res) {
        QFile file(options.statusFile);
        QJsonParseError parsed {};
        const QJsonDocument status = file.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(file.read(256 * 1024), &parsed)
            : QJsonDocument();
        if (!status.isObject())
            return sendJson(res, QJsonDocument(QJsonObject { { QStringLiteral("running"), false } }));
        // The recorder writes it every two seconds; an older one was left by a recorder that ended.
        QJsonObject object = status.object();
        object[QStringLiteral("running")]
            = options.nowUtc() - object.value(QStringLiteral("writtenUtc")).toDouble() < 15000;
        sendJson(res, QJsonDocument(object));
    });
}

} // namespace wendmoor
