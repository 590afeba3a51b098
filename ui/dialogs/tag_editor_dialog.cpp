#include "ui/dialogs/tag_editor_dialog.h"

#include "platform/genre_list.h"
#include "ui/widgets/bounded_step_spin_box.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

using velmora::TagPreset;

namespace {

constexpr int kLargestTrackNumber = 255;
constexpr int kLargestTypable = 999;

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

TagEditorDialog::TagEditorDialog(const TagPreset& preset, bool showCopyright, QWidget* parent)
    : QDialog(parent), m_preset(preset) {
    setWindowTitle(tr("Edit ID3 Tag"));
    auto* grid = new QGridLayout;
    buildTextFields(*grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buildTrackGroup());
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TagEditorDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TagEditorDialog::reject);

    m_copyrightLabel->setVisible(showCopyright);
    m_texts[Copyright]->setVisible(showCopyright);
    updateTitleEdit();
    updateTrackNumber();
}

void TagEditorDialog::buildTextFields(QGridLayout& grid) {
    const QString labels[kTextFieldCount] = {tr("T&itle:"),    tr("&Artist:"),  tr("Albu&m:"),
                                             tr("&Year:"),     tr("&Comment:"), tr("C&omposer:"),
                                             tr("Co&pyright:")};
    const std::string* values[kTextFieldCount] = {
        &m_preset.Title,   &m_preset.Artist,   &m_preset.Album,    &m_preset.Year,
        &m_preset.Comment, &m_preset.Composer, &m_preset.Copyright};

    m_fileNameCheck = new QCheckBox(tr("Nam&e as file name (not include extension)"));
    m_fileNameCheck->setChecked(m_preset.TitleAsFileName == 1);
    connect(m_fileNameCheck, &QCheckBox::clicked, this, [this] {
        updateTitleEdit();
        if (m_texts[Title]->isEnabled())
            m_texts[Title]->setFocus();
    });

    m_genreBox = new QComboBox;
    m_genreBox->setEditable(true);
    m_genreBox->setInsertPolicy(QComboBox::NoInsert);
    QStringList genres;
    for (const std::string_view name : velmora::GenreList::names())
        genres << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    genres.sort(Qt::CaseInsensitive);
    m_genreBox->addItems(genres);
    m_genreBox->setEditText(fromStd(m_preset.Genre));

    int row = 0;
    for (int field = 0; field < kTextFieldCount; ++field) {
        m_texts[field] = new QLineEdit(fromStd(*values[field]));
        auto* label = new QLabel(labels[field]);
        label->setBuddy(m_texts[field]);
        grid.addWidget(label, row, 0);
        grid.addWidget(m_texts[field], row, 1);
        ++row;
        if (field == Title) {
            grid.addWidget(m_fileNameCheck, row++, 1);
        } else if (field == Year) {
            auto* genreLabel = new QLabel(tr("&Genre:"));
            genreLabel->setBuddy(m_genreBox);
            grid.addWidget(genreLabel, row, 0);
            grid.addWidget(m_genreBox, row++, 1);
        }
        if (field == Copyright)
            m_copyrightLabel = label;
    }
    grid.setColumnStretch(1, 1);
}

QWidget* TagEditorDialog::buildTrackGroup() {
    auto* group = new QGroupBox(tr("&Track #:"));
    auto* layout = new QHBoxLayout(group);
    m_trackGroup = new QButtonGroup(this);
    const QString texts[] = {tr("&None"), tr("&Sequence number in list"), tr("C&ustom")};
    for (int id = 0; id < 3; ++id) {
        auto* radio = new QRadioButton(texts[id]);
        m_trackGroup->addButton(radio, id);
        layout->addWidget(radio);
    }
    // Digits only; numbers up to 999 stay typable so that OK can say what is wrong.
    m_trackNumber = new BoundedStepSpinBox(0, kLargestTrackNumber, 1, kLargestTypable);
    m_trackNumber->setValue(std::clamp(m_preset.CustomTrackNum, 0, kLargestTrackNumber));
    layout->addWidget(m_trackNumber);
    layout->addStretch(1);

    const int type = m_preset.TrackNumType;
    m_trackGroup->button(type >= 0 && type <= 2 ? type : 0)->setChecked(true);
    connect(m_trackGroup, &QButtonGroup::idClicked, this, [this] {
        updateTrackNumber();
        if (m_trackNumber->isEnabled())
            m_trackNumber->setFocus();
    });
    return group;
}

QLineEdit& TagEditorDialog::trackNumberEdit() const {
    return m_trackNumber->textEdit();
}

bool TagEditorDialog::copyrightShown() const {
    return !m_texts[Copyright]->isHidden();
}

TagPreset TagEditorDialog::preset() const {
    TagPreset preset = m_preset;
    std::string* values[kTextFieldCount] = {&preset.Title,    &preset.Artist,  &preset.Album,
                                            &preset.Year,     &preset.Comment, &preset.Composer,
                                            &preset.Copyright};
    for (int field = 0; field < kTextFieldCount; ++field)
        *values[field] = m_texts[field]->text().toStdString();
    preset.Genre = m_genreBox->currentText().toStdString();
    preset.TitleAsFileName = m_fileNameCheck->isChecked() ? 1 : 0;
    preset.TrackNumType = std::max(m_trackGroup->checkedId(), 0);
    preset.CustomTrackNum = trackNumberEdit().text().toInt();
    return preset;
}

void TagEditorDialog::accept() {
    if (const QString problem = trackNumberProblem(); !problem.isEmpty()) {
        if (m_presenter) {
            m_presenter(QMessageBox::Warning, problem);
        } else {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora"), problem,
                            QMessageBox::Ok, this);
            box.exec();
        }
        m_trackNumber->setFocus();
        return;
    }
    QDialog::accept();
}

QString TagEditorDialog::trackNumberProblem() const {
    // Checked whatever radio is chosen: the number is stored in any case.
    bool isNumber = false;
    const QString text = trackNumberEdit().text();
    const int number = text.toInt(&isNumber);
    if (!isNumber)
        return tr("Please enter an integer.");
    if (number < 0 || number > kLargestTrackNumber)
        return tr("Please enter an integer between 0 and %1.").arg(kLargestTrackNumber);
    return {};
}

void TagEditorDialog::updateTitleEdit() {
    m_texts[Title]->setEnabled(!m_fileNameCheck->isChecked());
}

void TagEditorDialog::updateTrackNumber() {
    m_trackNumber->setEnabled(m_trackGroup->checkedId() == 2);
}
