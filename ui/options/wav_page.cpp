#include "ui/options/wav_page.h"

#include "ui/widgets/amplification_group.h"
#include "ui/widgets/value_list.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

using velmora::ConversionSettings;

namespace {

constexpr int kSameAsSource = 0;
constexpr int kMaximumCoefficient = 3000; // percent
constexpr int kSampleRates[] = {6000,  8000,  11025, 12000, 16000, 22050,
                                24000, 32000, 44100, 48000, 88200, 96000}; // Hz

enum ChannelRadio { kStereo, kMono, kSameChannels };

struct Preset {
    int value; // item value in the preset list
    int bits;
    int sampleRate;
    int channelRadio;
};

constexpr Preset kPresets[] = {
    {665, 8, 11025, kMono},
    {921, 16, 22050, kStereo},
    {1177, 16, 32000, kStereo},
    {1433, 16, 44100, kStereo},
};

} // namespace

WavPage::WavPage(QWidget* parent)
    : OptionsPage(parent), m_presetList(new ValueList), m_bitsList(new ValueList),
      m_sampleRateList(new ValueList), m_channelRadios(new QButtonGroup(this)),
      m_amplification(new AmplificationGroup(kMaximumCoefficient)) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildEncodingGroup());
    layout->addWidget(m_amplification);
    layout->addStretch(1);
    fillLists();
    connect(m_presetList, &ValueList::valueChosen, this, &WavPage::onPresetChosen);
    connect(m_bitsList, &ValueList::valueChosen, this, &WavPage::onDetailChanged);
    connect(m_sampleRateList, &ValueList::valueChosen, this, &WavPage::onDetailChanged);
    connect(m_channelRadios, &QButtonGroup::idClicked, this, &WavPage::onDetailChanged);
}

QWidget* WavPage::buildEncodingGroup() {
    auto* group = new QGroupBox(tr("Encoding"));
    auto* form = new QFormLayout(group);
    form->addRow(tr("&Encoding Options:"), m_presetList);
    form->addRow(tr("&Bits:"), m_bitsList);
    form->addRow(tr("Sample &Frequency:"), m_sampleRateList);
    auto* radios = new QHBoxLayout;
    addRadios(*m_channelRadios, *radios,
              {tr("&Stereo"), tr("&Mono"), tr("Same as &original file")});
    radios->addStretch(1);
    form->addRow(tr("Channels:"), radios);
    return group;
}

void WavPage::fillLists() {
    m_presetList->addValue(tr("Auto"), kAutoPreset);
    m_presetList->addValue(tr("11025 Hz, 8 bits, Mono (low quality, smaller file size)"), 665);
    m_presetList->addValue(tr("22050 Hz, 16 bits, Stereo (OK quality, small size)"), 921);
    m_presetList->addValue(tr("32000 Hz, 16 bits, Stereo (medium quality, normal size)"), 1177);
    m_presetList->addValue(tr("44100Hz, 16 bits, Stereo (high quality, large size)"), 1433);
    m_presetList->addValue(tr("Custom"), kCustomPreset);
    m_bitsList->addValue(tr("8 bits"), 8);
    m_bitsList->addValue(tr("16 bits"), 16);
    m_bitsList->addValue(tr("Same as original file"), kSameAsSource);
    for (const int rate : kSampleRates)
        m_sampleRateList->addValue(tr("%1 Hz").arg(rate), rate);
    m_sampleRateList->addValue(tr("Same as original file"), kSameAsSource);
}

int WavPage::channelRadioOf(int channels) {
    return channels == 2 ? kStereo : channels == 1 ? kMono : kSameChannels;
}

int WavPage::channelsOf(int channelRadio) {
    constexpr int kChannels[] = {2, 1, 0};
    return kChannels[std::clamp(channelRadio, 0, 2)];
}

void WavPage::load(const ConversionSettings& settings) {
    m_bitsList->selectValueOrFirst(settings.WAVBitsPerSample);
    m_sampleRateList->selectValueOrFirst(settings.WAVSampleRate);
    m_channelRadios->button(channelRadioOf(settings.WAVChannelNum))->setChecked(true);
    m_presetList->selectValue(settings.AutoDestWAVEncodingParam != 0 ? kAutoPreset
                                                                     : matchingPreset());
    setDetailsEnabled(settings.AutoDestWAVEncodingParam == 0);
    m_amplification->load(settings.AmplifyWav, settings.AmplifyWavCoeff);
}

void WavPage::store(ConversionSettings& settings) const {
    const bool isAuto = m_presetList->value() == kAutoPreset;
    settings.AutoDestWAVEncodingParam = isAuto ? 1 : 0;
    // With Auto the explicit values stay as they were, to come back when Auto is left.
    if (!isAuto) {
        settings.WAVBitsPerSample = m_bitsList->value();
        settings.WAVSampleRate = m_sampleRateList->value();
        settings.WAVChannelNum = channelsOf(m_channelRadios->checkedId());
    }
    settings.AmplifyWav = m_amplification->amplify();
    settings.AmplifyWavCoeff = m_amplification->coefficient();
}

bool WavPage::validateLeaving() {
    return checkAmplification(*m_amplification);
}

int WavPage::matchingPreset() const {
    for (const Preset& preset : kPresets) {
        if (preset.bits == m_bitsList->value() && preset.sampleRate == m_sampleRateList->value() &&
            preset.channelRadio == m_channelRadios->checkedId())
            return preset.value;
    }
    return kCustomPreset;
}

void WavPage::onPresetChosen(int value) {
    setDetailsEnabled(value != kAutoPreset);
    for (const Preset& preset : kPresets) {
        if (preset.value != value)
            continue;
        m_bitsList->selectValue(preset.bits);
        m_sampleRateList->selectValue(preset.sampleRate);
        m_channelRadios->button(preset.channelRadio)->setChecked(true);
    }
}

void WavPage::onDetailChanged() {
    m_presetList->selectValue(kCustomPreset);
}

void WavPage::setDetailsEnabled(bool enabled) {
    m_bitsList->setEnabled(enabled);
    m_sampleRateList->setEnabled(enabled);
    for (QAbstractButton* radio : m_channelRadios->buttons())
        radio->setEnabled(enabled);
}
