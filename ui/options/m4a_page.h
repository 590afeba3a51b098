#pragma once

#include "ui/options/faac_page.h"

class TagGroup;

// The MP4 family outputs (M4A, MP4, M4B, M4R), with the tag choice; their tags have no
// copyright field.
class M4aPage : public FaacPage {
    Q_OBJECT
public:
    explicit M4aPage(QWidget* parent = nullptr);

    QString title() const override { return tr("MP4/M4A/M4B/M4R Options"); }
    void load(const velmora::ConversionSettings& settings) override;
    void store(velmora::ConversionSettings& settings) const override;

    TagGroup& tagGroup() const { return *m_tagGroup; }

private:
    TagGroup* m_tagGroup;
};
