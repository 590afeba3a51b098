#include "ui/options/aac_page.h"

using velmora::ConversionSettings;

AacPage::AacPage(QWidget* parent)
    : FaacPage({&ConversionSettings::AutoDestAACEncodingParam, &ConversionSettings::AACVBR,
                &ConversionSettings::AACVBRQuality, &ConversionSettings::AACABRBitRate,
                &ConversionSettings::AACEnableTNS, &ConversionSettings::AACEnableMidside,
                &ConversionSettings::AACBlockType, &ConversionSettings::AmplifyAAC,
                &ConversionSettings::AmplifyAACCoef},
               true, parent) {}
