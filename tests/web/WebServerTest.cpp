#include "web/WebServer.h"
#include "../media/WavChecks.h"
#include "RealTimeCard.h"
#include "RecorderFixture.h"
#include "TestWavFiles.h"
#include "catalog/Catalog.h"
#include "config/RecordFormats.h"
#include "media/WaveReader.h"
#include "platform/Error.h"
#include "recorder/RecordingChain.h"
#include "web/Access.h"
#include "web/AudioBody.h"
#include "web/ByteRange.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <httplib.h>
#include <sndfile.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <tuple>

using namespace wendmoor;
using namespace wendmoor::test;
using namespace std::chrono_literals;

namespace {

// A WAV log in GSM 6.10, written through libsndfile as the recorder writes one.
void writeGsmLog(const QString& path, int seconds)
{
    SF_INFO info {};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_GSM610;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> samples(8000);
    for (int s = 0; s < seconds; ++s) {
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<short>(8000 * ((i / (20 + s)) % 2 ? 1 : -1));
        ASSERT_EQ(sf_write_short(file, samples.data(), 8000), 8000);
    }
    sf_close(file);
}

std::vector<std::int16_t> decoded(const QString& path, std::int64_t frame, std::size_t count)
{
    auto reader = openWaveReader(path);
    reader->seek(frame);
    std::vector<std::int16_t> samples(count);
    samples.resize(static_cast<std::size_t>(reader->read(samples)));
    return samples;
}

std::vector<std::int16_t> samplesOf(const std::string& bytes)
{
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Sends `request` as it is and returns everything the server answers before it closes.
std::string rawExchange(int port, const std::string& request, bool waitForClose = true)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return {};
    }
    (void)!::write(fd, request.data(), request.size());
    std::string reply;
    char buffer[4096];
    timeval timeout { 5, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    for (ssize_t n; waitForClose && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return reply;
}

int processThreads()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return 0;
}

class WebServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("logs"));
        QFile secret(m_dir.filePath(QStringLiteral("secret.txt")));
        ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
        secret.write("SECRET beside the archive");
        ASSERT_TRUE(test::writeWav(pcmLog(), 8000, 1, 8000 * 120));
        writeGsmLog(gsmLog(), 60);
    }
    void TearDown() override
    {
        if (m_server)
            m_server->stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    QString pcmLog() const { return m_dir.filePath(QStringLiteral("logs/L030226.wav")); }
    QString gsmLog() const { return m_dir.filePath(QStringLiteral("logs/L030326.wav")); }

    void start(WebServerOptions options = {})
    {
        options.archiveFolder = m_dir.filePath(QStringLiteral("logs"));
        options.listen.port = 0;
        options.log = [](const std::string&) {};
        m_server = std::make_unique<WebServer>(options);
        m_server->bind();
        m_thread = std::thread([this] { m_server->run(); });
    }
    httplib::Client client() const
    {
        httplib::Client c("127.0.0.1", m_server->port());
        c.set_read_timeout(20);
        return c;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<WebServer> m_server;
    std::thread m_thread;
};

} // namespace

TEST(ByteRangeTest, RangesAreAnsweredWithinTheBodyOrRefused)
{
    using K = ByteRange::Kind;
    struct Case {
        const char* header;
        K kind;
        std::int64_t first, last;
    };
    const Case cases[] = {
        { "", K::Whole, 0, 499 },
        { "bytes=0-99", K::Part, 0, 99 },
        { "bytes=100-", K::Part, 100, 499 },
        { "bytes=400-99999", K::Part, 400, 499 },
        { "bytes=-10", K::Part, 490, 499 },
        { "bytes=-9999", K::Part, 0, 499 },
        { "bytes=-0", K::Unsatisfiable, 0, -1 },
        { "bytes=500-", K::Unsatisfiable, 0, -1 },
        { "bytes=99999999999999999999999999-", K::Unsatisfiable, 0, -1 },
        { "bytes=5-2", K::Whole, 0, 499 },
        { "bytes=0-1,5-6", K::Whole, 0, 499 },
        { "items=0-1", K::Whole, 0, 499 },
        { "bytes=x-y", K::Whole, 0, 499 },
    };
    for (const Case& c : cases) {
        const ByteRange r = resolveRange(c.header, 500);
        EXPECT_EQ(r.kind, c.kind) << c.header;
        if (r.kind != K::Unsatisfiable) {
            EXPECT_EQ(std::make_pair(r.first, r.last), std::make_pair(c.first, c.last)) << c.header;
        }
    }
}

