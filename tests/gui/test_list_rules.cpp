// The rules under the file list that need no window: how each column sorts, what the extension
// filter and the folder walk accept, and the failure report's shape.
#include "gui_test_support.h"
#include "ui/main/add_failure_report.h"
#include "ui/main/column_sort.h"
#include "ui/main/file_collector.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <algorithm>
#include <unistd.h>

namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

void link(const QString& target, const QString& name) {
    QVERIFY2(::symlink(target.toUtf8().constData(), name.toUtf8().constData()) == 0,
             qPrintable(name));
}

std::vector<std::string> namesOf(const std::vector<std::string>& paths, const QString& root) {
    std::vector<std::string> names;
    for (const std::string& path : paths)
        names.push_back(QDir(root).relativeFilePath(QString::fromStdString(path)).toStdString());
    return names;
}

} // namespace

class ListRulesTest : public QObject {
    Q_OBJECT
private slots:
    void columnSortComparesByType_data();
    void columnSortComparesByType();
    void durationSortIsAStrictOrder();
    void extensionFilterFollowsLinks();
    void folderWalkIsPreOrderAndEndsInLinkLoops();
    void folderWalkStopsWhenAsked();
    void failureReportListsThirtyPaths();
    void failureReportEndsWithOneExplanation();
};

void ListRulesTest::columnSortComparesByType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");
    const int text = static_cast<int>(ColumnSortType::Text);
    const int number = static_cast<int>(ColumnSortType::Number);
    const int size = static_cast<int>(ColumnSortType::Size);
    const int date = static_cast<int>(ColumnSortType::Date);
    const int duration = static_cast<int>(ColumnSortType::Duration);
    const int hms = static_cast<int>(ColumnSortType::HoursMinutesSeconds);
    QTest::newRow("text") << text << "apple.wav"
                          << "banana.wav" << -1;
    QTest::newRow("text equal") << text << "x.mp3"
                                << "x.mp3" << 0;
    QTest::newRow("number not text") << number << "96 kbps"
                                     << "128 kbps" << -1;
    QTest::newRow("number equal") << number << "44100 Hz"
                                  << "44100 Hz" << 0;
    QTest::newRow("size units") << size << "900 K"
                                << "1 M" << -1;
    QTest::newRow("size lower case") << size << "2g"
                                     << "2000M" << 1;
    QTest::newRow("date fields in order") << date << "2023-12-01"
                                          << "2024-01-01" << -1;
    QTest::newRow("date second field") << date << "2024-02-01"
                                       << "2024-10-01" << -1;
    QTest::newRow("minutes") << duration << "02:05"
                             << "10:00" << -1;
    QTest::newRow("an hour after 59 minutes") << duration << "1:00:00"
                                              << "59:59" << 1;
    QTest::newRow("hours compared") << duration << "2:00:00"
                                    << "1:59:59" << 1;
    QTest::newRow("no duration first") << duration << ""
                                       << "00:01" << -1;
    QTest::newRow("no durations equal") << duration << ""
                                        << "n/a" << 0;
    QTest::newRow("h:m:s") << hms << "0:59:59"
                           << "1:00:00" << -1;
    QTest::newRow("h:m:s needs three") << hms << "59:59"
                                       << "0:00:01" << -1;
}

void ListRulesTest::columnSortComparesByType() {
    QFETCH(int, type);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(sign(ColumnSort::compare(static_cast<ColumnSortType>(type), a, b)), expected);
    QCOMPARE(sign(ColumnSort::compare(static_cast<ColumnSortType>(type), b, a)), -expected);
}

void ListRulesTest::durationSortIsAStrictOrder() {
    QStringList texts = {"1:00:00", "", "00:30", "59:00", "10:00:00", "bad", "02:00", "1:00:01"};
    std::stable_sort(texts.begin(), texts.end(), [](const QString& a, const QString& b) {
        return ColumnSort::compare(ColumnSortType::Duration, a, b) < 0;
    });
    const QStringList expected = {"",      "bad",     "00:30",   "02:00",
                                  "59:00", "1:00:00", "1:00:01", "10:00:00"};
    QCOMPARE(texts, expected);
}

