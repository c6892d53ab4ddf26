#include "windows/frmAbout.h"

#include "platform/Error.h"
#include "platform/Prompt.h"
#include "platform/Services.h"
#include "platform/SystemInfo.h"
#include "platform/Version.h"

#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace wendmoor {

namespace {

const QString ProgramTitle = QStringLiteral("Wendmoor");
constexpr qsizetype ValueBufferSize = 1024;

QFrame* separatorLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

void registryValueText(std::uint32_t type, const QByteArray& data, const QString& name, QString& out)
{
    if (data.isEmpty())
        throw Error(ErrorNumber::InvalidArgument, QStringLiteral("The value %1 holds no data").arg(name));
    // A closing zero byte is dropped; for a number that is its top byte when it is zero.
    const QByteArray taken = data.endsWith('\0') ? data.chopped(1) : data;
    if (type == frmAbout::REG_SZ) {
        out = QString::fromLocal8Bit(taken);
    } else if (type == frmAbout::REG_DWORD) {
        QString text = QStringLiteral("&h");
        for (qsizetype i = taken.size() - 1; i >= 0; --i)
            text += QStringLiteral("%1").arg(static_cast<unsigned char>(taken[i]), 2, 16, QLatin1Char('0')).toUpper();
        out = text;
    }
}

frmAbout::frmAbout(Services& services, QWidget* parent)
    // Not in the taskbar, no minimise or maximise box, a fixed size.
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_services(services)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(QPixmap(QStringLiteral(":/wendmoor/wendmoor-32.png")));
    picIcon->setFixedSize(32, 32);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription = new QLabel(this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setTextFormat(Qt::PlainText);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addWidget(separatorLine(this));
    texts->addWidget(lblDescription);
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(separatorLine(this));
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // OK comes first in the tab order and holds the focus; Enter presses it as the default
    // button, Esc closes the box as a cancel does.
    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);

    // Load step.
    setWindowTitle(QStringLiteral("About ") + ProgramTitle);
    lblVersion->setText(QStringLiteral("Version ") + QLatin1String(kVersion));
    lblTitle->setText(ProgramTitle);
    lblDescription->setText(QStringLiteral("Records a station's program audio around the clock.") + QLatin1Char('\n')
        + QStringLiteral("Built with Qt, PortAudio, libsndfile and libsoxr."));
}

bool frmAbout::GetKeyValue(std::uint32_t root, const QString& key, const QString& name, QString& out)
{
    // Only the machine-wide keys exist here; any other root is a key that cannot be opened.
    if (root != HKEY_LOCAL_MACHINE) {
        out.clear();
        return false;
    }
    const std::optional<SystemInfo::RawValue> value = m_services.systemInfo.readValue(key, name);
    if (!value || value->data.size() > ValueBufferSize) {
        out.clear();
        return false;
    }
    registryValueText(value->type, value->data, name, out);
    return true;
}

void frmAbout::StartSysInfo()
{
    QString program;
    try {
        bool found = GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
            QStringLiteral("PATH"), program);
        if (!found
            && GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                QStringLiteral("MSINFO"), program)) {
            // The second key names a folder that should hold the program.
            const QString candidate = QDir::toNativeSeparators(program + QStringLiteral("/MSINFO32.EXE"));
            if (m_services.systemInfo.isNormalFile(candidate)) {
                program = candidate;
                found = true;
            }
        }
        if (found && m_services.systemInfo.startProgram(program))
            return;
    } catch (const std::exception&) {
        // A value without data, or any other failure, ends as if nothing had been found.
    }
    m_services.prompt.notice(ProgramTitle, QStringLiteral("System Information Is Unavailable At This Time"));
}

} // namespace wendmoor
