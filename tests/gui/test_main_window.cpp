// The main window driven as a user drives it: adding, removing, the pop-up's enabling, the
// format box, converting with a cancel, and what the window leaves in the settings.
#include "engine/conversion_settings.h"
#include "gui_test_support.h"
#include "platform/bass/decoding_library.h"
#include "platform/registry_store.h"
#include "ui/dialogs/add_progress_dialog.h"
#include "ui/dialogs/batch_progress_dialog.h"
#include "ui/main/file_list_model.h"
#include "ui/main/file_list_view.h"
#include "ui/main/main_window.h"
#include "ui/main/shell_actions.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>
#include <memory>

using Command = MainWindow::ListCommand;

namespace {

QStringList statuses(const MainWindow& window) {
    QStringList texts;
    for (int row = 0; row < window.model().rowCount(); ++row)
        texts << window.model().cellText(row, FileListModel::kStatusColumn);
    return texts;
}

QStringList fileColumn(const MainWindow& window) {
    QStringList texts;
    for (int row = 0; row < window.model().rowCount(); ++row)
        texts << window.model().cellText(row, 0);
    return texts;
}

void selectRows(MainWindow& window, const std::vector<int>& rows) {
    QItemSelectionModel* selection = window.list().selectionModel();
    selection->clearSelection();
    for (const int row : rows)
        selection->select(window.model().index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// Enabled state of the pop-up's entries, in menu order.
QString enabledPattern(MainWindow& window) {
    window.updateListMenu();
    QString pattern;
    for (const Command command :
         {Command::PlaySource, Command::PlayDestination, Command::ConvertSelected,
          Command::ConvertAll, Command::BrowseSourceFolder, Command::BrowseDestinationFolder,
          Command::AddFiles, Command::AddFolder, Command::Remove, Command::RemoveAll})
        pattern += window.listAction(command)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return pattern;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addsFilesAndReportsFailures();
    void refusesNamesThatAreNotUtf8();
    void ignoresDuplicatesInAnyLetterCase();
    void removesExactlyTheSelectedRows();
    void emptyListAndSelectionGiveTheirMessages();
    void listMenuEnablingFollowsSelection();
    void keyboardMenuOpensAtListCentre();
    void formatBoxSelectsStoredFormat_data();
    void formatBoxSelectsStoredFormat();
    void sortsByHeaderClicks();
    void convertsSelectedRowsInListOrder();
    void cancelInSecondFileStopsTheBatch();
    void dropAddsThroughTheFilter();
    void shutdownSavesFormatAndFirstRunIsOnce();
    void openFileFiltersMatchAnyLetterCase();
    void desktopReceivesFilesToOpenAndShow();

private:
    std::unique_ptr<guitest::Sandbox> m_sandbox;
    std::unique_ptr<MainWindow> m_window;
    guitest::MessageLog m_log;
    std::unique_ptr<velmora::DecodingLibrary> m_library;

    MainWindow& openWindow();
    QString makeWav(const QString& name, double seconds = 0.5);
    void add(const QStringList& paths);
    void useWavOutputIn(const QString& folder);
};

void MainWindowTest::initTestCase() {
    m_library = velmora::DecodingLibrary::start();
    QVERIFY(m_library != nullptr);
}

void MainWindowTest::init() {
    m_sandbox = std::make_unique<guitest::Sandbox>();
    m_log = {};
}

void MainWindowTest::cleanup() {
    m_window.reset();
    m_sandbox.reset();
}

MainWindow& MainWindowTest::openWindow() {
    m_window = std::make_unique<MainWindow>();
    m_log.attach(*m_window);
    m_window->show();
    m_window->activateWindow();
    [&] { QVERIFY(QTest::qWaitForWindowActive(m_window.get())); }();
    return *m_window;
}

QString MainWindowTest::makeWav(const QString& name, double seconds) {
    const QString path = m_sandbox->path(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    guitest::writeWav(path, seconds);
    return path;
}

void MainWindowTest::add(const QStringList& paths) {
    std::vector<std::string> bytes;
    for (const QString& path : paths)
        bytes.push_back(path.toStdString());
    AddProgressDialog dialog(m_window.get());
    dialog.open();
    m_window->loadFiles(bytes, dialog);
    // The offscreen platform has no window manager to give the focus back.
    QApplication::setActiveWindow(m_window.get());
}

void MainWindowTest::useWavOutputIn(const QString& folder) {
    guitest::storeSetting("DestOutputFolderOpt", "399");
    guitest::storeSetting("DestSpecifiedFolder", folder.toStdString() + "/");
    guitest::storeSetting("BrowseOutputFolder", "0");
    guitest::storeSetting("OutputFormat", "2000");
}

void MainWindowTest::addsFilesAndReportsFailures() {
    MainWindow& window = openWindow();
    QStringList paths = {makeWav("a.wav", 1.5), makeWav("b.wav")};
    for (int i = 1; i <= 45; ++i) {
        const QString bad = m_sandbox->path(QStringLiteral("bad%1.xyz").arg(i));
        guitest::writeJunk(bad);
        paths << bad;
    }
    add(paths);
    QCOMPARE(fileColumn(window), QStringList({"a.wav", "b.wav"}));
    QCOMPARE(window.model().cellText(0, 1), QStringLiteral("00:01"));
    QCOMPARE(window.model().cellText(0, 3), QStringLiteral("44100 Hz"));
    QCOMPARE(window.model().cellText(0, 4), QStringLiteral("Stereo"));
    QCOMPARE(m_log.messages.size(), std::size_t(1));
    QCOMPARE(m_log.messages.front().first, QMessageBox::Warning);
    const QString report = m_log.last();
    QVERIFY(report.contains(m_sandbox->path("bad30.xyz") + "\n<more files>...\n"));
    QVERIFY(!report.contains("bad31.xyz"));
    QVERIFY(report.endsWith("<support@velmora.example>."));
    QVERIFY(window.isEnabled());
}

void MainWindowTest::refusesNamesThatAreNotUtf8() {
    MainWindow& window = openWindow();
    const std::string invalid = m_sandbox->file("bad") + "\xff\xfe.wav";
    AddProgressDialog dialog(&window);
    dialog.open();
    window.loadFiles({invalid, makeWav("good.wav").toStdString()}, dialog);
    QCOMPARE(window.model().rowCount(), 1);
    QVERIFY(m_log.last().endsWith("There are non-English characters in filename of some files. "
                                  "Please remove the characters from filename and then try "
                                  "again."));
}

void MainWindowTest::ignoresDuplicatesInAnyLetterCase() {
    MainWindow& window = openWindow();
    const QString path = makeWav("Dir/Song.wav");
    add({path, path.toUpper(), path.toLower()});
    QCOMPARE(window.model().rowCount(), 1);
    QVERIFY(m_log.messages.empty());
}

void MainWindowTest::removesExactlyTheSelectedRows() {
    MainWindow& window = openWindow();
    QStringList paths;
    for (const char* name : {"r0.wav", "r1.wav", "r2.wav", "r3.wav", "r4.wav"})
        paths << makeWav(name);
    add(paths);
    selectRows(window, {0, 2, 4});
    QTest::keyClick(&window.list(), Qt::Key_Delete);
    QCOMPARE(fileColumn(window), QStringList({"r1.wav", "r3.wav"}));
    QCOMPARE(window.model().fileList().size(), std::size_t(2));
    add({paths[4], paths[0], paths[2]});
    QCOMPARE(fileColumn(window), QStringList({"r1.wav", "r3.wav", "r4.wav", "r0.wav", "r2.wav"}));
}

void MainWindowTest::emptyListAndSelectionGiveTheirMessages() {
    MainWindow& window = openWindow();
    window.removeAll();
    window.convertAll();
    QTest::keyClick(&window.list(), Qt::Key_Delete);
    window.convertSelected();
    const std::vector<std::pair<QMessageBox::Icon, QString>> expected = {
        {QMessageBox::Information, "There aren't files in list."},
        {QMessageBox::Information, "There aren't files in list."},
        {QMessageBox::Information, "You should select a file at least."},
        {QMessageBox::Information, "You should select a file at least."}};
    QCOMPARE(m_log.messages, expected);
    // Escape and Enter leave the window open.
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(&window, Qt::Key_Return);
    QVERIFY(window.isVisible());
}

void MainWindowTest::listMenuEnablingFollowsSelection() {
    MainWindow& window = openWindow();
    //                               PlaySrc PlayDst ConvSel ConvAll BrwSrc BrwDst Add AddDir Rem
    //                               RemAll
    QCOMPARE(enabledPattern(window), QStringLiteral("0000001100"));
    add({makeWav("x.wav"), makeWav("y.wav")});
    QCOMPARE(enabledPattern(window), QStringLiteral("0001001101"));
    selectRows(window, {1});
    QCOMPARE(enabledPattern(window), QStringLiteral("1011101111"));
    window.model().entry(1).outputPath = m_sandbox->file("y-out.wav");
    QCOMPARE(enabledPattern(window), QStringLiteral("1111111111"));
    selectRows(window, {0, 1});
    QCOMPARE(enabledPattern(window), QStringLiteral("0011001111"));
}

void MainWindowTest::keyboardMenuOpensAtListCentre() {
    MainWindow& window = openWindow();
    FileListView& list = window.list();
    const QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(3, 3),
                                     list.mapToGlobal(QPoint(3, 3)));
    QCOMPARE(list.menuPosition(keyboard), list.mapToGlobal(list.rect().center()));
    const QContextMenuEvent mouse(QContextMenuEvent::Mouse, QPoint(10, 20),
                                  list.mapToGlobal(QPoint(10, 20)));
    QCOMPARE(list.menuPosition(mouse), list.mapToGlobal(QPoint(10, 20)));
}

void MainWindowTest::formatBoxSelectsStoredFormat_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("kept");
    QTest::newRow("M4A selects the later row") << "6500"
                                               << " to M4A (MPEG-4 Audio)" << 6500;
    QTest::newRow("unknown becomes MP3") << "1234"
                                         << " to MP3" << 1000;
    QTest::newRow("M4R") << "6800"
                         << " to M4R (iPhone Ringtone)" << 6800;
}

void MainWindowTest::formatBoxSelectsStoredFormat() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(int, kept);
    velmora::RegistryStore::Transaction transaction;
    transaction.setDword(velmora::ConversionSettings::kOptionsKey, "OutputFormat", stored.toInt());
    QVERIFY(velmora::RegistryStore().commit(transaction));
    MainWindow& window = openWindow();
    QCOMPARE(window.formatBox().count(), 14);
    QCOMPARE(window.formatBox().currentText().left(shown.size()), shown);
    QCOMPARE(window.settings().OutputFormat, kept);
    window.formatBox().setCurrentIndex(1);
    QCOMPARE(window.settings().OutputFormat, window.formatBox().itemData(1).toInt());
}

void MainWindowTest::sortsByHeaderClicks() {
    MainWindow& window = openWindow();
    add({makeWav("b.wav", 3.2), makeWav("c.wav", 1.1), makeWav("a.wav", 2.4)});
    FileListView& list = window.list();
    list.sortByClickedColumn(1); // Duration, ascending first
    QCOMPARE(fileColumn(window), QStringList({"c.wav", "a.wav", "b.wav"}));
    list.sortByClickedColumn(1);
    QCOMPARE(fileColumn(window), QStringList({"b.wav", "a.wav", "c.wav"}));
    list.sortByClickedColumn(0); // another column starts ascending again
    QCOMPARE(fileColumn(window), QStringList({"a.wav", "b.wav", "c.wav"}));
    QCOMPARE(list.sortOrder(), Qt::AscendingOrder);
    // Rows and entries move together.
    QCOMPARE(QFileInfo(QString::fromStdString(window.model().entry(2).path)).fileName(),
             QStringLiteral("c.wav"));
}

void MainWindowTest::convertsSelectedRowsInListOrder() {
    const QString out = m_sandbox->path("out");
    useWavOutputIn(out);
    MainWindow& window = openWindow();
    add({makeWav("s0.wav"), makeWav("s1.wav"), makeWav("s2.wav"), makeWav("s3.wav")});
    std::vector<int> started;
    connect(&window.model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex& cell) {
        if (window.model().cellText(cell.row(), cell.column()) == "Converting...")
            started.push_back(cell.row());
    });
    QItemSelectionModel* selection = window.list().selectionModel();
    for (const int row : {3, 0, 2})
        selection->select(window.model().index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.convertSelected();
    QCOMPARE(started, std::vector<int>({0, 2, 3}));
    QCOMPARE(statuses(window), QStringList({"s0.wav", "", "s2.wav", "s3.wav"}));
    QVERIFY(QFileInfo(out + "/s3.wav").size() > 44);
    QVERIFY(!QFileInfo::exists(out + "/s1.wav"));
    QVERIFY(window.isEnabled());
    QCOMPARE(guitest::findTopLevel<BatchProgressDialog>(), nullptr);
}

void MainWindowTest::cancelInSecondFileStopsTheBatch() {
    const QString out = m_sandbox->path("out");
    useWavOutputIn(out);
    MainWindow& window = openWindow();
    add({makeWav("c0.wav", 2), makeWav("c1.wav", 2), makeWav("c2.wav", 2)});
    bool windowDisabledDuringBatch = false;
    connect(&window.model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex& cell) {
        if (cell.row() != 1 || window.model().cellText(1, 5) != "Converting...")
            return;
        windowDisabledDuringBatch = !window.isEnabled();
        QVERIFY(!window.close()); // the batch still needs the window
        auto* dialog = guitest::findTopLevel<BatchProgressDialog>();
        QVERIFY(dialog != nullptr);
        // The row is marked before the texts move on to it.
        QCOMPARE(dialog->lowerText(), QStringLiteral("Converting 1 of 3 file(s) to WAV..."));
        dialog->cancelButton()->click();
    });
    window.convertAll();
    QVERIFY(windowDisabledDuringBatch);
    QCOMPARE(statuses(window), QStringList({"c0.wav", "Cancelled", ""}));
    QVERIFY(QFileInfo(out + "/c0.wav").size() > 44);
    QVERIFY(!QFileInfo::exists(out + "/c1.wav"));
    QVERIFY(!QFileInfo::exists(out + "/c2.wav"));
    QVERIFY(window.model().entry(1).outputPath.empty());
    QVERIFY(window.isEnabled());
}

