#include "ui/options/faac_page.h"

#include "ui/widgets/amplification_group.h"
#include "ui/widgets/bounded_step_spin_box.h"
#include "ui/widgets/value_list.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using velmora::ConversionSettings;

namespace {

constexpr int kSameAsSource = 0;
constexpr int kMaximumCoefficient = 3000; // percent
constexpr int kBitRates[] = {16,  24,  32,  40,  48,  56,  64,  80, 96,
                             112, 128, 144, 160, 192, 224, 256, 320}; // kbit/s
constexpr int kMinimumQuality = 10;
constexpr int kMaximumQuality = 500;
constexpr int kDefaultQuality = 100;
constexpr int kDefaultBitRate = 128; // kbit/s
constexpr int kLargestTypableQuality = 9999;
enum RateMode { kAbr, kVbr };

QButtonGroup* radioRow(QWidget* owner, QHBoxLayout& row, const QStringList& texts) {
    auto* group = new QButtonGroup(owner);
    for (int id = 0; id < texts.size(); ++id) {
        auto* radio = new QRadioButton(texts[id]);
        group->addButton(radio, id);
        row.addWidget(radio);
    }
    row.addStretch(1);
    return group;
}

void check(QButtonGroup& group, int id) {
    if (QAbstractButton* button = group.button(id))
        button->setChecked(true);
}

} // namespace

FaacPage::FaacPage(const Fields& fields, bool hasMpegVersion, QWidget* parent)
    : OptionsPage(parent), m_fields(fields),
      m_autoCheck(new QCheckBox(tr("A&uto (let the program choose the best parameters)"))),
      m_bitRateList(new ValueList),
      m_qualityBox(
          new BoundedStepSpinBox(kMinimumQuality, kMaximumQuality, 10, kLargestTypableQuality)),
      m_tnsCheck(new QCheckBox(tr("Use &Temporal Noise Shaping (TNS)"))),
      m_midSideCheck(new QCheckBox(tr("Allow &Mid/Side"))),
      m_resetButton(new QPushButton(tr("Reset"))),
      m_amplification(new AmplificationGroup(kMaximumCoefficient)) {
    for (const int bitRate : kBitRates)
        m_bitRateList->addValue(tr("%1 kbps").arg(bitRate), bitRate);
    m_bitRateList->addValue(tr("Same as original file"), kSameAsSource);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(m_autoCheck, 1);
    top->addWidget(m_resetButton);
    layout->addLayout(top);
    layout->addWidget(buildRateGroup());
    layout->addWidget(buildAdvancedGroup(hasMpegVersion));
    layout->addWidget(m_amplification);
    layout->addStretch(1);

    connect(m_autoCheck, &QCheckBox::clicked, this, &FaacPage::updateEnabling);
    connect(m_rateModeRadios, &QButtonGroup::idClicked, this, &FaacPage::onRateModeClicked);
    connect(m_resetButton, &QPushButton::clicked, this, &FaacPage::reset);
}

QWidget* FaacPage::buildRateGroup() {
    auto* group = new QGroupBox(tr("Bit rate"));
    auto* grid = new QGridLayout(group);
    auto* abr = new QRadioButton(tr("Average &Bit Rate (ABR)"));
    auto* vbr = new QRadioButton(tr("&Variable Bit Rate (VBR)"));
    m_rateModeRadios = new QButtonGroup(this);
    m_rateModeRadios->addButton(abr, kAbr);
    m_rateModeRadios->addButton(vbr, kVbr);
    auto* bitRateLabel = new QLabel(tr("Bit &Rate:"));
    bitRateLabel->setBuddy(m_bitRateList);
    auto* qualityLabel = new QLabel(tr("&Quality:"));
    qualityLabel->setBuddy(m_qualityBox);
    grid->addWidget(abr, 0, 0);
    grid->addWidget(bitRateLabel, 0, 1);
    grid->addWidget(m_bitRateList, 0, 2);
    grid->addWidget(vbr, 1, 0);
    grid->addWidget(qualityLabel, 1, 1);
    grid->addWidget(m_qualityBox, 1, 2);
    grid->addWidget(new QLabel(tr("(Default: 100. From 10 to 500)")), 1, 3);
    grid->setColumnStretch(3, 1);
    return group;
}

