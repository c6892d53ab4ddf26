#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

class QTextDocument;

namespace wendmoor {

// Reads rich text (RTF) into a QTextDocument: groups, paragraphs and line breaks, tabs, bold,
// italic, underline, sizes, the font and colour tables, alignment and indents, 8-bit characters
// in the document's code page, Unicode characters, and the destinations a reader may skip.
//
// Every input is safe: nesting is bounded, each byte is looked at a bounded number of times,
// and a document that is not rich text, is cut short or has unbalanced groups is an Error
// (ErrorNumber::RichTextMalformed) whose description names `source`.
//
// Text that sets no font or size of its own keeps the document's default font, so the caller
// chooses it with QTextDocument::setDefaultFont before reading.
class RtfReader {
public:
    // Deepest group nesting accepted; real documents stay far below it.
    static constexpr int MaxDepth = 100;
    // Largest file `loadFile` reads: several times any manual, small enough to read in a second
    // or two.
    static constexpr qint64 MaxFileSize = 16LL * 1024 * 1024;

    // Replaces the content of `document` with the text of `rtf`. On an Error the document is
    // left with whatever was read before the fault. `cancel`, when given, may be set from
    // another thread to stop the reading early with an Error.
    static void read(const QByteArray& rtf, QTextDocument& document, const QString& source,
        const std::atomic<bool>* cancel = nullptr);

    // Reads a file: a missing file is ErrorNumber::FileNotFound, one that cannot be read
    // ErrorNumber::PathFileAccess, one larger than MaxFileSize or not sound rich text
    // ErrorNumber::RichTextMalformed; every description names the path.
    static void loadFile(const QString& path, QTextDocument& document, const std::atomic<bool>* cancel = nullptr);
};

} // namespace wendmoor