void MainWindowTest::dropAddsThroughTheFilter() {
    guitest::storeSetting("EnableExtFilter", "1");
    guitest::storeSetting("FilterExts", "mp3,wav");
    MainWindow& window = openWindow();
    const QString folder = m_sandbox->path("dropped");
    makeWav("dropped/one.WAV");
    makeWav("dropped/sub/two.wav");
    guitest::writeJunk(folder + "/three.ogg");
    const QString lone = makeWav("lone.ogg");
    window.addDroppedUrls({QUrl::fromLocalFile(folder), QUrl::fromLocalFile(lone),
                           QUrl(QStringLiteral("http://www.velmora.example/x.wav"))});
    QStringList names = fileColumn(window);
    names.sort();
    QCOMPARE(names, QStringList({"one.WAV", "two.wav"}));
    QVERIFY(m_log.messages.empty());

    // Files named at start are taken as Add Files takes them, past the filter; folders are
    // walked through it.
    const QString named = makeWav("named.ogg");
    window.addStartupPaths({named.toStdString(), m_sandbox->file("dropped")});
    names = fileColumn(window);
    names.sort();
    QCOMPARE(names, QStringList({"named.ogg", "one.WAV", "two.wav"}));
}

void MainWindowTest::shutdownSavesFormatAndFirstRunIsOnce() {
    MainWindow& first = openWindow();
    QVERIFY(first.wasFirstRun());
    const int m4r = first.formatBox().findText(" to M4R", Qt::MatchStartsWith);
    QVERIFY(m4r >= 0);
    first.formatBox().setCurrentIndex(m4r);
    first.settings().OptStartPageIndex = 3;
    m_window.reset();

    const velmora::RegistryStore::Snapshot stored = velmora::RegistryStore().load();
    const auto* options = stored.key(velmora::ConversionSettings::kOptionsKey);
    QVERIFY(options != nullptr);
    QCOMPARE(options->dword("OutputFormat").value_or(0), 6800);
    QCOMPARE(options->dword("OptStartPageIndex").value_or(0), 3);
    QCOMPARE(options->dword("FirstRun").value_or(1), 0);

    MainWindow& second = openWindow();
    QVERIFY(!second.wasFirstRun());
    QCOMPARE(second.formatBox().currentIndex(), m4r);
}

