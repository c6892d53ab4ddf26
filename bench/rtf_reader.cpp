// How fast the help window's rich-text reader reads, and that its time grows with the size of
// the document only: ordinary manuals, and documents built to be slow (deep nesting, a format
// change at every character, Unicode characters with stand-ins, long skipped destinations).
//   build/bench/rtf_reader            full run
//   build/bench/rtf_reader --smoke    a very short run, for CI
#include "richtext/RtfReader.h"

#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using wendmoor::RtfReader;

namespace {

QByteArray document(const QByteArray& body, int repeat)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}"
                     "{\\colortbl;\\red0\\green128\\blue128;}\n";
    rtf.reserve(rtf.size() + body.size() * repeat + 2);
    for (int i = 0; i < repeat; ++i)
        rtf += body;
    rtf += "}";
    return rtf;
}

const QByteArray Manual
    = "{\\pard\\sb240\\sa120\\b\\fs32\\cf1 A heading\\par}\\pard\\li480\\fi-240\\sa60 \\bullet\\tab "
      "Plain text with {\\b bold}, {\\i italic} and {\\f1 /a/path/name.wav} in it, and caf\\'e9 "
      "\\u8212? a dash.\\par\n";
const QByteArray FormatEveryCharacter = "\\b a\\b0 b\\i c\\i0 d\\ul e\\ulnone f\\fs30 g\\fs24 h\\cf1 i\\cf0 j";
const QByteArray DeepGroups = QByteArray(90, '{') + "x" + QByteArray(90, '}');
const QByteArray UnicodeStandIns = "{\\uc3 \\u8364\\'80\\'80\\'80\\u26085???}";
const QByteArray SkippedPicture = "{\\*\\shppict{\\pict\\pngblip " + QByteArray(2000, 'a') + "}}";

void read(benchmark::State& state, const QByteArray& body)
{
    const QByteArray rtf = document(body, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QTextDocument doc;
        RtfReader::read(rtf, doc, QStringLiteral("bench"));
        benchmark::DoNotOptimize(doc.characterCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * rtf.size());
    state.SetComplexityN(rtf.size());
}

void BM_Manual(benchmark::State& s)
{
    read(s, Manual);
}
void BM_FormatEveryCharacter(benchmark::State& s)
{
    read(s, FormatEveryCharacter);
}
void BM_DeepGroups(benchmark::State& s)
{
    read(s, DeepGroups);
}
void BM_UnicodeStandIns(benchmark::State& s)
{
    read(s, UnicodeStandIns);
}
void BM_SkippedPicture(benchmark::State& s)
{
    read(s, SkippedPicture);
}

// The shapes a damaged or hostile manual can take: one 10 MB paragraph, a million short
// paragraphs, a font table of 200 000 entries. Each must read in well under 2 s.
QByteArray oneLongParagraph()
{
    QByteArray line = "Plain text of the manual, with a tab\tand {\\b bold} in it. ";
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard ";
    while (rtf.size() < 10 * 1024 * 1024)
        rtf += line;
    return rtf + "\\par}";
}
QByteArray millionParagraphs()
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}";
    for (int i = 0; i < 1000000; ++i)
        rtf += "a\tb\\par\n";
    return rtf + "}";
}
QByteArray hugeFontTable()
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl";
    for (int i = 0; i < 200000; ++i)
        rtf += "{\\f" + QByteArray::number(i) + "\\fswiss\\fcharset0 Font " + QByteArray::number(i) + ";}";
    rtf += "}";
    for (int i = 0; i < 1000; ++i)
        rtf += "{\\f" + QByteArray::number(i * 199) + " text}";
    return rtf + "\\par}";
}

void readWhole(benchmark::State& state, const QByteArray& rtf)
{
    for (auto _ : state) {
        QTextDocument doc;
        RtfReader::read(rtf, doc, QStringLiteral("bench"));
        benchmark::DoNotOptimize(doc.characterCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * rtf.size());
}
void BM_TenMegabyteParagraph(benchmark::State& s)
{
    readWhole(s, oneLongParagraph());
}
void BM_MillionParagraphs(benchmark::State& s)
{
    readWhole(s, millionParagraphs());
}
void BM_FontTable200000(benchmark::State& s)
{
    readWhole(s, hugeFontTable());
}

BENCHMARK(BM_TenMegabyteParagraph)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MillionParagraphs)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FontTable200000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Manual)->RangeMultiplier(8)->Range(8, 4096)->Complexity(benchmark::oN);
BENCHMARK(BM_FormatEveryCharacter)->RangeMultiplier(8)->Range(8, 4096)->Complexity(benchmark::oN);
BENCHMARK(BM_DeepGroups)->RangeMultiplier(8)->Range(8, 4096)->Complexity(benchmark::oN);
BENCHMARK(BM_UnicodeStandIns)->RangeMultiplier(8)->Range(8, 4096)->Complexity(benchmark::oN);
BENCHMARK(BM_SkippedPicture)->RangeMultiplier(8)->Range(8, 512)->Complexity(benchmark::oN);

} // namespace

int main(int argc, char** argv)
{
    // --smoke: the smallest size of each, once.
    std::vector<char*> args;
    bool smoke = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else
            args.push_back(argv[i]);
    }
    static char minTime[] = "--benchmark_min_time=0";
    static char filter[] = "--benchmark_filter=/8$";
    if (smoke) {
        args.push_back(minTime);
        args.push_back(filter);
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
