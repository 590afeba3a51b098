#include "ui/options/general_page.h"

#include "ui/main/shell_actions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

using velmora::ConversionSettings;

namespace {

constexpr int kAutoRename = 11;
constexpr int kOverwrite = 22;
constexpr int kSkip = 33;

QLabel* wrappedLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

} // namespace

GeneralPage::GeneralPage(ShellActions& shell, QWidget* parent)
    : OptionsPage(parent), m_shell(shell) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildOutputGroup());
    layout->addWidget(buildGeneralGroup());
    layout->addStretch(1);
}

QWidget* GeneralPage::buildOutputGroup() {
    auto* group = new QGroupBox(tr("Output"));
    auto* grid = new QGridLayout(group);

    m_folderBox = new QComboBox;
    m_folderBox->addItem(tr("Same as original file"), ConversionSettings::kSameFolderAsSource);
    m_folderBox->addItem(tr("A custom folder"), ConversionSettings::kCustomFolder);
    auto* folderLabel = new QLabel(tr("&Output folder:"));
    folderLabel->setBuddy(m_folderBox);
    grid->addWidget(folderLabel, 0, 0);
    grid->addWidget(m_folderBox, 0, 1, 1, 3);

    m_folderEdit = new QLineEdit;
    m_browseButton = new QPushButton(tr("Bro&wse"));
    m_openButton = new QPushButton(tr("O&pen"));
    auto* customLabel = new QLabel(tr("Custom &folder:"));
    customLabel->setBuddy(m_folderEdit);
    grid->addWidget(customLabel, 1, 0);
    grid->addWidget(m_folderEdit, 1, 1);
    grid->addWidget(m_browseButton, 1, 2);
    grid->addWidget(m_openButton, 1, 3);

    m_createDirsCheck = new QCheckBox(tr("&Create folders according to path of original file"));
    m_createDirsExample = wrappedLabel(
        tr("For example: original file is \"/home/music/pop/1.mp3\" and output folder is "
           "\"/output.\" If the option is checked, the output folder will be "
           "\"/output/home/music/pop.\""));
    grid->addWidget(m_createDirsCheck, 2, 0, 1, 4);
    grid->addWidget(m_createDirsExample, 3, 0, 1, 4);

    m_existsBox = new QComboBox;
    m_existsBox->addItem(tr("Auto rename (add number at end of file name)"), kAutoRename);
    m_existsBox->addItem(tr("Overwrite"), kOverwrite);
    m_existsBox->addItem(tr("Skip (not convert)"), kSkip);
    auto* existsLabel = new QLabel(tr("If target file &exists "));
    existsLabel->setBuddy(m_existsBox);
    grid->addWidget(existsLabel, 4, 0);
    grid->addWidget(m_existsBox, 4, 1, 1, 3);

    m_myDocumentsCheck =
        new QCheckBox(tr("Output files to M&y Documents if creating file failure"));
    m_browseWhenDoneCheck = new QCheckBox(tr("&Browse output folder when conversion completes"));
    grid->addWidget(m_myDocumentsCheck, 5, 0, 1, 4);
    grid->addWidget(m_browseWhenDoneCheck, 6, 0, 1, 4);
    grid->setColumnStretch(1, 1);

    connect(m_folderBox, &QComboBox::currentIndexChanged, this, &GeneralPage::updateFolderControls);
    connect(m_browseButton, &QPushButton::clicked, this, &GeneralPage::browseFolder);
    connect(m_openButton, &QPushButton::clicked, this, &GeneralPage::openFolder);
    return group;
}

QWidget* GeneralPage::buildGeneralGroup() {
    auto* group = new QGroupBox(tr("General"));
    auto* layout = new QVBoxLayout(group);

    auto* monoRow = new QHBoxLayout;
    monoRow->addWidget(
        wrappedLabel(tr("When converting to audio format, e.g. MP3, WAV, WMA, etc., if output "
                        "channel is mono and original file is stereo, output sound equals to:")),
        1);
    auto* helpButton = new QToolButton;
    helpButton->setText(tr("?"));
    monoRow->addWidget(helpButton, 0, Qt::AlignTop);
    layout->addLayout(monoRow);

    m_monoGroup = new QButtonGroup(this);
    auto* radios = new QHBoxLayout;
    const QString monoTexts[] = {tr("(L+R) / &2"), tr("&L channel"), tr("&R channel")};
    for (int id = 0; id < 3; ++id) {
        auto* radio = new QRadioButton(monoTexts[id]);
        m_monoGroup->addButton(radio, id);
        radios->addWidget(radio);
    }
    radios->addStretch(1);
    layout->addLayout(radios);

    m_filterCheck = new QCheckBox(
        tr("O&nly add the following file extensions for \"Add Folder\" and Drag/Drop"));
    m_filterEdit = new QLineEdit;
    layout->addWidget(m_filterCheck);
    layout->addWidget(m_filterEdit);
    layout->addWidget(wrappedLabel(tr("Note: use comma (,) to separate multiple extensions. For "
                                      "example: wav,mp3,m4a,aac")));

    connect(helpButton, &QToolButton::clicked, this, &GeneralPage::explainMono);
    connect(m_filterCheck, &QCheckBox::clicked, this, [this] {
        updateFilterEdit();
        if (m_filterEdit->isEnabled())
            m_filterEdit->setFocus();
    });
    return group;
}

