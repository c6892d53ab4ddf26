#include "config/Settings.h"
#include "media/LevelMeter.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "platform/Error.h"
#include "platform/UiUnits.h"
#include "recorder/Menu.h"
#include "recorder/RecorderState.h"

#include "../media/WavChecks.h"
#include "TestServices.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// A file recorded and then stopped with the Stop button holds what was fed, less what the
// converter's filter still held when the writer was switched off (up to about 0.1 s), plus up to
// one GSM block of padding.
void expectDuration(const WavContents& c, double seconds)
{
    ASSERT_TRUE(c.opened);
    const double got = static_cast<double>(c.samples.size()) / c.rate;
    EXPECT_GE(got, seconds - 0.15);
    EXPECT_LE(got, seconds + 0.05);
}

class RecordLogTest : public ::testing::Test {
protected:
    TestServices ts;
    Settings settings;
    RecorderState state;
    QString archive = ts.makeArchive();
    std::unique_ptr<Menu> menu;

    RecordLogTest()
    {
        settings.LogDrive = QLatin1Char('C');
        settings.RecordFormat = 3;
        menu = std::make_unique<Menu>(ts.services, settings, state);
    }
    QString log(const char* name) const { return archive + QLatin1Char('/') + QLatin1String(name); }
    void makeFile(const QString& path, const QByteArray& content = "old") const
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    // Feeds a second of tone at the input's rate and lets the chain take it.
    void feedSecond(double hz = 1000.0)
    {
        const int rate = menu->WaveIn->sampleRate();
        ts.audio.feed(sineTone(rate, hz, static_cast<std::size_t>(rate)));
        menu->WaveIn->pump();
    }
    [[nodiscard]] QColor recordColour() const { return menu->cmdRecord->palette().color(QPalette::Button); }
};

