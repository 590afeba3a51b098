#pragma once

#include "ui/options/options_page.h"

class AmplificationGroup;
class QButtonGroup;
class ValueList;

// WAV encoding: a preset list that fills the bits, rate and channel controls, and
// amplification.
class WavPage : public OptionsPage {
    Q_OBJECT
public:
    static constexpr int kAutoPreset = 409;
    static constexpr int kCustomPreset = 2457;

    explicit WavPage(QWidget* parent = nullptr);

    QString title() const override { return tr("WAV Options"); }
    void load(const velmora::ConversionSettings& settings) override;
    void store(velmora::ConversionSettings& settings) const override;
    bool validateLeaving() override;

    // "WAVChannelNum" (also "OGGChannels") and a Stereo/Mono/Same radio, both ways.
    static int channelRadioOf(int channels);
    static int channelsOf(int channelRadio);

    ValueList& presetList() const { return *m_presetList; }
    ValueList& bitsList() const { return *m_bitsList; }
    ValueList& sampleRateList() const { return *m_sampleRateList; }
    QButtonGroup& channelRadios() const { return *m_channelRadios; }
    AmplificationGroup& amplification() const { return *m_amplification; }

private:
    QWidget* buildEncodingGroup();
    void fillLists();
    int matchingPreset() const;
    void onPresetChosen(int preset);
    void onDetailChanged();
    void setDetailsEnabled(bool enabled);

    ValueList* m_presetList;
    ValueList* m_bitsList;
    ValueList* m_sampleRateList;
    QButtonGroup* m_channelRadios;
    AmplificationGroup* m_amplification;
};
