#include "richtext/RtfReader.h"
#include "platform/Error.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace wendmoor;

namespace {

QTextBlockFormat blockOf(const QTextDocument& doc, const QString& phrase)
{
    const QTextCursor found = doc.find(phrase);
    return found.isNull() ? QTextBlockFormat() : found.block().blockFormat();
}

// What a phrase looks like, in one line: "b i u 18pt <family> fg<colour> bg<colour> centre
// indent <left> <right> <first line>", each part only when the phrase has it; the character
// looked at is its second, so that a run beginning right at the phrase is the one described.
std::string looks(const QTextDocument& doc, const char* phrase)
{
    const QTextCursor found = doc.find(QString::fromUtf8(phrase));
    if (found.isNull())
        return "(not found)";
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(found.selectionStart() + 2);
    const QTextCharFormat f = c.charFormat();
    const QTextBlockFormat p = c.blockFormat();
    const Qt::Alignment align = p.alignment() & Qt::AlignHorizontal_Mask;
    const std::pair<bool, QString> parts[] = {
        { f.fontWeight() >= QFont::Bold, QStringLiteral("b") },
        { f.fontItalic(), QStringLiteral("i") },
        { f.fontUnderline(), QStringLiteral("u") },
        { f.hasProperty(QTextFormat::FontPointSize), QStringLiteral("%1pt").arg(f.fontPointSize()) },
        { f.hasProperty(QTextFormat::FontFamilies), f.fontFamilies().toStringList().join(QLatin1Char(' ')) },
        { f.hasProperty(QTextFormat::ForegroundBrush), QStringLiteral("fg") + f.foreground().color().name() },
        { f.hasProperty(QTextFormat::BackgroundBrush), QStringLiteral("bg") + f.background().color().name() },
        { align != Qt::AlignLeft,
            align == Qt::AlignHCenter ? QStringLiteral("centre") : QStringLiteral("align %1").arg(int(align)) },
        { p.leftMargin() != 0 || p.rightMargin() != 0 || p.textIndent() != 0,
            QStringLiteral("indent %1 %2 %3").arg(p.leftMargin()).arg(p.rightMargin()).arg(p.textIndent()) },
    };
    QStringList shown;
    for (const auto& [has, text] : parts)
        if (has)
            shown << text;
    return shown.join(QLatin1Char(' ')).toStdString();
}

} // namespace

// Documents written by word processors: every phrase with the formatting it was written with,
// its paragraph with its alignment and indents (pixels at 15 twips each).
TEST(RtfReader, WordProcessorFormattingIsKeptForEveryPhrase)
{
    const std::tuple<const char*, const char*, const char*> phrases[] = {
        { "libreoffice-constructs.rtf", "Plain paragraph", "12pt Liberation Serif" },
        { "libreoffice-constructs.rtf", "Bold words", "b" },
        { "libreoffice-constructs.rtf", "Eighteen points", "18pt" },
        { "libreoffice-constructs.rtf", "mono font", "Liberation Mono" },
        { "libreoffice-constructs.rtf", "Red text", "fg#ff0000" },
        { "libreoffice-tabs-highlight-header-picture.rtf", "Highlighted words", "12pt DejaVu Serif bg#ffff00" },
        { "wordpad-cp1252.rtf", "Green", "11pt Calibri fg#008000" },
        // \pard after an indented paragraph starts again from no indent.
        { "wordpad-cp1252.rtf", "Centred bold italic", "b i 11pt Calibri centre" },
        { "libreoffice-constructs.rtf", "Centred line", "centre" },
        { "libreoffice-constructs.rtf", "Indented paragraph", "indent 96 48 -24" },
    };
    for (const auto& [file, phrase, expected] : phrases) {
        QTextDocument doc;
        RtfReader::loadFile(QStringLiteral(WENDMOOR_TEST_DATA "/") + QLatin1String(file), doc);
        EXPECT_EQ(looks(doc, phrase), expected) << file << ": " << phrase;
    }
}

TEST(RtfReader, TextOfEachDocumentIsReadWithoutHiddenOrDoubledCharacters)
{
    // A file and one paragraph of it, exactly.
    const std::pair<const char*, const char*> table[] = {
        { "libreoffice-constructs.rtf", "Accents: café naïve € “quotes” — dash; Greek: αβγ; Cyrillic: Жук; CJK: 日本" },
        { "libreoffice-tabs-highlight-header-picture.rtf", "Braces {like these} and a back\\slash." },
        { "libreoffice-tabs-highlight-header-picture.rtf", "Picture:  after the picture." },
        { "wordpad-cp1252.rtf", "Жук after the Cyrillic font" },
        { "wordpad-cp1252.rtf", "Col1\tCol2\u2028Next line" },
        { "cp1251.rtf", "Привет мир" },
        { "unicode.rtf", "Skip one: 日" },
        { "unicode.rtf", "Word counts: —x" },
        { "unicode.rtf", "Pair: \U0001F600" },
        { "unicode.rtf", "Lone half: \uFFFD x" },
        { "unicode.rtf", "Group ends skip: ☃xyz" },
        { "skipped-destinations.rtf", "BeforeAfter" },
        { "skipped-destinations.rtf", "Escapes: \\ { } and \u00A0non\u2011breakinghyphen" },
    };
    for (const auto& [file, paragraph] : table) {
        SCOPED_TRACE(std::string(file) + ": " + paragraph);
        QTextDocument doc;
        RtfReader::loadFile(QStringLiteral(WENDMOOR_TEST_DATA "/") + QLatin1String(file), doc);
        // The paragraphs, line breaks kept as U+2028.
        const QStringList paragraphs = doc.toRawText().split(QChar::ParagraphSeparator);
        EXPECT_TRUE(paragraphs.contains(QString::fromUtf8(paragraph))) << doc.toRawText().toStdString();
    }
}

