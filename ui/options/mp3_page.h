#pragma once

#include "ui/options/options_page.h"

class AmplificationGroup;
class QButtonGroup;
class ShellActions;
class TagGroup;
class ValueList;

// MP3 encoding: a preset list that fills the bit rate, rate and channel controls, the tag
// choice with its ID3 version, and amplification.
class Mp3Page : public OptionsPage {
    Q_OBJECT
public:
    // Item values of the preset list.
    static constexpr int kAutoPreset = 392;
    static constexpr int kCustomPreset = 2440;

    explicit Mp3Page(ShellActions& shell, QWidget* parent = nullptr);

    QString title() const override { return tr("MP3 Options"); }
    void load(const velmora::ConversionSettings& settings) override;
    void store(velmora::ConversionSettings& settings) const override;
    bool validateLeaving() override;

    // "MP3ChannelMode" and the page's channel radio, both ways.
    static int channelRadioOf(int channelMode);
    static int channelModeOf(int channelRadio);

    ValueList& presetList() const { return *m_presetList; }
    ValueList& bitRateList() const { return *m_bitRateList; }
    ValueList& sampleRateList() const { return *m_sampleRateList; }
    QButtonGroup& channelRadios() const { return *m_channelRadios; }
    QButtonGroup& versionRadios() const { return *m_versionRadios; }
    TagGroup& tagGroup() const { return *m_tagGroup; }
    AmplificationGroup& amplification() const { return *m_amplification; }

private:
    QWidget* buildEncodingGroup();
    QWidget* buildTagRow();
    QWidget* buildLinks();
    void fillLists();
    int matchingPreset() const;
    void onPresetChosen(int preset);
    void onBitRateChosen(int bitRate);
    void onSampleRateChosen(int sampleRate);
    void onChannelClicked(int radio);
    void setDetailsEnabled(bool enabled);
    void updateVersionRadios();

    ShellActions& m_shell;
    ValueList* m_presetList;
    ValueList* m_bitRateList;
    ValueList* m_sampleRateList;
    QButtonGroup* m_channelRadios;
    QButtonGroup* m_versionRadios;
    TagGroup* m_tagGroup;
    AmplificationGroup* m_amplification;
    int m_bitRate = 0;    // kbit/s, as last chosen
    int m_sampleRate = 0; // Hz, as last chosen
    int m_channelRadio = 0;
    int m_loadedVersion = 1;
};
