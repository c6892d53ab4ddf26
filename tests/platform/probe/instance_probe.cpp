// A stand-in for a second start of the program: claims the one-recorder lock in the folder
// given, prints "first", "running" or "unavailable", and as the first instance prints "raised"
// when a later one asks it to come forward, ending after the milliseconds given.
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    wendmoor::SingleInstance instance(QString::fromLocal8Bit(argv[1]));
    using Claim = wendmoor::SingleInstance::Claim;
    const Claim claim = instance.claim();
    std::printf("%s\n", claim == Claim::First ? "first" : claim == Claim::AlreadyRunning ? "running" : "unavailable");
    std::fflush(stdout);
    if (claim != Claim::First)
        return 0;
    QObject::connect(&instance, &wendmoor::SingleInstance::raiseRequested, [] {
        std::printf("raised\n");
        std::fflush(stdout);
    });
    QTimer::singleShot(QByteArray(argv[2]).toInt(), &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}