// Sound edges of the syntax are read; damaged or foreign input is an error naming its source.
TEST(RtfReader, SoundEdgesAreReadAndDamagedInputIsAnErrorNamingTheSource)
{
    const auto nested = [](int open, int close) {
        return QByteArray("{\\rtf1 ") + QByteArray(open, '{') + "x" + QByteArray(close, '}');
    };
    const std::tuple<const char*, QByteArray, bool> table[] = {
        { "leading blank lines", "\r\n  {\\rtf1 x}", true },
        { "byte-order mark in front", "\xEF\xBB\xBF{\\rtf1 x}", true },
        { "empty document", "{\\rtf1}", true },
        { "deepest nesting allowed", nested(RtfReader::MaxDepth - 1, RtfReader::MaxDepth), true },
        { "empty", "", false },
        { "plain text", "Hello, operator", false },
        { "truncated", "{\\rtf1 abc", false },
        { "bad hex character", "{\\rtf1 \\'zz}", false },
        { "binary data past the end", "{\\rtf1 {\\pict\\bin99 ab}}", false },
        { "extra closing brace", "{\\rtf1 abc}}", false },
        { "runaway nesting", QByteArray("{\\rtf1 ") + QByteArray(100000, '{'), false },
        { "nesting one too deep", nested(RtfReader::MaxDepth, RtfReader::MaxDepth + 1), false },
        { "control word too long", "{\\rtf1 \\" + QByteArray(33, 'a') + " x}", false },
    };
    for (const auto& [what, rtf, sound] : table) {
        SCOPED_TRACE(what);
        QTextDocument doc;
        try {
            RtfReader::read(rtf, doc, QStringLiteral("/some/where/manual.rtf"));
            EXPECT_TRUE(sound) << "no error";
        } catch (const Error& e) {
            EXPECT_FALSE(sound) << e.text().toStdString();
            EXPECT_EQ(e.number(), ErrorNumber::RichTextMalformed);
            EXPECT_TRUE(e.description().contains(QStringLiteral("/some/where/manual.rtf")))
                << e.description().toStdString();
        }
    }
}

TEST(RtfReader, TabStopsBelongToTheirParagraphUntilPard)
{
    QTextDocument doc;
    RtfReader::read(
        "{\\rtf1 \\tx1440\\tqr\\tx4320 a\\tab b\\tab c\\par next\\par\\pard plain\\par}", doc, QStringLiteral("t"));
    const QList<QTextOption::Tab> expected { QTextOption::Tab(96, QTextOption::LeftTab),
        QTextOption::Tab(288, QTextOption::RightTab) };
    EXPECT_EQ(blockOf(doc, QStringLiteral("a\tb\tc")).tabPositions(), expected);
    EXPECT_EQ(blockOf(doc, QStringLiteral("next")).tabPositions(), expected);
    EXPECT_TRUE(blockOf(doc, QStringLiteral("plain")).tabPositions().isEmpty());

    // With a hanging indent the first line starts left of the indent: a stop at the indent lines
    // the text up under the lines below, and later stops still fall where the page says.
    RtfReader::read("{\\rtf1 \\li480\\fi-240\\tx2400 *\\tab item\\tab note\\par}", doc, QStringLiteral("t"));
    const QList<QTextOption::Tab> hanging { QTextOption::Tab(16, QTextOption::LeftTab),
        QTextOption::Tab(144, QTextOption::LeftTab) };
    EXPECT_EQ(blockOf(doc, QStringLiteral("item")).tabPositions(), hanging);

    // The last paragraph, without \par, keeps its alignment.
    RtfReader::read("{\\rtf1 \\qc centred}", doc, QStringLiteral("t"));
    EXPECT_EQ(doc.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

// Past the paragraphs and lengths a manual has, paragraphs are joined or cut to keep the text
// box quick: no character may be lost or moved on the way.
TEST(RtfReader, HugeDocumentsKeepEveryCharacterInOrder)
{
    QByteArray rtf = "{\\rtf1 ";
    QString expected;
    for (int i = 0; i < 30000; ++i) {
        rtf += "p" + QByteArray::number(i) + "\\par\n";
        expected += QStringLiteral("p%1 ").arg(i);
    }
    for (int i = 0; i < 3000; ++i) {
        rtf += "word {\\b bold} ";
        expected += QStringLiteral("word bold ");
    }
    QTextDocument doc;
    RtfReader::read(rtf + "}", doc, QStringLiteral("t"));
    EXPECT_EQ(doc.toPlainText().simplified(), expected.simplified()); // line breaks and paragraphs as spaces
}
