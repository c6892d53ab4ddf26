#include "preferences/frmMyPreferences.h"
#include "widgets/ListBox.h"

#include "TestServices.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace wendmoor {
namespace {

using test::TestServices;

class Preferences : public ::testing::Test {
protected:
    void TearDown() override { delete dialog.data(); }

    // Opens the dialog as the main window does and shows it.
    frmMyPreferences& open()
    {
        dialog = new frmMyPreferences(ts.services, settings);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        return *dialog;
    }
    template <typename W> W* control(const char* name) const
    {
        W* w = dialog->findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    ListBox* list(const char* name) const { return control<ListBox>(name); }
    QLineEdit* box(const char* name) const { return control<QLineEdit>(name); }
    QRadioButton* option(const char* name) const { return control<QRadioButton>(name); }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    void apply() { click(control<QPushButton>("cmdApply")); }
    // Moves a one-line list down by `steps` entries with the arrow key, as an operator does.
    void moveDown(ListBox* l, int steps)
    {
        l->setFocus();
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(l, Qt::Key_Down);
    }
    void type(QLineEdit* e, const QString& text)
    {
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    // The records of the settings file, record 1 first.
    QList<int> records() const
    {
        QFile f(ts.services.paths.settingsFile);
        const QByteArray b = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        QList<int> r;
        for (int i = 0; i + 1 < b.size(); i += 2)
            r.append(static_cast<qint16>(static_cast<quint8>(b[i]) | (static_cast<quint8>(b[i + 1]) << 8)));
        return r;
    }

    TestServices ts;
    Settings settings;
    QPointer<frmMyPreferences> dialog;
};

// Letters stay with their disks, so the list can have gaps and letters whose disk is away; the
// stored record names a letter (3: F), never a position in the list.
TEST_F(Preferences, DriveListShowsAbsentDrivesAndStoredRecordNamesALetter)
{
    ts.volumes.list = { { QLatin1Char('C'), ts.drive(QLatin1Char('C')) },
        { QLatin1Char('F'), QStringLiteral("/media/op/ARCHIVE"), false } };
    ts.writeSettings({ 0, 0, 0, 3 });
    open();
    ASSERT_NE(list("lstDrv")->currentItem(), nullptr);
    EXPECT_EQ(list("lstDrv")->currentItem()->text(), QStringLiteral("F"));
    EXPECT_EQ(settings.LogDrive, QLatin1Char('F'));
    EXPECT_TRUE(list("lstDrv")->currentItem()->toolTip().contains(QStringLiteral("not mounted")));
    // Apply keeps the choice of the absent disk and says why its folders wait.
    apply();
    EXPECT_EQ(records().value(3), 3);
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_TRUE(ts.messages.shown[0].startsWith(QStringLiteral("1042 ")));
    EXPECT_TRUE(ts.messages.shown[0].contains(QStringLiteral("/media/op/ARCHIVE")));
}

// What the file holds is shown, a new file as the first entry of every choice; opening writes
// nothing, and the list order stays the playback window's.
TEST_F(Preferences, StoredSettingsAreShown)
{
    ts.audio.inputs = { QStringLiteral("In 0"), QStringLiteral("In 1") };
    const std::pair<QList<qint16>, QString> cases[] = {
        { {}, QStringLiteral("0 0 0 C 0 0 0 0 0 0 clear") },
        { { 0, 1, 5, 2, 7, 1, 300, 4, 1, 1, 1 }, QStringLiteral("0 1 5 E 7 1 1 300 4 1 ticked") },
    };
    for (const auto& [stored, shown] : cases) {
        ts.writeSettings(stored);
        const QList<int> before = records();
        settings.LogListOrder = 9;
        open();
        const auto checked = [this](const char* group, int count) {
            for (int i = 0; i < count; ++i)
                if (option(QStringLiteral("%1_%2").arg(QLatin1String(group)).arg(i).toLatin1().constData())
                        ->isChecked())
                    return i;
            return -1;
        };
        const QString seen = QStringList { QString::number(list("lstMM1")->listIndex()),
            QString::number(list("lstMM2")->listIndex()), QString::number(list("List2")->listIndex()),
            list("lstDrv")->currentItem()->text(), QString::number(list("List1")->listIndex()),
            QString::number(checked("optRecord", 4)), QString::number(checked("Option2", 3)),
            box("txtThreshold")->text(), box("txtStopDelay")->text(), QString::number(settings.StartPauseMode),
            control<QCheckBox>("Check1")->isChecked() ? QStringLiteral("ticked") : QStringLiteral("clear") }
                                 .join(QLatin1Char(' '));
        EXPECT_EQ(seen.toStdString(), shown.toStdString());
        EXPECT_EQ(settings.LogDrive, seen.at(6));
        EXPECT_EQ(settings.LogListOrder, 9);
        EXPECT_EQ(records(), before) << "opening must not write the settings file";
        delete dialog.data();
    }
}

// Mode, remote control and drive take effect at once; they reach the file only through Apply.
TEST_F(Preferences, ApplyWritesEveryRecordButTheListOrderAndUpdatesTheSettings)
{
    ts.audio.outputs = { QStringLiteral("Out 0"), QStringLiteral("Out 1") };
    ts.writeSettings({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0 });
    open();
    moveDown(list("lstMM1"), 1);
    moveDown(list("List2"), 3);
    moveDown(list("lstDrv"), 1);
    moveDown(list("List1"), 14);
    click(option("optRecord_1"));
    type(box("txtThreshold"), QStringLiteral("2.5"));
    type(box("txtStopDelay"), QStringLiteral("6"));
    click(option("Option2_1"));
    click(control<QCheckBox>("Check1"));
    apply();

    EXPECT_EQ(records(), (QList<int> { 1, 0, 3, 1, 14, 1, 2, 6, 1, 1, 1 }));
    EXPECT_EQ(settings.LogDrive, QLatin1Char('D'));
    EXPECT_EQ(settings.DaysToKeep, 14);
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(dialog.isNull()) << "Apply leaves the dialog open";

    click(option("optRecord_2"));
    click(option("Option2_2"));
    moveDown(list("lstDrv"), 1);
    control<QAction>("mnuExit")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
    EXPECT_EQ(settings.StartPauseMode, 2);
    EXPECT_EQ(settings.RemoteControl, 2);
    EXPECT_EQ(settings.LogDrive, QLatin1Char('E'));
    EXPECT_FALSE(QFileInfo::exists(ts.drive(QLatin1Char('E')) + QStringLiteral("/Wendmoor")));
    EXPECT_EQ(records(), (QList<int> { 1, 0, 3, 1, 14, 1, 2, 6, 1, 1, 1 }));
}

TEST_F(Preferences, OverflowIsReportedAndKeepsTheRecordsWrittenBeforeIt)
{
    ts.writeSettings({ 0, 0, 0, 0, 3, 0, 111, 2, 0, 5, 1 });
    open();
    moveDown(list("List1"), 11);
    click(option("optRecord_1"));
    // More than the box lets anyone type: what a program-set text can hold.
    box("txtThreshold")->setText(QStringLiteral("40000"));
    apply();
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_TRUE(ts.messages.shown[0].startsWith(QStringLiteral("6 "))) << ts.messages.shown[0].toStdString();
    EXPECT_TRUE(ts.messages.shown[0].contains(QStringLiteral("40000")));
    EXPECT_EQ(records(), (QList<int> { 0, 0, 0, 0, 14, 1, 111, 2, 0, 5, 1 }));
    EXPECT_EQ(settings.DaysToKeep, 14);
    EXPECT_EQ(settings.Threshold, 111) << "the threshold in use must stay the old one";
    EXPECT_FALSE(QFileInfo::exists(ts.drive(QLatin1Char('C')) + QStringLiteral("/Wendmoor")));
    EXPECT_FALSE(dialog.isNull());
}

TEST_F(Preferences, ApplyWithoutDaysOrDriveShowsItsMessageAndWritesNothing)
{
    const std::pair<QList<qint16>, const char*> cases[] = {
        { { 0, 0, 0, 0, 800 }, "You must select the number of days to save wave files." },
        { { 0, 0, 0, 9, 3 }, "You must select a hard drive." },
    };
    for (const auto& [stored, message] : cases) {
        ts.writeSettings(stored);
        ts.messages.shown.clear();
        open();
        apply();
        EXPECT_EQ(ts.messages.shown, QStringList { QString::fromLatin1(message) });
        EXPECT_EQ(records(), QList<int>(stored.begin(), stored.end())) << "nothing may be written";
        delete dialog.data();
    }
}

// Apply makes the archive folders of the chosen drive and leaves a log in them alone; a folder
// that cannot be made is reported with its path, the settings saved all the same.
TEST_F(Preferences, ApplyMakesTheArchiveFoldersOrSaysWhyNot)
{
    const QString logs = ts.drive(QLatin1Char('E')) + QStringLiteral("/Wendmoor/logs");
    ts.writeSettings({ 0, 0, 0, 2 });
    open();
    apply();
    ASSERT_TRUE(QFileInfo(logs).isDir());
    const QString kept = logs + QStringLiteral("/L120626.wav");
    ASSERT_TRUE(QFile(kept).open(QIODevice::WriteOnly));
    apply();
    EXPECT_TRUE(QFile::exists(kept)) << "an existing log must survive Apply";
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
    delete dialog.data();

    const QString blocker = ts.drive(QLatin1Char('D')) + QStringLiteral("/Wendmoor");
    ASSERT_TRUE(QFile(blocker).open(QIODevice::WriteOnly));
    ts.writeSettings({ 0, 0, 0, 1 });
    open();
    apply();
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_TRUE(ts.messages.shown[0].contains(blocker)) << ts.messages.shown[0].toStdString();
    EXPECT_EQ(records().size(), 11);
}

// A drive that stops answering (a USB disk, a share) holds only its own measuring: the window
// opens, the next drive's forecast shows and the window closes while it is still stuck (it gives
// up after 2 s, before any wait for it at the closing would end).
TEST_F(Preferences, ADriveThatDoesNotAnswerHoldsNeitherTheWindowNorTheNextChoice)
{
    struct Stall {
        std::atomic<bool> stuck = true, ended = false, onWindowThread = false;
    };
    auto d = std::make_shared<Stall>();
    const auto measure = [d, root = ts.drive(QLatin1Char('D'))](const QString& driveRoot, const QString& folder) {
        d->onWindowThread = d->onWindowThread || QThread::currentThread() == qApp->thread();
        for (int i = 0; i < 400 && driveRoot == root && d->stuck; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        d->ended = d->ended || driveRoot == root;
        return measureDrive(driveRoot, folder);
    };
    ts.writeSettings({ 0, 0, 0, 1 });
    dialog = new frmMyPreferences(ts.services, settings, nullptr, measure);
    dialog->show();
    moveDown(list("lstDrv"), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control<QLabel>("lblDiskSpace")->text().isEmpty() || d->ended; }, 5000));
    EXPECT_FALSE(d->ended) << "drive E's forecast must not wait for drive D";
    EXPECT_TRUE(control<QLabel>("lblDiskSpace")->text().startsWith(QStringLiteral("Free space")));
    delete dialog.data();
    EXPECT_FALSE(d->ended) << "closing must not wait for drive D";
    d->stuck = false;
    EXPECT_FALSE(d->onWindowThread);
    EXPECT_TRUE(QTest::qWaitFor([&] { return d->ended.load(); }, 5000));
}

} // namespace
} // namespace wendmoor
