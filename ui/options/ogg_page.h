#pragma once

#include "ui/options/options_page.h"

class AmplificationGroup;
class QButtonGroup;
class TagGroup;
class ValueList;

// OGG Vorbis encoding: presets, bit rate and rate kept within the encoder's limits for the
// channel choice, the tag choice and amplification.
class OggPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kAutoPreset = 392;
    static constexpr int kCustomPreset = 2440;

    explicit OggPage(QWidget* parent = nullptr);

    QString title() const override { return tr("OGG Options"); }
    void load(const velmora::ConversionSettings& settings) override;
    void store(velmora::ConversionSettings& settings) const override;
    bool validateLeaving() override;

    ValueList& presetList() const { return *m_presetList; }
    ValueList& bitRateList() const { return *m_bitRateList; }
    ValueList& sampleRateList() const { return *m_sampleRateList; }
    QButtonGroup& channelRadios() const { return *m_channelRadios; }
    TagGroup& tagGroup() const { return *m_tagGroup; }
    AmplificationGroup& amplification() const { return *m_amplification; }

private:
    QWidget* buildEncodingGroup();
    void fillLists();
    int matchingPreset() const;
    void onPresetChosen(int preset);
    void onListChosen();
    void onChannelClicked(int radio);
    // Brings the bit rate into the encoder's range for the rate and channels; false when a
    // list or the radio says "Same as original file", so that no limit applies.
    bool limitBitRate();
    void setDetailsEnabled(bool enabled);

    ValueList* m_presetList;
    ValueList* m_bitRateList;
    ValueList* m_sampleRateList;
    QButtonGroup* m_channelRadios;
    TagGroup* m_tagGroup;
    AmplificationGroup* m_amplification;
    int m_channelRadio = 0;
};
