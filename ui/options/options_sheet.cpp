#include "ui/options/options_sheet.h"

#include "platform/wmf/wmf_runtime.h"
#include "ui/options/aac_page.h"
#include "ui/options/amr_page.h"
#include "ui/options/general_page.h"
#include "ui/options/m4a_page.h"
#include "ui/options/mp3_page.h"
#include "ui/options/ogg_page.h"
#include "ui/options/wav_page.h"
#include "ui/options/wma_page.h"
#include "writers/wma_format_list.h"

#include <QDialogButtonBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

OptionsSheet::OptionsSheet(velmora::ConversionSettings& settings, ShellActions& shell,
                           QWidget* parent, const velmora::WmaFormatList* catalogue)
    : QDialog(parent), m_settings(settings), m_tabs(new QTabWidget(this)) {
    setWindowTitle(tr("Options"));
    // Every tab stays in sight: the sheet grows to the width of its tab captions.
    m_tabs->tabBar()->setUsesScrollButtons(false);
    m_tabs->tabBar()->setElideMode(Qt::ElideNone);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsSheet::reject);

    addPage(new GeneralPage(shell));
    addPage(new Mp3Page(shell));
    addPage(new WavPage);
    addPage(new WmaPage(catalogue ? *catalogue : runtimeCatalogue()));
    addPage(new OggPage);
    addPage(new AmrPage);
    addPage(new AacPage);
    addPage(new M4aPage);
    for (OptionsPage* page : m_pages)
        page->load(m_settings);

    // A stored index beyond the pages (an older or damaged store) opens the first page.
    const int start = m_settings.OptStartPageIndex;
    m_shownIndex = start >= 0 && start < pageCount() ? start : 0;
    m_tabs->setCurrentIndex(m_shownIndex);
    connect(m_tabs, &QTabWidget::currentChanged, this, &OptionsSheet::onTabChanged);
}

const velmora::WmaFormatList& OptionsSheet::runtimeCatalogue() {
    // Without the runtime nothing could write a chosen format: the page offers "Auto" alone.
    static const velmora::WmaFormatList kNoFormats;
    return velmora::WmfRuntime::available() ? velmora::WmaFormatList::shared() : kNoFormats;
}

void OptionsSheet::setMessagePresenter(const OptionsPage::MessagePresenter& presenter) {
    m_presenter = presenter;
    for (OptionsPage* page : m_pages)
        page->setMessagePresenter(presenter);
}

int OptionsSheet::pageCount() const {
    return static_cast<int>(m_pages.size());
}

OptionsPage* OptionsSheet::page(int index) const {
    return index >= 0 && index < pageCount() ? m_pages[static_cast<std::size_t>(index)] : nullptr;
}

int OptionsSheet::currentPageIndex() const {
    return m_tabs->currentIndex();
}

void OptionsSheet::selectPage(int index) {
    m_tabs->setCurrentIndex(index);
}

void OptionsSheet::addPage(OptionsPage* page) {
    m_pages.push_back(page);
    m_tabs->addTab(page, page->title());
}

void OptionsSheet::onTabChanged(int index) {
    if (m_revertingTab)
        return;
    // The tab widget has already switched; a page that refuses to be left is shown again.
    if (!m_pages[static_cast<std::size_t>(m_shownIndex)]->validateLeaving()) {
        m_revertingTab = true;
        m_tabs->setCurrentIndex(m_shownIndex);
        m_revertingTab = false;
        return;
    }
    m_shownIndex = index;
}

void OptionsSheet::accept() {
    if (!page(currentPageIndex())->validateLeaving())
        return;
    storePages();
    m_settings.rebuildExtensionFilter();
    m_saved = m_settings.save(velmora::ConversionSettings::kSaveOptions);
    if (!m_saved)
        showSaveFailure();
    QDialog::accept();
}

void OptionsSheet::done(int result) {
    // Remembered in memory only; the main window writes it when it goes.
    m_settings.OptStartPageIndex = currentPageIndex();
    QDialog::done(result);
}

void OptionsSheet::storePages() {
    for (const OptionsPage* page : m_pages)
        page->store(m_settings);
}

void OptionsSheet::showSaveFailure() {
    // The options stay in effect for this run; the user must know they will not survive it.
    const QString text = tr("The options could not be saved; they apply until Velmora closes.");
    if (m_presenter) {
        m_presenter(QMessageBox::Warning, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora"), text, QMessageBox::Ok, this);
    box.exec();
}
