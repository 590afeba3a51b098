#pragma once

#include "ui/options/faac_page.h"

// Raw AAC (ADTS) output, with the MPEG version choice.
class AacPage : public FaacPage {
    Q_OBJECT
public:
    explicit AacPage(QWidget* parent = nullptr);

    QString title() const override { return tr("AAC Options"); }
};
