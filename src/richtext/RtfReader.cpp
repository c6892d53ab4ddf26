#include "richtext/RtfReader.h"

#include "platform/Error.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace wendmoor {

namespace {

constexpr char16_t Replacement = 0xFFFD;

// Windows code page 1252: Latin-1 but for 0x80-0x9F. Built in so that the common case needs no
// converter; an undefined byte becomes U+FFFD.
constexpr std::array<char16_t, 32> Cp1252High = { 0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178 };

// One 8-bit code page: a table for single bytes and, for the double-byte pages of East Asian
// documents, a converter for lead-and-trail pairs.
class CodePage {
public:
    explicit CodePage(int number)
    {
        for (int b = 0; b < 0x80; ++b)
            m_table[b] = static_cast<char16_t>(b);
        for (int b = 0x80; b < 0x100; ++b)
            m_table[b] = b < 0xA0 ? Cp1252High[b - 0x80] : static_cast<char16_t>(b);
        if (number == 1252)
            return;
        const QByteArray name = "CP" + QByteArray::number(number);
        m_cd = iconv_open("UTF-16LE", name.constData());
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            m_cd = nullptr; // unknown code page: read as 1252
            return;
        }
        for (int b = 0x80; b < 0x100; ++b) {
            char in[1] = { static_cast<char>(b) };
            char16_t out[2] = { Replacement, 0 };
            const Conversion r = convert(in, 1, out);
            if (r == Conversion::Incomplete)
                m_lead[b] = true;
            m_table[b] = r == Conversion::Done ? out[0] : Replacement;
        }
    }
    ~CodePage()
    {
        if (m_cd)
            iconv_close(m_cd);
    }
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    // Appends the character of one byte, or holds a lead byte until its trail byte arrives.
    void put(unsigned char b, QString& out)
    {
        if (m_pendingLead >= 0) {
            char in[2] = { static_cast<char>(m_pendingLead), static_cast<char>(b) };
            char16_t pair[2] = { Replacement, 0 };
            m_pendingLead = -1;
            if (convert(in, 2, pair) == Conversion::Done)
                out.append(QChar(pair[0]));
            else
                out.append(QChar(Replacement));
            return;
        }
        if (m_lead[b]) {
            m_pendingLead = b;
            return;
        }
        out.append(QChar(m_table[b]));
    }

    // A lead byte with no trail byte is a character that cannot be shown.
    void finish(QString& out)
    {
        if (m_pendingLead >= 0)
            out.append(QChar(Replacement));
        m_pendingLead = -1;
    }

private:
    enum class Conversion { Done, Incomplete, Invalid };

    Conversion convert(char* in, size_t length, char16_t* out)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = in;
        size_t srcLeft = length;
        char* dst = reinterpret_cast<char*>(out);
        size_t dstLeft = 2 * sizeof(char16_t);
        if (iconv(m_cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1))
            return errno == EINVAL ? Conversion::Incomplete : Conversion::Invalid;
        return srcLeft == 0 && dstLeft < 2 * sizeof(char16_t) ? Conversion::Done : Conversion::Invalid;
    }

    std::array<char16_t, 256> m_table {};
    std::array<bool, 256> m_lead {};
    iconv_t m_cd = nullptr;
    int m_pendingLead = -1;
};

// The code page that a font's character set implies; 0 for "the document's own".
int codePageForCharset(int charset)
{
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default:
        return 0;
    }
}

enum class Destination { Text, FontTable, ColorTable, Skip };

struct CharProps {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int vertical = 0; // 0 normal, 1 superscript, 2 subscript
    int halfPoints = 0; // 0: the document's default size
    int font = -1; // -1: the document's default font
    int foreground = 0; // colour table index; 0 is "automatic"
    int background = 0;
    bool operator==(const CharProps&) const = default;
};

struct TabStop {
    int position = 0; // twips
    int kind = 0; // 0 left, 1 centre, 2 right
    bool operator==(const TabStop&) const = default;
};

