#include "app/Application.h"
#include "media/PortAudioSystem.h"
#include "platform/AppPaths.h"
#include "platform/PortInput.h"
#include "platform/Services.h"
#include "platform/SystemInfo.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "windows/MessageWindow.h"
#include "windows/QtPrompt.h"

#include <QApplication>
#include <QStyleFactory>

namespace {

// Stand-ins until the real port and system-information services are wired.
class NoPorts final : public wendmoor::PortInput {
public:
    std::uint8_t Inp(int) override { return 0x7f; }
};
class NoSystemInfo final : public wendmoor::SystemInfo {
public:
    std::optional<RawValue> readValue(const QString&, const QString&) override { return std::nullopt; }
    bool isNormalFile(const QString&) override { return false; }
    bool startProgram(const QString&) override { return false; }
};

} // namespace

int main(int argc, char** argv)
{
    using namespace wendmoor;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendmoor"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(WENDMOOR_VERSION_MAJOR)
                                            .arg(WENDMOOR_VERSION_MINOR)
                                            .arg(WENDMOOR_VERSION_PATCH));
    // One look on every platform, and one in which a button's back colour shows.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    SystemTimeSource clock;
    SystemVolumes volumes;
    PortAudioSystem audio;
    NoPorts ports;
    QtPrompt prompt;
    NoSystemInfo systemInfo;
    MessageWindow messages;
    Services services{clock, volumes, audio, ports, prompt, systemInfo, messages, AppPaths::system()};

    Application wendmoor(services);
    // Exit ends the program at once; the destructors still close the log properly.
    QObject::connect(&wendmoor, &Application::exitRequested, &app, &QApplication::quit, Qt::QueuedConnection);

    if (!audio.initError().isEmpty())
        messages.ShowMessage(Error(ErrorNumber::SoundDeviceOpen, audio.initError()));
    wendmoor.start();
    return QApplication::exec();
}
