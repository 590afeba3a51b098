#include "ui/main/main_window.h"

#include "engine/conversion_driver.h"
#include "engine/device_profile.h"
#include "engine/output_format.h"
#include "platform/bass/midi_sound_font.h"
#include "platform/registry_store.h"
#include "ui/dialogs/add_progress_dialog.h"
#include "ui/dialogs/batch_progress_dialog.h"
#include "ui/main/desktop_batch_view.h"
#include "ui/main/file_adder.h"
#include "ui/main/file_collector.h"
#include "ui/main/file_list_model.h"
#include "ui/main/file_list_view.h"
#include "ui/main/shell_actions.h"
#include "ui/options/options_sheet.h"
#include "ui/ringtone/long_ringtone_prompt.h"
#include "ui/ringtone/ringtone_dialog.h"
#include "ui/widgets/icon_painter.h"
#include "ui/widgets/link_button.h"
#include "ui/widgets/program_icon.h"
#include "ui/widgets/skin_button.h"
#include "ui/widgets/skin_painter.h"
#include "ui/widgets/title_button.h"
#include "ui/widgets/wait_cursor.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QUrl>
#include <QWindow>
#include <filesystem>

namespace {

constexpr const char* kFirstRunValue = "FirstRun";

// The command panel behind the buttons and the frame of the list, in window pixels.
const QRect kCommandPanel(5, 60, 121, 256);
const QRect kListRect(137, 63, 552, 465);

std::string localPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The bytes of a dropped file URL's path exactly as the file manager sent them, so that a name
// that is not valid UTF-8 reaches the refusal instead of being silently repaired.
std::string localPathOf(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

bool isFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowSystemMenuHint),
      m_model(new FileListModel(m_fileList, this)), m_shell(std::make_unique<ShellActions>()),
      m_help(std::make_unique<HelpActions>(*m_shell, this)) {
    // Start-up order: the SoundFont for MIDI, then the settings, then the window.
    velmora::MidiSoundFont::ensureDefault();
    m_settings.load();
    m_firstRun = takeFirstRun();

    setWindowTitle(QStringLiteral("Velmora"));
    setWindowIcon(ProgramIcon::icon());
    setFixedSize(kWidth, kHeight);
    setAcceptDrops(true);
    buildControls();
    buildListMenu();
    buildHelpMenu();
    buildShortcuts();
    fillFormatBox();
}

MainWindow::~MainWindow() {
    m_model->removeAll();
    // Saved even when the options were never confirmed.
    m_settings.save(velmora::ConversionSettings::kSaveFormatAndPage);
}

void MainWindow::setMessagePresenter(MessagePresenter presenter) {
    m_presenter = std::move(presenter);
}

void MainWindow::setShellActions(std::unique_ptr<ShellActions> shell) {
    m_shell = std::move(shell);
    m_help = std::make_unique<HelpActions>(*m_shell, this);
}

void MainWindow::showFirstRunHelp() {
    if (m_firstRun)
        m_help->showHelpTopics(HelpActions::Placement::Maximised);
}

bool MainWindow::takeFirstRun() {
    const velmora::RegistryStore store;
    const velmora::RegistryStore::Snapshot snapshot = store.load();
    std::int32_t value = 1;
    if (const auto* key = snapshot.key(velmora::ConversionSettings::kOptionsKey)) {
        if (const auto stored = key->dword(kFirstRunValue))
            value = *stored;
    }
    if (value != 0) {
        velmora::RegistryStore::Transaction transaction;
        transaction.setDword(velmora::ConversionSettings::kOptionsKey, kFirstRunValue, 0);
        store.commit(transaction);
    }
    return value != 0;
}

void MainWindow::buildControls() {
    auto place = [](QWidget* widget, int x, int y, int w, int h) {
        widget->setGeometry(x, y, w, h);
    };
    m_addFilesButton = new SkinButton(tr("&Add Files"), this);
    m_addFolderButton = new SkinButton(tr("Add &Folder"), this);
    m_removeAllButton = new SkinButton(tr("Remove A&ll"), this);
    m_convertButton = new SkinButton(tr("&Convert"), this);
    m_optionsButton = new SkinButton(tr("&Options"), this);
    place(m_addFilesButton, 11, 72, 107, 27);
    place(m_addFolderButton, 11, 115, 107, 27);
    place(m_removeAllButton, 11, 161, 107, 27);
    place(m_convertButton, 11, 206, 107, 27);
    place(m_optionsButton, 11, 278, 107, 27);
    m_addFilesButton->setToolTip(tr("Add files"));
    m_addFolderButton->setToolTip(tr("Add files from a folder"));
    m_removeAllButton->setToolTip(tr("Remove all files in list"));
    m_convertButton->setToolTip(tr("Convert all files"));

    m_formatBox = new QComboBox(this);
    place(m_formatBox, 14, 239, 98, 24);
    m_formatBox->setToolTip(tr("Output format"));
    m_formatBox->setCursor(Qt::PointingHandCursor);
    m_formatBox->setMaxVisibleItems(14);

    m_homepageLink = new LinkButton(HelpActions::homepageHost(), this);
    place(m_homepageLink, 9, 507, 113, 20);
    m_homepageLink->setToolTip(tr("Visit %1 Homepage").arg(QStringLiteral("Velmora")));

    m_helpButton = new TitleButton(IconPainter::Glyph::TitleHelp, this);
    m_minimiseButton = new TitleButton(IconPainter::Glyph::TitleMinimise, this);
    m_closeButton = new TitleButton(IconPainter::Glyph::TitleClose, this);
    m_helpButton->move(624, 11);
    m_minimiseButton->move(647, 11);
    m_closeButton->move(669, 11);
    m_helpButton->setToolTip(tr("Help"));
    m_minimiseButton->setToolTip(tr("Minimize"));
    m_closeButton->setToolTip(tr("Close"));

    m_list = new FileListView(*m_model, this);
    m_list->setGeometry(kListRect);

    connect(m_addFilesButton, &QPushButton::clicked, this, &MainWindow::addFiles);
    connect(m_addFolderButton, &QPushButton::clicked, this, &MainWindow::addFolder);
    connect(m_removeAllButton, &QPushButton::clicked, this, &MainWindow::removeAll);
    connect(m_convertButton, &QPushButton::clicked, this, &MainWindow::convertAll);
    connect(m_optionsButton, &QPushButton::clicked, this, &MainWindow::showOptions);
    connect(m_homepageLink, &QAbstractButton::clicked, this,
            [this] { m_help->run(HelpActions::Command::Homepage); });
    connect(m_helpButton, &QAbstractButton::clicked, this, &MainWindow::showHelpMenu);
    connect(m_minimiseButton, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(m_closeButton, &QAbstractButton::clicked, this, &QWidget::close);
    connect(m_list, &FileListView::menuRequested, this, &MainWindow::showListMenu);
    connect(m_list, &QAbstractItemView::doubleClicked, this, &MainWindow::onListDoubleClicked);
    connect(
        m_model, &QAbstractItemModel::rowsInserted, this,
        [this](const QModelIndex&, int, int last) { m_list->scrollTo(m_model->index(last, 0)); });
}

void MainWindow::buildListMenu() {
    m_listMenu = new QMenu(this);
    auto add = [this](ListCommand command, const QString& text, void (MainWindow::*slot)(),
                      std::optional<IconPainter::Glyph> glyph = std::nullopt) {
        QAction* action = m_listMenu->addAction(text);
        if (glyph)
            action->setIcon(IconPainter::glyphIcon(*glyph));
        connect(action, &QAction::triggered, this, slot);
        m_listActions[static_cast<std::size_t>(command)] = action;
    };
    using Glyph = IconPainter::Glyph;
    add(ListCommand::PlaySource, tr("&Play Source"), &MainWindow::playSource, Glyph::PlaySource);
    add(ListCommand::PlayDestination, tr("Play &Destination"), &MainWindow::playDestination,
        Glyph::PlayDestination);
    m_listMenu->addSeparator();
    add(ListCommand::ConvertSelected, tr("&Convert Selected"), &MainWindow::convertSelected);
    add(ListCommand::ConvertAll, tr("Convert All"), &MainWindow::convertAll);
    add(ListCommand::MakeRingtone, tr("Make &Ringtone...\tCtrl+Double-click"),
        &MainWindow::makeRingtone);
    m_listMenu->addSeparator();
    add(ListCommand::BrowseSourceFolder, tr("Browse &Source Folder"),
        &MainWindow::browseSourceFolder);
    add(ListCommand::BrowseDestinationFolder, tr("Browse Destination &Folder"),
        &MainWindow::browseDestinationFolder);
    m_listMenu->addSeparator();
    add(ListCommand::AddFiles, tr("&Add Files...\tCtrl+O"), &MainWindow::addFiles, Glyph::AddFiles);
    add(ListCommand::AddFolder, tr("Add F&older"), &MainWindow::addFolder);
    add(ListCommand::Remove, tr("&Remove\tDel"), &MainWindow::removeSelected, Glyph::Remove);
    add(ListCommand::RemoveAll, tr("Remove Al&l"), &MainWindow::removeAll);
    connect(m_listMenu, &QMenu::aboutToShow, this, &MainWindow::updateListMenu);
}

void MainWindow::buildHelpMenu() {
    m_helpMenu = new QMenu(this);
    using Command = HelpActions::Command;
    using Glyph = IconPainter::Glyph;
    auto add = [this](Command command, const QString& text, Glyph glyph) {
        QAction* action = m_helpMenu->addAction(IconPainter::glyphIcon(glyph), text);
        connect(action, &QAction::triggered, this, [this, command] { m_help->run(command); });
        m_helpActionList.emplace_back(command, action);
    };
    add(Command::HelpTopics, tr("&Help Topics\tF1"), Glyph::HelpTopics);
    m_helpMenu->addSeparator();
    add(Command::TellAFriend, tr("&Tell A Friend"), Glyph::TellAFriend);
    add(Command::FeedbackAndSupport, tr("&Feedback and Support"), Glyph::Feedback);
    add(Command::Homepage, tr("Home&page"), Glyph::Homepage);
    add(Command::CheckLatestVersion, tr("&Check Latest Version"), Glyph::CheckVersion);
    m_helpMenu->addSeparator();
    add(Command::About, tr("&About..."), Glyph::About);
}

void MainWindow::buildShortcuts() {
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, this,
            &MainWindow::addFiles);
    connect(new QShortcut(QKeySequence(Qt::Key_Delete), this), &QShortcut::activated, this,
            &MainWindow::removeSelected);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            [this] { m_help->run(HelpActions::Command::HelpTopics); });
}

