// The ringtone dialog driven as a person drives it: the waveform's drags and the fields agree,
// the badge follows the phone's limit, fades that do not fit are shortened with a note, the part
// is stored on the row and shown in the list, and closing or stopping ends the background read.
#include "engine/device_profile.h"
#include "engine/file_list.h"
#include "engine/output_format.h"
#include "gui_test_support.h"
#include "platform/bass/decoding_library.h"
#include "ui/main/file_list_model.h"
#include "ui/main/file_list_view.h"
#include "ui/main/main_window.h"
#include "ui/ringtone/length_badge.h"
#include "ui/ringtone/ringtone_dialog.h"
#include "ui/ringtone/selection_player.h"
#include "ui/ringtone/waveform_view.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

constexpr int kM4r = velmora::code(velmora::OutputFormat::M4r);

// Sets a field as a person does: type, then leave it (the fields do not track every key).
void enter(QDoubleSpinBox& field, double seconds) {
    field.setValue(seconds);
}

struct SongRow {
    velmora::FileList list;
    velmora::SourceFile& entry() { return list.entry(0); }
};

std::unique_ptr<SongRow> listedWav(const guitest::Sandbox& sandbox, double seconds) {
    auto row = std::make_unique<SongRow>();
    guitest::writeWav(sandbox.path(QStringLiteral("song.wav")), seconds);
    if (row->list.addFile(sandbox.file(QStringLiteral("song.wav"))) < 0)
        return nullptr;
    return row;
}

int profileIndex(std::string_view cliWord) {
    const auto profiles = velmora::deviceProfiles();
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        if (profiles[i].cliWord == cliWord)
            return static_cast<int>(i);
    }
    return -1;
}

// Drags on the waveform from one time to another with the left button.
void drag(WaveformView& view, std::int64_t fromMs, std::int64_t toMs) {
    const int y = view.plotRect().center().y();
    const QPoint from(view.xOfTime(fromMs), y);
    const QPoint to(view.xOfTime(toMs), y);
    QTest::mousePress(&view, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, view.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
}

// Runs `act` on the ringtone dialog as soon as one is open (it runs inside the dialog's own loop).
void whenDialogOpens(QObject* context, std::function<void(RingtoneDialog&)> act,
                     int triesLeft = 500) {
    if (auto* dialog = guitest::findTopLevel<RingtoneDialog>()) {
        act(*dialog);
        return;
    }
    if (triesLeft > 0)
        QTimer::singleShot(10, context, [context, act, triesLeft] {
            whenDialogOpens(context, act, triesLeft - 1);
        });
}

} // namespace

class RingtoneDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void fieldsAndWaveformShowOneSelection_data();
    void fieldsAndWaveformShowOneSelection();
    void badgeTurnsRedPastTheProfilesLimit_data();
    void badgeTurnsRedPastTheProfilesLimit();
    void fadesThatDoNotFitAreHalvedWithANote();
    void timeFieldsReadMinutes_data();
    void timeFieldsReadMinutes();
    void untouchedSelectionStartsAtTheLoudestPart();
    void okStoresTheSegmentAndTheListShowsIt();
    void stopReadingAndClosingEndTheScan();
    void playWithoutSoundOutputSaysSo();

private:
    std::unique_ptr<velmora::DecodingLibrary> m_library;
};

void RingtoneDialogTest::initTestCase() {
    m_library = velmora::DecodingLibrary::start();
}

void RingtoneDialogTest::fieldsAndWaveformShowOneSelection_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<std::int64_t>("startMs");
    QTest::addColumn<std::int64_t>("lengthMs");
    // A 60 s file with the part at 10 s for 20 s before each edit.
    QTest::newRow("typed start") << "start 25" << std::int64_t{25000} << std::int64_t{20000};
    QTest::newRow("typed start near the end shortens")
        << "start 50" << std::int64_t{50000} << std::int64_t{10000};
    QTest::newRow("typed length past the end stops at it")
        << "length 90" << std::int64_t{10000} << std::int64_t{50000};
    QTest::newRow("dragged inside moves")
        << "move +15" << std::int64_t{25000} << std::int64_t{20000};
    QTest::newRow("dragged past the end stays inside")
        << "move +45" << std::int64_t{40000} << std::int64_t{20000};
    QTest::newRow("dragged start edge keeps the end")
        << "start edge 4" << std::int64_t{4000} << std::int64_t{26000};
    QTest::newRow("dragged end edge keeps the start")
        << "end edge 45" << std::int64_t{10000} << std::int64_t{35000};
    QTest::newRow("press outside moves the part there")
        << "press 50" << std::int64_t{40000} << std::int64_t{20000};
}