struct ParaProps {
    static constexpr size_t MaxTabs = 64;
    int align = 0; // 0 left, 1 centre, 2 right, 3 justified
    int left = 0; // twips
    int right = 0;
    int first = 0;
    int before = 0;
    int after = 0;
    std::vector<TabStop> tabs;
    int nextTabKind = 0; // set by \tqc or \tqr, taken by the next \tx
    // What the paragraph looks like; nextTabKind is reading state only.
    bool sameLook(const ParaProps& o) const
    {
        return align == o.align && left == o.left && right == o.right && first == o.first && before == o.before
            && after == o.after && tabs == o.tabs;
    }
};

struct GroupState {
    Destination destination = Destination::Text;
    CharProps chars;
    ParaProps para;
    int unicodeSkip = 1; // characters that stand in for each \uN
};

struct FontEntry {
    QString name;
    int codePage = 0;
};

// Control words that open a destination whose text is never shown.
bool isSkippedDestination(std::string_view word)
{
    static constexpr std::array<std::string_view, 52> Skipped
        = { "pict", "info", "stylesheet", "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr",
              "footerf", "listtable", "listoverridetable", "revtbl", "rsidtbl", "xmlnstbl", "generator", "themedata",
              "colorschememapping", "latentstyles", "datastore", "fldinst", "footnote", "annotation", "atnid",
              "atnauthor", "nonshppict", "filetbl", "pgdsctbl", "mmathPr", "userprops", "docvar", "template", "comment",
              "author", "title", "subject", "operator", "keywords", "doccomm", "company", "buptim", "creatim",
              "printim", "revtim", "objdata", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn" };
    return std::find(Skipped.begin(), Skipped.end(), word) != Skipped.end();
}

// Words that stand for one character.
char16_t specialCharacter(std::string_view word)
{
    struct Entry {
        std::string_view word;
        char16_t ch;
    };
    static constexpr std::array<Entry, 14> Table = { { { "tab", u'\t' }, { "cell", u'\t' }, { "line", 0x2028 },
        { "emdash", 0x2014 }, { "endash", 0x2013 }, { "emspace", 0x2003 }, { "enspace", 0x2002 }, { "qmspace", 0x2005 },
        { "bullet", 0x2022 }, { "lquote", 0x2018 }, { "rquote", 0x2019 }, { "ldblquote", 0x201C },
        { "rdblquote", 0x201D }, { "zwj", 0x200D } } };
    for (const Entry& e : Table)
        if (e.word == word)
            return e.ch;
    return 0;
}

class Parser {
public:
    Parser(const QByteArray& rtf, QTextDocument& document, const QString& source, const std::atomic<bool>* cancel)
        : m_data(rtf)
        , m_document(document)
        , m_source(source)
        , m_cancel(cancel)
        , m_cursor(&document)
    {
    }

    void run()
    {
        m_document.clear();
        // Reading is not an edit anybody undoes step by step; and it happens inside one edit
        // block, because outside of one every insertion lays out its paragraph again to place
        // the cursor, which makes long paragraphs quadratic.
        const bool undo = m_document.isUndoRedoEnabled();
        m_document.setUndoRedoEnabled(false);
        m_cursor = QTextCursor(&m_document);
        m_cursor.beginEditBlock();
        struct EndEdit {
            QTextCursor& cursor;
            QTextDocument& document;
            bool undo;
            ~EndEdit()
            {
                cursor.endEditBlock();
                document.setUndoRedoEnabled(undo);
            }
        } endEdit { m_cursor, m_document, undo };
        const qsizetype size = m_data.size();
        // Some editors put a UTF-8 byte-order mark in front; blank lines may come first too.
        if (m_data.startsWith("\xEF\xBB\xBF"))
            m_pos = 3;
        while (m_pos < size && isSpace(m_data[m_pos]))
            ++m_pos;
        if (!QByteArrayView(m_data).sliced(m_pos).startsWith("{\\rtf"))
            throw Error(ErrorNumber::RichTextMalformed, QStringLiteral("%1 is not a rich-text document").arg(m_source));

        bool ended = false;
        qsizetype nextCancelCheck = 0;
        while (m_pos < size && !ended) {
            if (m_cancel && m_pos >= nextCancelCheck) {
                if (m_cancel->load(std::memory_order_relaxed))
                    throw Error(
                        ErrorNumber::RichTextMalformed, QStringLiteral("Reading %1 was cancelled").arg(m_source));
                nextCancelCheck = m_pos + 65536;
            }
            const char c = m_data[m_pos];
            if (c == '{') {
                ++m_pos;
                m_skipCount = 0;
                if (m_stack.size() >= static_cast<size_t>(RtfReader::MaxDepth))
                    fail(QStringLiteral("nests groups deeper than %1 levels").arg(RtfReader::MaxDepth));
                m_stack.push_back(m_stack.empty() ? GroupState {} : m_stack.back());
            } else if (c == '}') {
                ++m_pos;
                m_skipCount = 0;
                closeGroup();
                ended = m_stack.empty();
            } else if (c == '\\') {
                controlSequence();
            } else {
                ++m_pos;
                if (c == '\r' || c == '\n')
                    continue;
                if (skipOne())
                    continue;
                byteCharacter(static_cast<unsigned char>(c));
            }
        }
        if (!ended)
            throw Error(ErrorNumber::RichTextMalformed,
                QStringLiteral("The rich-text document %1 ends before all of its groups are closed").arg(m_source));
        for (; m_pos < size; ++m_pos)
            if (!isSpace(m_data[m_pos]) && m_data[m_pos] != '\0')
                fail(QStringLiteral("has text after its end"));
        finishParagraph(false);
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static int hexValue(char c)
    {
        if (isDigit(c))
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    [[noreturn]] void fail(const QString& what) const
    {
        throw Error(ErrorNumber::RichTextMalformed,
            QStringLiteral("The rich-text document %1 %2 (byte %3)").arg(m_source, what).arg(m_pos));
    }
    [[noreturn]] void truncated() const
    {
        throw Error(
            ErrorNumber::RichTextMalformed, QStringLiteral("The rich-text document %1 is cut short").arg(m_source));
    }

    GroupState& state() { return m_stack.back(); }

    // True when the byte or word just read stands in for the last \uN and is dropped.
    bool skipOne()
    {
        if (m_skipCount <= 0)
            return false;
        --m_skipCount;
        return true;
    }

    void closeGroup()
    {
        const Destination closing = state().destination;
        if (closing == Destination::Text)
            codePage().finish(m_text);
        if (m_stack.size() == 1)
            m_outermost = state();
        m_stack.pop_back();
        const Destination outer = m_stack.empty() ? Destination::Text : state().destination;
        if (closing == Destination::FontTable && outer != Destination::FontTable)
            commitFont();
    }

    void controlSequence()
    {
        const qsizetype size = m_data.size();
        ++m_pos; // the backslash
        if (m_pos >= size)
            truncated();
        const char c = m_data[m_pos];
        if (!isLetter(c)) {
            ++m_pos;
            controlSymbol(c);
            return;
        }
        const qsizetype start = m_pos;
        while (m_pos < size && isLetter(m_data[m_pos]))
            ++m_pos;
        if (m_pos - start > 32)
            fail(QStringLiteral("has a control word longer than 32 letters"));
        const std::string_view word(m_data.constData() + start, static_cast<size_t>(m_pos - start));
        bool hasParam = false;
        long long param = 0;
        bool negative = false;
        if (m_pos < size && m_data[m_pos] == '-' && m_pos + 1 < size && isDigit(m_data[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        const qsizetype digits = m_pos;
        while (m_pos < size && isDigit(m_data[m_pos])) {
            if (m_pos - digits >= 10)
                fail(QStringLiteral("has a number with more than 10 digits"));
            param = param * 10 + (m_data[m_pos] - '0');
            hasParam = true;
            ++m_pos;
        }
        if (negative)
            param = -param;
        param = std::clamp<long long>(param, -2147483648LL, 2147483647LL);
        if (m_pos < size && m_data[m_pos] == ' ')
            ++m_pos;
        if (word == "bin") {
            // Binary data: skipped byte for byte, so that braces inside it do not count.
            if (param < 0)
                fail(QStringLiteral("has binary data of negative length"));
            if (param > size - m_pos)
                truncated();
            m_pos += static_cast<qsizetype>(param);
            skipOne();
            return;
        }
        if (skipOne())
            return;
        controlWord(word, hasParam, static_cast<int>(param));
    }

    void controlSymbol(char c)
    {
        if (c == '\'') {
            if (m_pos + 2 > m_data.size())
                truncated();
            const int hi = hexValue(m_data[m_pos]);
            const int lo = hexValue(m_data[m_pos + 1]);
            if (hi < 0 || lo < 0)
                fail(QStringLiteral("has a bad \\' character"));
            m_pos += 2;
            if (skipOne())
                return;
            byteCharacter(static_cast<unsigned char>(hi * 16 + lo), true);
            return;
        }
        if (skipOne())
            return;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            byteCharacter(static_cast<unsigned char>(c), true);
            break;
        case '~':
            character(0x00A0);
            break;
        case '_':
            character(0x2011);
            break;
        case '*':
            state().destination = Destination::Skip;
            break;
        case '\r':
        case '\n':
            controlWord("par", false, 0);
            break;
        default: // \- optional hyphen, \: index entry, \| formula: nothing to show
            break;
        }
    }

    void controlWord(std::string_view w, bool hasParam, int param)
    {
        GroupState& s = state();
        const bool on = !hasParam || param != 0;
        if (w == "u") {
            character(static_cast<char16_t>(param < 0 ? param + 65536 : param));
            m_skipCount = s.unicodeSkip;
            return;
        }
        if (w == "uc") {
            s.unicodeSkip = std::clamp(param, 0, 10);
            return;
        }
        if (s.destination == Destination::Skip)
            return;
        if (w == "fonttbl") {
            s.destination = Destination::FontTable;
            return;
        }
        if (w == "colortbl") {
            s.destination = Destination::ColorTable;
            return;
        }
        if (isSkippedDestination(w)) {
            s.destination = Destination::Skip;
            return;
        }
        if (s.destination == Destination::FontTable) {
            if (w == "f") {
                commitFont();
                m_fontNumber = param;
                m_fontOpen = true;
            } else if (w == "fcharset") {
                m_fontCodePage = codePageForCharset(param);
            } else if (w == "cpg") {
                m_fontCodePage = param;
            }
            return;
        }
        if (s.destination == Destination::ColorTable) {
            const int v = std::clamp(param, 0, 255);
            if (w == "red")
                m_red = v;
            else if (w == "green")
                m_green = v;
            else if (w == "blue")
                m_blue = v;
            else
                return;
            m_colourSet = true;
            return;
        }

        // Document, character and paragraph formatting, and special characters.
        if (w == "ansi")
            m_documentCodePage = 1252;
        else if (w == "mac")
            m_documentCodePage = 10000;
        else if (w == "pc")
            m_documentCodePage = 437;
        else if (w == "pca")
            m_documentCodePage = 850;
        else if (w == "ansicpg")
            m_documentCodePage = param > 0 ? param : 1252;
        else if (w == "plain")
            s.chars = CharProps {};
        else if (w == "b")
            s.chars.bold = on;
        else if (w == "i")
            s.chars.italic = on;
        else if (w == "ul")
            s.chars.underline = on;
        else if (w == "ulnone")
            s.chars.underline = false;
        else if (w.size() > 2 && w.substr(0, 2) == "ul" && w != "ulc")
            s.chars.underline = on; // dotted, double, word and wavy underlines
        else if (w == "strike" || w == "striked")
            s.chars.strike = on;
        else if (w == "super")
            s.chars.vertical = 1;
        else if (w == "sub")
            s.chars.vertical = 2;
        else if (w == "nosupersub")
            s.chars.vertical = 0;
        else if (w == "fs")
            s.chars.halfPoints = hasParam ? std::clamp(param, 2, 3276) : 24;
        else if (w == "f")
            s.chars.font = param;
        else if (w == "cf")
            s.chars.foreground = param;
        else if (w == "highlight" || w == "cb" || w == "chcbpat")
            s.chars.background = param;
        else if (w == "pard")
            s.para = ParaProps {};
        else if (w == "ql")
            s.para.align = 0;
        else if (w == "qc")
            s.para.align = 1;
        else if (w == "qr")
            s.para.align = 2;
        else if (w == "qj" || w == "qd")
            s.para.align = 3;
        else if (w == "li" || w == "lin")
            s.para.left = indent(param);
        else if (w == "ri" || w == "rin")
            s.para.right = indent(param);
        else if (w == "fi")
            s.para.first = indent(param);
        else if (w == "sb")
            s.para.before = indent(param);
        else if (w == "sa")
            s.para.after = indent(param);
        else if (w == "tqc")
            s.para.nextTabKind = 1;
        else if (w == "tqr")
            s.para.nextTabKind = 2;
        else if (w == "tx" || w == "tb")
            addTab(s.para, param);
        else if (w == "par" || w == "sect" || w == "page" || w == "row")
            finishParagraph(true);
        else if (const char16_t ch = specialCharacter(w))
            character(ch);
        // Any other word is one this reader does not need.
    }

    static void addTab(ParaProps& para, int twips)
    {
        if (para.tabs.size() < ParaProps::MaxTabs)
            para.tabs.push_back({ indent(twips), para.nextTabKind });
        para.nextTabKind = 0;
    }

    // Indents and spacing are kept within the width of a wide page.
    static int indent(int twips) { return std::clamp(twips, -31680, 31680); }

    CodePage& codePage()
    {
        int number = m_documentCodePage;
        const int font = state().chars.font;
        if (font >= 0) {
            const auto it = m_fonts.find(font);
            if (it != m_fonts.end() && it->second.codePage > 0)
                number = it->second.codePage;
        }
        // A document names a handful of code pages; one that names ever new ones is read in
        // 1252 once it has named more than a real document would.
        if (!m_codePages.contains(number) && m_codePages.size() >= MaxCodePages)
            number = 1252;
        auto& slot = m_codePages[number];
        if (!slot)
            slot = std::make_unique<CodePage>(number);
        return *slot;
    }

    // One byte of text: a character of the code page, or a literal brace or backslash.
    void byteCharacter(unsigned char b, bool escaped = false)
    {
        switch (state().destination) {
        case Destination::Skip:
            return;
        case Destination::ColorTable:
            if (b == ';') {
                m_colours.push_back(m_colourSet ? QColor(m_red, m_green, m_blue) : QColor());
                m_lastChars.reset();
                m_red = m_green = m_blue = 0;
                m_colourSet = false;
            }
            return;
        case Destination::FontTable:
            if (b == ';' && !escaped) {
                commitFont();
                return;
            }
            if (b == '\t')
                return;
            codePage().put(b, m_fontName);
            return;
        case Destination::Text:
            if (b == '\t') {
                character(u'\t');
                return;
            }
            if (b < 0x20 && !escaped)
                return;
            beginText();
            codePage().put(b, m_text);
            if (b == ' ')
                breakLongParagraph();
            return;
        }
    }

    // A paragraph longer than any manual has is laid out by the text box in one piece, on the
    // windows' thread; it is cut into paragraphs at a blank once it is this long, so that the
    // text box lays out only what it shows.
    void breakLongParagraph()
    {
        if (m_blockChars + m_text.size() < LongParagraph)
            return;
        const GroupState& current = state();
        flushText();
        m_cursor.setBlockFormat(cachedBlockFormat(current.para));
        m_cursor.insertBlock(cachedBlockFormat(current.para), cachedCharFormat(current.chars));
        m_blockBegunWith = current.para;
        ++m_blocks;
        m_blockChars = 0;
    }

    void character(char16_t ch)
    {
        switch (state().destination) {
        case Destination::Text:
            beginText();
            codePage().finish(m_text);
            m_text.append(QChar(ch));
            return;
        case Destination::FontTable:
            m_fontName.append(QChar(ch));
            return;
        default:
            return;
        }
    }

    // Text is gathered in runs of one format; a change of format ends the run.
    void beginText()
    {
        const CharProps& now = state().chars;
        if (now == m_textProps)
            return;
        flushText();
        m_textProps = now;
    }

    void flushText()
    {
        if (m_text.isEmpty())
            return;
        // A lone half of a surrogate pair cannot be shown; it becomes U+FFFD.
        for (qsizetype i = 0; i < m_text.size(); ++i) {
            const QChar c = m_text.at(i);
            if (c.isHighSurrogate() && i + 1 < m_text.size() && m_text.at(i + 1).isLowSurrogate())
                ++i;
            else if (c.isSurrogate())
                m_text[i] = QChar(Replacement);
        }
        m_cursor.insertText(m_text, cachedCharFormat(m_textProps));
        m_blockChars += m_text.size();
        m_text.clear();
    }

    QTextCharFormat charFormat(const CharProps& p) const
    {
        QTextCharFormat f;
        if (p.bold)
            f.setFontWeight(QFont::Bold);
        if (p.italic)
            f.setFontItalic(true);
        if (p.underline)
            f.setFontUnderline(true);
        if (p.strike)
            f.setFontStrikeOut(true);
        if (p.vertical == 1)
            f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (p.vertical == 2)
            f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        if (p.halfPoints > 0)
            f.setFontPointSize(p.halfPoints / 2.0);
        if (p.font >= 0) {
            const auto it = m_fonts.find(p.font);
            if (it != m_fonts.end() && !it->second.name.isEmpty())
                f.setFontFamilies(QStringList { it->second.name });
        }
        if (p.foreground > 0 && static_cast<size_t>(p.foreground) < m_colours.size()
            && m_colours[static_cast<size_t>(p.foreground)].isValid())
            f.setForeground(m_colours[static_cast<size_t>(p.foreground)]);
        if (p.background > 0 && static_cast<size_t>(p.background) < m_colours.size()
            && m_colours[static_cast<size_t>(p.background)].isValid())
            f.setBackground(m_colours[static_cast<size_t>(p.background)]);
        return f;
    }

    static QTextBlockFormat blockFormat(const ParaProps& p)
    {
        QTextBlockFormat f;
        static constexpr Qt::Alignment Align[] = { Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify };
        f.setAlignment(Align[p.align]);
        // Twips to the document's pixels at 96 per inch, as the windows lay out.
        f.setLeftMargin(p.left / 15.0);
        f.setRightMargin(p.right / 15.0);
        f.setTextIndent(p.first / 15.0);
        f.setTopMargin(p.before / 15.0);
        f.setBottomMargin(p.after / 15.0);
        // Tab stops count from the page margin, the document's from where the paragraph's first
        // line begins. A hanging first line has a stop at the left indent, so that "bullet, tab,
        // text" lines up with the lines below.
        const int lineStart = p.left + p.first;
        QList<QTextOption::Tab> tabs;
        if (p.first < 0)
            tabs.append(QTextOption::Tab(-p.first / 15.0, QTextOption::LeftTab));
        for (const TabStop& t : p.tabs) {
            if (t.position <= std::max(lineStart, p.left))
                continue;
            const auto type = t.kind == 1 ? QTextOption::CenterTab
                : t.kind == 2             ? QTextOption::RightTab
                                          : QTextOption::LeftTab;
            tabs.append(QTextOption::Tab((t.position - lineStart) / 15.0, type));
        }
        if (!tabs.isEmpty())
            f.setTabPositions(tabs);
        return f;
    }

    // The paragraph's properties are those in force at its end. A paragraph already begun with
    // them is not formatted again, and formats are built once per change: a document of a
    // million short paragraphs is mostly this.
    void finishParagraph(bool startNext)
    {
        if (!m_stack.empty())
            codePage().finish(m_text);
        const GroupState& current = m_stack.empty() ? m_outermost : state();
        // Past the paragraphs any manual has, each further paragraph that looks like the one
        // before it (and has no spacing or first-line indent that would show the difference)
        // becomes a line break in it: a QTextDocument block costs microseconds, a character
        // nanoseconds, and a million paragraphs must not take many seconds.
        if (startNext && m_blocks >= ManyBlocks && m_blockBegunWith && m_blockBegunWith->sameLook(current.para)
            && current.para.before == 0 && current.para.after == 0 && current.para.first == 0) {
            beginText();
            m_text.append(QChar(QChar::LineSeparator));
            breakLongParagraph();
            return;
        }
        flushText();
        if (!m_blockBegunWith || !m_blockBegunWith->sameLook(current.para))
            m_cursor.setBlockFormat(cachedBlockFormat(current.para));
        if (startNext) {
            m_cursor.insertBlock(cachedBlockFormat(current.para), cachedCharFormat(current.chars));
            m_blockBegunWith = current.para;
            ++m_blocks;
            m_blockChars = 0;
        }
    }

    const QTextCharFormat& cachedCharFormat(const CharProps& p)
    {
        if (!m_lastChars || !(*m_lastChars == p)) {
            m_lastChars = p;
            m_lastCharFormat = charFormat(p);
        }
        return m_lastCharFormat;
    }

    const QTextBlockFormat& cachedBlockFormat(const ParaProps& p)
    {
        if (!m_lastPara || !m_lastPara->sameLook(p)) {
            m_lastPara = p;
            m_lastBlockFormat = blockFormat(p);
        }
        return m_lastBlockFormat;
    }

    void commitFont()
    {
        m_lastChars.reset(); // a cached format may name this font
        if (m_fontOpen && m_fontNumber >= 0) {
            FontEntry& entry = m_fonts[m_fontNumber];
            entry.name = m_fontName.trimmed();
            entry.codePage = m_fontCodePage;
        }
        m_fontOpen = false;
        m_fontNumber = -1;
        m_fontName.clear();
        m_fontCodePage = 0;
    }

    const QByteArray& m_data;
    QTextDocument& m_document;
    const QString& m_source;
    const std::atomic<bool>* m_cancel;
    QTextCursor m_cursor;
    qsizetype m_pos = 0;
    std::vector<GroupState> m_stack;
    GroupState m_outermost; // the document group's state when it closed
    int m_skipCount = 0;

    int m_documentCodePage = 1252;
    static constexpr size_t MaxCodePages = 16;
    std::map<int, std::unique_ptr<CodePage>> m_codePages;

    std::map<int, FontEntry> m_fonts;
    bool m_fontOpen = false;
    int m_fontNumber = -1;
    QString m_fontName;
    int m_fontCodePage = 0;

    std::vector<QColor> m_colours;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colourSet = false;

    QString m_text;
    CharProps m_textProps;

    static constexpr int ManyBlocks = 20000;
    static constexpr qsizetype LongParagraph = 4096;
    int m_blocks = 1;
    qsizetype m_blockChars = 0; // characters of the present paragraph already in the document
    std::optional<ParaProps> m_blockBegunWith; // the look the present paragraph was begun with
    std::optional<ParaProps> m_lastPara;
    QTextBlockFormat m_lastBlockFormat;
    std::optional<CharProps> m_lastChars;
    QTextCharFormat m_lastCharFormat;
};

} // namespace

void RtfReader::read(
    const QByteArray& rtf, QTextDocument& document, const QString& source, const std::atomic<bool>* cancel)
{
    Parser(rtf, document, source, cancel).run();
}

void RtfReader::loadFile(const QString& path, QTextDocument& document, const std::atomic<bool>* cancel)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(ErrorNumber::FileNotFound, QStringLiteral("File not found: %1").arg(path));
    if (info.isDir())
        throw Error(ErrorNumber::PathFileAccess, QStringLiteral("%1 is a folder, not a document").arg(path));
    if (info.size() > MaxFileSize)
        throw Error(ErrorNumber::RichTextMalformed,
            QStringLiteral("%1 is too large for the manual (%2 bytes; at most %3)")
                .arg(path)
                .arg(info.size())
                .arg(MaxFileSize));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorNumber::PathFileAccess, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray data = file.read(MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw Error(ErrorNumber::PathFileAccess, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    if (data.size() > MaxFileSize)
        throw Error(ErrorNumber::RichTextMalformed,
            QStringLiteral("%1 is too large for the manual (more than %2 bytes)").arg(path).arg(MaxFileSize));
    read(data, document, path, cancel);
}

} // namespace wendmoor