void MainWindowTest::openFileFiltersMatchAnyLetterCase() {
    const QStringList filters = MainWindow::openFileFilters();
    QCOMPARE(filters.size(), 50);
    QCOMPARE(filters.front(), QStringLiteral("All Files (*.*)"));
    QCOMPARE(filters.back(), QStringLiteral("YUV Video Files (*.yuv)"));
    const QString folder = m_sandbox->path("pick");
    QDir().mkpath(folder);
    for (const char* name : {"upper.MP3", "lower.mp3", "Mixed.Mp3", "other.wav"})
        guitest::writeJunk(folder + "/" + QLatin1String(name));
    // The dialog Add Files shows, with the MP3 entry chosen.
    QFileDialog dialog(nullptr, QString(), folder, filters.join(";;"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.selectNameFilter(QStringLiteral("MP3 Files (*.mp3)"));
    dialog.show();
    auto* model = dialog.findChild<QFileSystemModel*>();
    QVERIFY(model != nullptr);
    const QModelIndex root = model->index(folder);
    // Filtered-out files are either hidden or shown greyed, depending on the platform.
    QTRY_VERIFY(model->rowCount(root) >= 3);
    QStringList shown;
    for (int row = 0; row < model->rowCount(root); ++row) {
        const QModelIndex index = model->index(row, 0, root);
        if (model->flags(index) & Qt::ItemIsEnabled)
            shown << model->fileName(index);
    }
    shown.sort();
    QCOMPARE(shown, QStringList({"Mixed.Mp3", "lower.mp3", "upper.MP3"}));
}

namespace {

// Writes down what the window hands to the desktop instead of handing it over.
class RecordingShell : public ShellActions {
public:
    explicit RecordingShell(QStringList& log) : m_log(log) {}
    void openWithDefaultApplication(const QString& path) override { m_log << "open " + path; }
    void showInFileManager(const QString& path) override { m_log << "show " + path; }
    void openUrl(const QString& url) override { m_log << "url " + url; }

private:
    QStringList& m_log;
};

} // namespace

void MainWindowTest::desktopReceivesFilesToOpenAndShow() {
    const QString out = m_sandbox->path("out");
    useWavOutputIn(out);
    guitest::storeSetting("BrowseOutputFolder", "1");
    MainWindow& window = openWindow();
    QStringList shell;
    window.setShellActions(std::make_unique<RecordingShell>(shell));
    const QString gone = makeWav("gone.wav");
    const QString kept = makeWav("kept.wav");
    add({gone, kept});
    QVERIFY(QFile::remove(gone)); // its conversion fails
    window.convertAll();
    // The first output that exists is shown, once.
    QCOMPARE(shell, QStringList({"show " + out + "/kept.wav"}));

    shell.clear();
    selectRows(window, {0});
    window.playSource();
    window.playDestination(); // nothing: the row's conversion failed
    window.browseDestinationFolder();
    selectRows(window, {1});
    window.playDestination();
    window.browseSourceFolder();
    window.helpAction(HelpActions::Command::Homepage)->trigger();
    QCOMPARE(shell, QStringList({"open " + gone, "open " + out + "/kept.wav", "show " + kept,
                                 "url http://www.velmora.example/"}));
    QVERIFY(window.helpAction(HelpActions::Command::About)->isEnabled());
    QVERIFY(window.helpAction(HelpActions::Command::HelpTopics)->isEnabled());
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
