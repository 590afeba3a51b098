#include "ui/options/wma_page.h"

#include "ui/widgets/amplification_group.h"
#include "ui/widgets/tag_group.h"
#include "ui/widgets/value_list.h"
#include "writers/wma_format_list.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

using velmora::ConversionSettings;

namespace {

constexpr int kMaximumCoefficient = 3000;              // percent
constexpr std::uint32_t kSmallestListedBitRate = 1000; // bit/s
constexpr int kBitsPerKilobit = 1000;

} // namespace

WmaPage::WmaPage(const velmora::WmaFormatList& catalogue, QWidget* parent)
    : OptionsPage(parent), m_catalogue(catalogue), m_formatList(new ValueList),
      m_tagGroup(new TagGroup(true)), m_amplification(new AmplificationGroup(kMaximumCoefficient)) {
    auto* group = new QGroupBox(tr("Encoding"));
    auto* form = new QFormLayout(group);
    form->setRowWrapPolicy(QFormLayout::WrapAllRows);
    form->addRow(tr("&Encoding Options: (Sample Frequency, Bit Rate, Channels)"), m_formatList);
    m_tagGroup->setTitle(tr("Tag"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_tagGroup);
    layout->addWidget(m_amplification);
    layout->addStretch(1);
    fillFormats();
}

void WmaPage::fillFormats() {
    m_formatList->addValue(tr("Auto"), kAutoEntry);
    const auto entries = m_catalogue.entries();
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const auto& entry = entries[index];
        if (entry.bitRate < kSmallestListedBitRate)
            continue;
        const QString channels = entry.mediaType.channels == 1 ? tr("Mono") : tr("Stereo");
        m_formatList->addValue(tr("%1 Hz, %2 kbps, %3")
                                   .arg(entry.mediaType.sampleRate)
                                   .arg(entry.bitRate / kBitsPerKilobit)
                                   .arg(channels),
                               static_cast<int>(index));
    }
}

int WmaPage::matchingEntry(const ConversionSettings& settings) const {
    for (int row = 0; row < m_formatList->count(); ++row) {
        const int index = m_formatList->itemData(row).toInt();
        if (index == kAutoEntry)
            continue;
        const auto& entry = m_catalogue.entries()[static_cast<std::size_t>(index)];
        if (entry.mediaType.sampleRate == settings.WMASampleRate &&
            static_cast<int>(entry.bitRate / kBitsPerKilobit) ==
                settings.WMABitRate / kBitsPerKilobit &&
            entry.mediaType.channels == settings.WMAChannels)
            return index;
    }
    return kAutoEntry;
}

void WmaPage::load(const ConversionSettings& settings) {
    if (settings.AutoDestWMAEncodingParam != 0) {
        m_formatList->selectValue(kAutoEntry);
    } else if (const int index = matchingEntry(settings); index != kAutoEntry) {
        m_formatList->selectValue(index);
    } else {
        m_formatList->setCurrentIndex(-1);
    }
    m_tagGroup->load(settings.WMAID3TagType, settings.WMATag);
    m_amplification->load(settings.AmplifyWMA, settings.AmplifyWMACoeff);
}

void WmaPage::store(ConversionSettings& settings) const {
    const int index = m_formatList->value();
    // No selection counts as Auto: the explicit values stay as they were.
    settings.AutoDestWMAEncodingParam = index == kAutoEntry ? 1 : 0;
    if (index != kAutoEntry) {
        const auto& entry = m_catalogue.entries()[static_cast<std::size_t>(index)];
        settings.WMASampleRate = entry.mediaType.sampleRate;
        settings.WMABitRate = static_cast<int>(entry.bitRate);
        settings.WMAChannels = entry.mediaType.channels;
    }
    settings.WMAID3TagType = m_tagGroup->tagType();
    settings.WMATag = m_tagGroup->preset();
    settings.AmplifyWMA = m_amplification->amplify();
    settings.AmplifyWMACoeff = m_amplification->coefficient();
}

bool WmaPage::validateLeaving() {
    return checkAmplification(*m_amplification);
}
