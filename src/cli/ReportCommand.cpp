#include "catalog/Catalog.h"
#include "catalog/DayText.h"
#include "cli/CommandLine.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/TimeSource.h"

#include <QDate>

namespace wendmoor {

namespace {

class Printer final : public MessageSink {
public:
    explicit Printer(std::FILE* to)
        : m_to(to)
    {
    }
    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override { std::fprintf(m_to, "wendmoor: %s\n", qPrintable(text)); }

private:
    std::FILE* m_to;
};

int usage(const CommandContext& c, const QString& problem)
{
    std::fprintf(c.err, "wendmoor report: %s\nUsage: wendmoor report [YYYY-MM-DD] [--json] [--archive DIR]\n",
        qPrintable(problem));
    return ExitCode::Usage;
}

} // namespace

int runReport(const CommandContext& c)
{
    QStringList words = c.arguments;
    Printer errors(c.err);
    QString folder;
    try {
        folder = archiveFolderFor(words, c.paths);
    } catch (const Error& e) {
        if (e.number() == ErrorNumber::InvalidArgument)
            return usage(c, e.description());
        errors.ShowMessage(e);
        return ExitCode::Failure;
    }
    const bool json = words.removeAll(QStringLiteral("--json")) > 0;
    const QDateTime now = c.clock.now();
    QDate day = now.date();
    if (words.size() > 1)
        return usage(c, QStringLiteral("too many words: %1").arg(words.join(QLatin1Char(' '))));
    if (words.size() == 1) {
        day = QDate::fromString(words.first(), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            return usage(c, QStringLiteral("\"%1\" is not a date (YYYY-MM-DD)").arg(words.first()));
    }
    try {
        // Read only: the recorder writes it meanwhile, and a copy of an archive may be read-only.
        const std::unique_ptr<Catalog> catalog = Catalog::open(folder, Catalog::Mode::ReadOnly, &errors);
        const DayReport report = catalog->day(day, now.toMSecsSinceEpoch());
        const QByteArray text = json ? dayReportJson(report) : dayReportText(report).toLocal8Bit();
        std::fwrite(text.constData(), 1, std::size_t(text.size()), c.out);
        return ExitCode::Ok;
    } catch (const Error& e) {
        errors.ShowMessage(e);
        return ExitCode::Failure;
    }
}

} // namespace wendmoor