void MainWindow::fillFormatBox() {
    for (const velmora::OutputFormatEntry& entry : velmora::outputFormatTable())
        m_formatBox->addItem(QString::fromStdString(velmora::outputFormatDisplayText(entry)),
                             entry.code);
    const velmora::OutputFormatSelection selection =
        velmora::selectOutputFormat(m_settings.OutputFormat);
    m_formatBox->setCurrentIndex(static_cast<int>(selection.index));
    m_settings.OutputFormat = selection.code;
    m_formatBox->view()->setMinimumWidth(160);
    connect(m_formatBox, &QComboBox::currentIndexChanged, this, &MainWindow::onFormatChosen);
}

void MainWindow::onFormatChosen(int index) {
    m_settings.OutputFormat = index < 0 ? velmora::code(velmora::OutputFormat::Mp3)
                                        : m_formatBox->itemData(index).toInt();
}

QAction* MainWindow::listAction(ListCommand command) const {
    return m_listActions[static_cast<std::size_t>(command)];
}

QAction* MainWindow::helpAction(HelpActions::Command command) const {
    for (const auto& [each, action] : m_helpActionList) {
        if (each == command)
            return action;
    }
    return nullptr;
}

void MainWindow::updateListMenu() {
    const std::vector<int> selected = m_list->selectedRowNumbers();
    const bool hasRows = m_model->rowCount() > 0;
    const bool oneSelected = selected.size() == 1;
    const bool oneConverted = oneSelected && !m_model->entry(selected.front()).outputPath.empty();
    listAction(ListCommand::ConvertAll)->setEnabled(hasRows);
    listAction(ListCommand::RemoveAll)->setEnabled(hasRows);
    listAction(ListCommand::ConvertSelected)->setEnabled(!selected.empty());
    listAction(ListCommand::Remove)->setEnabled(!selected.empty());
    listAction(ListCommand::PlaySource)->setEnabled(oneSelected);
    listAction(ListCommand::MakeRingtone)->setEnabled(oneSelected);
    listAction(ListCommand::BrowseSourceFolder)->setEnabled(oneSelected);
    listAction(ListCommand::PlayDestination)->setEnabled(oneConverted);
    listAction(ListCommand::BrowseDestinationFolder)->setEnabled(oneConverted);
    listAction(ListCommand::AddFiles)->setEnabled(true);
    listAction(ListCommand::AddFolder)->setEnabled(true);
}

