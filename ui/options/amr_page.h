#pragma once

#include "ui/options/options_page.h"

class AmplificationGroup;
class QButtonGroup;
class QCheckBox;
class ValueList;

// AMR and AWB encoding: the band, the mode of each band and of AWB, DTX, and amplification.
// Every value is stored on OK; there is no Auto.
class AmrPage : public OptionsPage {
    Q_OBJECT
public:
    explicit AmrPage(QWidget* parent = nullptr);

    QString title() const override { return tr("AMR/AWB Options"); }
    void load(const velmora::ConversionSettings& settings) override;
    void store(velmora::ConversionSettings& settings) const override;
    bool validateLeaving() override;

    QButtonGroup& bandRadios() const { return *m_bandRadios; }
    ValueList& narrowBandList() const { return *m_narrowBandList; }
    ValueList& wideBandList() const { return *m_wideBandList; }
    ValueList& awbList() const { return *m_awbList; }
    AmplificationGroup& amplification() const { return *m_amplification; }

private:
    QWidget* buildAmrGroup();
    QWidget* buildAwbGroup();
    void updateBandLists();
    // The entry of the mode, else the fifth entry: a mode the lists do not know opens there.
    static void selectMode(ValueList& list, int mode);

    QButtonGroup* m_bandRadios;
    ValueList* m_narrowBandList;
    ValueList* m_wideBandList;
    ValueList* m_awbList;
    QCheckBox* m_amrDtxCheck;
    QCheckBox* m_awbDtxCheck;
    AmplificationGroup* m_amplification;
};
