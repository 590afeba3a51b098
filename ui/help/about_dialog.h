#pragma once

#include <QDialog>
#include <QMessageBox>
#include <functional>

class HyperlinkLabel;
class QPushButton;
class ShellActions;

// The About box: icon, version, copyright, the three links and the buttons OK, Check Updates
// and Tell a Friend. A link that cannot be opened says why; the buttons, like the menu, do not.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCopyright =
        "Copyright \u00a9 2009\u20132026 the Velmora developers. All rights reserved.";
    static constexpr const char* kEncoderCreditUrl = "https://lame.sourceforge.io/";

    using MessagePresenter = std::function<void(QMessageBox::Icon icon, const QString& text)>;

    AboutDialog(ShellActions& shell, QWidget* parent = nullptr);

    void setMessagePresenter(MessagePresenter presenter);

    HyperlinkLabel& homepageLink() const { return *m_homepageLink; }
    HyperlinkLabel& supportLink() const { return *m_supportLink; }
    HyperlinkLabel& encoderLink() const { return *m_encoderLink; }
    QPushButton& checkUpdatesButton() const { return *m_checkUpdatesButton; }
    QPushButton& tellAFriendButton() const { return *m_tellAFriendButton; }

    // What a click on a link does: open it, then mark it visited or report the failure.
    void openLink(HyperlinkLabel& link);

private:
    void openAddress(const QString& address);
    void reportFailure(int result);

    ShellActions& m_shell;
    MessagePresenter m_presenter;
    HyperlinkLabel* m_homepageLink;
    HyperlinkLabel* m_supportLink;
    HyperlinkLabel* m_encoderLink;
    QPushButton* m_checkUpdatesButton;
    QPushButton* m_tellAFriendButton;
};
