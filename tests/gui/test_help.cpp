// The help menu's windows as a user meets them: the manual reused and restored on F1, opened
// maximised on the first run only and closed with the main window, its links, the message when
// its pages are missing; the About box; and the URL fallback with its failure sentences.
#include "gui_test_support.h"
#include "ui/help/about_dialog.h"
#include "ui/help/help_window.h"
#include "ui/help/url_opener.h"
#include "ui/main/main_window.h"
#include "ui/main/shell_actions.h"
#include "ui/widgets/hyperlink_label.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>
#include <memory>

namespace {

const QString kHelpFolder = QStringLiteral(VELMORA_HELP_SOURCE_DIR);

int openHelpWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<HelpWindow*>(widget) && widget->isVisible() ? 1 : 0;
    return count;
}

// Records what would go to the desktop; hyperlinks answer with a chosen result code.
class RecordingShell : public ShellActions {
public:
    QStringList urls;
    int hyperlinkResult = UrlOpener::kOpened;
    void openUrl(const QString& url) override { urls << url; }
    int openHyperlink(const QString& url) override {
        urls << url;
        return hyperlinkResult;
    }
};

// The fallback alone: the desktop's handler fails, and what would be started is recorded.
class FallbackOpener : public UrlOpener {
public:
    QStringList started;
    bool startForReal = false;

protected:
    bool openWithDesktop(const QUrl&) override { return false; }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started = QStringList{program} + arguments;
        return startForReal ? UrlOpener::startDetached(program, arguments) : true;
    }
};

void writeScript(const QString& path, const QByteArray& body) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void secondF1RaisesAndRestoresTheOpenWindow();
    void firstRunOpensHelpMaximisedOnceAndMainWindowClosesIt();
    void missingPagesAreExplained();
    void pageLinksStayInsideOthersGoToTheDesktop();
    void aboutBoxShowsVersionAndReportsLinkFailures();
    void reasonTexts_data();
    void reasonTexts();
    void fallbackStartsTheBrowsersCommandLine();
    void fallbackFailuresHaveTheirReasons();

private:
    std::unique_ptr<guitest::Sandbox> m_sandbox;
    QByteArray m_path;
};

void HelpTest::init() {
    m_sandbox = std::make_unique<guitest::Sandbox>();
    m_path = qgetenv("PATH");
}

void HelpTest::cleanup() {
    qputenv("PATH", m_path);
    qunsetenv("XDG_DATA_HOME");
    m_sandbox.reset();
}

void HelpTest::secondF1RaisesAndRestoresTheOpenWindow() {
    MainWindow window;
    window.helpActions().setHelpFolder(kHelpFolder);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(&window, Qt::Key_F1);
    QCOMPARE(openHelpWindows(), 1);
    QWidget* help = HelpWindow::findOpen();
    QVERIFY(help != nullptr);
    QCOMPARE(help->windowTitle(), QStringLiteral("Velmora Help"));
    QVERIFY(!(help->windowState() & Qt::WindowMaximized));

    help->showMinimized();
    QVERIFY(help->windowState() & Qt::WindowMinimized);
    window.activateWindow();
    QTest::keyClick(&window, Qt::Key_F1);
    QCOMPARE(openHelpWindows(), 1);
    QCOMPARE(HelpWindow::findOpen(), help);
    QVERIFY(!(help->windowState() & Qt::WindowMinimized));

    window.helpAction(HelpActions::Command::HelpTopics)->trigger();
    QCOMPARE(openHelpWindows(), 1);
}

void HelpTest::firstRunOpensHelpMaximisedOnceAndMainWindowClosesIt() {
    {
        MainWindow first;
        first.helpActions().setHelpFolder(kHelpFolder);
        first.show();
        QVERIFY(first.wasFirstRun());
        first.showFirstRunHelp();
        QWidget* help = HelpWindow::findOpen();
        QVERIFY(help != nullptr);
        QVERIFY(help->windowState() & Qt::WindowMaximized);
        QVERIFY(first.close());
        QVERIFY(HelpWindow::findOpen() == nullptr);
    }
    MainWindow second;
    second.show();
    QVERIFY(!second.wasFirstRun());
    second.showFirstRunHelp();
    QVERIFY(HelpWindow::findOpen() == nullptr);
}

