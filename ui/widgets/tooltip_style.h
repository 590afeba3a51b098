#pragma once

#include <QProxyStyle>

// The desktop's style with the program's tooltip delay: tips appear after 300 ms.
class TooltipStyle : public QProxyStyle {
    Q_OBJECT
public:
    static constexpr int kToolTipDelayMs = 300;

    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};
