#pragma once

#include <QByteArray>
#include <QString>

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
    // Largest file `loadFile` reads.
    static constexpr qint64 MaxFileSize = 64LL * 1024 * 1024;

    // Replaces the content of `document` with the text of `rtf`. On an Error the document is
    // left with whatever was read before the fault.
    static void read(const QByteArray& rtf, QTextDocument& document, const QString& source);

    // Reads a file: a missing file is ErrorNumber::FileNotFound, one that cannot be read
    // ErrorNumber::PathFileAccess, one that is not sound rich text ErrorNumber::RichTextMalformed;
    // every description names the path.
    static void loadFile(const QString& path, QTextDocument& document);
};

} // namespace wendmoor