TEST_F(WebServerTest, RequestsNamingFilesReachNothingOutsideTheArchive)
{
    start();
    const char* targets[] = {
        "/../secret.txt",
        "/static/../../secret.txt",
        "/%2e%2e/%2e%2e/secret.txt",
        "/audio?date=../secret.txt&log=0",
        "/audio?date=2026-03-02&log=../../secret.txt",
        "/audio?date=2026-03-02&log=-1",
        "/audio?date=2026-03-02&log=7",
        "/api/day?date=2026-03-02/../../secret.txt",
        "/audio?date=2026-03-02&from=../../secret.txt",
        "/L030226.wav",
        "/logs/L030226.wav",
    };
    for (const char* target : targets) {
        const std::string reply = rawExchange(m_server->port(),
            std::string("GET ") + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(reply.find("SECRET"), std::string::npos) << target;
        EXPECT_TRUE(reply.rfind("HTTP/1.1 4", 0) == 0) << target << ": " << reply.substr(0, 40);
    }
}

// A clip is the export's: across two logs with the gap between them as silence, and the manifest
// that describes the very bytes sent.
TEST_F(WebServerTest, AClipSpansLogsWithTheGapAsSilenceAndComesWithItsManifest)
{
    const QDir logs(m_dir.filePath(QStringLiteral("logs")));
    {
        auto catalog = Catalog::open(logs.path(), Catalog::Mode::ReadWrite);
        const auto at = [](int s) { return QDateTime(QDate(2026, 3, 4), QTime(0, 0)).toMSecsSinceEpoch() + s * 1000; };
        const int offset = QDateTime::fromMSecsSinceEpoch(at(0)).offsetFromUtc();
        for (const auto& [name, from, to] : { std::tuple { "L030426.wav", 0, 60 }, { "L03042601.wav", 70, 120 } }) {
            ASSERT_TRUE(test::writeWav(logs.filePath(QLatin1String(name)), 8000, 1, std::int64_t(to - from) * 8000,
                [](std::int64_t, int) { return std::int16_t(1000); }));
            catalog->segmentBegun({ QLatin1String(name), QDate(2026, 3, 4), 8000, 1 }, 0, at(from), offset);
            catalog->segmentEnded(std::int64_t(to - from) * 8000, at(to), GapReason::OperatorStop);
        }
    }
    start();
    httplib::Client c = client();
    const std::string range = "/clip?date=2026-03-04&from=00:00:50&to=00:01:20";
    auto clip = c.Get(range.c_str());
    ASSERT_EQ(clip->status, 200) << clip->body;
    // 30 s at 8000 Hz after the header; the 10 s gap in the middle silent.
    const std::vector<std::int16_t> samples = samplesOf(clip->body.substr(clip->body.size() - 30 * 8000 * 2));
    EXPECT_EQ(samples[5 * 8000], 1000);
    EXPECT_EQ(samples[15 * 8000], 0);
    EXPECT_EQ(samples[25 * 8000], 1000);
    EXPECT_EQ(QCryptographicHash::hash(QByteArray::fromStdString(clip->body), QCryptographicHash::Sha256).toHex(),
        QByteArray::fromStdString(clip->get_header_value("X-Clip-SHA256")));
    auto manifest = c.Get((range + "&manifest=1").c_str());
    ASSERT_EQ(manifest->status, 200);
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(manifest->body)).object();
    EXPECT_EQ(json[QStringLiteral("clip")][QStringLiteral("sha256")].toString().toStdString(),
        clip->get_header_value("X-Clip-SHA256"));
    EXPECT_EQ(json[QStringLiteral("sources")].toArray().size(), 2);
    EXPECT_EQ(json[QStringLiteral("gaps")].toArray().size(), 1);
    const struct {
        const char* target;
        int status;
    } refused[] = {
        { "/clip?date=2026-03-04&from=00:01:02&to=00:01:08", 404 }, // wholly in the gap
        { "/clip?date=2026-03-04&from=00:01:20&to=00:00:50", 400 }, // reversed
        { "/clip?date=2026-03-04&from=00:00:00&to=23:00:00", 400 }, // longer than a web clip may be
    };
    for (const auto& r : refused)
        EXPECT_EQ(c.Get(r.target)->status, r.status) << r.target;
}

