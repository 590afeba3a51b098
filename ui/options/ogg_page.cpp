#include "ui/options/ogg_page.h"

#include "engine/encoder_policy.h"
#include "ui/options/wav_page.h"
#include "ui/widgets/amplification_group.h"
#include "ui/widgets/tag_group.h"
#include "ui/widgets/value_list.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

using velmora::ConversionSettings;
using velmora::EncoderPolicy;

namespace {

constexpr int kSameAsSource = 0;
constexpr int kMaximumCoefficient = 3000; // percent

enum ChannelRadio { kStereo, kMono, kSameChannels };

struct Preset {
    int value; // item value in the preset list
    int bitRate;
    int sampleRate;
    int channelRadio;
};

constexpr Preset kPresets[] = {
    {776, 16, 11025, kMono},
    {792, 32, 22050, kStereo},
    {808, 96, 32000, kStereo},
    {824, 128, 44100, kStereo},
};

} // namespace

OggPage::OggPage(QWidget* parent)
    : OptionsPage(parent), m_presetList(new ValueList), m_bitRateList(new ValueList),
      m_sampleRateList(new ValueList), m_channelRadios(new QButtonGroup(this)),
      m_tagGroup(new TagGroup(true)), m_amplification(new AmplificationGroup(kMaximumCoefficient)) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildEncodingGroup());
    m_tagGroup->setTitle(tr("Tag"));
    layout->addWidget(m_tagGroup);
    layout->addWidget(m_amplification);
    layout->addStretch(1);
    fillLists();
    connect(m_presetList, &ValueList::valueChosen, this, &OggPage::onPresetChosen);
    connect(m_bitRateList, &ValueList::valueChosen, this, &OggPage::onListChosen);
    connect(m_sampleRateList, &ValueList::valueChosen, this, &OggPage::onListChosen);
    connect(m_channelRadios, &QButtonGroup::idClicked, this, &OggPage::onChannelClicked);
}

QWidget* OggPage::buildEncodingGroup() {
    auto* group = new QGroupBox(tr("Encoding"));
    auto* form = new QFormLayout(group);
    form->addRow(tr("&Encoding Options:"), m_presetList);
    form->addRow(tr("&Bit Rate:"), m_bitRateList);
    form->addRow(tr("Sample &Frequency:"), m_sampleRateList);
    auto* radios = new QHBoxLayout;
    addRadios(*m_channelRadios, *radios,
              {tr("&Stereo"), tr("&Mono"), tr("Same as &original file")});
    radios->addStretch(1);
    form->addRow(tr("Channels:"), radios);
    return group;
}

void OggPage::fillLists() {
    m_presetList->addValue(tr("Auto"), kAutoPreset);
    m_presetList->addValue(tr("11025 Hz, 16 kbps, Mono (low quality, smaller size)"), 776);
    m_presetList->addValue(tr("22050 Hz, 32 kbps, Stereo (OK quality, small size)"), 792);
    m_presetList->addValue(tr("32000 Hz, 96 kbps, Stereo (medium quality, normal size)"), 808);
    m_presetList->addValue(tr("44100Hz, 128 kbps, Stereo (close to CD-quality, large size)"), 824);
    m_presetList->addValue(tr("Custom"), kCustomPreset);
    for (const int bitRate : EncoderPolicy::oggBitRates())
        m_bitRateList->addValue(tr("%1 kbps").arg(bitRate), bitRate);
    m_bitRateList->addValue(tr("Same as original file"), kSameAsSource);
    for (const int rate : EncoderPolicy::oggSampleRates())
        m_sampleRateList->addValue(tr("%1 Hz").arg(rate), rate);
    m_sampleRateList->addValue(tr("Same as original file"), kSameAsSource);
}

void OggPage::load(const ConversionSettings& settings) {
    m_bitRateList->selectValueOrFirst(settings.OGGBitRate);
    m_sampleRateList->selectValueOrFirst(settings.OGGSampleRate);
    m_channelRadio = WavPage::channelRadioOf(settings.OGGChannels);
    m_channelRadios->button(m_channelRadio)->setChecked(true);
    m_presetList->selectValue(settings.AutoDestOGGEncodingParam != 0 ? kAutoPreset
                                                                     : matchingPreset());
    setDetailsEnabled(settings.AutoDestOGGEncodingParam == 0);
    m_tagGroup->load(settings.OGGID3TagType, settings.OGGTag);
    m_amplification->load(settings.AmplifyOGG, settings.AmplifyOGGCoeff);
}

void OggPage::store(ConversionSettings& settings) const {
    const bool isAuto = m_presetList->value() == kAutoPreset;
    settings.AutoDestOGGEncodingParam = isAuto ? 1 : 0;
    // With Auto the explicit values stay as they were, to come back when Auto is left.
    if (!isAuto) {
        settings.OGGBitRate = m_bitRateList->value();
        settings.OGGSampleRate = m_sampleRateList->value();
        settings.OGGChannels = WavPage::channelsOf(m_channelRadios->checkedId());
    }
    settings.OGGID3TagType = m_tagGroup->tagType();
    settings.OGGTag = m_tagGroup->preset();
    settings.AmplifyOGG = m_amplification->amplify();
    settings.AmplifyOGGCoeff = m_amplification->coefficient();
}

bool OggPage::validateLeaving() {
    return checkAmplification(*m_amplification);
}

int OggPage::matchingPreset() const {
    for (const Preset& preset : kPresets) {
        if (preset.bitRate == m_bitRateList->value() &&
            preset.sampleRate == m_sampleRateList->value() && preset.channelRadio == m_channelRadio)
            return preset.value;
    }
    return kCustomPreset;
}

void OggPage::onPresetChosen(int value) {
    setDetailsEnabled(value != kAutoPreset);
    for (const Preset& preset : kPresets) {
        if (preset.value != value)
            continue;
        m_bitRateList->selectValue(preset.bitRate);
        m_sampleRateList->selectValue(preset.sampleRate);
        m_channelRadio = preset.channelRadio;
        m_channelRadios->button(m_channelRadio)->setChecked(true);
    }
}

bool OggPage::limitBitRate() {
    const int bitRate = m_bitRateList->value();
    const int rate = m_sampleRateList->value();
    const int radio = m_channelRadios->checkedId();
    if (bitRate == kSameAsSource || rate == kSameAsSource || radio == kSameChannels)
        return false;
    const auto range = EncoderPolicy::oggBitRateRange(rate, radio == kMono ? 1 : 2);
    m_bitRateList->selectValue(std::clamp(bitRate, range.minimum, range.maximum));
    return true;
}

void OggPage::onListChosen() {
    if (limitBitRate())
        m_presetList->selectValue(kCustomPreset);
}

void OggPage::onChannelClicked(int radio) {
    limitBitRate();
    if (radio == m_channelRadio)
        return;
    m_channelRadio = radio;
    m_presetList->selectValue(kCustomPreset);
}

void OggPage::setDetailsEnabled(bool enabled) {
    m_bitRateList->setEnabled(enabled);
    m_sampleRateList->setEnabled(enabled);
    for (QAbstractButton* radio : m_channelRadios->buttons())
        radio->setEnabled(enabled);
}
