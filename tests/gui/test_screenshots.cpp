// Writes pictures of the program as a person sees it into the build folder (screenshots/):
// the main window with rows and status texts, both pop-ups and the batch window mid-conversion.
#include "gui_test_support.h"
#include "platform/bass/decoding_library.h"
#include "ui/dialogs/add_progress_dialog.h"
#include "ui/dialogs/batch_progress_dialog.h"
#include "ui/main/file_list_model.h"
#include "ui/main/file_list_view.h"
#include "ui/main/main_window.h"

#include <QFile>
#include <QMenu>
#include <QTimer>
#include <QtTest>

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void takesScreenshots();
};

void ScreenshotTest::takesScreenshots() {
    const auto library = velmora::DecodingLibrary::start();
    guitest::Sandbox sandbox;
    guitest::storeSetting("DestOutputFolderOpt", "399");
    guitest::storeSetting("DestSpecifiedFolder", sandbox.file("out") + "/");
    guitest::storeSetting("BrowseOutputFolder", "0");
    guitest::storeSetting("OutputFormat", "2000");
    MainWindow window;
    guitest::MessageLog log;
    log.attach(window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    std::vector<std::string> paths;
    const QStringList names = {"Morning chime.wav", "Door bell (long version).wav", "Alarm.wav",
                               "Vanishing source.wav"};
    for (int i = 0; i < names.size(); ++i) {
        guitest::writeWav(sandbox.path(names[i]), 2.0 + i);
        paths.push_back(sandbox.file(names[i]));
    }
    AddProgressDialog adding(&window);
    adding.open();
    window.loadFiles(paths, adding);
    QCOMPARE(window.model().rowCount(), 4);
    QFile::remove(sandbox.path(names[3])); // its conversion fails with a note

    // The batch window while the second file is under way.
    int pumps = 0;
    bool grabbed = false;
    std::function<void()> grabLater = [&] {
        if (++pumps < 40) {
            QTimer::singleShot(0, &window, grabLater);
            return;
        }
        if (auto* dialog = guitest::findTopLevel<BatchProgressDialog>()) {
            guitest::saveScreenshot(*dialog, QStringLiteral("batch-window.png"));
            grabbed = true;
        }
    };
    connect(&window.model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex& cell) {
        if (cell.row() == 1 && window.model().cellText(1, 5) == "Converting...")
            QTimer::singleShot(0, &window, grabLater);
    });
    window.convertAll();
    QVERIFY(grabbed);
    QCOMPARE(window.model().cellText(0, 5), names[0]);
    QVERIFY(window.model().cellText(3, 5).startsWith("Conversion Failure"));

    window.list().selectRow(1);
    guitest::saveScreenshot(window, QStringLiteral("main-window.png"));

    window.listMenu().popup(window.list().mapToGlobal(window.list().rect().center()));
    window.updateListMenu();
    QVERIFY(window.listMenu().isVisible());
    guitest::saveScreenshot(window.listMenu(), QStringLiteral("list-menu.png"));
    window.listMenu().hide();

    window.showHelpMenu();
    QVERIFY(window.helpMenu().isVisible());
    guitest::saveScreenshot(window.helpMenu(), QStringLiteral("help-menu.png"));
    window.helpMenu().hide();
}

QTEST_MAIN(ScreenshotTest)
#include "test_screenshots.moc"