void RingtoneDialogTest::fieldsAndWaveformShowOneSelection() {
    QFETCH(QString, how);
    QFETCH(std::int64_t, startMs);
    QFETCH(std::int64_t, lengthMs);
    guitest::Sandbox sandbox;
    const auto row = listedWav(sandbox, 60);
    QVERIFY(row);
    row->entry().segment = velmora::Segment{10000, 20000, 0, 0};
    RingtoneDialog dialog(row->entry(), kM4r);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_VERIFY(dialog.hasLevels());
    QCOMPARE(dialog.selection().durationMs(), 60000);

    const QStringList words = how.split(QLatin1Char(' '));
    const double value = words.back().toDouble();
    WaveformView& view = dialog.waveform();
    // Pixels are coarser than milliseconds: drags land within one pixel's time.
    const std::int64_t pixel = view.timeAtX(view.plotRect().left() + 1) + 1;
    bool dragged = true;
    if (words[0] == QLatin1String("start") && words[1] != QLatin1String("edge")) {
        enter(dialog.startField(), value);
        dragged = false;
    } else if (words[0] == QLatin1String("length")) {
        enter(dialog.lengthField(), value);
        dragged = false;
    } else if (words[0] == QLatin1String("move")) {
        drag(view, 20000, 20000 + static_cast<std::int64_t>(value * 1000));
    } else if (words[0] == QLatin1String("start")) {
        drag(view, 10000, static_cast<std::int64_t>(value * 1000));
    } else if (words[0] == QLatin1String("end")) {
        drag(view, 30000, static_cast<std::int64_t>(value * 1000));
    } else {
        QTest::mouseClick(&view, Qt::LeftButton, {},
                          QPoint(view.xOfTime(static_cast<std::int64_t>(value * 1000)),
                                 view.plotRect().center().y()));
    }
    const velmora::Segment& segment = dialog.selection().segment();
    const std::int64_t tolerance = dragged ? pixel : 0;
    QVERIFY2(std::abs(segment.startMs - startMs) <= tolerance,
             qPrintable(QString::number(segment.startMs)));
    QVERIFY2(std::abs(segment.lengthMs - lengthMs) <= 2 * tolerance,
             qPrintable(QString::number(segment.lengthMs)));
    // The fields show what the waveform holds, to the field's hundredths.
    QCOMPARE(qRound64(dialog.startField().value() * 100), (segment.startMs + 5) / 10);
    QCOMPARE(qRound64(dialog.lengthField().value() * 100), (segment.lengthMs + 5) / 10);
}

void RingtoneDialogTest::badgeTurnsRedPastTheProfilesLimit_data() {
    QTest::addColumn<QString>("profile");
    QTest::addColumn<double>("lengthSeconds");
    QTest::addColumn<bool>("red");
    QTest::newRow("iPhone at its limit") << "iphone" << 40.0 << false;
    QTest::newRow("iPhone past its limit") << "iphone" << 40.5 << true;
    QTest::newRow("feature phone within") << "feature-phone" << 29.0 << false;
    QTest::newRow("feature phone past its limit") << "feature-phone" << 35.0 << true;
}

void RingtoneDialogTest::badgeTurnsRedPastTheProfilesLimit() {
    QFETCH(QString, profile);
    QFETCH(double, lengthSeconds);
    QFETCH(bool, red);
    guitest::Sandbox sandbox;
    const auto row = listedWav(sandbox, 60);
    QVERIFY(row);
    RingtoneDialog dialog(row->entry(), kM4r);
    dialog.profileBox().setCurrentIndex(profileIndex(profile.toStdString()));
    QVERIFY(dialog.profileBox().currentIndex() >= 0);
    enter(dialog.startField(), 0);
    enter(dialog.lengthField(), lengthSeconds);
    QCOMPARE(dialog.badge().isOverLimit(), red);
    QCOMPARE(dialog.badge().text().contains(QStringLiteral("over the")), red);
    QCOMPARE(dialog.badge().styleSheet().contains(QStringLiteral("#c62828")), red);
    // Another phone with another limit re-judges the same part.
    dialog.profileBox().setCurrentIndex(
        profileIndex(profile == "iphone" ? "feature-phone" : "iphone"));
    QCOMPARE(dialog.badge().isOverLimit(),
             lengthSeconds * 1000 > static_cast<double>(dialog.profile().maxLengthMs));
    QCOMPARE(dialog.selection().segment().lengthMs, std::llround(lengthSeconds * 1000));
}

