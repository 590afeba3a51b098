#include "ui/ringtone/time_text.h"

QString TimeText::minutesSeconds(std::int64_t ms) {
    const std::int64_t seconds = ms / 1000;
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = (seconds / 60) % 60;
    const QString secondsText = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(secondsText);
    return QStringLiteral("%1:%2").arg(minutes).arg(secondsText);
}

QString TimeText::length(std::int64_t ms) {
    // Tenths of a second, rounded once, so that 59.96 s reads "1:00.0" and not "60.0 s".
    const std::int64_t tenths = (ms + 50) / 100;
    if (tenths < 600)
        return QStringLiteral("%1.%2 s").arg(tenths / 10).arg(tenths % 10);
    return QStringLiteral("%1:%2.%3")
        .arg(tenths / 600)
        .arg((tenths / 10) % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}