TEST_F(WebServerTest, RangesOfALogAreItsOwnBytesAndBadRangesAnError)
{
    start();
    httplib::Client c = client();
    QFile log(pcmLog());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    const std::string url = "/audio?date=2026-03-02&log=0";

    auto part = c.Get(url.c_str(), { { "Range", "bytes=1000-1999" } });
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 206);
    EXPECT_EQ(part->get_header_value("Content-Range"), "bytes 1000-1999/" + std::to_string(bytes.size()));
    EXPECT_EQ(part->body, bytes.mid(1000, 1000).toStdString());

    struct Bad {
        const char* range;
        int status;
    };
    for (const Bad& bad : { Bad { "bytes=99999999-", 416 }, Bad { "bytes=-0", 416 },
             Bad { "bytes=18446744073709551616-", 416 }, Bad { "bytes=5-2", -1 }, Bad { "bytes=abc", -1 } }) {
        auto reply = c.Get(url.c_str(), { { "Range", bad.range } });
        ASSERT_TRUE(reply) << bad.range;
        if (bad.status > 0) {
            EXPECT_EQ(reply->status, bad.status) << bad.range;
        }
        EXPECT_LT(reply->status, 500) << bad.range;
        EXPECT_TRUE(reply->status == 416 || reply->body.size() == static_cast<std::size_t>(bytes.size())) << bad.range;
    }
    // The server is still there.
    EXPECT_EQ(c.Get("/api/days")->status, 200);
}

TEST_F(WebServerTest, GsmLogPlaysAsPcmFromAnyByteAndAnyClockTime)
{
    start();
    httplib::Client c = client();
    // 10 s into the decoded log, through a range request as a browser seeks.
    const std::int64_t at = 44 + 10 * 8000 * 2;
    auto seek = c.Get("/audio?date=2026-03-03&log=0",
        { { "Range", "bytes=" + std::to_string(at) + "-" + std::to_string(at + 1599) } });
    ASSERT_TRUE(seek);
    EXPECT_EQ(seek->status, 206);
    EXPECT_EQ(seek->get_header_value("Content-Type"), "audio/wav");
    EXPECT_EQ(samplesOf(seek->body), decoded(gsmLog(), 80000, 800));

    auto from = c.Get("/audio?date=2026-03-03&from=00:00:30");
    ASSERT_TRUE(from);
    ASSERT_EQ(from->status, 200);
    ASSERT_EQ(from->body.size(), 44u + 30 * 8000 * 2);
    EXPECT_EQ(from->body.substr(0, 44), pcmWavHeader(8000, 1, 30 * 8000));
    EXPECT_EQ(samplesOf(from->body.substr(44, 1600)), decoded(gsmLog(), 240000, 800));
}

