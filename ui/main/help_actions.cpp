#include "ui/main/help_actions.h"

#include "ui/help/about_dialog.h"
#include "ui/help/help_window.h"
#include "ui/main/shell_actions.h"
#include "ui/widgets/wait_cursor.h"
#include "velmora_version.h"

#include <QApplication>
#include <QUrl>

namespace {

void bringToFront(QWidget& window) {
    if (window.isMinimized())
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

HelpActions::HelpActions(ShellActions& shell, QWidget* owner) : m_shell(shell), m_owner(owner) {}

HelpActions::~HelpActions() {
    // The window is a top-level of its own; it goes with the main window.
    delete m_helpWindow.data();
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
                              .arg(QLatin1String(velmora::kProgramVersion))
                              .arg(velmora::kProgramBuild);
    case Command::HelpTopics:
    case Command::About:
        return {};
    }
    return {};
}

QString HelpActions::homepageHost() {
    return QUrl(QLatin1String(kHomepage)).host();
}

void HelpActions::run(Command command) {
    switch (command) {
    case Command::HelpTopics:
        showHelpTopics();
        return;
    case Command::About:
        showAbout();
        return;
    default:
        break;
    }
    WaitCursor wait;
    m_shell.openUrl(addressOf(command));
}

void HelpActions::showHelpTopics(Placement placement) {
    if (QWidget* open = HelpWindow::findOpen()) {
        bringToFront(*open);
        return;
    }
    WaitCursor wait;
    delete m_helpWindow.data();
    auto* window = new HelpWindow(m_helpFolder, m_shell);
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_helpWindow = window;
    if (placement == Placement::Maximised)
        window->showMaximized();
    else
        window->show();
}

void HelpActions::closeHelpWindow() {
    if (m_helpWindow)
        m_helpWindow->close();
    if (QWidget* open = HelpWindow::findOpen())
        open->close();
}

void HelpActions::showAbout() {
    AboutDialog dialog(m_shell, m_owner);
    dialog.exec();
}
