#include "app/ServeCommand.h"

#include "app/StatusFile.h"
#include "config/Settings.h"
#include "platform/AppPaths.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/ShutdownSignals.h"
#include "platform/Volumes.h"
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

// The archive the settings name: the logs folder of the recording drive.
QString settingsArchive(MessageSink& messages)
{
    const AppPaths paths = AppPaths::system();
    Settings settings;
    LoadSettings(paths, settings, messages);
    const SystemVolumes volumes(paths.driveLettersFile, &messages);
    return volumes.archiveFolder(settings.LogDrive);
}

} // namespace

int runServeCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves the archive's days, its audio and the recorder's state to a browser."));
    const QCommandLineOption archive(QStringLiteral("archive"),
        QStringLiteral("The archive folder (the one the settings name when not given)."), QStringLiteral("DIR"));
    const QCommandLineOption listen(QStringLiteral("listen"),
        QStringLiteral(
            "Where to listen (127.0.0.1:%1 when not given). Any other than a loopback address needs a password.")
            .arg(kDefaultWebPort),
        QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
        QStringLiteral("A file only you can read (chmod 600) whose first line is the password of the pages."),
        QStringLiteral("FILE"));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Shows this help."));
    parser.addOptions({ archive, listen, passwordFile, help });
    StandardError messages;
    if (!parser.parse(QStringList { QStringLiteral("wendmoor serve") } + arguments)
        || !parser.positionalArguments().isEmpty()) {
        const QString problem = parser.errorText().isEmpty()
            ? QStringLiteral("Unknown words: %1").arg(parser.positionalArguments().join(QLatin1Char(' ')))
            : parser.errorText();
        std::fprintf(stderr, "wendmoor serve: %s\n\n%s", qPrintable(problem), qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    try {
        WebServerOptions options;
        if (parser.isSet(listen)) {
            const std::optional<ListenAddress> address = parseListenAddress(parser.value(listen));
            if (!address) {
                std::fprintf(stderr,
                    "wendmoor serve: --listen wants ADDRESS:PORT (127.0.0.1:8740, [::1]:8740), not %s\n",
                    qPrintable(parser.value(listen)));
                return 2;
            }
            options.listen = *address;
        }
        if (parser.isSet(passwordFile))
            options.password = readPasswordFile(parser.value(passwordFile));
        options.archiveFolder = parser.isSet(archive) ? parser.value(archive) : settingsArchive(messages);
        options.statusFile = statusFilePath();
        WebServer server(options);
        server.bind();
        std::fprintf(stderr, "wendmoor serve: the archive %s on http://%s:%d/\n", qPrintable(options.archiveFolder),
            qPrintable(options.listen.host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(options.listen.host)
                                                                      : options.listen.host),
            server.port());
        int argc = 1;
        char name[] = "wendmoor";
        char* argv[] = { name, nullptr };
        QCoreApplication app(argc, argv);
        onShutdownSignals(&app, [] { QCoreApplication::exit(0); });
        // A server that stops by itself (its socket failed) ends the process, and systemd starts it again.
        std::thread serving([&server, &app] {
            server.run();
            QMetaObject::invokeMethod(
                &app, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
        });
        const int code = QCoreApplication::exec();
        server.stop();
        serving.join();
        return code;
    } catch (const Error& e) {
        messages.ShowMessage(e);
        return 1;
    }
}

} // namespace wendmoor
