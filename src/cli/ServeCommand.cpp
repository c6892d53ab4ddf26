#include "cli/CommandLine.h"

#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/ShutdownSignals.h"
#include "web/WebServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <thread>

namespace wendmoor {

namespace {

class StandardError final : public MessageSink {
public:
    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override { std::fprintf(stderr, "wendmoor serve: %s\n", qPrintable(text)); }
};

} // namespace

// `wendmoor serve`: the archive's web pages, in a process of its own that opens no window and no
// sound device and takes no instance lock. Serves until a shutdown signal.
int runServe(const CommandContext& context)
{
    QStringList arguments = context.arguments;
    StandardError messages;
    QCommandLineParser parser;
    const QCommandLineOption listen(QStringLiteral("listen"), QString(), QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"), QString(), QStringLiteral("FILE"));
    parser.addOptions({ listen, passwordFile });
    try {
        WebServerOptions options;
        options.archiveFolder = archiveFolderFor(arguments, context.paths);
        if (!parser.parse(QStringList { QStringLiteral("wendmoor serve") } + arguments)
            || !parser.positionalArguments().isEmpty()) {
            std::fprintf(context.err, "wendmoor serve: %s\n",
                qPrintable(parser.errorText().isEmpty()
                        ? QStringLiteral("Unknown words: %1").arg(parser.positionalArguments().join(QLatin1Char(' ')))
                        : parser.errorText()));
            return ExitCode::Usage;
        }
        if (parser.isSet(listen)) {
            const std::optional<ListenAddress> address = parseListenAddress(parser.value(listen));
            if (!address) {
                std::fprintf(context.err,
                    "wendmoor serve: --listen wants ADDRESS:PORT (127.0.0.1:8740, [::1]:8740), not %s\n",
                    qPrintable(parser.value(listen)));
                return ExitCode::Usage;
            }
            options.listen = *address;
        }
        if (parser.isSet(passwordFile))
            options.password = readPasswordFile(parser.value(passwordFile));
        options.statusFile = statusFilePath();
        WebServer server(options);
        server.bind();
        std::fprintf(context.err, "wendmoor serve: the archive %s on http://%s:%d/\n",
            qPrintable(options.archiveFolder),
            qPrintable(options.listen.host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(options.listen.host)
                                                                      : options.listen.host),
            server.port());
        QCoreApplication* app = QCoreApplication::instance();
        onShutdownSignals(app, [] { QCoreApplication::exit(0); });
        // A server that stops by itself (its socket failed) ends the process, and systemd starts it again.
        std::thread serving([&server, app] {
            server.run();
            QMetaObject::invokeMethod(
                app, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
        });
        const int code = QCoreApplication::exec();
        server.stop();
        serving.join();
        return code;
    } catch (const Error& e) {
        messages.ShowMessage(e);
        return ExitCode::Failure;
    }
}

} // namespace wendmoor
