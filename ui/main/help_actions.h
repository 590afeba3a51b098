#pragma once

#include <QString>

class ShellActions;
class QWidget;

// The commands of the help menu and the link button, in one place. The web and mail entries
// open their address through the desktop; the help pages and the About box come with their
// own windows and are not offered until then.
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

    static constexpr const char* kHomepage = "http://www.velmora.example/";
    static constexpr const char* kSupportAddress = "support@velmora.example";
    static constexpr const char* kVersion = "3.0";
    static constexpr int kBuild = 716;

    explicit HelpActions(ShellActions& shell);

    // Whether the command does something in this version; the menu greys the others.
    static bool isAvailable(Command command);
    // The address a web or mail command opens; empty for the others.
    static QString addressOf(Command command);
    // The host name the link button shows.
    static QString homepageHost();

    void run(Command command);

private:
    ShellActions& m_shell;
};
