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

void writeFile(const QString& path, const QByteArray& bytes, bool executable = false) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstRunHelpIsMaximisedAndF1ReusesOneWindow();
    void pageLinksStayInsideAndMissingPagesAreExplained();
    void aboutBoxShowsVersionAndReportsLinkFailures();
    void reasonTexts();
    void fallbackStartsTheBrowsersCommandLineOrSaysWhyNot();

private:
    // The default browser's entry as the sandbox's own xdg-mime, a script running `query`,
    // names it.
    void xdgMime(const QByteArray& query) {
        writeFile(m_sandbox->path("bin/xdg-mime"), "#!/bin/sh\n" + query + "\n", true);
    }
    QString application(const QString& name) const {
        return m_sandbox->path("data/applications/" + name);
    }

    std::unique_ptr<guitest::Sandbox> m_sandbox;
    QByteArray m_path;
};

// Every test runs on a desktop of the sandbox's own: its programs come first on the PATH, and
// its desktop entries are looked up in data/applications.
void HelpTest::init() {
    m_sandbox = std::make_unique<guitest::Sandbox>();
    m_path = qgetenv("PATH");
    QVERIFY(QDir().mkpath(m_sandbox->path("bin")));
    QVERIFY(QDir().mkpath(application({})));
    qputenv("PATH", m_sandbox->path("bin").toUtf8() + ":" + m_path);
    qputenv("XDG_DATA_HOME", m_sandbox->path("data").toUtf8());
}

void HelpTest::cleanup() {
    qputenv("PATH", m_path);
    qunsetenv("XDG_DATA_HOME");
    m_sandbox.reset();
}

void HelpTest::firstRunHelpIsMaximisedAndF1ReusesOneWindow() {
    for (const bool firstRun : {true, false}) {
        MainWindow window;
        window.helpActions().setHelpFolder(kHelpFolder);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.wasFirstRun(), firstRun);
        window.showFirstRunHelp();
        QCOMPARE(HelpWindow::findOpen() != nullptr, firstRun);
        if (firstRun) {
            QVERIFY(HelpWindow::findOpen()->windowState() & Qt::WindowMaximized);
            QVERIFY(window.close()); // and the manual closes with it
            QVERIFY(HelpWindow::findOpen() == nullptr);
            continue;
        }
        QTest::keyClick(&window, Qt::Key_F1);
        QCOMPARE(openHelpWindows(), 1);
        QWidget* help = HelpWindow::findOpen();
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
}

void HelpTest::pageLinksStayInsideAndMissingPagesAreExplained() {
    RecordingShell shell;
    const QString missing = m_sandbox->path("no-help-here");
    HelpWindow lost(missing, shell);
    QVERIFY(!lost.hasPages());
    const QString text = lost.browser().toPlainText();
    QVERIFY2(text.contains("The help pages could not be found"), qPrintable(text));
    QVERIFY(text.contains(missing));
    QVERIFY(text.contains("cmake --install"));

    HelpWindow window(kHelpFolder, shell);
    QVERIFY(window.hasPages());
    QTextBrowser& browser = window.browser();
    QVERIFY(browser.toPlainText().contains("Contents"));
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
    QCOMPARE(messages[0].second, UrlOpener::failureMessage(26));
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

void HelpTest::reasonTexts() {
    const std::pair<int, const char*> cases[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
             "being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {1, "Unknown Error (1) occurred."},
        {99, "Unknown Error (99) occurred."},
        {-5, "Unknown Error (-5) occurred."},
    };
    for (const auto& [code, reason] : cases) {
        QCOMPARE(UrlOpener::reason(code), QString::fromUtf8(reason));
        QCOMPARE(UrlOpener::failureMessage(code),
                 "Unable to open hyperlink:\n\n" + QString(reason));
    }
}

void HelpTest::fallbackStartsTheBrowsersCommandLineOrSaysWhyNot() {
    xdgMime("echo web-browser.desktop");
    const QString browser = m_sandbox->path("My Browser");
    const QString log = m_sandbox->path("browser.log");
    writeFile(browser,
              "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + log.toUtf8() + "'\n", true);
    writeFile(application("web-browser.desktop"),
              "[Desktop Entry]\nType=Application\nName=Web\nExec=\"" + browser.toUtf8() +
                  "\" --new \"%u\" --ignored\n");

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

    // Without a usable entry nothing is started, and the result says why.
    const QString notExecutable = m_sandbox->path("plain-file");
    writeFile(notExecutable, {});
    const struct {
        QByteArray query; // xdg-mime's script
        QByteArray entry; // the named entry's text; none when empty
        int result;
    } cases[] = {
        {"echo ''", {}, UrlOpener::kNoAssociation},
        {"echo missing.desktop", {}, UrlOpener::kFileNotFound},
        {"echo noexec.desktop", "[Desktop Entry]\nName=X\n", UrlOpener::kBadAssociation},
        {"echo gone.desktop", "[Desktop Entry]\nExec=/no/such/browser %u\n",
         UrlOpener::kFileNotFound},
        {"echo denied.desktop", "[Desktop Entry]\nExec=" + notExecutable.toUtf8() + " %u\n",
         UrlOpener::kAccessDenied},
    };
    for (const auto& each : cases) {
        xdgMime(each.query);
        if (!each.entry.isEmpty())
            writeFile(application(each.query.mid(5)), each.entry);
        FallbackOpener failing;
        QCOMPARE(failing.open(url), each.result);
        QVERIFY(failing.started.isEmpty());
    }

    // A query that hangs is given up after a few seconds instead of holding the program.
    xdgMime("exec sleep 60");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(FallbackOpener().open(url), UrlOpener::kNoAssociation);
    QVERIFY(clock.elapsed() < 10000);
}

QTEST_MAIN(HelpTest)
#include "test_help.moc"
