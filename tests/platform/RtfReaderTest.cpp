#include "platform/RtfReader.h"
#include "platform/Error.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <optional>

using namespace wendmoor;

namespace {

QString dataFile(const char* name)
{
    return QStringLiteral(WENDMOOR_TEST_DATA "/") + QLatin1String(name);
}

// The text of the document with paragraphs joined by "\n" and line breaks kept as U+2028.
QString rawText(const QTextDocument& doc)
{
    QStringList blocks;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        blocks.append(b.text());
    return blocks.join(QLatin1Char('\n'));
}

// The first place where `phrase` stands, or nothing.
std::optional<QTextCursor> find(const QTextDocument& doc, const QString& phrase)
{
    const QTextCursor c = doc.find(phrase);
    if (c.isNull())
        return std::nullopt;
    return c;
}

// The character format inside `phrase` (of its second character, so that a run that starts
// right at the phrase is the one looked at).
QTextCharFormat formatOf(const QTextDocument& doc, const QString& phrase)
{
    const auto found = find(doc, phrase);
    if (!found)
        return {};
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(found->selectionStart() + 2);
    return c.charFormat();
}

QTextBlockFormat blockOf(const QTextDocument& doc, const QString& phrase)
{
    const auto found = find(doc, phrase);
    return found ? found->block().blockFormat() : QTextBlockFormat();
}

void loadData(const char* name, QTextDocument& doc)
{
    RtfReader::loadFile(dataFile(name), doc);
}

} // namespace

// What documents written by a word processor must look like after reading: every phrase with
// the formatting it was written with.
TEST(RtfReader, WordProcessorFormattingIsKeptForEveryPhrase)
{
    struct Expect {
        const char* file;
        const char* phrase;
        bool bold;
        bool italic;
        bool underline;
        double points; // 0: no size of its own
        const char* family; // nullptr: no font of its own
        QColor foreground; // invalid: no colour of its own
        QColor background;
    };
    const Expect table[] = {
        { "libreoffice-constructs.rtf", "Plain paragraph", false, false, false, 12, "Liberation Serif", {}, {} },
        { "libreoffice-constructs.rtf", "Bold words", true, false, false, 0, nullptr, {}, {} },
        { "libreoffice-constructs.rtf", "Eighteen points", false, false, false, 18, nullptr, {}, {} },
        { "libreoffice-constructs.rtf", "mono font", false, false, false, 0, "Liberation Mono", {}, {} },
        { "libreoffice-constructs.rtf", "Red text", false, false, false, 0, nullptr, QColor(255, 0, 0), {} },
        { "libreoffice-tabs-highlight-header-picture.rtf", "Highlighted words", false, false, false, 12, "DejaVu Serif",
            {}, QColor(255, 255, 0) },
        { "wordpad-cp1252.rtf", "Green", false, false, false, 11, "Calibri", QColor(0, 128, 0), {} },
        { "wordpad-cp1252.rtf", "Centred bold italic", true, true, false, 11, "Calibri", {}, {} },
    };
    for (const Expect& e : table) {
        SCOPED_TRACE(std::string(e.file) + ": " + e.phrase);
        QTextDocument doc;
        loadData(e.file, doc);
        ASSERT_TRUE(find(doc, QString::fromUtf8(e.phrase)));
        const QTextCharFormat f = formatOf(doc, QString::fromUtf8(e.phrase));
        EXPECT_EQ(f.fontWeight() >= QFont::Bold, e.bold);
        EXPECT_EQ(f.fontItalic(), e.italic);
        EXPECT_EQ(f.fontUnderline(), e.underline);
        if (e.points > 0)
            EXPECT_DOUBLE_EQ(f.fontPointSize(), e.points);
        else
            EXPECT_FALSE(f.hasProperty(QTextFormat::FontPointSize));
        if (e.family)
            EXPECT_EQ(f.fontFamilies().toStringList(), QStringList { QString::fromUtf8(e.family) });
        else
            EXPECT_FALSE(f.hasProperty(QTextFormat::FontFamilies));
        if (e.foreground.isValid())
            EXPECT_EQ(f.foreground().color(), e.foreground);
        else
            EXPECT_FALSE(f.hasProperty(QTextFormat::ForegroundBrush));
        if (e.background.isValid())
            EXPECT_EQ(f.background().color(), e.background);
        else
            EXPECT_FALSE(f.hasProperty(QTextFormat::BackgroundBrush));
    }
}