void HelpTest::missingPagesAreExplained() {
    RecordingShell shell;
    const QString missing = m_sandbox->path("no-help-here");
    HelpWindow window(missing, shell);
    QVERIFY(!window.hasPages());
    const QString text = window.browser().toPlainText();
    QVERIFY2(text.contains("The help pages could not be found"), qPrintable(text));
    QVERIFY(text.contains(missing));
    QVERIFY(text.contains("cmake --install"));
}

void HelpTest::pageLinksStayInsideOthersGoToTheDesktop() {
    RecordingShell shell;
    HelpWindow window(kHelpFolder, shell);
    QVERIFY(window.hasPages());
    QVERIFY(window.browser().toPlainText().contains("Contents"));
    QTextBrowser& browser = window.browser();
    emit browser.anchorClicked(QUrl("command-line.html"));
    QVERIFY(browser.source().path().endsWith("/command-line.html"));
    QVERIFY(browser.toPlainText().contains("velmora-cli convert --to m4r"));
    emit browser.anchorClicked(QUrl("formats.html#joint-stereo"));
    QVERIFY(browser.source().path().endsWith("/formats.html"));
    // Out of the manual's folder: not followed.
    emit browser.anchorClicked(QUrl("../../CMakeLists.txt"));
    QVERIFY(browser.source().path().endsWith("/formats.html"));
    QVERIFY(shell.urls.isEmpty());
    emit browser.anchorClicked(QUrl("mailto:support@velmora.example"));
    emit browser.anchorClicked(QUrl("http://www.velmora.example/"));
    QCOMPARE(shell.urls,
             QStringList({"mailto:support@velmora.example", "http://www.velmora.example/"}));
    browser.backward();
    QVERIFY(browser.source().path().endsWith("/command-line.html"));
}

void HelpTest::aboutBoxShowsVersionAndReportsLinkFailures() {
    RecordingShell shell;
    AboutDialog about(shell);
    about.show();
    QStringList labels;
    for (const QLabel* label : about.findChildren<QLabel*>())
        labels << label->text();
    QVERIFY2(labels.contains("Velmora v3.0 build 716"), qPrintable(labels.join('|')));
    QVERIFY(labels.contains(QString::fromUtf8(AboutDialog::kCopyright)));
    QCOMPARE(about.homepageLink().text(), QStringLiteral("Visit Velmora Homepage"));
    QCOMPARE(about.supportLink().text(), QStringLiteral("Feedback and Support"));
    QCOMPARE(about.encoderLink().text(), QStringLiteral("The program uses LAME MP3 encoder"));
    QVERIFY(about.homepageLink().font().underline());
    QVERIFY(!about.windowIcon().isNull());

    std::vector<std::pair<QMessageBox::Icon, QString>> messages;
    about.setMessagePresenter(
        [&](QMessageBox::Icon icon, const QString& text) { messages.emplace_back(icon, text); });
    shell.hyperlinkResult = 26;
    QTest::mouseClick(&about.supportLink(), Qt::LeftButton);
    QCOMPARE(shell.urls, QStringList({"mailto:support@velmora.example"}));
    QCOMPARE(messages.size(), std::size_t(1));
    QCOMPARE(messages[0].first, QMessageBox::Warning);
    QCOMPARE(messages[0].second,
             QStringLiteral("Unable to open hyperlink:\n\nA sharing violation occurred. "));
    QVERIFY(!about.supportLink().isVisited());

    shell.hyperlinkResult = UrlOpener::kOpened;
    about.homepageLink().setFocus();
    QTest::keyClick(&about.homepageLink(), Qt::Key_Space);
    QVERIFY(about.homepageLink().isVisited());
    QCOMPARE(messages.size(), std::size_t(1));

    shell.urls.clear();
    about.checkUpdatesButton().click();
    about.tellAFriendButton().click();
    QCOMPARE(shell.urls,
             QStringList({"http://www.velmora.example/checkforupdates/?ver=3.0&build=716",
                          "mailto:?subject=Velmora - very COOL application!!!&body=Download from "
                          "http://www.velmora.example/"}));
    QVERIFY(about.isVisible()); // the buttons leave the box open
}

