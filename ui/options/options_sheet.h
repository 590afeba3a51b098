#pragma once

#include "engine/conversion_settings.h"
#include "ui/options/options_page.h"

#include <QDialog>
#include <vector>

namespace velmora {
class WmaFormatList;
}
class QTabWidget;
class ShellActions;

// The modal "Options" dialog. Its pages work on their own controls; only OK copies them back
// into the settings, rebuilds the extension filter and writes the options group in one save.
// The page that was active when it closes becomes the start page of the next opening,
// whatever the result.
class OptionsSheet : public QDialog {
    Q_OBJECT
public:
    // The WMA page lists `catalogue`, the runtime's own catalogue when none is given.
    OptionsSheet(velmora::ConversionSettings& settings, ShellActions& shell,
                 QWidget* parent = nullptr, const velmora::WmaFormatList* catalogue = nullptr);

    void setMessagePresenter(const OptionsPage::MessagePresenter& presenter);

    int pageCount() const;
    OptionsPage* page(int index) const;
    int currentPageIndex() const;
    // Switches tabs as a click on a tab does: the page being left may refuse.
    void selectPage(int index);
    // True when the options group reached the store after OK.
    bool saved() const { return m_saved; }

    void accept() override;
    void done(int result) override;

private:
    static const velmora::WmaFormatList& runtimeCatalogue();
    void addPage(OptionsPage* page);
    void onTabChanged(int index);
    void storePages();
    void showSaveFailure();

    velmora::ConversionSettings& m_settings;
    QTabWidget* m_tabs;
    std::vector<OptionsPage*> m_pages;
    OptionsPage::MessagePresenter m_presenter;
    int m_shownIndex = 0;
    bool m_revertingTab = false;
    bool m_saved = false;
};
