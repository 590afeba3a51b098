// Pictures of the manual's window on two pages and of the About box, written into the build
// folder (screenshots/) to be looked at.
#include "gui_test_support.h"
#include "ui/help/about_dialog.h"
#include "ui/help/help_window.h"
#include "ui/main/shell_actions.h"

#include <QTextBrowser>
#include <QtTest>

class HelpScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void takesScreenshots();
};

void HelpScreenshotTest::takesScreenshots() {
    guitest::Sandbox sandbox;
    ShellActions shell;
    HelpWindow help(QStringLiteral(VELMORA_HELP_SOURCE_DIR), shell);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    guitest::saveScreenshot(help, QStringLiteral("help-contents.png"));
    help.showPage(QStringLiteral("formats.html"));
    QVERIFY(help.browser().toPlainText().contains(QStringLiteral("Joint Stereo")));
    guitest::saveScreenshot(help, QStringLiteral("help-formats.png"));

    AboutDialog about(shell);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    guitest::saveScreenshot(about, QStringLiteral("about-box.png"));
}

QTEST_MAIN(HelpScreenshotTest)
#include "test_help_screenshots.moc"
