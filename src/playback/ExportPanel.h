#pragma once

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QLineEdit;
class QProgressBar;
class QPushButton;
class QThread;
class QToolButton;

namespace wendmoor {

class PlaybackController;
struct PlaybackMemory;
struct Services;

// The playback window's "Export" and "Hold" row: a range of clock time (typed, or taken from the
// position or a memory point of the log playing) exported to a file chosen in a save dialog, on a
// thread of its own with a progress bar and Cancel while playback and recording go on; or held
// from the purge with a reason.
class ExportPanel final : public QWidget {
    Q_OBJECT
public:
    ExportPanel(Services& services, PlaybackController& play, PlaybackMemory& memory, QWidget* parent = nullptr);
    ~ExportPanel() override;

    // Sets the range's start or end from `ms` of the log playing.
    void setFromPosition(bool start, std::int32_t ms);
    // Exports the range into `path` (the save dialog's answer); returns at once.
    void exportTo(const QString& path, bool overwrite);
    void cancelExport();
    // Holds the range with `reason`; true when the hold was placed.
    bool holdRange(const QString& reason);
    [[nodiscard]] bool isExporting() const { return m_thread != nullptr; }

    QLineEdit* txtFrom;
    QLineEdit* txtTo;
    QToolButton* cmdSet;
    QPushButton* cmdExport;
    QPushButton* cmdHold;
    QPushButton* cmdCancel;
    QProgressBar* prgExport;
    // Asks where the clip goes: the save dialog (tests answer for it); empty when cancelled.
    std::function<QString()> chooseOutput;

signals:
    // The export ended: `message` says where the clip is, or why there is none.
    void finished(bool ok, const QString& message);

private:
    void cmdExport_Click();
    void cmdHold_Click();
    [[nodiscard]] std::optional<std::pair<std::int64_t, std::int64_t>> range();
    // Runs on the window's thread once the export's thread has left its outcome.
    Q_INVOKABLE void exportEnded();
    void done(bool ok, const QString& message);

    Services& m_services;
    PlaybackController& m_play;
    PlaybackMemory& m_memory;
    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel { false };
    // The export thread's outcome, handed to the window's thread under the mutex (the queued call
    // that says it is there carries nothing).
    std::mutex m_outcomeMutex;
    bool m_outcomeOk = false;
    QString m_outcomeMessage;
};

} // namespace wendmoor