QWidget* FaacPage::buildAdvancedGroup(bool hasMpegVersion) {
    auto* group = new QGroupBox(tr("Advanced"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(m_tnsCheck);
    layout->addWidget(m_midSideCheck);
    if (hasMpegVersion) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(tr("MPEG version:")));
        m_mpegVersionRadios = radioRow(this, *row, {tr("MPEG&4"), tr("MPEG&2")});
        layout->addLayout(row);
    }
    auto* blocks = new QHBoxLayout;
    blocks->addWidget(new QLabel(tr("Block type:")));
    m_blockTypeRadios =
        radioRow(this, *blocks, {tr("B&oth long and short"), tr("No &short"), tr("&No long")});
    layout->addLayout(blocks);
    return group;
}

void FaacPage::insertExtraGroup(QWidget* group) {
    auto* layout = qobject_cast<QVBoxLayout*>(this->layout());
    layout->insertWidget(layout->indexOf(m_amplification), group);
}

void FaacPage::load(const ConversionSettings& settings) {
    m_autoCheck->setChecked(settings.*m_fields.autoFlag != 0);
    check(*m_rateModeRadios, settings.*m_fields.vbr == 1 ? kVbr : kAbr);
    m_bitRateList->selectValueOrFirst(settings.*m_fields.bitRate);
    m_qualityBox->setValue(settings.*m_fields.quality);
    m_tnsCheck->setChecked(settings.*m_fields.tns != 0);
    m_midSideCheck->setChecked(settings.*m_fields.midSide != 0);
    check(*m_blockTypeRadios, settings.*m_fields.blockType);
    if (m_mpegVersionRadios)
        check(*m_mpegVersionRadios, settings.AACMpegVersion != 0 ? 1 : 0);
    m_amplification->load(settings.*m_fields.amplify, settings.*m_fields.coefficient);
    updateEnabling();
}

void FaacPage::store(ConversionSettings& settings) const {
    const bool isAuto = m_autoCheck->isChecked();
    settings.*m_fields.autoFlag = isAuto ? 1 : 0;
    // With Auto the explicit values stay as they were, to come back when Auto is left.
    if (!isAuto) {
        settings.*m_fields.vbr = m_rateModeRadios->checkedId() == kVbr ? 1 : 0;
        settings.*m_fields.bitRate = m_bitRateList->value();
        settings.*m_fields.quality = m_qualityBox->value();
        settings.*m_fields.tns = m_tnsCheck->isChecked() ? 1 : 0;
        settings.*m_fields.midSide = m_midSideCheck->isChecked() ? 1 : 0;
        if (m_blockTypeRadios->checkedId() >= 0)
            settings.*m_fields.blockType = m_blockTypeRadios->checkedId();
        if (m_mpegVersionRadios)
            settings.AACMpegVersion = m_mpegVersionRadios->checkedId() == 1 ? 1 : 0;
    }
    settings.*m_fields.amplify = m_amplification->amplify();
    settings.*m_fields.coefficient = m_amplification->coefficient();
}

bool FaacPage::validateLeaving() {
    if (!m_autoCheck->isChecked() && m_rateModeRadios->checkedId() == kVbr &&
        !m_qualityBox->inAllowedRange()) {
        showMessage(QMessageBox::Warning, tr("Invalid quality value. It's between %1 and %2.")
                                              .arg(kMinimumQuality)
                                              .arg(kMaximumQuality));
        m_qualityBox->setFocus();
        return false;
    }
    return checkAmplification(*m_amplification);
}

void FaacPage::reset() {
    m_autoCheck->setChecked(true);
    check(*m_rateModeRadios, kVbr);
    m_qualityBox->setValue(kDefaultQuality);
    m_tnsCheck->setChecked(false);
    m_midSideCheck->setChecked(true);
    check(*m_blockTypeRadios, 0);
    if (m_mpegVersionRadios)
        check(*m_mpegVersionRadios, 0);
    m_bitRateList->selectValue(kDefaultBitRate);
    updateEnabling();
}

QList<QWidget*> FaacPage::encoderControls() const {
    QList<QWidget*> controls{m_tnsCheck, m_midSideCheck};
    for (QButtonGroup* group : {m_rateModeRadios, m_blockTypeRadios, m_mpegVersionRadios}) {
        if (group == nullptr)
            continue;
        for (QAbstractButton* button : group->buttons())
            controls << button;
    }
    return controls;
}

void FaacPage::updateEnabling() {
    const bool manual = !m_autoCheck->isChecked();
    for (QWidget* control : encoderControls())
        control->setEnabled(manual);
    const bool vbr = m_rateModeRadios->checkedId() == kVbr;
    m_bitRateList->setEnabled(manual && !vbr);
    m_qualityBox->setEnabled(manual && vbr);
}

void FaacPage::onRateModeClicked(int mode) {
    updateEnabling();
    if (mode == kVbr)
        m_qualityBox->setFocus();
    else
        m_bitRateList->setFocus();
}
