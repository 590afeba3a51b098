// The options sheet driven as a user drives it: which page it opens on, what OK writes to the
// store and what Cancel leaves alone, and each page's refusals to be left.
#include "engine/conversion_settings.h"
#include "gui_test_support.h"
#include "platform/registry_store.h"
#include "ui/main/main_window.h"
#include "ui/main/shell_actions.h"
#include "ui/options/general_page.h"
#include "ui/options/options_sheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <map>
#include <memory>

using velmora::ConversionSettings;

namespace {

// Every value of the "Options" key and its subkeys as text, to compare whole stores.
std::map<std::string, std::string> storedValues() {
    const velmora::RegistryStore store;
    const velmora::RegistryStore::Snapshot snapshot = store.load();
    std::map<std::string, std::string> values;
    const auto* key = snapshot.key(ConversionSettings::kOptionsKey);
    if (key == nullptr)
        return values;
    for (const auto* value : key->values())
        values[value->name] = value->type == velmora::RegistryStore::ValueType::Dword
                                  ? std::to_string(value->dword)
                                  : value->text;
    return values;
}

struct RecordingShell : ShellActions {
    QStringList opened;
    void openWithDefaultApplication(const QString& path) override { opened << path; }
};

} // namespace

class OptionsSheetTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensOnStoredPage_data();
    void opensOnStoredPage();
    void rememberedPageSurvivesRestart();
    void okWritesOnlyTheOptionsGroup();
    void cancelDiscardsEveryPage();
    void generalPageRefusesToBeLeft_data();
    void generalPageRefusesToBeLeft();
    void generalOpenExplainsMissingFolder();

private:
    std::unique_ptr<guitest::Sandbox> m_sandbox;
    ConversionSettings m_settings;
    RecordingShell m_shell;
    QStringList m_messages;

    std::unique_ptr<OptionsSheet> openSheet();
    GeneralPage& general(OptionsSheet& sheet) { return *qobject_cast<GeneralPage*>(sheet.page(0)); }
};

void OptionsSheetTest::init() {
    m_sandbox = std::make_unique<guitest::Sandbox>();
    m_settings = ConversionSettings();
    m_settings.load();
    m_shell.opened.clear();
    m_messages.clear();
}

void OptionsSheetTest::cleanup() {
    m_sandbox.reset();
}

std::unique_ptr<OptionsSheet> OptionsSheetTest::openSheet() {
    auto sheet = std::make_unique<OptionsSheet>(m_settings, m_shell);
    sheet->setMessagePresenter(
        [this](QMessageBox::Icon, const QString& text) { m_messages << text; });
    sheet->show();
    return sheet;
}

void OptionsSheetTest::opensOnStoredPage_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("opensFirst");
    QTest::newRow("first") << 0 << false;
    QTest::newRow("last") << -2 << false; // -2: the last page of the sheet
    QTest::newRow("one past the pages") << -3 << true;
    QTest::newRow("eight") << 8 << true;
    QTest::newRow("large") << 1000 << true;
    QTest::newRow("negative") << -1 << true;
}

void OptionsSheetTest::opensOnStoredPage() {
    QFETCH(int, stored);
    QFETCH(bool, opensFirst);
    const int pages = OptionsSheet(m_settings, m_shell).pageCount();
    QCOMPARE(pages > 0, true);
    const int index = stored == -2 ? pages - 1 : stored == -3 ? pages : stored;
    m_settings.OptStartPageIndex = index;
    auto sheet = openSheet();
    QCOMPARE(sheet->currentPageIndex(), opensFirst ? 0 : index);
}

void OptionsSheetTest::rememberedPageSurvivesRestart() {
    const int last = OptionsSheet(m_settings, m_shell).pageCount() - 1;
    for (const bool confirm : {false, true}) {
        auto window = std::make_unique<MainWindow>();
        QTimer::singleShot(0, [&] {
            auto* sheet = guitest::findTopLevel<OptionsSheet>();
            QVERIFY(sheet != nullptr);
            sheet->selectPage(last);
            confirm ? sheet->accept() : sheet->reject();
        });
        window->showOptions();
        window.reset();
        MainWindow restarted;
        QCOMPARE(restarted.settings().OptStartPageIndex, last);
        restarted.settings().OptStartPageIndex = 0;
        QVERIFY(restarted.settings().save(ConversionSettings::kSaveFormatAndPage));
    }
}