void MainWindow::showListMenu(const QPoint& globalPosition) {
    m_listMenu->popup(globalPosition);
}

void MainWindow::showHelpMenu() {
    m_helpMenu->popup(m_helpButton->mapToGlobal(QPoint(0, m_helpButton->height())));
}

void MainWindow::showOptions() {
    std::optional<WaitCursor> waitCursor(std::in_place);
    OptionsSheet sheet(m_settings, *m_shell, this);
    if (m_presenter)
        sheet.setMessagePresenter(m_presenter);
    waitCursor.reset();
    sheet.exec();
}

void MainWindow::showMessage(QMessageBox::Icon icon, const QString& text) {
    if (m_presenter) {
        m_presenter(icon, text);
        return;
    }
    QMessageBox box(icon, QStringLiteral("Velmora"), text, QMessageBox::Ok, this);
    box.exec();
}

QStringList MainWindow::openFileFilters() {
    return {
        tr("All Files (*.*)"),
        tr("3GPP Files (*.3gp;*.3gpp)"),
        tr("3GPP2 Files (*.3g2;*.3gp2)"),
        tr("Adobe Flash Files (*.swf)"),
        tr("Advanced Audio Coding (*.aac)"),
        tr("AIFF Files (*.aiff;*.aif;*.aifc;*.afc)"),
        tr("AMR Files (*.amr;*.awb)"),
        tr("AU Files (*.au;*.snd)"),
        tr("AVI Files (*.avi)"),
        tr("CD Audio (*.cda)"),
        tr("Creative Voice Files (*.voc)"),
        tr("CRI ADX Files (*.adx)"),
        tr("Dolby Digital AC-3 (*.ac3)"),
        tr("DTS Files (*.dts)"),
        tr("DV Video Files (*.dv;*.dif)"),
        tr("DVD Video Files (*.vob;*.dvd)"),
        tr("Electronic Arts CDATA Files (*.cdata)"),
        tr("Flash Video Files (*.flv)"),
        tr("Free Lossless Audio Codec (*.flac;*.fla)"),
        tr("H.264/MPEG4 AVC Video (*.m2ts;*.mts)"),
        tr("Matroska Files (*.mkv;*.mka)"),
        tr("Microsoft Digital Video Recording (*.dvr-ms)"),
        tr("MIDI Files (*.midi;*.mid;*.rmi;*.kar)"),
        tr("MJPEG Video Files (*.mjpg;*.mjpeg)"),
        tr("MMF Files (*.mmf)"),
        tr("MOD Musics (*.mod;*.xm;*.it;*.s3m;*.mtm;*.umx;*.mo3)"),
        tr("Monkey's Audio (*.ape;*.mac)"),
        tr("MP3 Files (*.mp3)"),
        tr("MPEG Audio Files (*.mpa;*.mpga;*.m2a)"),
        tr("MPEG Video Files (*.mpg;*.mpe;*.mpeg;*.m1v;*.mp2;*.m2v;*.mp1;*.mlv)"),
        tr("MPEG-4 Audio Files (*.m4a;*.m4b;*.mp4)"),
        tr("MPEG4 TS HD Video (*.ts)"),
        tr("MPEG-4 Video Files (*.mp4;*.m4v;*.mpv;*.psp)"),
        tr("Musepack (*.mpc;*.mp+;*.mpp)"),
        tr("Nullsoft Audio/Video Files (*.nsv;*.nsa)"),
        tr("NUT Files (*.nut)"),
        tr("OGG Files (*.ogg;*.oga;*.ogm;*.ogv;*.ogx)"),
        tr("QuickTime Files (*.mov;*.qt)"),
        tr("Raw h261 Files (*.h261)"),
        tr("Raw h263 Files (*.h263)"),
        tr("Raw h264 Video Files (*.h264;*.264)"),
        tr("Real Audio Files (*.ra;*.ram)"),
        tr("Real Media Files (*.rm;*.rmvb)"),
        tr("Speex (*.spx)"),
        tr("The True Audio (*.tta)"),
        tr("VCD Video Files (*.dat)"),
        tr("WAV Files (*.wav;*.wave)"),
        tr("WavPack (*.wv)"),
        tr("Windows Media Files (*.wma;*.asf;*.wmv;*.wm;*.wmd;*.xwmv)"),
        tr("YUV Video Files (*.yuv)"),
    };
}

