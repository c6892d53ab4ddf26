#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

class QLabel;
class QPushButton;

namespace wendmoor {

struct Services;

// The about box: program title, version and credits, and a button that starts the machine's
// system-information program. Not modal; deletes itself when closed by OK, Enter, Esc or the
// close box.
class frmAbout final : public QDialog {
    Q_OBJECT
public:
    // The root of the machine-wide keys, the only root the box reads.
    static constexpr std::uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;
    static constexpr std::uint32_t REG_SZ = 1;
    static constexpr std::uint32_t REG_DWORD = 4;

    explicit frmAbout(Services& services, QWidget* parent = nullptr);

    // Finds the system-information program and starts it without waiting; when there is none,
    // or it cannot be started, tells the operator in a modal notice.
    void StartSysInfo();

    // Reads one value as text into `out`. A missing key or value, or one larger than 1024 bytes,
    // gives false and an empty text. Throws Error when the value holds no data at all.
    [[nodiscard]] bool GetKeyValue(std::uint32_t root, const QString& key, const QString& name, QString& out);

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

private:
    Services& m_services;
};

// The text of a value as the about box reads it: text values as they are, without a closing
// zero byte; 32-bit numbers as "&h" and their bytes in upper-case hexadecimal, most significant
// first, with a zero top byte left out; any other type leaves `out` unchanged. Throws Error for
// a value without data.
void registryValueText(std::uint32_t type, const QByteArray& data, const QString& name, QString& out);

} // namespace wendmoor
