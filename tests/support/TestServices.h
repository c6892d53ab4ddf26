#pragma once

#include "FakeAudioSystem.h"
#include "Fakes.h"
#include "platform/Services.h"

#include <QTemporaryDir>

namespace wendmoor::test {

// One temporary folder per test holding the settings folder, the help file and the drives
// C, D and E; every service is a fake the test can steer.
class TestServices {
public:
    TestServices();

    QTemporaryDir dir;
    FakeTimeSource clock;
    FakeVolumes volumes;
    FakeAudioSystem audio;
    FakePortInput ports;
    ScriptedPrompt prompt;
    FakeSystemInfo systemInfo;
    RecordingMessages messages;
    RecordingEvents events;
    Services services;

    // The folder a drive letter stands for.
    [[nodiscard]] QString drive(QChar letter) const;
    // Creates <drive>/Wendmoor/logs and returns it.
    QString makeArchive(QChar letter = QLatin1Char('C')) const;
    // Writes the settings file from record values (record 1 first).
    void writeSettings(const QList<qint16>& records) const;
};

} // namespace wendmoor::test
