#include "ui/help/about_dialog.h"

#include "ui/help/url_opener.h"
#include "ui/main/help_actions.h"
#include "ui/main/shell_actions.h"
#include "ui/widgets/hyperlink_label.h"
#include "ui/widgets/program_icon.h"
#include "ui/widgets/wait_cursor.h"
#include "velmora_version.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kIconSize = 64;      // pixels
constexpr int kButtonPadding = 24; // pixels

} // namespace

AboutDialog::AboutDialog(ShellActions& shell, QWidget* parent) : QDialog(parent), m_shell(shell) {
    setWindowTitle(tr("About"));
    setWindowIcon(ProgramIcon::icon());

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon::icon().pixmap(kIconSize, kIconSize));
    auto* version = new QLabel(tr("%1 v%2").arg(QStringLiteral("Velmora"),
                                                QStringLiteral("%1 build %2")
                                                    .arg(QLatin1String(velmora::kProgramVersion))
                                                    .arg(velmora::kProgramBuild)),
                               this);
    QFont bold = version->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    version->setFont(bold);
    auto* copyright = new QLabel(tr(kCopyright), this);
    m_homepageLink =
        new HyperlinkLabel(tr("Visit %1 Homepage").arg(QStringLiteral("Velmora")),
                           HelpActions::addressOf(HelpActions::Command::Homepage), this);
    m_supportLink =
        new HyperlinkLabel(tr("Feedback and Support"),
                           HelpActions::addressOf(HelpActions::Command::FeedbackAndSupport), this);
    m_encoderLink = new HyperlinkLabel(tr("The program uses LAME MP3 encoder"),
                                       QLatin1String(kEncoderCreditUrl), this);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    m_checkUpdatesButton = new QPushButton(tr("&Check Updates"), this);
    m_tellAFriendButton = new QPushButton(tr("Tell a Friend"), this);

    // Nested layouts would take the outer spacing, which parts the text too widely.
    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(icon, 0, Qt::AlignLeft);
    text->addSpacing(8);
    text->addWidget(version);
    text->addWidget(copyright);
    text->addSpacing(14);
    for (HyperlinkLabel* link : {m_homepageLink, m_supportLink, m_encoderLink})
        text->addWidget(link, 0, Qt::AlignLeft);
    text->addStretch();
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(6);
    for (QPushButton* button : {ok, m_checkUpdatesButton, m_tellAFriendButton}) {
        // Fusion draws its buttons only as wide as their text; these get room around it.
        button->setMinimumWidth(button->sizeHint().width() + kButtonPadding);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(24);
    layout->addLayout(text, 1);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_checkUpdatesButton, &QPushButton::clicked, this, [this] {
        openAddress(HelpActions::addressOf(HelpActions::Command::CheckLatestVersion));
    });
    connect(m_tellAFriendButton, &QPushButton::clicked, this,
            [this] { openAddress(HelpActions::addressOf(HelpActions::Command::TellAFriend)); });
    for (HyperlinkLabel* link : {m_homepageLink, m_supportLink, m_encoderLink})
        connect(link, &HyperlinkLabel::activated, this, [this, link] { openLink(*link); });
}

void AboutDialog::setMessagePresenter(MessagePresenter presenter) {
    m_presenter = std::move(presenter);
}

void AboutDialog::openAddress(const QString& address) {
    WaitCursor wait;
    m_shell.openUrl(address);
}

void AboutDialog::openLink(HyperlinkLabel& link) {
    int result = 0;
    {
        WaitCursor wait;
        result = m_shell.openHyperlink(link.url());
    }
    if (result > UrlOpener::kLastFailure)
        link.markVisited();
    else
        reportFailure(result);
}

void AboutDialog::reportFailure(int result) {
    QApplication::beep();
    const QString text = UrlOpener::failureMessage(result);
    if (m_presenter) {
        m_presenter(QMessageBox::Warning, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora"), text, QMessageBox::Ok, this);
    box.exec();
}
