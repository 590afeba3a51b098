#include "ui/options/mp3_page.h"

#include "engine/encoder_policy.h"
#include "ui/main/help_actions.h"
#include "ui/main/shell_actions.h"
#include "ui/widgets/amplification_group.h"
#include "ui/widgets/tag_group.h"
#include "ui/widgets/value_list.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

using velmora::ConversionSettings;
using velmora::EncoderPolicy;

namespace {

constexpr int kSameAsSource = 0;
constexpr int kMaximumCoefficient = 3000; // percent

enum ChannelRadio { kJointStereo, kStereo, kMono, kSameChannels };

struct Preset {
    int value; // item value in the preset list
    int bitRate;
    int sampleRate;
    int channelRadio;
};

constexpr Preset kPresets[] = {
    {648, 16, 11025, kMono},
    {904, 32, 22050, kJointStereo},
    {1160, 96, 32000, kJointStereo},
    {1416, 128, 44100, kJointStereo},
};

const Preset* presetOf(int value) {
    for (const Preset& preset : kPresets) {
        if (preset.value == value)
            return &preset;
    }
    return nullptr;
}

const QString kJointStereoHelp = QStringLiteral("%1help/joint-stereo.html");
const QString kEncoderSite = QStringLiteral("https://lame.sourceforge.io/");

} // namespace

Mp3Page::Mp3Page(ShellActions& shell, QWidget* parent)
    : OptionsPage(parent), m_shell(shell), m_presetList(new ValueList),
      m_bitRateList(new ValueList), m_sampleRateList(new ValueList),
      m_channelRadios(new QButtonGroup(this)), m_versionRadios(new QButtonGroup(this)),
      m_tagGroup(new TagGroup(true)), m_amplification(new AmplificationGroup(kMaximumCoefficient)) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildEncodingGroup());
    layout->addWidget(buildTagRow());
    layout->addWidget(m_amplification);
    layout->addWidget(buildLinks());
    layout->addStretch(1);
    fillLists();

    connect(m_presetList, &ValueList::valueChosen, this, &Mp3Page::onPresetChosen);
    connect(m_bitRateList, &ValueList::valueChosen, this, &Mp3Page::onBitRateChosen);
    connect(m_sampleRateList, &ValueList::valueChosen, this, &Mp3Page::onSampleRateChosen);
    connect(m_channelRadios, &QButtonGroup::idClicked, this, &Mp3Page::onChannelClicked);
    connect(m_tagGroup, &TagGroup::tagTypeChanged, this, &Mp3Page::updateVersionRadios);
}

QWidget* Mp3Page::buildEncodingGroup() {
    auto* group = new QGroupBox(tr("Encoding"));
    auto* form = new QFormLayout(group);
    form->addRow(tr("&Encoding Options:"), m_presetList);
    form->addRow(tr("&Bit Rate:"), m_bitRateList);
    form->addRow(tr("Sample &Frequency:"), m_sampleRateList);
    auto* radios = new QHBoxLayout;
    addRadios(*m_channelRadios, *radios,
              {tr("&Joint Stereo"), tr("&Stereo"), tr("&Mono"), tr("Same as &original file")});
    radios->addStretch(1);
    form->addRow(tr("Channels:"), radios);
    return group;
}

QWidget* Mp3Page::buildTagRow() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tagGroup->setTitle(tr("ID3 tag"));
    layout->addWidget(m_tagGroup, 1);
    auto* versions = new QGroupBox(tr("ID3 version"));
    auto* versionLayout = new QVBoxLayout(versions);
    addRadios(*m_versionRadios, *versionLayout,
              {tr("ID3v&1"), tr("ID3v&2"), tr("I&D3v1 && ID3v2")});
    layout->addWidget(versions);
    return row;
}

QWidget* Mp3Page::buildLinks() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto link = [this](const QString& text, const QString& url) {
        auto* label =
            new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(url, text.toHtmlEscaped()));
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(label, &QLabel::linkActivated, this,
                [this](const QString& address) { m_shell.openUrl(address); });
        return label;
    };
    layout->addWidget(link(tr("Joint Stereo vs. Stereo"),
                           kJointStereoHelp.arg(QLatin1String(HelpActions::kHomepage))));
    layout->addStretch(1);
    layout->addWidget(link(tr("The program uses LAME MP3 encoder."), kEncoderSite));
    return row;
}

void Mp3Page::fillLists() {
    m_presetList->addValue(tr("Auto"), kAutoPreset);
    m_presetList->addValue(tr("11025 Hz, 16 kbps, Mono (low quality, smaller file size)"), 648);
    m_presetList->addValue(tr("22050 Hz, 32 kbps, Joint Stereo (OK quality, small size)"), 904);
    m_presetList->addValue(tr("32000 Hz, 96 kbps, Joint Stereo (medium quality, normal size)"),
                           1160);
    m_presetList->addValue(tr("44100Hz, 128 kbps, Joint Stereo (close to CD-quality, large size)"),
                           1416);
    m_presetList->addValue(tr("Custom"), kCustomPreset);
    for (const int bitRate : EncoderPolicy::mp3BitRates())
        m_bitRateList->addValue(tr("%1 kbps").arg(bitRate), bitRate);
    m_bitRateList->addValue(tr("Same as original file"), kSameAsSource);
    for (const int rate : EncoderPolicy::mp3SampleRates())
        m_sampleRateList->addValue(tr("%1 Hz").arg(rate), rate);
    m_sampleRateList->addValue(tr("Same as original file"), kSameAsSource);
}

