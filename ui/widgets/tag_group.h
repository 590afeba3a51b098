#pragma once

#include "engine/tag_preset.h"

#include <QGroupBox>

class QButtonGroup;
class QPushButton;

// The tag choice of a tagged format: add the page's own preset (0), transfer the source's tags
// (1) or none (2), with "Edit ID3 tag" opening the tag editor on the page's copy of the preset.
class TagGroup : public QGroupBox {
    Q_OBJECT
public:
    TagGroup(bool showCopyright, QWidget* parent = nullptr);

    void load(int tagType, const velmora::TagPreset& preset);
    // The stored type stays as it was when no radio matched it.
    int tagType() const;
    const velmora::TagPreset& preset() const { return m_preset; }
    void setPreset(const velmora::TagPreset& preset) { m_preset = preset; }

    QButtonGroup& radios() const { return *m_radios; }
    QPushButton& editButton() const { return *m_editButton; }

signals:
    void tagTypeChanged(int tagType);

private:
    void editTags();
    void updateEditButton();

    bool m_showCopyright;
    int m_loadedType = 1;
    velmora::TagPreset m_preset;
    QButtonGroup* m_radios;
    QPushButton* m_editButton;
};
