#include "ui/options/m4a_page.h"

#include "ui/widgets/tag_group.h"

using velmora::ConversionSettings;

M4aPage::M4aPage(QWidget* parent)
    : FaacPage({&ConversionSettings::AutoDestM4AEncodingParam, &ConversionSettings::M4AVBR,
                &ConversionSettings::M4AVBRQuality, &ConversionSettings::M4AABRBitRate,
                &ConversionSettings::M4AEnableTNS, &ConversionSettings::M4AEnableMidside,
                &ConversionSettings::M4ABlockType, &ConversionSettings::AmplifyM4A,
                &ConversionSettings::AmplifyM4ACoef},
               false, parent),
      m_tagGroup(new TagGroup(false)) {
    m_tagGroup->setTitle(tr("Tag"));
    insertExtraGroup(m_tagGroup);
}

void M4aPage::load(const ConversionSettings& settings) {
    FaacPage::load(settings);
    m_tagGroup->load(settings.M4AID3TagType, settings.M4ATag);
}

void M4aPage::store(ConversionSettings& settings) const {
    FaacPage::store(settings);
    settings.M4AID3TagType = m_tagGroup->tagType();
    settings.M4ATag = m_tagGroup->preset();
}
