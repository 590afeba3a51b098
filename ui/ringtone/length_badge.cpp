#include "ui/ringtone/length_badge.h"

#include "ui/ringtone/time_text.h"

namespace {

// White on a green or a red that keep a contrast of more than 4.5:1.
const QString kWithinStyle = QStringLiteral(
    "QLabel { background: #1e7b34; color: white; border-radius: 9px; padding: 2px 10px; "
    "font-weight: bold; }");
const QString kOverStyle = QStringLiteral(
    "QLabel { background: #c62828; color: white; border-radius: 9px; padding: 2px 10px; "
    "font-weight: bold; }");

} // namespace

LengthBadge::LengthBadge(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setStyleSheet(kWithinStyle);
}

void LengthBadge::setLength(std::int64_t lengthMs, std::int64_t limitMs) {
    m_overLimit = limitMs > 0 && lengthMs > limitMs;
    const QString length = TimeText::length(lengthMs);
    if (m_overLimit) {
        setText(tr("%1 - over the %2 limit").arg(length, TimeText::length(limitMs)));
        setToolTip(tr("The phone will not offer a ringtone this long; shorten the selection."));
    } else {
        setText(length);
        setToolTip(limitMs > 0
                       ? tr("Within the %1 the phone allows.").arg(TimeText::length(limitMs))
                       : QString());
    }
    setStyleSheet(m_overLimit ? kOverStyle : kWithinStyle);
}
