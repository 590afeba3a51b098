#pragma once

#include "engine/conversion_settings.h"

#include <QMessageBox>
#include <QWidget>
#include <functional>

class AmplificationGroup;
class QBoxLayout;
class QButtonGroup;

// One page of the options sheet. A page edits its own controls only: load() fills them from
// the settings, store() writes them back, and nothing reaches the settings unless the sheet
// was closed with OK.
class OptionsPage : public QWidget {
    Q_OBJECT
public:
    // How a page's notices reach the user; a message box unless a test puts in another.
    using MessagePresenter = std::function<void(QMessageBox::Icon icon, const QString& text)>;

    explicit OptionsPage(QWidget* parent = nullptr);

    virtual QString title() const = 0;
    virtual void load(const velmora::ConversionSettings& settings) = 0;
    virtual void store(velmora::ConversionSettings& settings) const = 0;
    // Checks the page before it is left (another tab, or OK); false keeps the user on it after
    // telling why.
    virtual bool validateLeaving() { return true; }

    void setMessagePresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }

protected:
    void showMessage(QMessageBox::Icon icon, const QString& text);
    // False, after telling the user, when the group's coefficient is refused.
    bool checkAmplification(AmplificationGroup& group);
    // The desktop's sans font at the page size of the original layout (11 pixels).
    static QFont pageFont();
    // Radio buttons for `texts`, numbered from 0 in `group` and added to `layout` in order.
    static void addRadios(QButtonGroup& group, QBoxLayout& layout, const QStringList& texts);

private:
    MessagePresenter m_presenter;
};