void MainWindow::addFiles() {
    std::vector<std::string> paths;
    {
        WaitCursor wait;
        const QStringList filters = openFileFilters();
        QString chosenFilter = filters.front();
        // The program's own dialog: its patterns match extensions in any letter case, which
        // the desktop's dialogs do not promise.
        const QStringList chosen = QFileDialog::getOpenFileNames(
            this, QString(), QString(), filters.join(QStringLiteral(";;")), &chosenFilter,
            QFileDialog::DontUseNativeDialog);
        for (const QString& path : chosen)
            paths.push_back(localPath(path));
    }
    if (paths.empty())
        return;
    QCoreApplication::processEvents();
    const auto dialog = openAddProgress(QString());
    loadFiles(paths, *dialog);
}

void MainWindow::addFolder() {
    QString folder;
    {
        WaitCursor wait;
        QString start = QString::fromStdString(m_settings.Folder);
        while (start.size() > 1 && start.endsWith(QLatin1Char('/')))
            start.chop(1);
        folder = QFileDialog::getExistingDirectory(this, tr("Please choose a folder:"), start,
                                                   QFileDialog::ShowDirsOnly |
                                                       QFileDialog::DontUseNativeDialog);
    }
    if (folder.isEmpty())
        return;
    std::string chosen = localPath(folder);
    if (chosen.back() != '/')
        chosen += '/';
    m_settings.Folder = chosen;
    m_settings.save(velmora::ConversionSettings::kSaveFolder);
    addFolderPath(chosen);
}

