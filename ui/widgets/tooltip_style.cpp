#include "ui/widgets/tooltip_style.h"

int TooltipStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                            QStyleHintReturn* returnData) const {
    if (hint == QStyle::SH_ToolTip_WakeUpDelay)
        return kToolTipDelayMs;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
