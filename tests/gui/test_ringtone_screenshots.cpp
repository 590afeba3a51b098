// Pictures of the ringtone maker as a person sees it, written to the build folder's
// screenshots/ringtone-*.png: the dialog with a song-like file while it reads and with its
// suggested part, a part too long for the phone, fades that had to be shortened, the list with a
// marked row (whose conversion holds just the part), and the question before an M4R batch. Run
// under a virtual display with xvfb-run to see the desktop's own fonts and style.
#include "engine/file_list.h"
#include "engine/output_format.h"
#include "gui_test_support.h"
#include "platform/bass/decoding_library.h"
#include "ui/main/file_list_model.h"
#include "ui/main/file_list_view.h"
#include "ui/main/main_window.h"
#include "ui/ringtone/length_badge.h"
#include "ui/ringtone/ringtone_dialog.h"

#include <QAbstractButton>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QtTest>

namespace {

const QString kFolder = QStringLiteral(VELMORA_SCREENSHOT_DIR);

void save(QWidget& widget, const QString& name) {
    // Layouts settle after the texts that changed them.
    QCoreApplication::processEvents();
    QDir().mkpath(kFolder);
    const QString file = kFolder + QLatin1Char('/') + name;
    QVERIFY2(widget.grab().save(file), qPrintable(file));
}

// No label of the dialog is cut off: each gets at least the width its text asks for.
void verifyLabelsFit(const QWidget& dialog) {
    QCoreApplication::processEvents();
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->wordWrap())
            continue;
        QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
    }
}

} // namespace

class RingtoneScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void takesScreenshots();
};

void RingtoneScreenshotTest::takesScreenshots() {
    const auto library = velmora::DecodingLibrary::start();
    guitest::Sandbox sandbox;
    guitest::storeSetting("OutputFormat", "6800");
    guitest::storeSetting("DestOutputFolderOpt", "399");
    guitest::storeSetting("DestSpecifiedFolder", sandbox.file("out") + "/");
    guitest::storeSetting("BrowseOutputFolder", "0");
    const QString song = sandbox.path(QStringLiteral("Summer Song (radio edit).wav"));
    QVERIFY(guitest::writeSongLikeFile(song));
    guitest::writeWav(sandbox.path(QStringLiteral("Door bell.wav")), 8);

    MainWindow window;
    window.show();
    window.addStartupPaths({song.toStdString(), sandbox.file(QStringLiteral("Door bell.wav"))});
    QCOMPARE(window.model().rowCount(), 2);
    window.list().selectRow(0);

    bool shown = false;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = guitest::findTopLevel<RingtoneDialog>();
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        save(*dialog, QStringLiteral("ringtone-reading.png"));
        QTRY_VERIFY_WITH_TIMEOUT(dialog->hasLevels(), 30000);
        save(*dialog, QStringLiteral("ringtone-dialog.png"));
        verifyLabelsFit(*dialog);

        dialog->lengthField().setValue(48);
        QVERIFY(dialog->badge().isOverLimit());
        verifyLabelsFit(*dialog);
        save(*dialog, QStringLiteral("ringtone-over-limit.png"));

        dialog->lengthField().setValue(6);
        dialog->fadeInField().setValue(5);
        dialog->fadeOutField().setValue(5);
        QVERIFY(dialog->fadeNote().isVisible());
        save(*dialog, QStringLiteral("ringtone-fade-note.png"));

        dialog->lengthField().setValue(30);
        dialog->fadeInField().setValue(1);
        dialog->fadeOutField().setValue(2);
        dialog->suggest();
        shown = true;
        dialog->accept();
    });
    window.makeRingtone();
    QVERIFY(shown);
    QVERIFY(window.model().entry(0).segment.has_value());
    window.list().selectRow(1);
    save(window, QStringLiteral("ringtone-list-mark.png"));

    // What the dialog picked is what the conversion writes: 30 s of the chorus, one AAC frame
    // (1024 samples, 23 ms) at most from the length.
    window.list().selectRow(0);
    window.convertSelected();
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                 sandbox.path(QStringLiteral("out/Summer Song (radio edit).m4r"))});
    QVERIFY(probe.waitForFinished(60000));
    const double seconds = probe.readAllStandardOutput().trimmed().toDouble();
    qInfo("M4R of the part: %.3f s", seconds);
    QVERIFY2(std::abs(seconds - 30.0) <= 0.024, qPrintable(QString::number(seconds)));

    // The question before converting, with a long row that has no part.
    window.model().entry(0).segment.reset();
    bool asked = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = guitest::findTopLevel<QMessageBox>();
        QVERIFY(box);
        save(*box, QStringLiteral("ringtone-question.png"));
        asked = true;
        box->button(QMessageBox::Cancel)->click();
    });
    window.convertAll();
    QVERIFY(asked);
}

QTEST_MAIN(RingtoneScreenshotTest)
#include "test_ringtone_screenshots.moc"