void OptionsSheetTest::okWritesOnlyTheOptionsGroup() {
    const auto before = storedValues();
    QVERIFY(before.count("OptStartPageIndex") == 0);
    auto sheet = openSheet();
    GeneralPage& page = general(*sheet);
    page.existsBox().setCurrentIndex(page.existsBox().findData(33));
    page.monoGroup().button(2)->click();
    page.filterCheck().click();
    page.filterEdit().setText(QStringLiteral(" mp3 ;\twav"));
    sheet->accept();
    QVERIFY(sheet->saved());
    QCOMPARE(sheet->result(), int(QDialog::Accepted));

    QCOMPARE(m_settings.TargetExistsOpt, 33);
    QCOMPARE(m_settings.MonoType, 2);
    QCOMPARE(m_settings.FilterExts, std::string("mp3,wav"));
    QCOMPARE(m_settings.extensionFilter, (std::vector<std::string>{"mp3", "wav"}));

    // What a fresh load reads is what the sheet showed; the format and the page are the main
    // window's to write.
    ConversionSettings reloaded;
    QVERIFY(reloaded.load());
    for (const auto& value : m_settings.listValues())
        QCOMPARE(reloaded.getValue(value.name)->value, value.value);
    const auto after = storedValues();
    QCOMPARE(after.count("OptStartPageIndex"), std::size_t(0));
    QCOMPARE(after.count("OutputFormat"), std::size_t(0));
    QCOMPARE(after.count("Folder"), std::size_t(0));
}

void OptionsSheetTest::cancelDiscardsEveryPage() {
    const auto before = storedValues();
    const ConversionSettings original = m_settings;
    auto sheet = openSheet();
    GeneralPage& page = general(*sheet);
    page.folderBox().setCurrentIndex(1);
    page.folderEdit().setText(QStringLiteral("/elsewhere/"));
    page.monoGroup().button(1)->click();
    sheet->reject();
    QCOMPARE(storedValues(), before);
    for (const auto& value : original.listValues())
        QCOMPARE(m_settings.getValue(value.name)->value, value.value);
}

void OptionsSheetTest::generalPageRefusesToBeLeft_data() {
    QTest::addColumn<bool>("customFolder");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("filterOn");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("message");
    QTest::newRow("custom folder empty")
        << true << QString() << false << QString() << "Please choose an output folder.";
    QTest::newRow("filter of blanks only") << false << QString() << true << QStringLiteral(" \t ")
                                           << "Please enter file extensions you need to filter.";
    QTest::newRow("both fine") << true << QStringLiteral("/out/") << true << QStringLiteral("mp3")
                               << QString();
}

void OptionsSheetTest::generalPageRefusesToBeLeft() {
    QFETCH(bool, customFolder);
    QFETCH(QString, folder);
    QFETCH(bool, filterOn);
    QFETCH(QString, filter);
    QFETCH(QString, message);
    m_settings.OptStartPageIndex = 0;
    m_settings.EnableExtFilter = 0;
    const int pages = OptionsSheet(m_settings, m_shell).pageCount();
    for (const bool byOk : {false, true}) {
        if (!byOk && pages < 2)
            continue; // no other tab to switch to yet
        m_messages.clear();
        m_settings.OptStartPageIndex = 0;
        auto sheet = openSheet();
        GeneralPage& page = general(*sheet);
        page.folderBox().setCurrentIndex(customFolder ? 1 : 0);
        page.folderEdit().setText(folder);
        page.filterCheck().setChecked(filterOn);
        page.filterEdit().setText(filter);
        byOk ? sheet->accept() : sheet->selectPage(1);
        const bool refused = !message.isEmpty();
        QCOMPARE(m_messages, refused ? QStringList{message} : QStringList{});
        const int expectedPage = refused || byOk ? 0 : 1;
        QCOMPARE(sheet->currentPageIndex(), expectedPage);
        QCOMPARE(sheet->isVisible(), refused || !byOk);
    }
}

void OptionsSheetTest::generalOpenExplainsMissingFolder() {
    auto sheet = openSheet();
    GeneralPage& page = general(*sheet);
    page.folderBox().setCurrentIndex(1);
    QVERIFY(page.openButton().isEnabled());
    const QString missing = m_sandbox->path(QStringLiteral("not yet"));
    page.folderEdit().setText(missing);
    page.openFolder();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().startsWith(
        QStringLiteral("The folder \"%1\" doesn't exist yet.").arg(missing)));
    page.folderEdit().setText(m_sandbox->path(QString()));
    page.openFolder();
    QCOMPARE(m_shell.opened, QStringList{m_sandbox->path(QString())});
    page.folderBox().setCurrentIndex(0);
    QVERIFY(!page.openButton().isEnabled());
}

QTEST_MAIN(OptionsSheetTest)
#include "test_options_sheet.moc"
