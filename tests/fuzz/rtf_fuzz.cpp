// Feeds arbitrary bytes to the rich-text reader: it must neither crash, hang nor leak, whatever
// the help file holds.
#include "platform/Error.h"
#include "richtext/RtfReader.h"

#include <QByteArray>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QTextDocument document;
    try {
        wendmoor::RtfReader::read(input, document, QStringLiteral("fuzz input"));
    } catch (const wendmoor::Error&) {
        // A refused document is a correct answer.
    }
    // Walk the result so that a broken document structure shows up here too.
    (void)document.toPlainText();
    return 0;
}