int Mp3Page::channelRadioOf(int channelMode) {
    switch (channelMode) {
    case 1:
        return kJointStereo;
    case 0:
        return kStereo;
    case 3:
        return kMono;
    default:
        return kSameChannels;
    }
}

int Mp3Page::channelModeOf(int channelRadio) {
    constexpr int kModes[] = {1, 0, 3, 4};
    return kModes[std::clamp(channelRadio, 0, 3)];
}

void Mp3Page::load(const ConversionSettings& settings) {
    m_bitRateList->selectValueOrFirst(settings.MP3BitRate);
    m_sampleRateList->selectValueOrFirst(settings.MP3SampleRate);
    m_bitRate = m_bitRateList->value();
    m_sampleRate = m_sampleRateList->value();
    m_channelRadio = channelRadioOf(settings.MP3ChannelMode);
    m_channelRadios->button(m_channelRadio)->setChecked(true);
    m_presetList->selectValue(settings.AutoDestMP3EncodingParam != 0 ? kAutoPreset
                                                                     : matchingPreset());
    setDetailsEnabled(settings.AutoDestMP3EncodingParam == 0);
    m_tagGroup->load(settings.MP3ID3TagType, settings.MP3Tag);
    m_loadedVersion = settings.MP3WriteID3Version;
    if (QAbstractButton* radio = m_versionRadios->button(settings.MP3WriteID3Version))
        radio->setChecked(true);
    updateVersionRadios();
    m_amplification->load(settings.AmplifyMp3, settings.AmplifyMp3Coeff);
}

void Mp3Page::store(ConversionSettings& settings) const {
    const bool isAuto = m_presetList->value() == kAutoPreset;
    settings.AutoDestMP3EncodingParam = isAuto ? 1 : 0;
    // With Auto the explicit values stay as they were, to come back when Auto is left.
    if (!isAuto) {
        settings.MP3BitRate = m_bitRateList->value();
        settings.MP3SampleRate = m_sampleRateList->value();
        settings.MP3ChannelMode = channelModeOf(m_channelRadios->checkedId());
    }
    settings.MP3ID3TagType = m_tagGroup->tagType();
    settings.MP3Tag = m_tagGroup->preset();
    settings.MP3WriteID3Version =
        m_versionRadios->checkedId() >= 0 ? m_versionRadios->checkedId() : m_loadedVersion;
    settings.AmplifyMp3 = m_amplification->amplify();
    settings.AmplifyMp3Coeff = m_amplification->coefficient();
}

bool Mp3Page::validateLeaving() {
    return checkAmplification(*m_amplification);
}

int Mp3Page::matchingPreset() const {
    for (const Preset& preset : kPresets) {
        if (preset.bitRate == m_bitRate && preset.sampleRate == m_sampleRate &&
            preset.channelRadio == m_channelRadio)
            return preset.value;
    }
    return kCustomPreset;
}

void Mp3Page::onPresetChosen(int value) {
    setDetailsEnabled(value != kAutoPreset);
    const Preset* preset = presetOf(value);
    if (preset == nullptr)
        return;
    m_bitRate = preset->bitRate;
    m_sampleRate = preset->sampleRate;
    m_channelRadio = preset->channelRadio;
    m_bitRateList->selectValue(m_bitRate);
    m_sampleRateList->selectValue(m_sampleRate);
    m_channelRadios->button(m_channelRadio)->setChecked(true);
}

void Mp3Page::onBitRateChosen(int bitRate) {
    if (bitRate == m_bitRate || bitRate == kSameAsSource ||
        m_sampleRateList->value() == kSameAsSource)
        return;
    m_sampleRate = EncoderPolicy::limitMp3SampleRate(m_sampleRateList->value(), bitRate);
    m_sampleRateList->selectValue(m_sampleRate);
    m_bitRate = bitRate;
    m_presetList->selectValue(kCustomPreset);
}

void Mp3Page::onSampleRateChosen(int sampleRate) {
    if (sampleRate == m_sampleRate || sampleRate == kSameAsSource ||
        m_bitRateList->value() == kSameAsSource)
        return;
    m_bitRate = EncoderPolicy::limitMp3BitRate(m_bitRateList->value(), sampleRate);
    m_bitRateList->selectValue(m_bitRate);
    m_sampleRate = sampleRate;
    m_presetList->selectValue(kCustomPreset);
}

void Mp3Page::onChannelClicked(int radio) {
    if (radio == m_channelRadio)
        return;
    m_channelRadio = radio;
    m_presetList->selectValue(kCustomPreset);
}

void Mp3Page::setDetailsEnabled(bool enabled) {
    m_bitRateList->setEnabled(enabled);
    m_sampleRateList->setEnabled(enabled);
    for (QAbstractButton* radio : m_channelRadios->buttons())
        radio->setEnabled(enabled);
}

void Mp3Page::updateVersionRadios() {
    constexpr int kNoTag = 2;
    const bool tagged = m_tagGroup->tagType() != kNoTag;
    for (QAbstractButton* radio : m_versionRadios->buttons())
        radio->setEnabled(tagged);
}
