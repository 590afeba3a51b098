#pragma once

#include "engine/conversion_settings.h"
#include "engine/file_list.h"
#include "ui/main/help_actions.h"

#include <QMessageBox>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AddProgressDialog;
class FileListModel;
class FileListView;
class ShellActions;
class SkinButton;
class TitleButton;
class LinkButton;
class QComboBox;
class QMenu;
class QAction;

// The program's one window: the skinned, caption-less 699 × 538 window with the command
// buttons, the output-format box and the file list. It owns the settings and the list for the
// whole run and saves the format and the options page when it goes.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 699;  // pixels
    static constexpr int kHeight = 538; // pixels
    static constexpr int kStatusColumnStartWidth = 145;

    enum class ListCommand {
        PlaySource,
        PlayDestination,
        ConvertSelected,
        ConvertAll,
        BrowseSourceFolder,
        BrowseDestinationFolder,
        AddFiles,
        AddFolder,
        Remove,
        RemoveAll,
        MakeRingtone,
    };
    static constexpr int kListCommandCount = 11;

    // How a notice or a problem reaches the user; a message box unless a test puts in another.
    using MessagePresenter = std::function<void(QMessageBox::Icon icon, const QString& text)>;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void setMessagePresenter(MessagePresenter presenter);
    void setShellActions(std::unique_ptr<ShellActions> shell);
    // Opens the manual maximised when this is the program's first run ("FirstRun").
    void showFirstRunHelp();
    HelpActions& helpActions() const { return *m_help; }

    // Commands of the buttons, the menus and the keys.
    void addFiles();
    void addFolder();
    void removeSelected();
    void removeAll();
    void convertAll();
    void convertSelected();
    void playSource();
    void playDestination();
    void browseSourceFolder();
    void browseDestinationFolder();
    // Opens the ringtone dialog for the first selected row.
    void makeRingtone();
    void showOptions();
    void showHelpMenu();
    void showListMenu(const QPoint& globalPosition);

    // The parts of the commands after their dialogs, also reached by drops and the command line.
    void addFolderPath(const std::string& folder);
    void addDroppedUrls(const QList<QUrl>& urls);
    // Files named on the command line: added as Add Files adds them; folders are walked.
    void addStartupPaths(const std::vector<std::string>& paths);
    void loadFiles(const std::vector<std::string>& paths, AddProgressDialog& dialog);

    // Enables the list pop-up's entries for the current rows and selection.
    void updateListMenu();
    QAction* listAction(ListCommand command) const;
    QAction* helpAction(HelpActions::Command command) const;

    FileListModel& model() const { return *m_model; }
    FileListView& list() const { return *m_list; }
    QComboBox& formatBox() const { return *m_formatBox; }
    QMenu& listMenu() const { return *m_listMenu; }
    QMenu& helpMenu() const { return *m_helpMenu; }
    velmora::ConversionSettings& settings() { return m_settings; }
    bool wasFirstRun() const { return m_firstRun; }
    int statusColumnWidth() const { return m_statusColumnWidth; }

    // The 50 entries of the Add Files dialog's type list, "All Files (*.*)" first.
    static QStringList openFileFilters();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void buildListMenu();
    void buildHelpMenu();
    void buildShortcuts();
    void fillFormatBox();
    // Reads "FirstRun" (1 when absent) and stores 0; true when it was not 0.
    static bool takeFirstRun();

    void showMessage(QMessageBox::Icon icon, const QString& text);
    std::unique_ptr<AddProgressDialog> openAddProgress(const QString& text);
    // Gathers through the extension filter while the dialog shows "Searching files...".
    void gatherAndLoad(
        const std::function<void(std::vector<std::string>&, const std::function<bool()>&)>& gather);
    void runBatch(const std::vector<int>& rows);
    // The first selected row when exactly one... or any is selected; -1 when none.
    int firstSelectedRow() const;
    void onFormatChosen(int index);
    // A double-click plays the file; with Ctrl held it makes a ringtone of it.
    void onListDoubleClicked(const QModelIndex& index);
    void openRingtoneDialog(int row);

    velmora::ConversionSettings m_settings;
    velmora::FileList m_fileList;
    FileListModel* m_model;
    FileListView* m_list;
    QComboBox* m_formatBox;
    SkinButton* m_addFilesButton;
    SkinButton* m_addFolderButton;
    SkinButton* m_removeAllButton;
    SkinButton* m_convertButton;
    SkinButton* m_optionsButton;
    LinkButton* m_homepageLink;
    TitleButton* m_helpButton;
    TitleButton* m_minimiseButton;
    TitleButton* m_closeButton;
    QMenu* m_listMenu;
    QMenu* m_helpMenu;
    std::array<QAction*, kListCommandCount> m_listActions{};
    std::vector<std::pair<HelpActions::Command, QAction*>> m_helpActionList;
    std::unique_ptr<ShellActions> m_shell;
    std::unique_ptr<HelpActions> m_help;
    MessagePresenter m_presenter;
    int m_statusColumnWidth = kStatusColumnStartWidth;
    bool m_firstRun = false;
};