TEST(RtfReader, ParagraphAlignmentAndIndentsFollowTheDocument)
{
    struct Expect {
        const char* file;
        const char* phrase;
        Qt::Alignment align;
        double left, right, first; // pixels at 15 twips each
    };
    const Expect table[] = {
        { "libreoffice-constructs.rtf", "Centred line", Qt::AlignHCenter, 0, 0, 0 },
        { "libreoffice-constructs.rtf", "Indented paragraph", Qt::AlignLeft, 96, 48, -24 },
        // \pard after an indented paragraph starts again from no indent.
        { "wordpad-cp1252.rtf", "Centred bold italic", Qt::AlignHCenter, 0, 0, 0 },
    };
    for (const Expect& e : table) {
        SCOPED_TRACE(std::string(e.file) + ": " + e.phrase);
        QTextDocument doc;
        loadData(e.file, doc);
        const QTextBlockFormat f = blockOf(doc, QString::fromUtf8(e.phrase));
        EXPECT_EQ(f.alignment() & Qt::AlignHorizontal_Mask, e.align);
        EXPECT_DOUBLE_EQ(f.leftMargin(), e.left);
        EXPECT_DOUBLE_EQ(f.rightMargin(), e.right);
        EXPECT_DOUBLE_EQ(f.textIndent(), e.first);
    }
}

TEST(RtfReader, TextOfEachDocumentIsReadWithoutHiddenOrDoubledCharacters)
{
    struct Expect {
        const char* file;
        const char* contains; // one paragraph, exactly
    };
    const Expect table[] = {
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
    for (const Expect& e : table) {
        SCOPED_TRACE(std::string(e.file) + ": " + e.contains);
        QTextDocument doc;
        loadData(e.file, doc);
        const QStringList paragraphs = rawText(doc).split(QLatin1Char('\n'));
        EXPECT_TRUE(paragraphs.contains(QString::fromUtf8(e.contains))) << rawText(doc).toStdString();
    }
}

TEST(RtfReader, HiddenDestinationsNeverShow)
{
    const char* hidden[] = { "must not show", "Header text", "Footer text", "Title text", "Author text", "Normal style",
        "Unknown destination", "HYPERLINK", "Default Page Style", "LibreOffice", "pngblip", "4e44ae" };
    for (const char* file :
        { "libreoffice-constructs.rtf", "libreoffice-tabs-highlight-header-picture.rtf", "skipped-destinations.rtf" }) {
        QTextDocument doc;
        loadData(file, doc);
        for (const char* h : hidden)
            EXPECT_FALSE(doc.toPlainText().contains(QLatin1String(h))) << file << ": " << h;
    }
}

TEST(RtfReader, SoundEdgesOfTheSyntaxAreAccepted)
{
    const QByteArray nested = QByteArray("{\\rtf1 ") + QByteArray(RtfReader::MaxDepth - 1, '{') + "deep"
        + QByteArray(RtfReader::MaxDepth, '}');
    const std::pair<const char*, QByteArray> table[] = {
        { "leading blank lines", "\r\n  {\\rtf1 x}" },
        { "byte-order mark in front", "\xEF\xBB\xBF{\\rtf1 x}" },
        { "empty document", "{\\rtf1}" },
        { "deepest nesting allowed", nested },
        { "last paragraph without \\par keeps its alignment", "{\\rtf1 \\qc centred}" },
    };
    for (const auto& [what, rtf] : table) {
        SCOPED_TRACE(what);
        QTextDocument doc;
        EXPECT_NO_THROW(RtfReader::read(rtf, doc, QStringLiteral("t")));
    }
    QTextDocument doc;
    RtfReader::read("{\\rtf1 \\qc centred}", doc, QStringLiteral("t"));
    EXPECT_EQ(doc.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

TEST(RtfReader, DamagedOrForeignInputIsAnErrorNamingTheSource)
{
    const std::pair<const char*, QByteArray> table[] = {
        { "empty", "" },
        { "plain text", "Hello, operator" },
        { "truncated", "{\\rtf1 abc" },
        { "bad hex character", "{\\rtf1 \\'zz}" },
        { "binary data past the end", "{\\rtf1 {\\pict\\bin99 ab}}" },
        { "extra closing brace", "{\\rtf1 abc}}" },
        { "runaway nesting", QByteArray("{\\rtf1 ") + QByteArray(100000, '{') },
        { "nesting one too deep",
            QByteArray("{\\rtf1 ") + QByteArray(RtfReader::MaxDepth, '{') + "x"
                + QByteArray(RtfReader::MaxDepth + 1, '}') },
        { "control word too long", "{\\rtf1 \\" + QByteArray(33, 'a') + " x}" },
    };
    for (const auto& [what, rtf] : table) {
        SCOPED_TRACE(what);
        QTextDocument doc;
        try {
            RtfReader::read(rtf, doc, QStringLiteral("/some/where/manual.rtf"));
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
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
    QString text = doc.toPlainText();
    text.replace(QChar(QChar::LineSeparator), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    EXPECT_EQ(text.simplified(), expected.simplified());
}