void ListRulesTest::extensionFilterFollowsLinks() {
    guitest::Sandbox sandbox;
    const QString dir = sandbox.path("f");
    QDir().mkpath(dir);
    guitest::writeJunk(dir + "/song.WAV");
    guitest::writeJunk(dir + "/noext");
    link(dir + "/song.WAV", dir + "/shortcut"); // followed to an accepted target
    link("song.WAV", dir + "/relative");        // relative target
    link(dir + "/noext", dir + "/to-noext");    // target rejected too
    link(dir + "/loop-b", dir + "/loop-a");     // a loop of links
    link(dir + "/loop-a", dir + "/loop-b");
    QString previous = dir + "/song.WAV";
    for (int i = 1; i <= FileCollector::kMaxLinks + 1; ++i) { // a chain one link too long
        const QString name = dir + QStringLiteral("/chain%1").arg(i);
        link(previous, name);
        previous = name;
    }

    const FileCollector filter({"mp3", "wav"});
    const auto accepted = [&](const QString& name) {
        const auto result = filter.passesExtensionFilter((dir + "/" + name).toStdString());
        return result ? QString::fromStdString(*result) : QStringLiteral("<rejected>");
    };
    QCOMPARE(accepted("song.WAV"), dir + "/song.WAV");
    QCOMPARE(accepted("shortcut"), dir + "/song.WAV");
    QCOMPARE(accepted("relative"), dir + "/song.WAV");
    QCOMPARE(accepted("to-noext"), QStringLiteral("<rejected>"));
    QCOMPARE(accepted("noext"), QStringLiteral("<rejected>"));
    QCOMPARE(accepted("loop-a"), QStringLiteral("<rejected>"));
    QCOMPARE(accepted(QStringLiteral("chain%1").arg(FileCollector::kMaxLinks)), dir + "/song.WAV");
    QCOMPARE(accepted(QStringLiteral("chain%1").arg(FileCollector::kMaxLinks + 1)),
             QStringLiteral("<rejected>"));

    // An empty piece (a doubled or trailing comma) accepts names without an extension.
    const FileCollector withEmpty({"mp3", "", "wav"});
    QVERIFY(withEmpty.passesExtensionFilter((dir + "/noext").toStdString()).has_value());
    QVERIFY(!withEmpty.passesExtensionFilter((dir + "/x.ogg").toStdString()).has_value());
    // No filter: a link is taken as it is.
    QCOMPARE(*FileCollector({}).passesExtensionFilter((dir + "/to-noext").toStdString()),
             (dir + "/to-noext").toStdString());
}

void ListRulesTest::folderWalkIsPreOrderAndEndsInLinkLoops() {
    guitest::Sandbox sandbox;
    const QString root = sandbox.path("music");
    QDir().mkpath(root + "/a/deep");
    QDir().mkpath(root + "/b");
    for (const char* name :
         {"/top.mp3", "/a/one.wav", "/a/deep/two.MP3", "/b/three.ogg", "/b/four.wav"})
        guitest::writeJunk(root + QLatin1String(name));
    link(root, root + "/a/deep/back-to-root"); // a loop through a folder link
    link(root + "/b", root + "/b-again");      // the same folder under a second name

    const FileCollector collector({"mp3", "wav"});
    const std::vector<std::string> folders =
        namesOf(collector.listFolders(root.toStdString()), root);
    QCOMPARE(folders.size(), std::size_t(4)); // root, a, a/deep and b once
    QCOMPARE(folders.front(), std::string("."));
    const auto position = [&](const std::string& name) {
        return std::find(folders.begin(), folders.end(), name) - folders.begin();
    };
    QVERIFY(position("a") < position("a/deep"));

    std::vector<std::string> files;
    QVERIFY(collector.collectFolder(root.toStdString() + "/", files));
    std::vector<std::string> names = namesOf(files, root);
    QCOMPARE(names.front(), std::string("top.mp3")); // the folder's own files first
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {"a/deep/two.MP3", "a/one.wav", "b/four.wav",
                                               "top.mp3"};
    QCOMPARE(names, expected);
}

void ListRulesTest::folderWalkStopsWhenAsked() {
    guitest::Sandbox sandbox;
    const QString root = sandbox.path("many");
    QDir().mkpath(root);
    for (int i = 0; i < 300; ++i)
        guitest::writeJunk(root + QStringLiteral("/f%1.wav").arg(i));
    int polls = 0;
    std::vector<std::string> files;
    const bool finished =
        FileCollector({}).collectFolder(root.toStdString(), files, [&] { return ++polls < 2; });
    QVERIFY(!finished);
    QVERIFY(files.size() < 300);
}

void ListRulesTest::failureReportListsThirtyPaths() {
    AddFailureReport report;
    for (int i = 1; i <= 45; ++i)
        report.addFailure(QStringLiteral("/bad/file%1.xyz").arg(i));
    QCOMPARE(report.count(), 45);
    const QString text = report.message(QString());
    QVERIFY(text.startsWith("Failed to load the following files.\n\n/bad/file1.xyz\n"));
    QVERIFY(text.contains("/bad/file30.xyz\n<more files>...\n"));
    QVERIFY(!text.contains("/bad/file31.xyz"));
    QVERIFY(!text.contains("/bad/file45.xyz"));
    QCOMPARE(text.count("<more files>"), 1);
    QCOMPARE(text.count('\n'), 2 + 31 + 1);
}

void ListRulesTest::failureReportEndsWithOneExplanation() {
    AddFailureReport plain;
    plain.addFailure("/x.bin");
    QCOMPARE(plain.message(QString()),
             QStringLiteral("Failed to load the following files.\n\n/x.bin\n\nTo get help, please "
                            "forward the failure files to <support@velmora.example>."));
    QCOMPARE(plain.message("A note."),
             QStringLiteral("Failed to load the following files.\n\n/x.bin\n\nA note."));
    AddFailureReport refused = plain;
    refused.markInvalidName();
    QCOMPARE(refused.message("A note."),
             QStringLiteral("Failed to load the following files.\n\n/x.bin\n\nThere are "
                            "non-English characters in filename of some files. Please remove the "
                            "characters from filename and then try again."));
}

QTEST_GUILESS_MAIN(ListRulesTest)
#include "test_list_rules.moc"
