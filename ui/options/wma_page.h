#pragma once

#include "ui/options/options_page.h"

namespace velmora {
class WmaFormatList;
}
class AmplificationGroup;
class TagGroup;
class ValueList;

// Windows Media encoding: "Auto" or one format of the runtime's catalogue, the tag choice and
// amplification. Without the runtime the list offers "Auto" alone.
class WmaPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kAutoEntry = -1;

    explicit WmaPage(const velmora::WmaFormatList& catalogue, QWidget* parent = nullptr);

    QString title() const override { return tr("WMA/WMV/ASF Options"); }
    void load(const velmora::ConversionSettings& settings) override;
    void store(velmora::ConversionSettings& settings) const override;
    bool validateLeaving() override;

    // The item values of the format entries are indices into the catalogue.
    ValueList& formatList() const { return *m_formatList; }
    TagGroup& tagGroup() const { return *m_tagGroup; }

private:
    void fillFormats();
    int matchingEntry(const velmora::ConversionSettings& settings) const;

    const velmora::WmaFormatList& m_catalogue;
    ValueList* m_formatList;
    TagGroup* m_tagGroup;
    AmplificationGroup* m_amplification;
};
