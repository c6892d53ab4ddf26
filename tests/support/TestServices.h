#pragma once

#include "FakeAudioSystem.h"
#include "Fakes.h"
#include "platform/Services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace wendmoor::test {

// One temporary folder per test holding the settings folder, the help file and the drives
// C, D and E; every service is a fake the test can steer.
class TestServices {
public:
    TestServices()
    {
        for (char l : { 'C', 'D', 'E' }) {
            const QString root = dir.path() + QStringLiteral("/drive") + QLatin1Char(l);
            QDir().mkpath(root);
            volumes.list.append({ QLatin1Char(l), root });
        }
    }

    QTemporaryDir dir;
    FakeTimeSource clock;
    FakeVolumes volumes;
    FakeAudioSystem audio;
    FakePortInput ports;
    ScriptedPrompt prompt;
    FakeSystemInfo systemInfo;
    RecordingMessages messages;
    RecordingEvents events;
    FakeClockSync clockSync;
    Services services { clock, volumes, audio, ports, prompt, systemInfo, messages, AppPaths::under(dir.path()), events,
        clockSync };

    // The folder a drive letter stands for.
    [[nodiscard]] QString drive(QChar letter) const { return volumes.rootOf(letter); }
    // Creates <drive>/Wendmoor/logs and returns it.
    QString makeArchive(QChar letter = QLatin1Char('C')) const
    {
        QDir().mkpath(volumes.archiveFolder(letter));
        return volumes.archiveFolder(letter);
    }
    // Writes the settings file from record values (record 1 first).
    void writeSettings(const QList<qint16>& records) const
    {
        QDir().mkpath(services.paths.settingsFolder);
        QFile f(services.paths.settingsFile);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        for (qint16 v : records) {
            const char bytes[2] = { static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff) };
            f.write(bytes, 2);
        }
    }
};

} // namespace wendmoor::test