std::unique_ptr<AddProgressDialog> MainWindow::openAddProgress(const QString& text) {
    auto dialog = std::make_unique<AddProgressDialog>(this);
    dialog->setText(text);
    dialog->open();
    dialog->pumpMessages();
    return dialog;
}

void MainWindow::gatherAndLoad(
    const std::function<void(std::vector<std::string>&, const std::function<bool()>&)>& gather) {
    const auto dialog = openAddProgress(tr("Searching files..."));
    setEnabled(false);
    std::vector<std::string> paths;
    AddProgressDialog& progress = *dialog;
    gather(paths, [&progress] {
        progress.pumpMessages();
        return !progress.cancelRequested();
    });
    setEnabled(true);
    // A cancelled search adds nothing.
    if (paths.empty() || dialog->cancelRequested())
        return;
    loadFiles(paths, *dialog);
}

void MainWindow::addFolderPath(const std::string& folder) {
    const FileCollector collector(m_settings.extensionFilter);
    gatherAndLoad([&](std::vector<std::string>& paths, const std::function<bool()>& keepGoing) {
        collector.collectFolder(folder, paths, keepGoing);
    });
}

void MainWindow::addDroppedUrls(const QList<QUrl>& urls) {
    const FileCollector collector(m_settings.extensionFilter);
    gatherAndLoad([&](std::vector<std::string>& paths, const std::function<bool()>& keepGoing) {
        for (const QUrl& url : urls) {
            // Only local files can be read; anything else is skipped as unreadable.
            if (!url.isLocalFile() || !keepGoing())
                continue;
            const std::string path = localPathOf(url);
            if (path.empty())
                continue;
            if (isFolder(path)) {
                if (!collector.collectFolder(path, paths, keepGoing))
                    return;
            } else if (auto accepted = collector.passesExtensionFilter(path)) {
                paths.push_back(std::move(*accepted));
            }
        }
    });
}

void MainWindow::addStartupPaths(const std::vector<std::string>& paths) {
    if (paths.empty())
        return;
    const FileCollector collector(m_settings.extensionFilter);
    gatherAndLoad([&](std::vector<std::string>& gathered, const std::function<bool()>& keepGoing) {
        for (const std::string& path : paths) {
            if (isFolder(path)) {
                if (!collector.collectFolder(path, gathered, keepGoing))
                    return;
            } else {
                gathered.push_back(path);
            }
        }
    });
}

void MainWindow::loadFiles(const std::vector<std::string>& paths, AddProgressDialog& dialog) {
    setEnabled(false);
    m_fileList.clearFailureNote();
    FileAdder adder(*m_model, dialog);
    const AddFailureReport report = adder.addAll(paths);
    dialog.close();
    setEnabled(true);
    // The keys (Delete, Ctrl+O) work again at once, without a click into the window.
    activateWindow();
    if (!report.empty())
        showMessage(QMessageBox::Warning,
                    report.message(QString::fromStdString(m_fileList.failureNote())));
}

void MainWindow::removeSelected() {
    const std::vector<int> selected = m_list->selectedRowNumbers();
    if (selected.empty()) {
        showMessage(QMessageBox::Information, tr("You should select a file at least."));
        return;
    }
    m_model->removeRowsAt(selected);
}

