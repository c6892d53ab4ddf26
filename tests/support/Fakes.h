#pragma once

#include "platform/ClockSync.h"
#include "platform/Error.h"
#include "platform/EventLog.h"
#include "platform/MessageSink.h"
#include "platform/PortInput.h"
#include "platform/Prompt.h"
#include "platform/SystemInfo.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"

#include <QDateTime>
#include <QMap>
#include <QStringList>

#include <deque>
#include <functional>

namespace wendmoor::test {

// A clock the test sets and moves by hand.
class FakeTimeSource final : public TimeSource {
public:
    QDateTime current = QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0));
    QDateTime now() const override { return current; }
    void set(const QDate& d, const QTime& t) { current = QDateTime(d, t); }
    void advanceMs(qint64 ms) { current = current.addMSecs(ms); }
};

// Drive letters over folders the test chooses.
class FakeVolumes final : public Volumes {
public:
    QList<Drive> list;
    QList<Drive> drives() const override { return list; }
};

// Answers the modal questions from a script and remembers what was asked.
class ScriptedPrompt final : public Prompt {
public:
    std::deque<bool> answers; // Yes = true; when empty, No
    QStringList questions;
    QStringList notices;
    // Runs while a question is open, as the event loop of a modal question runs the timers.
    std::function<void()> whileAsked;
    bool askYesNo(const QString& title, const QString& text) override
    {
        questions.append(title + QLatin1Char('|') + text);
        if (whileAsked)
            whileAsked();
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return yes;
    }
    void notice(const QString& title, const QString& text) override { notices.append(title + QLatin1Char('|') + text); }
};

// Keeps every message the program tried to show the operator.
class RecordingMessages final : public MessageSink {
public:
    using MessageSink::ShowMessage;
    QStringList shown;
    void ShowMessage(const QString& text) override { shown.append(text); }
};

// Keeps what the program wrote to its event log.
class RecordingEvents final : public EventLog {
public:
    QStringList notes;
    void write(Kind kind, const QString& text) override
    {
        if (kind == Kind::Event)
            notes.append(text);
    }
};

// A port whose bytes the test sets; an address without a value throws like a missing device.
class FakePortInput final : public PortInput {
public:
    QMap<int, std::uint8_t> bytes;
    int reads = 0;
    std::uint8_t Inp(int address) override
    {
        ++reads;
        if (!bytes.contains(address))
            throw Error(ErrorNumber::PortAccess, QStringLiteral("No port at address %1").arg(address));
        return bytes.value(address);
    }
};

class FakeSystemInfo final : public SystemInfo {
public:
    QMap<QString, RawValue> values; // key + "|" + name
    QStringList files;
    QStringList started;
    bool startSucceeds = true;
    std::optional<RawValue> readValue(const QString& key, const QString& name) override
    {
        const QString at = key + QLatin1Char('|') + name;
        return values.contains(at) ? std::optional(values.value(at)) : std::nullopt;
    }
    bool isNormalFile(const QString& path) override { return files.contains(path); }
    bool startProgram(const QString& path) override
    {
        started.append(path);
        return startSucceeds;
    }
};

// A system clock whose synchronisation the test decides.
class FakeClockSync final : public ClockSync {
public:
    std::optional<bool> value = true;
    std::optional<bool> synchronised() const override { return value; }
};

} // namespace wendmoor::test