void HelpTest::reasonTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");
    QTest::newRow("0") << 0 << "The operating system is out\nof memory or resources.";
    QTest::newRow("2") << 2 << "The specified file was not found.";
    QTest::newRow("5") << 5 << "The operating system denied\naccess to the specified file.";
    QTest::newRow("8") << 8 << "There was not enough memory to complete the operation.";
    QTest::newRow("26") << 26 << "A sharing violation occurred. ";
    QTest::newRow("27") << 27 << "The filename association is\nincomplete or invalid.";
    QTest::newRow("30") << 30
                        << "The DDE transaction could not\nbe completed because other DDE "
                           "transactions\nwere being processed.";
    QTest::newRow("31") << 31
                        << "There is no application associated\nwith the given filename "
                           "extension.";
    QTest::newRow("32") << 32 << "The specified dynamic-link library was not found.";
    QTest::newRow("unknown 1") << 1 << "Unknown Error (1) occurred.";
    QTest::newRow("unknown 99") << 99 << "Unknown Error (99) occurred.";
    QTest::newRow("unknown -5") << -5 << "Unknown Error (-5) occurred.";
}

void HelpTest::reasonTexts() {
    QFETCH(int, code);
    QFETCH(QString, reason);
    QCOMPARE(UrlOpener::reason(code), reason);
    QCOMPARE(UrlOpener::failureMessage(code), "Unable to open hyperlink:\n\n" + reason);
}

void HelpTest::fallbackStartsTheBrowsersCommandLine() {
    const QString bin = m_sandbox->path("bin");
    const QString applications = m_sandbox->path("data/applications");
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(QDir().mkpath(applications));
    writeScript(bin + "/xdg-mime", "echo web-browser.desktop");
    const QString browser = m_sandbox->path("My Browser");
    const QString log = m_sandbox->path("browser.log");
    writeScript(browser, "for a in \"$@\"; do echo \"$a\"; done > '" + log.toUtf8() + "'");
    QFile entry(applications + "/web-browser.desktop");
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Web\nExec=\"" + browser.toUtf8() +
                "\" --new \"%u\" --ignored\n");
    entry.close();
    qputenv("PATH", bin.toUtf8() + ":" + m_path);
    qputenv("XDG_DATA_HOME", m_sandbox->path("data").toUtf8());

    FallbackOpener opener;
    opener.startForReal = true;
    const QString url = "http://www.velmora.example/?a=1&b=$(id)";
    QCOMPARE(opener.open(url), UrlOpener::kOpened);
    QCOMPARE(opener.started, QStringList({browser, "--new", url}));
    // Started detached and without a shell: the URL arrives as one untouched argument.
    const auto written = [&log] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QTRY_COMPARE(written(), "--new\n" + url + "\n");
}

void HelpTest::fallbackFailuresHaveTheirReasons() {
    const QString bin = m_sandbox->path("bin");
    const QString applications = m_sandbox->path("data/applications");
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(QDir().mkpath(applications));
    qputenv("PATH", bin.toUtf8() + ":/usr/bin:/bin");
    qputenv("XDG_DATA_HOME", m_sandbox->path("data").toUtf8());
    auto entry = [&](const QByteArray& name, const QByteArray& text) {
        QFile file(applications + "/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    const QString notExecutable = m_sandbox->path("plain-file");
    QFile(notExecutable).open(QIODevice::WriteOnly);
    entry("noexec.desktop", "[Desktop Entry]\nName=X\n");
    entry("gone.desktop", "[Desktop Entry]\nExec=/no/such/browser %u\n");
    entry("denied.desktop", "[Desktop Entry]\nExec=" + notExecutable.toUtf8() + " %u\n");

    const struct {
        QByteArray answer;
        int result;
    } cases[] = {
        {"", UrlOpener::kNoAssociation},
        {"missing.desktop", UrlOpener::kFileNotFound},
        {"noexec.desktop", UrlOpener::kBadAssociation},
        {"gone.desktop", UrlOpener::kFileNotFound},
        {"denied.desktop", UrlOpener::kAccessDenied},
    };
    for (const auto& each : cases) {
        writeScript(bin + "/xdg-mime", "echo '" + each.answer + "'");
        FallbackOpener opener;
        QCOMPARE(opener.open("http://www.velmora.example/"), each.result);
        QVERIFY(opener.started.isEmpty());
    }

    // A query that hangs is given up after a few seconds instead of holding the program.
    writeScript(bin + "/xdg-mime", "exec sleep 60");
    QElapsedTimer clock;
    clock.start();
    FallbackOpener opener;
    QCOMPARE(opener.open("http://www.velmora.example/"), UrlOpener::kNoAssociation);
    QVERIFY(clock.elapsed() < 10000);
}

QTEST_MAIN(HelpTest)
#include "test_help.moc"
