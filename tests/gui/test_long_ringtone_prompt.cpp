// The question before a batch to M4R: asked once for all long rows without a part, never for
// short rows or other formats; each answer does what it says, checked on the files written.
#include "engine/output_format.h"
#include "gui_test_support.h"
#include "platform/bass/decoding_library.h"
#include "ui/main/file_list_model.h"
#include "ui/main/main_window.h"
#include "ui/ringtone/long_ringtone_prompt.h"

#include <QAbstractButton>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QtTest>

namespace {

// Seconds of audio FFmpeg decodes from a file; a negative value when it cannot.
double decodedSeconds(const QString& path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        return -1;
    bool ok = false;
    const double seconds = probe.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

QStringList writtenFiles(const guitest::Sandbox& sandbox) {
    return QDir(sandbox.path(QStringLiteral("out"))).entryList(QDir::Files, QDir::Name);
}

} // namespace

class LongRingtonePromptTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void eachAnswerDoesWhatItSays_data();
    void eachAnswerDoesWhatItSays();
    void onlyLongM4rRowsWithoutAPartAreAsked_data();
    void onlyLongM4rRowsWithoutAPartAreAsked();

private:
    std::unique_ptr<velmora::DecodingLibrary> m_library;
};

void LongRingtonePromptTest::initTestCase() {
    m_library = velmora::DecodingLibrary::start();
}

void LongRingtonePromptTest::eachAnswerDoesWhatItSays_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<double>("expectedSeconds"); // of each output; 0: nothing written
    QTest::newRow("trim") << LongRingtonePrompt::trimButtonText() << 30.0;
    QTest::newRow("whole") << LongRingtonePrompt::wholeButtonText() << 50.0;
    QTest::newRow("cancel") << QStringLiteral("Cancel") << 0.0;
}

void LongRingtonePromptTest::eachAnswerDoesWhatItSays() {
    QFETCH(QString, answer);
    QFETCH(double, expectedSeconds);
    guitest::Sandbox sandbox;
    guitest::storeSetting("OutputFormat", "6800");
    guitest::storeSetting("DestOutputFolderOpt", "399");
    guitest::storeSetting("DestSpecifiedFolder", sandbox.file("out") + "/");
    guitest::storeSetting("BrowseOutputFolder", "0");
    MainWindow window;
    guitest::MessageLog log;
    log.attach(window);
    guitest::writeWav(sandbox.path(QStringLiteral("first.wav")), 50);
    guitest::writeWav(sandbox.path(QStringLiteral("second.wav")), 50);
    window.addStartupPaths({sandbox.file("first.wav"), sandbox.file("second.wav")});
    QCOMPARE(window.model().rowCount(), 2);

    int questions = 0;
    std::function<void()> answerQuestion = [&] {
        auto* box = guitest::findTopLevel<QMessageBox>();
        if (!box) {
            QTimer::singleShot(10, this, answerQuestion);
            return;
        }
        ++questions;
        QVERIFY(box->text().contains(QStringLiteral("2 of the files")));
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == answer)
                button->click();
        }
    };
    QTimer::singleShot(0, this, answerQuestion);
    window.convertAll();
    QCOMPARE(questions, 1);

    const QStringList written = writtenFiles(sandbox);
    if (expectedSeconds == 0) {
        QVERIFY2(written.isEmpty(), qPrintable(written.join(' ')));
        QVERIFY(!window.model().entry(0).segment.has_value());
        return;
    }
    QCOMPARE(written, QStringList({"first.m4r", "second.m4r"}));
    for (const QString& name : written) {
        const double seconds = decodedSeconds(sandbox.path("out/" + name));
        // One AAC frame is 1024 samples, 23 ms at 44.1 kHz.
        QVERIFY2(std::abs(seconds - expectedSeconds) < 0.05, qPrintable(QString::number(seconds)));
    }
    const bool trimmed = expectedSeconds < 50;
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(window.model().entry(row).segment.has_value(), trimmed);
        QCOMPARE(window.model().data(window.model().index(row, 0), Qt::DecorationRole).isNull(),
                 !trimmed);
    }
}

void LongRingtonePromptTest::onlyLongM4rRowsWithoutAPartAreAsked_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("withPart");
    QTest::newRow("M4R of 39 s") << "6800" << 39.0 << false;
    QTest::newRow("M4R of 50 s with a part") << "6800" << 50.0 << true;
    QTest::newRow("WAV of 50 s") << "2000" << 50.0 << false;
}

void LongRingtonePromptTest::onlyLongM4rRowsWithoutAPartAreAsked() {
    QFETCH(QString, format);
    QFETCH(double, seconds);
    QFETCH(bool, withPart);
    guitest::Sandbox sandbox;
    guitest::storeSetting("OutputFormat", format.toStdString());
    guitest::storeSetting("DestOutputFolderOpt", "399");
    guitest::storeSetting("DestSpecifiedFolder", sandbox.file("out") + "/");
    guitest::storeSetting("BrowseOutputFolder", "0");
    MainWindow window;
    guitest::MessageLog log;
    log.attach(window);
    guitest::writeWav(sandbox.path(QStringLiteral("tone.wav")), seconds);
    window.addStartupPaths({sandbox.file("tone.wav")});
    if (withPart)
        window.model().entry(0).segment = velmora::Segment{1000, 20000, 0, 0};
    bool asked = false;
    QTimer::singleShot(0, this, [&] {
        if (auto* box = guitest::findTopLevel<QMessageBox>()) {
            asked = true;
            box->button(QMessageBox::Cancel)->click();
        }
    });
    window.convertAll();
    QVERIFY(!asked);
    QCOMPARE(writtenFiles(sandbox).size(), 1);
}

QTEST_MAIN(LongRingtonePromptTest)
#include "test_long_ringtone_prompt.moc"