void RingtoneDialogTest::fadesThatDoNotFitAreHalvedWithANote() {
    guitest::Sandbox sandbox;
    const auto row = listedWav(sandbox, 20);
    QVERIFY(row);
    RingtoneDialog dialog(row->entry(), kM4r);
    dialog.show();
    enter(dialog.startField(), 2);
    enter(dialog.lengthField(), 4);
    enter(dialog.fadeInField(), 0);
    enter(dialog.fadeOutField(), 0);
    QVERIFY(dialog.fadeNote().isHidden());

    enter(dialog.fadeInField(), 3);
    QVERIFY(dialog.fadeNote().isHidden()); // 3 s of 4 s still fits
    enter(dialog.fadeOutField(), 3);
    QCOMPARE(dialog.selection().segment().fadeInMs, 2000);
    QCOMPARE(dialog.selection().segment().fadeOutMs, 2000);
    QCOMPARE(dialog.fadeInField().value(), 2.0);
    QCOMPARE(dialog.fadeOutField().value(), 2.0);
    QVERIFY(dialog.fadeNote().isVisible());
    QVERIFY(dialog.fadeNote().text().contains(QStringLiteral("half")));

    // A fade that fits alone is kept; only the one longer than half the part is cut.
    enter(dialog.fadeOutField(), 0.5);
    enter(dialog.fadeInField(), 10);
    QCOMPARE(dialog.selection().segment().fadeInMs, 2000);
    QCOMPARE(dialog.selection().segment().fadeOutMs, 500);
    QVERIFY(dialog.fadeNote().isVisible());

    // Shortening the part by dragging its end cuts the fades too.
    enter(dialog.fadeInField(), 1);
    QVERIFY(dialog.fadeNote().isHidden());
    enter(dialog.lengthField(), 1);
    QCOMPARE(dialog.selection().segment().fadeInMs, 500);
    QCOMPARE(dialog.selection().segment().fadeOutMs, 500);
    QVERIFY(dialog.fadeNote().isVisible());
}

void RingtoneDialogTest::timeFieldsReadMinutes_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("seconds"); // -1: refused
    QTest::newRow("minutes") << "1:02.5" << 62.5;
    QTest::newRow("seconds alone") << "62.25" << 62.25;
    QTest::newRow("seconds past a minute with minutes") << "0:75" << -1.0;
    QTest::newRow("past the end stops inside the song") << "75:00" << 119.9;
}

void RingtoneDialogTest::timeFieldsReadMinutes() {
    QFETCH(QString, typed);
    QFETCH(double, seconds);
    guitest::Sandbox sandbox;
    const auto row = listedWav(sandbox, 120);
    QVERIFY(row);
    RingtoneDialog dialog(row->entry(), kM4r);
    dialog.show();
    enter(dialog.startField(), 3);
    QCOMPARE(dialog.startField().text(), QStringLiteral("0:03.00"));
    auto* edit = dialog.startField().findChild<QLineEdit*>();
    QVERIFY(edit);
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
    const double expected = seconds < 0 ? 3.0 : seconds;
    QCOMPARE(dialog.startField().value(), expected);
    QCOMPARE(dialog.selection().segment().startMs, std::llround(expected * 1000));
}

void RingtoneDialogTest::untouchedSelectionStartsAtTheLoudestPart() {
    guitest::Sandbox sandbox;
    const QString song = sandbox.path(QStringLiteral("song.wav"));
    QVERIFY(guitest::writeSongLikeFile(song));
    velmora::FileList list;
    QVERIFY(list.addFile(song.toStdString()) >= 0);
    RingtoneDialog dialog(list.entry(0), kM4r);
    QCOMPARE(dialog.profile().cliWord, std::string_view("iphone"));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.hasLevels(), 20000);
    const velmora::Segment& segment = dialog.selection().segment();
    QCOMPARE(segment.lengthMs, dialog.profile().suggestedLengthMs);
    QCOMPARE(segment.fadeInMs, dialog.profile().defaultFadeInMs);
    // The loud chorus runs from 60 s to 95 s; the suggestion may step back 2 s to a quiet spot.
    QVERIFY2(segment.startMs >= 58000 && segment.startMs + segment.lengthMs <= 95000,
             qPrintable(QString::number(segment.startMs)));
    QVERIFY(dialog.suggestButton().isEnabled());

    // Moved away and suggested again: back at the chorus with the length kept.
    enter(dialog.startField(), 0);
    enter(dialog.lengthField(), 20);
    dialog.suggest();
    QVERIFY(dialog.selection().segment().startMs >= 58000);
    QCOMPARE(dialog.selection().segment().lengthMs, 20000);
}

