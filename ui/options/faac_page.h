#pragma once

#include "ui/options/options_page.h"

class AmplificationGroup;
class QButtonGroup;
class QCheckBox;
class QPushButton;
class BoundedStepSpinBox;
class TagGroup;
class ValueList;

// The twin pages of the two AAC-based outputs: Auto, ABR or VBR with its bit rate or quality,
// the encoder switches and amplification. The raw AAC page adds the MPEG version, the MP4
// family page the tag choice; each names the settings it edits.
class FaacPage : public OptionsPage {
    Q_OBJECT
public:
    // The settings one twin edits.
    struct Fields {
        int velmora::ConversionSettings::*autoFlag;
        int velmora::ConversionSettings::*vbr;
        int velmora::ConversionSettings::*quality;
        int velmora::ConversionSettings::*bitRate;
        int velmora::ConversionSettings::*tns;
        int velmora::ConversionSettings::*midSide;
        int velmora::ConversionSettings::*blockType;
        int velmora::ConversionSettings::*amplify;
        int velmora::ConversionSettings::*coefficient;
    };

    void load(const velmora::ConversionSettings& settings) override;
    void store(velmora::ConversionSettings& settings) const override;
    bool validateLeaving() override;

    // Restores the encoder part: Auto on, VBR at quality 100, TNS off, mid/side on, both block
    // types, MPEG-4 and 128 kbit/s; amplification and tags stay.
    void reset();

    QCheckBox& autoCheck() const { return *m_autoCheck; }
    QButtonGroup& rateModeRadios() const { return *m_rateModeRadios; }
    ValueList& bitRateList() const { return *m_bitRateList; }
    BoundedStepSpinBox& qualityBox() const { return *m_qualityBox; }
    QCheckBox& tnsCheck() const { return *m_tnsCheck; }
    QCheckBox& midSideCheck() const { return *m_midSideCheck; }
    QButtonGroup& blockTypeRadios() const { return *m_blockTypeRadios; }
    // None on the MP4 family page.
    QButtonGroup* mpegVersionRadios() const { return m_mpegVersionRadios; }
    AmplificationGroup& amplification() const { return *m_amplification; }

protected:
    FaacPage(const Fields& fields, bool hasMpegVersion, QWidget* parent);
    // Below the encoder controls, before the amplification group.
    void insertExtraGroup(QWidget* group);

private:
    QWidget* buildRateGroup();
    QWidget* buildAdvancedGroup(bool hasMpegVersion);
    void updateEnabling();
    void onRateModeClicked(int mode);
    QList<QWidget*> encoderControls() const;

    Fields m_fields;
    QCheckBox* m_autoCheck;
    QButtonGroup* m_rateModeRadios;
    ValueList* m_bitRateList;
    BoundedStepSpinBox* m_qualityBox;
    QCheckBox* m_tnsCheck;
    QCheckBox* m_midSideCheck;
    QButtonGroup* m_blockTypeRadios;
    QButtonGroup* m_mpegVersionRadios = nullptr;
    QPushButton* m_resetButton;
    AmplificationGroup* m_amplification;
};
