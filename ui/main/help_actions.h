#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class ShellActions;

// The commands of the help menu and the link button, in one place: the manual's window, the
// About box, and the web and mail addresses opened through the desktop.
class HelpActions {
public:
    enum class Command {
        HelpTopics,
        TellAFriend,
        FeedbackAndSupport,
        Homepage,
        CheckLatestVersion,
        About
    };
    enum class Placement { Normal, Maximised };

    static constexpr const char* kHomepage = "http://www.velmora.example/";
    static constexpr const char* kSupportAddress = "support@velmora.example";

    // `owner` is the main window: the About box is modal over it.
    HelpActions(ShellActions& shell, QWidget* owner);
    ~HelpActions();
    HelpActions(const HelpActions&) = delete;
    HelpActions& operator=(const HelpActions&) = delete;

    // The address a web or mail command opens; empty for the others.
    static QString addressOf(Command command);
    // The host name the link button shows.
    static QString homepageHost();

    void run(Command command);

    // Brings an open help window to the front (restoring it when minimised), else opens one.
    void showHelpTopics(Placement placement = Placement::Normal);
    void closeHelpWindow();
    void showAbout();
    // The manual's folder; empty (the default) means the installed pages.
    void setHelpFolder(const QString& folder) { m_helpFolder = folder; }

private:
    ShellActions& m_shell;
    QWidget* m_owner;
    QString m_helpFolder;
    QPointer<QWidget> m_helpWindow;
};