void RingtoneDialogTest::okStoresTheSegmentAndTheListShowsIt() {
    guitest::Sandbox sandbox;
    guitest::storeSetting("OutputFormat", "1000");
    MainWindow window;
    guitest::MessageLog log;
    log.attach(window);
    guitest::writeWav(sandbox.path(QStringLiteral("tone.wav")), 60);
    window.show();
    window.addStartupPaths({sandbox.file(QStringLiteral("tone.wav"))});
    QCOMPARE(window.model().rowCount(), 1);
    window.list().selectRow(0);
    window.updateListMenu();
    QVERIFY(window.listAction(MainWindow::ListCommand::MakeRingtone)->isEnabled());

    bool seen = false;
    whenDialogOpens(this, [&](RingtoneDialog& dialog) {
        seen = true;
        dialog.profileBox().setCurrentIndex(profileIndex("feature-phone"));
        enter(dialog.startField(), 12);
        enter(dialog.lengthField(), 25);
        enter(dialog.fadeInField(), 0.5);
        enter(dialog.fadeOutField(), 1.5);
        dialog.accept();
    });
    window.listAction(MainWindow::ListCommand::MakeRingtone)->trigger();
    QVERIFY(seen);
    const velmora::SourceFile& entry = window.model().entry(0);
    QVERIFY(entry.segment.has_value());
    QCOMPARE(*entry.segment, (velmora::Segment{12000, 25000, 500, 1500}));
    const QModelIndex file = window.model().index(0, 0);
    QVERIFY(!window.model().data(file, Qt::DecorationRole).value<QIcon>().isNull());
    const QString tip = window.model().data(file, Qt::ToolTipRole).toString();
    QVERIFY2(tip.contains(QStringLiteral("0:12 to 0:37 (25.0 s), fade in 0.5 s, fade out 1.5 s")),
             qPrintable(tip));
    // The phone chose the output: the feature phone's format is now the one in the box.
    QCOMPARE(window.formatBox().currentData().toInt(),
             velmora::findDeviceProfile("feature-phone")->outputFormat);

    // Ctrl+double-click on the row opens it again; "Whole File" takes the part away, mark and
    // tooltip line included.
    bool reopened = false;
    whenDialogOpens(this, [&](RingtoneDialog& dialog) {
        reopened = true;
        dialog.done(RingtoneDialog::kWholeFile);
    });
    const QRect cell = window.list().visualRect(file);
    // The first click of the pair toggles the row out of the selection, as Ctrl does.
    QTest::mouseClick(window.list().viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
    QTest::mouseDClick(window.list().viewport(), Qt::LeftButton, Qt::ControlModifier,
                       cell.center());
    QTRY_VERIFY(reopened);
    QVERIFY(!window.model().entry(0).segment.has_value());
    QVERIFY(window.model().data(file, Qt::DecorationRole).isNull());
    QVERIFY(
        !window.model().data(file, Qt::ToolTipRole).toString().contains(QStringLiteral("part")));
}

void RingtoneDialogTest::stopReadingAndClosingEndTheScan() {
    guitest::Sandbox sandbox;
    // Long enough that the read is still running when the button is pressed.
    const QString path = sandbox.path(QStringLiteral("long.wav"));
    QCOMPARE(QProcess::execute(QStringLiteral("sox"), {"-n", "-r", "8000", "-c", "1", path, "synth",
                                                       "3600", "sine", "440", "vol", "0.3"}),
             0);
    velmora::FileList list;
    QVERIFY(list.addFile(path.toStdString()) >= 0);
    {
        RingtoneDialog dialog(list.entry(0), kM4r);
        dialog.show();
        QVERIFY(dialog.isScanning());
        const auto buttons = dialog.findChildren<QPushButton*>();
        for (QPushButton* button : buttons) {
            if (button->text() == QStringLiteral("Stop Reading"))
                button->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isScanning(), 5000);
        QTRY_VERIFY(dialog.scanProgress().isHidden());
        QVERIFY(!dialog.hasLevels());
        QVERIFY(!dialog.suggestButton().isEnabled());
        // Without levels the part can still be typed.
        enter(dialog.startField(), 5);
        QCOMPARE(dialog.selection().segment().startMs, 5000);
    }
    // Closing while the read runs: the dialog goes at once and takes the thread with it.
    auto dialog = std::make_unique<RingtoneDialog>(list.entry(0), kM4r);
    QVERIFY(dialog->isScanning());
    dialog->reject();
    dialog.reset();
    QVERIFY(!list.entry(0).segment.has_value());
}

void RingtoneDialogTest::playWithoutSoundOutputSaysSo() {
    if (SelectionPlayer::hasSoundOutput())
        QSKIP("this machine has a sound output; the message is for machines without one");
    guitest::Sandbox sandbox;
    const auto row = listedWav(sandbox, 10);
    QVERIFY(row);
    RingtoneDialog dialog(row->entry(), kM4r);
    dialog.show();
    QTRY_VERIFY(dialog.hasLevels());
    dialog.playButton().click();
    QVERIFY(dialog.statusLine().isVisible());
    QVERIFY(dialog.statusLine().text().contains(QStringLiteral("No sound output")));
    QCOMPARE(dialog.playButton().text(), QStringLiteral("Play Selec&tion"));
}

QTEST_MAIN(RingtoneDialogTest)
#include "test_ringtone_dialog.moc"