void MainWindow::removeAll() {
    if (m_model->rowCount() == 0) {
        showMessage(QMessageBox::Information, tr("There aren't files in list."));
        return;
    }
    m_model->removeAll();
}

void MainWindow::convertAll() {
    if (m_model->rowCount() == 0) {
        showMessage(QMessageBox::Information, tr("There aren't files in list."));
        return;
    }
    std::vector<int> rows(static_cast<std::size_t>(m_model->rowCount()));
    for (std::size_t row = 0; row < rows.size(); ++row)
        rows[row] = static_cast<int>(row);
    runBatch(rows);
}

void MainWindow::convertSelected() {
    const std::vector<int> selected = m_list->selectedRowNumbers();
    if (selected.empty()) {
        showMessage(QMessageBox::Information, tr("You should select a file at least."));
        return;
    }
    runBatch(selected);
}

void MainWindow::runBatch(const std::vector<int>& rows) {
    std::vector<velmora::SourceFile*> entries;
    entries.reserve(rows.size());
    for (const int row : rows)
        entries.push_back(&m_model->entry(row));
    const bool startBatch =
        LongRingtonePrompt::askBeforeBatch(this, m_settings.OutputFormat, entries);
    // Trimming may have given rows their parts, even when it was cancelled half-way.
    for (const int row : rows)
        m_model->segmentChanged(row);
    if (!startBatch)
        return;
    WaitCursor wait;
    DesktopBatchView view(*this, *m_list, *m_model, m_statusColumnWidth, *m_shell);
    velmora::ConversionDriver driver(m_settings, view);
    driver.convertBatch(entries, rows);
    activateWindow();
}

int MainWindow::firstSelectedRow() const {
    const std::vector<int> selected = m_list->selectedRowNumbers();
    return selected.empty() ? -1 : selected.front();
}

void MainWindow::playSource() {
    const int row = firstSelectedRow();
    if (row < 0)
        return;
    WaitCursor wait;
    m_shell->openWithDefaultApplication(QFile::decodeName(m_model->entry(row).path.c_str()));
}

void MainWindow::playDestination() {
    const int row = firstSelectedRow();
    if (row < 0 || m_model->entry(row).outputPath.empty())
        return;
    WaitCursor wait;
    m_shell->openWithDefaultApplication(QFile::decodeName(m_model->entry(row).outputPath.c_str()));
}

void MainWindow::browseSourceFolder() {
    const int row = firstSelectedRow();
    if (row < 0)
        return;
    WaitCursor wait;
    m_shell->showInFileManager(QFile::decodeName(m_model->entry(row).path.c_str()));
}

void MainWindow::browseDestinationFolder() {
    const int row = firstSelectedRow();
    if (row < 0 || m_model->entry(row).outputPath.empty())
        return;
    WaitCursor wait;
    m_shell->showInFileManager(QFile::decodeName(m_model->entry(row).outputPath.c_str()));
}

void MainWindow::onListDoubleClicked(const QModelIndex& index) {
    if (!(QApplication::keyboardModifiers() & Qt::ControlModifier)) {
        playSource();
        return;
    }
    // Ctrl's first click toggled the row out of the selection; the clicked row is meant.
    if (!index.isValid())
        return;
    m_list->selectRow(index.row());
    openRingtoneDialog(index.row());
}

void MainWindow::makeRingtone() {
    const int row = firstSelectedRow();
    if (row >= 0)
        openRingtoneDialog(row);
}

void MainWindow::openRingtoneDialog(int row) {
    RingtoneDialog dialog(m_model->entry(row), m_settings.OutputFormat, this);
    const int result = dialog.exec();
    if (result == QDialog::Accepted) {
        // The phone chosen in the dialog decides the output, so the file is one it accepts.
        velmora::applyDeviceProfile(dialog.profile(), m_settings);
        const int index = m_formatBox->findData(m_settings.OutputFormat);
        if (index >= 0)
            m_formatBox->setCurrentIndex(index);
    }
    if (result != QDialog::Rejected)
        m_model->segmentChanged(row);
}

void MainWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    SkinPainter::paint(painter, rect(), kListRect, kCommandPanel);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    // No caption: any free spot of the background moves the window.
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // While files are added or converted the loop running them still uses the window and the
    // list; the close request waits until they are done.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    m_help->closeHelpWindow();
    QWidget::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    // After the drop returns, so that the file manager is not held while the files are read.
    QMetaObject::invokeMethod(
        this, [this, urls] { addDroppedUrls(urls); }, Qt::QueuedConnection);
}
