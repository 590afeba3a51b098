#pragma once

#include <QStringList>
#include <QWidget>

class QTextBrowser;
class QToolButton;
class QUrl;
class ShellActions;

// The manual's window, "Velmora Help": the HTML pages of the help folder in a browser of their
// own with Contents, Back and Forward. Links between the pages stay in the window; web and mail
// links go to the desktop. Without its pages the window says where it looked.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Velmora Help";
    static constexpr const char* kStartPage = "index.html";

    // `folder` holds the pages; empty means the installed ones (`installedFolder`).
    HelpWindow(const QString& folder, ShellActions& shell, QWidget* parent = nullptr);

    // The help folder beside the program or in ../share/velmora/; empty when neither has one.
    static QString installedFolder();
    // The visible top-level window titled "Velmora Help", minimised ones included.
    static QWidget* findOpen();

    bool hasPages() const { return m_hasPages; }
    // Shows a page of the folder by file name ("command-line.html").
    void showPage(const QString& name);
    QTextBrowser& browser() const { return *m_browser; }

private:
    void followLink(const QUrl& link);
    void showMissingPages();
    void updateButtons();

    QString m_folder;
    QStringList m_searched;
    bool m_hasPages = false;
    ShellActions& m_shell;
    QTextBrowser* m_browser;
    QToolButton* m_contentsButton;
    QToolButton* m_backButton;
    QToolButton* m_forwardButton;
};