void GeneralPage::load(const ConversionSettings& settings) {
    selectData(*m_folderBox, settings.DestOutputFolderOpt);
    selectData(*m_existsBox, settings.TargetExistsOpt);
    m_folderEdit->setText(QString::fromStdString(settings.DestSpecifiedFolder));
    m_createDirsCheck->setChecked(settings.CreateDirs != 0);
    m_browseWhenDoneCheck->setChecked(settings.BrowseOutputFolder != 0);
    m_myDocumentsCheck->setChecked(settings.OutputFiles2MyDocuments != 0);
    // A mono type outside the three radios leaves none chosen, as the stored value is kept.
    if (QAbstractButton* radio = m_monoGroup->button(settings.MonoType))
        radio->setChecked(true);
    m_filterCheck->setChecked(settings.EnableExtFilter != 0);
    m_filterEdit->setText(QString::fromStdString(settings.FilterExts));
    updateFolderControls();
    updateFilterEdit();
}

void GeneralPage::store(ConversionSettings& settings) const {
    settings.DestOutputFolderOpt = m_folderBox->currentData().toInt();
    settings.TargetExistsOpt = m_existsBox->currentData().toInt();
    settings.DestSpecifiedFolder = m_folderEdit->text().toStdString();
    settings.CreateDirs = m_createDirsCheck->isChecked() ? 1 : 0;
    settings.BrowseOutputFolder = m_browseWhenDoneCheck->isChecked() ? 1 : 0;
    settings.OutputFiles2MyDocuments = m_myDocumentsCheck->isChecked() ? 1 : 0;
    if (m_monoGroup->checkedId() >= 0)
        settings.MonoType = m_monoGroup->checkedId();
    settings.EnableExtFilter = m_filterCheck->isChecked() ? 1 : 0;
    settings.FilterExts = cleanFilterText(m_filterEdit->text()).toStdString();
}

bool GeneralPage::validateLeaving() {
    if (m_folderBox->currentData().toInt() == ConversionSettings::kCustomFolder &&
        m_folderEdit->text().isEmpty()) {
        showMessage(QMessageBox::Warning, tr("Please choose an output folder."));
        m_folderEdit->setFocus();
        return false;
    }
    m_filterEdit->setText(cleanFilterText(m_filterEdit->text()));
    if (m_filterCheck->isChecked() && m_filterEdit->text().isEmpty()) {
        showMessage(QMessageBox::Warning, tr("Please enter file extensions you need to filter."));
        m_filterEdit->setFocus();
        return false;
    }
    return true;
}

QString GeneralPage::cleanFilterText(const QString& text) {
    QString cleaned = text;
    cleaned.remove(QLatin1Char(' '));
    cleaned.remove(QLatin1Char('\t'));
    cleaned.replace(QLatin1Char(';'), QLatin1Char(','));
    return cleaned;
}

void GeneralPage::openFolder() {
    const QString folder = m_folderEdit->text();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        m_shell.openWithDefaultApplication(folder);
        return;
    }
    showMessage(QMessageBox::Warning,
                tr("The folder \"%1\" doesn't exist yet.\n\nNote: the program will create the "
                   "folder automatically when converting files.")
                    .arg(folder));
}

void GeneralPage::explainMono() {
    showMessage(QMessageBox::Information,
                tr("In general, the output sound equals to \"(L+R)/2,\" which contains left and "
                   "right channels.\n\n\"L channel\" means the program outputs left channel of "
                   "original stereo file. And \"R channel\" means right channel. It's very "
                   "useful when you want to convert a stereo file into two files that contains "
                   "left and right channels distinguishingly."));
}

void GeneralPage::browseFolder() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, tr("Please choose an output folder:"), m_folderEdit->text());
    if (chosen.isEmpty())
        return;
    // A browsed folder carries its trailing separator, as output naming expects it may.
    m_folderEdit->setText(chosen.endsWith(QLatin1Char('/')) ? chosen : chosen + QLatin1Char('/'));
}

void GeneralPage::updateFolderControls() {
    const bool custom = m_folderBox->currentData().toInt() == ConversionSettings::kCustomFolder;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             m_folderEdit, m_browseButton, m_openButton, m_createDirsCheck, m_createDirsExample})
        widget->setEnabled(custom);
}

void GeneralPage::updateFilterEdit() {
    m_filterEdit->setEnabled(m_filterCheck->isChecked());
}

void GeneralPage::selectData(QComboBox& box, int value) {
    // An unknown stored value selects the first entry, which store() then writes.
    const int index = box.findData(value);
    box.setCurrentIndex(index >= 0 ? index : 0);
}
