#include "ui/options/amr_page.h"

#include "ui/widgets/amplification_group.h"
#include "ui/widgets/value_list.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

using velmora::ConversionSettings;

namespace {

constexpr int kMaximumCoefficient = 3000; // percent
constexpr int kUnknownModeEntry = 4;
enum Band { kNarrowBand, kWideBand };

void fillWideBandModes(ValueList& list) {
    const char* const rates[] = {"6.60",  "8.85",  "12.65", "14.25", "15.85",
                                 "18.25", "19.85", "23.05", "23.85"}; // kbit/s
    for (int mode = 0; mode < 9; ++mode)
        list.addValue(QObject::tr("%1 kbps").arg(QLatin1String(rates[mode])), mode);
}

QLabel* buddyLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

} // namespace

AmrPage::AmrPage(QWidget* parent)
    : OptionsPage(parent), m_bandRadios(new QButtonGroup(this)), m_narrowBandList(new ValueList),
      m_wideBandList(new ValueList), m_awbList(new ValueList),
      m_amrDtxCheck(new QCheckBox(tr("&Enable DTX (Discontinuous Transmission)"))),
      m_awbDtxCheck(new QCheckBox(tr("&Enable DTX (Discontinuous Transmission)"))),
      m_amplification(new AmplificationGroup(kMaximumCoefficient)) {
    const QString narrowRates[] = {tr("4.75 kbps"), tr("5.15kbps"), tr("5.9 kbps"),
                                   tr("6.7 kbps"),  tr("7.4 kbps"), tr("7.95 kbps"),
                                   tr("10.2 kbps"), tr("12.2 kbps")};
    for (int mode = 0; mode < 8; ++mode)
        m_narrowBandList->addValue(narrowRates[mode], mode);
    fillWideBandModes(*m_wideBandList);
    fillWideBandModes(*m_awbList);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildAmrGroup());
    layout->addWidget(buildAwbGroup());
    layout->addWidget(m_amplification);
    layout->addStretch(1);
    connect(m_bandRadios, &QButtonGroup::idClicked, this, &AmrPage::updateBandLists);
}

QWidget* AmrPage::buildAmrGroup() {
    auto* group = new QGroupBox(tr("AMR Encoding Parameters"));
    auto* grid = new QGridLayout(group);
    auto* narrow = new QRadioButton(tr("NB (Narrow Band, 8000 Hz)"));
    auto* wide = new QRadioButton(tr("WB (Wide Band, 16000 Hz)"));
    m_bandRadios->addButton(narrow, kNarrowBand);
    m_bandRadios->addButton(wide, kWideBand);
    grid->addWidget(narrow, 0, 0);
    grid->addWidget(buddyLabel(tr("&Bit Rate:"), m_narrowBandList), 0, 1);
    grid->addWidget(m_narrowBandList, 0, 2);
    grid->addWidget(wide, 1, 0);
    grid->addWidget(buddyLabel(tr("&Bit Rate:"), m_wideBandList), 1, 1);
    grid->addWidget(m_wideBandList, 1, 2);
    grid->addWidget(m_amrDtxCheck, 2, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    return group;
}

QWidget* AmrPage::buildAwbGroup() {
    auto* group = new QGroupBox(tr("AWB Encoding Parameters"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(tr("Sample Frequency: 16000 Hz")), 0, 0, 1, 2);
    grid->addWidget(buddyLabel(tr("&Bit Rate:"), m_awbList), 1, 0);
    grid->addWidget(m_awbList, 1, 1);
    grid->addWidget(m_awbDtxCheck, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    return group;
}

void AmrPage::load(const ConversionSettings& settings) {
    m_bandRadios->button(settings.AMRType == kWideBand ? kWideBand : kNarrowBand)->setChecked(true);
    selectMode(*m_narrowBandList, settings.AMRMode);
    selectMode(*m_wideBandList, settings.AMRWBMode);
    selectMode(*m_awbList, settings.AWBMode);
    m_amrDtxCheck->setChecked(settings.AMRDTX != 0);
    m_awbDtxCheck->setChecked(settings.AWBDTX != 0);
    updateBandLists();
    m_amplification->load(settings.AmplifyAMR, settings.AmplifyAMRCoef);
}

void AmrPage::store(ConversionSettings& settings) const {
    settings.AMRType = m_bandRadios->checkedId();
    settings.AMRMode = m_narrowBandList->value();
    settings.AMRWBMode = m_wideBandList->value();
    settings.AWBMode = m_awbList->value();
    settings.AMRDTX = m_amrDtxCheck->isChecked() ? 1 : 0;
    settings.AWBDTX = m_awbDtxCheck->isChecked() ? 1 : 0;
    settings.AmplifyAMR = m_amplification->amplify();
    settings.AmplifyAMRCoef = m_amplification->coefficient();
}

bool AmrPage::validateLeaving() {
    return checkAmplification(*m_amplification);
}

void AmrPage::updateBandLists() {
    const bool wide = m_bandRadios->checkedId() == kWideBand;
    m_narrowBandList->setEnabled(!wide);
    m_wideBandList->setEnabled(wide);
}

void AmrPage::selectMode(ValueList& list, int mode) {
    if (!list.selectValue(mode))
        list.selectValue(kUnknownModeEntry);
}
