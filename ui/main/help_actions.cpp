#include "ui/main/help_actions.h"

#include "ui/main/shell_actions.h"

#include <QApplication>
#include <QUrl>

HelpActions::HelpActions(ShellActions& shell) : m_shell(shell) {}

bool HelpActions::isAvailable(Command command) {
    return !addressOf(command).isEmpty();
}

QString HelpActions::addressOf(Command command) {
    const QString homepage = QLatin1String(kHomepage);
    switch (command) {
    case Command::Homepage:
        return homepage;
    case Command::TellAFriend:
        return QStringLiteral("mailto:?subject=Velmora - very COOL application!!!&body=Download "
                              "from ") +
               homepage;
    case Command::FeedbackAndSupport:
        return QStringLiteral("mailto:") + QLatin1String(kSupportAddress);
    case Command::CheckLatestVersion:
        return homepage + QStringLiteral("checkforupdates/?ver=%1&build=%2")
                              .arg(QLatin1String(kVersion))
                              .arg(kBuild);
    case Command::HelpTopics:
    case Command::About:
        // Their windows do not exist yet; nothing is pretended.
        return {};
    }
    return {};
}

QString HelpActions::homepageHost() {
    return QUrl(QLatin1String(kHomepage)).host();
}

void HelpActions::run(Command command) {
    const QString address = addressOf(command);
    if (address.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_shell.openUrl(address);
    QApplication::restoreOverrideCursor();
}
