#include "ui/widgets/tag_group.h"

#include "ui/dialogs/tag_editor_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QPushButton>
#include <QRadioButton>

namespace {

constexpr int kAddPreset = 0;

} // namespace

TagGroup::TagGroup(bool showCopyright, QWidget* parent)
    : QGroupBox(parent), m_showCopyright(showCopyright), m_radios(new QButtonGroup(this)),
      m_editButton(new QPushButton(tr("Edit ID3 &tag"))) {
    auto* layout = new QGridLayout(this);
    const QString texts[] = {tr("Add &ID3 tag"), tr("T&ransfer ID3 tag from source file"),
                             tr("&None")};
    for (int id = 0; id < 3; ++id) {
        auto* radio = new QRadioButton(texts[id]);
        m_radios->addButton(radio, id);
        layout->addWidget(radio, id, 0);
    }
    layout->addWidget(m_editButton, 0, 1, Qt::AlignLeft);
    layout->setColumnStretch(1, 1);
    connect(m_editButton, &QPushButton::clicked, this, &TagGroup::editTags);
    connect(m_radios, &QButtonGroup::idClicked, this, [this](int id) {
        updateEditButton();
        emit tagTypeChanged(id);
    });
}

void TagGroup::load(int tagType, const velmora::TagPreset& preset) {
    m_loadedType = tagType;
    m_preset = preset;
    if (QAbstractButton* radio = m_radios->button(tagType))
        radio->setChecked(true);
    updateEditButton();
}

int TagGroup::tagType() const {
    return m_radios->checkedId() >= 0 ? m_radios->checkedId() : m_loadedType;
}

void TagGroup::editTags() {
    TagEditorDialog dialog(m_preset, m_showCopyright, this);
    if (dialog.exec() == QDialog::Accepted)
        m_preset = dialog.preset();
}

void TagGroup::updateEditButton() {
    m_editButton->setEnabled(m_radios->checkedId() == kAddPreset);
}
