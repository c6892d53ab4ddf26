#include "app/Application.h"
#include "media/PortAudioSystem.h"
#include "platform/AppPaths.h"
#include "platform/LinuxPortInput.h"
#include "platform/LinuxSystemInfo.h"
#include "platform/Services.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "windows/MessageWindow.h"
#include "windows/QtPrompt.h"

#include <QApplication>
#include <QStyleFactory>

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
    LinuxPortInput ports;
    QtPrompt prompt;
    LinuxSystemInfo systemInfo;
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