TEST_F(WebServerTest, ListeningBeyondTheMachineNeedsAPasswordOnlyItsOwnerCanRead)
{
    struct Case {
        const char* host;
        const char* password;
        bool refused;
    };
    for (const Case& c : { Case { "127.0.0.1", "", false }, Case { "::1", "", false }, Case { "0.0.0.0", "", true },
             Case { "192.0.2.7", "", true }, Case { "0.0.0.0", "secret", false } }) {
        WebServerOptions options;
        options.listen.host = QString::fromLatin1(c.host);
        options.password = c.password;
        bool refused = false;
        try {
            WebServer server(options);
        } catch (const Error& e) {
            refused = e.number() == ErrorNumber::PermissionDenied && e.description().contains(QLatin1String(c.host));
        }
        EXPECT_EQ(refused, c.refused) << c.host << " " << c.password;
    }
    const QString path = m_dir.filePath(QStringLiteral("password"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("open sesame\n");
    file.close();
    for (const auto mode :
        { QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup, QFile::ReadOwner | QFile::ReadOther }) {
        file.setPermissions(mode);
        EXPECT_THROW(
            try { (void)readPasswordFile(path); } catch (const Error& e) {
                EXPECT_TRUE(e.description().contains(path) && e.description().contains(QLatin1String("chmod 600")));
                throw;
            },
            Error);
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(readPasswordFile(path), QByteArray("open sesame"));
}

TEST_F(WebServerTest, PagesNeedALoginAndChangesNeedTheFormTokenFromThisSite)
{
    WebServerOptions options;
    options.password = "open sesame";
    start(options);
    httplib::Client c = client();
    EXPECT_EQ(c.Get("/api/days")->status, 401);
    EXPECT_EQ(c.Get("/audio?date=2026-03-02&log=0")->status, 401);
    auto page = c.Get("/day?date=2026-03-02");
    EXPECT_EQ(page->status, 303);
    EXPECT_EQ(page->get_header_value("Location"), "/login");

    const auto before = std::chrono::steady_clock::now();
    auto wrong = c.Post("/login", "password=guess", "application/x-www-form-urlencoded");
    EXPECT_GE(std::chrono::steady_clock::now() - before, 400ms);
    EXPECT_EQ(wrong->get_header_value("Location"), "/login?failed=1");
    EXPECT_FALSE(wrong->has_header("Set-Cookie"));

    auto right = c.Post("/login", "password=open+sesame", "application/x-www-form-urlencoded");
    const std::string setCookie = right->get_header_value("Set-Cookie");
    EXPECT_NE(setCookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(setCookie.find("SameSite=Strict"), std::string::npos);
    const std::string cookie = setCookie.substr(0, setCookie.find(';'));
    const httplib::Headers in = { { "Cookie", cookie } };
    EXPECT_EQ(c.Get("/api/days", in)->status, 200);
    const std::string session = c.Get("/api/session", in)->body;
    const std::string token = session.substr(session.find("\"token\":\"") + 9, 64);

    const std::string form = "token=" + token;
    const std::string host = "127.0.0.1:" + std::to_string(m_server->port());
    EXPECT_EQ(c.Post("/logout", in, "token=", "application/x-www-form-urlencoded")->status, 403);
    EXPECT_EQ(c.Post("/logout", { { "Cookie", cookie }, { "Origin", "http://evil.example" } }, form,
                   "application/x-www-form-urlencoded")
                  ->status,
        403);
    EXPECT_EQ(c.Post("/logout", { { "Cookie", cookie }, { "Origin", "http://" + host } }, form,
                   "application/x-www-form-urlencoded")
                  ->status,
        303);
    EXPECT_EQ(c.Get("/api/days", in)->status, 401);
}

TEST_F(WebServerTest, ForeignHostNamesAreRefusedWithoutAPassword)
{
    start();
    httplib::Client c = client();
    EXPECT_EQ(c.Get("/api/days", { { "Host", "rebound.example:8740" } })->status, 403);
    EXPECT_EQ(c.Get("/api/days", { { "Host", "localhost:8740" } })->status, 200);
}

TEST_F(WebServerTest, ManyClientsWaitForABoundedPoolAndAreAllServed)
{
    WebServerOptions options;
    options.threads = 4;
    options.waiting = 4;
    start(options);
    ASSERT_EQ(client().Get("/api/days")->status, 200); // the pool is up
    const int idle = processThreads();
    std::atomic<int> served = 0;
    std::atomic<int> mostThreads = 0;
    std::vector<std::thread> clients;
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        clients.emplace_back([&, i] {
            httplib::Client c = client();
            for (int r = 0; r < 25; ++r) {
                auto reply = r % 2 ? c.Get("/api/day?date=2026-03-02")
                                   : c.Get("/audio?date=2026-03-03&log=0",
                                       { { "Range",
                                           "bytes=" + std::to_string(1000 * (i + r)) + "-"
                                               + std::to_string(1000 * (i + r) + 16000) } });
                if (reply && reply->status / 100 == 2)
                    ++served;
                mostThreads = std::max(mostThreads.load(), processThreads());
            }
        });
    }
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(served, 500);
    // The clients' own threads, and no more than the pool's on the server's side.
    EXPECT_LE(mostThreads, idle + 20 + 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 60s);
}

// 500 requests from 20 clients, many of them for the log being written, while the recording
// thread writes it from a sound card that captures in real time: the log has every sample.
TEST(WebServerBeside, FiveHundredRequestsWhileTheRecorderRecordsCostItNoSample)
{
    QTemporaryDir archive;
    FakeAudioSystem audio;
    audio.capture = std::make_shared<FakeCaptureStream::Shared>(22050 / 4);
    RecordingMessages messages;
    RecordingChain chain(audio, messages);
    const QString log = archive.filePath(QStringLiteral("L120626.wav"));
    chain.configure(*recordFormat(5), 0, log);
    chain.start();
    RealTimeCard card(audio, 150); // 3 s at least, and on till the clients are done

    WebServerOptions options;
    options.archiveFolder = archive.path();
    options.listen.port = 0;
    options.log = [](const std::string&) {};
    options.nowUtc = [] { return QDateTime(QDate(2026, 12, 6), QTime(23, 0)).toMSecsSinceEpoch(); };
    WebServer server(options);
    server.bind();
    std::thread serving([&] { server.run(); });
    // Every range asked for lies in the log's first 100 kB, which it holds by then.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(log).size() > 100'000; }, 10'000));
    std::atomic<int> served = 0;
    std::vector<std::thread> clients;
    for (int i = 0; i < 20; ++i) {
        clients.emplace_back([&, i] {
            httplib::Client c("127.0.0.1", server.port());
            c.set_read_timeout(20);
            for (int r = 0; r < 25; ++r) {
                const std::string range = "bytes=" + std::to_string(2000 * (i + r)) + "-";
                auto reply = r % 3 == 0 ? c.Get("/api/day?date=2026-12-06")
                                        : c.Get("/audio?date=2026-12-06&log=0", { { "Range", range } });
                if (reply && reply->status / 100 == 2)
                    ++served;
            }
        });
    }
    for (std::thread& t : clients)
        t.join();
    card.finish();
    chain.shutdown();
    server.stop();
    serving.join();

    EXPECT_EQ(served, 500);
    const WavContents c = readWav(log);
    ASSERT_TRUE(c.opened);
    EXPECT_EQ(c.samples.size(), card.fed());
    EXPECT_EQ(countingBreak(c.samples), 0u);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
}

TEST_F(WebServerTest, AClientThatSendsNothingIsCutOffAndTheNextIsServed)
{
    WebServerOptions options;
    options.threads = 1;
    options.waiting = 1;
    options.timeoutSeconds = 1;
    start(options);
    std::thread silent([&] { (void)rawExchange(m_server->port(), "GET /api/days HTTP/1.1\r\nHost: 127"); });
    std::this_thread::sleep_for(200ms);
    auto reply = client().Get("/api/days");
    silent.join();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
}
