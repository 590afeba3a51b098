#include "ui/help/help_window.h"

#include "platform/program_folder.h"
#include "ui/main/shell_actions.h"
#include "ui/widgets/program_icon.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kStartWidth = 900;  // pixels
constexpr int kStartHeight = 680; // pixels
constexpr int kPageMargin = 12;   // pixels around the page's text

QToolButton* makeButton(const QString& text, QStyle::StandardPixmap icon, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    return button;
}

bool isPageLink(const QUrl& link) {
    return link.scheme().isEmpty() || link.isLocalFile();
}

} // namespace

HelpWindow::HelpWindow(const QString& folder, ShellActions& shell, QWidget* parent)
    : QWidget(parent, Qt::Window), m_shell(shell) {
    setWindowTitle(QLatin1String(kTitle));
    setWindowIcon(ProgramIcon::icon());
    resize(kStartWidth, kStartHeight);

    m_contentsButton = makeButton(tr("&Contents"), QStyle::SP_DirHomeIcon, this);
    m_backButton = makeButton(tr("&Back"), QStyle::SP_ArrowBack, this);
    m_forwardButton = makeButton(tr("&Forward"), QStyle::SP_ArrowForward, this);
    m_browser = new QTextBrowser(this);
    // Every link comes to followLink: page links stay here, the others go to the desktop.
    m_browser->setOpenLinks(false);
    m_browser->document()->setDocumentMargin(kPageMargin);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(6, 4, 6, 0);
    buttons->addWidget(m_contentsButton);
    buttons->addWidget(m_backButton);
    buttons->addWidget(m_forwardButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    connect(m_contentsButton, &QToolButton::clicked, this,
            [this] { showPage(QLatin1String(kStartPage)); });
    connect(m_backButton, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forwardButton, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);
    connect(m_browser, &QTextBrowser::historyChanged, this, &HelpWindow::updateButtons);

    m_folder = folder.isEmpty() ? installedFolder() : folder;
    if (folder.isEmpty()) {
        for (const std::string& candidate : velmora::ProgramFolder::candidateDataPaths("help"))
            m_searched << QString::fromStdString(candidate);
    } else {
        m_searched << folder;
    }
    m_hasPages = !m_folder.isEmpty() &&
                 QFileInfo(QDir(m_folder).filePath(QLatin1String(kStartPage))).isFile();
    if (m_hasPages)
        showPage(QLatin1String(kStartPage));
    else
        showMissingPages();
    updateButtons();
}

QString HelpWindow::installedFolder() {
    return QString::fromStdString(velmora::ProgramFolder::findDataFolder("help"));
}

QWidget* HelpWindow::findOpen() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == QLatin1String(kTitle))
            return widget;
    }
    return nullptr;
}

void HelpWindow::showPage(const QString& name) {
    if (!m_hasPages)
        return;
    m_browser->setSource(QUrl::fromLocalFile(QDir(m_folder).filePath(name)));
}

void HelpWindow::followLink(const QUrl& link) {
    if (!isPageLink(link)) {
        m_shell.openUrl(link.toString());
        return;
    }
    if (!m_hasPages)
        return;
    const QUrl target = m_browser->source().resolved(link);
    // Only the manual's own pages are shown here; a link that leads out of its folder is not
    // followed.
    const QString canonicalFolder = QFileInfo(m_folder).canonicalFilePath();
    const QString canonicalTarget = QFileInfo(target.toLocalFile()).canonicalFilePath();
    if (canonicalTarget.isEmpty() ||
        !canonicalTarget.startsWith(canonicalFolder + QLatin1Char('/')))
        return;
    m_browser->setSource(target);
}

void HelpWindow::showMissingPages() {
    QString folders;
    for (const QString& folder : m_searched)
        folders += QStringLiteral("<li><code>%1</code></li>").arg(folder.toHtmlEscaped());
    m_browser->setHtml(
        tr("<h2>The help pages could not be found</h2>"
           "<p>Velmora looks for its manual, the file <code>%1</code> in a folder named "
           "<code>help</code>, in these places, and none of them has it:</p><ul>%2</ul>"
           "<p>Install Velmora again (<code>cmake --install build</code> puts the pages into "
           "<code>share/velmora/help</code> below the prefix), or run it from the build folder, "
           "which holds a copy of the pages.</p>")
            .arg(QLatin1String(kStartPage), folders));
}

void HelpWindow::updateButtons() {
    m_backButton->setEnabled(m_browser->isBackwardAvailable());
    m_forwardButton->setEnabled(m_browser->isForwardAvailable());
    m_contentsButton->setEnabled(m_hasPages);
}