TEST_F(RecordLogTest, RecordStartsTheChainAndRecordWhileRecordingKeepsTheSameFile)
{
    menu->cmdRecord->click();
    EXPECT_EQ(state.CurrentLogPath, log("L120626.wav"));
    EXPECT_TRUE(state.IsRecording);
    EXPECT_EQ(menu->cmdRecord->text(), QStringLiteral("Recording"));
    EXPECT_EQ(recordColour(), bgrColor(0x000000FF));
    feedSecond();
    menu->cmdRecord->click(); // while recording: nothing asked, nothing reopened, same file
    EXPECT_TRUE(ts.prompt.questions.isEmpty());
    EXPECT_EQ(ts.audio.captureOpens, 1);
    feedSecond();

    menu->cmdStop->click();
    EXPECT_EQ(menu->cmdRecord->text(), QStringLiteral("Record"));
    EXPECT_EQ(recordColour(), bgrColor(0x000000C0));
    const WavContents c = readWav(log("L120626.wav"));
    EXPECT_EQ(c.rate, 11025);
    expectDuration(c, 2.0);
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

TEST_F(RecordLogTest, EveryFormatNumberRecordsItsFormatAndDescribesIt)
{
    struct Case {
        int format;
        int rate;
        int subtype;
        const char* label;
    };
    const Case cases[] = {
        {0, 8000, SF_FORMAT_PCM_U8, "Format:  PCM   8.000 kHz, 8 Bit, Mono"},
        {1, 8000, SF_FORMAT_PCM_16, "Format:  PCM   8.000 kHz, 16 Bit, Mono"},
        {2, 11025, SF_FORMAT_PCM_U8, "Format:  PCM   11.025 kHz, 8 Bit, Mono"},
        {3, 11025, SF_FORMAT_PCM_16, "Format:  PCM   11.025 kHz, 16 Bit, Mono"},
        {4, 22050, SF_FORMAT_PCM_U8, "Format:  PCM   22.050 kHz, 8 Bit, Mono"},
        {5, 22050, SF_FORMAT_PCM_16, "Format:  PCM   22.050 kHz, 16 Bit, Mono"},
        {6, 8000, SF_FORMAT_GSM610, "Format:  GSM 6.10   8.000 kHz, Mono"},
        {7, 11025, SF_FORMAT_GSM610, "Format:  GSM 6.10   11.025 kHz, Mono"},
        {8, 22050, SF_FORMAT_GSM610, "Format:  GSM 6.10   22.050 kHz, Mono"},
        {9, 22050, SF_FORMAT_PCM_16, "Format:  FLAC   22.050 kHz, 16 Bit, Mono"},
        {10, 24000, SF_FORMAT_OPUS, "Format:  Opus   24.000 kHz, 32 kb/s, Mono"},
    };
    for (const Case& c : cases) {
        // A fresh window for each, so the input starts at its 22050 Hz.
        menu = std::make_unique<Menu>(ts.services, settings, state);
        settings.RecordFormat = c.format;
        settings.StartOnLoad = 1; // replace nothing, ask nothing: every case gets its own name
        menu->GetLogName();
        menu->RecordLog();
        ASSERT_TRUE(state.IsRecording) << c.format;
        EXPECT_EQ(menu->Label1->text(), QLatin1String(c.label));
        // GSM and FLAC take the card at their rate; Opus takes no 22050 Hz and resamples.
        EXPECT_EQ(menu->WaveIn->sampleRate(), c.format >= 6 && c.format <= 9 ? c.rate : 22050);
        feedSecond();
        menu->cmdStop_Click();
        const WavContents f = readWav(state.CurrentLogPath);
        ASSERT_TRUE(f.opened) << c.format;
        EXPECT_EQ(f.rate, c.rate) << c.format;
        EXPECT_EQ(f.format & SF_FORMAT_SUBMASK, c.subtype) << c.format;
        expectDuration(f, 1.0);
    }
}

TEST_F(RecordLogTest, ExistingDayFileIsReplacedOnYesAndRenumberedOnNoOrWhenStartedByItself)
{
    struct Case {
        const char* label;
        std::int16_t startOnLoad;
        std::deque<bool> answers;
        bool asked;
        const char* recordedInto;
    };
    const Case cases[] = {{"yes", 0, {true}, true, "L120626.wav"}, {"no", 0, {false}, true, "L12062601.wav"},
                          {"automatic", 1, {true}, false, "L12062601.wav"},
                          {"automatic 2", 2, {true}, false, "L12062601.wav"}};
    for (const Case& c : cases) {
        QFile::remove(log("L12062601.wav"));
        makeFile(log("L120626.wav"));
        ts.prompt.questions.clear();
        ts.prompt.answers = c.answers;
        settings.StartOnLoad = c.startOnLoad;
        menu->GetLogName();
        menu->RecordLog();
        if (c.asked) {
            ASSERT_EQ(ts.prompt.questions.size(), 1) << c.label;
            EXPECT_EQ(ts.prompt.questions.front(),
                      QStringLiteral("Wendmoor|Overwrite Existing File--> ") + log("L120626.wav") + QLatin1Char('?'));
        } else {
            EXPECT_TRUE(ts.prompt.questions.isEmpty()) << c.label;
        }
        EXPECT_EQ(state.CurrentLogPath, log(c.recordedInto)) << c.label;
        menu->cmdStop_Click();
        // The old day file survives unless the operator said Yes.
        EXPECT_EQ(readWav(log("L120626.wav")).opened, QLatin1String(c.label) == QLatin1String("yes")) << c.label;
    }
}

TEST_F(RecordLogTest, FailureIsReportedAndLeavesStateAndFormatTextAsTheyWere)
{
    struct Case {
        const char* label;
        int format;
        std::int16_t device;
        bool removeArchive;
        int number;
        bool labelChanged;
        WaveInput::State input;
    };
    const Case cases[] = {
        {"format out of range", 11, 0, false, ErrorNumber::InvalidArgument, false, WaveInput::Closed},
        {"no such device", 1, 7, false, ErrorNumber::SoundDeviceNotFound, true, WaveInput::Closed},
        {"archive folder gone", 1, 0, true, ErrorNumber::PathNotFound, true, WaveInput::Opened},
    };
    for (const Case& c : cases) {
        ts.messages.shown.clear();
        menu->Label1->setText(QStringLiteral("earlier"));
        settings.RecordFormat = c.format;
        settings.RecordDevice = c.device;
        if (c.removeArchive)
            QDir(archive).removeRecursively();
        menu->cmdRecord_Click();
        ASSERT_EQ(ts.messages.shown.size(), 1) << c.label;
        EXPECT_TRUE(ts.messages.shown.front().startsWith(QString::number(c.number) + QLatin1Char(' ')))
            << ts.messages.shown.front().toStdString();
        EXPECT_EQ(menu->Label1->text() != QStringLiteral("earlier"), c.labelChanged) << c.label;
        EXPECT_FALSE(state.IsRecording) << c.label;
        EXPECT_EQ(menu->cmdRecord->text(), QStringLiteral("&Record")) << c.label;
        EXPECT_EQ(menu->WaveIn->state(), c.input) << c.label;
    }
    EXPECT_TRUE(ts.messages.shown.front().contains(log("L120626.wav")));
}

TEST_F(RecordLogTest, LargestFormatAfterGsmKeepsTheGsmInputRateAndConverts)
{
    settings.RecordFormat = 6;
    menu->cmdRecord_Click();
    menu->cmdStop_Click();
    settings.RecordFormat = 5;
    ts.prompt.answers = {true};
    menu->cmdRecord_Click();
    EXPECT_EQ(menu->WaveIn->sampleRate(), 8000);
    feedSecond(440.0);
    menu->cmdStop_Click();
    const WavContents c = readWav(state.CurrentLogPath);
    EXPECT_EQ(c.rate, 22050);
    expectDuration(c, 1.0);
    EXPECT_NEAR(toneFrequency(c.samples, 22050), 440.0, 1.0);
}

TEST_F(RecordLogTest, ClosingTheWindowOrEndingTheProgramFinishesTheFile)
{
    menu->cmdRecord_Click();
    feedSecond();
    ts.prompt.answers = {true}; // "Stop recording and close Wendmoor?"
    menu->close();
    EXPECT_FALSE(menu->WaveFile->isOpen());
    expectDuration(readWav(log("L120626.wav")), 1.0);

    settings.StartOnLoad = 0;
    ts.prompt.answers = {false};
    menu->cmdRecord_Click();
    feedSecond();
    menu.reset();
    expectDuration(readWav(log("L12062601.wav")), 1.0);
}

} // namespace
