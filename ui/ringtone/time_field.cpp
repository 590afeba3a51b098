#include "ui/ringtone/time_field.h"

#include <QRegularExpression>
#include <cmath>
#include <optional>

namespace {

const QRegularExpression
    kTimePattern(QStringLiteral(R"(^\s*(?:(\d{1,4}):)?(\d{1,6}(?:\.\d{0,2})?)\s*$)"));
// What may still become a time while it is being typed.
const QRegularExpression
    kPartialPattern(QStringLiteral(R"(^\s*(?:\d{0,4}:?)?\d{0,6}\.?\d{0,2}\s*$)"));

} // namespace

TimeField::TimeField(QWidget* parent) : QDoubleSpinBox(parent) {
    setDecimals(2);
}

std::optional<double> TimeField::parse(const QString& text) {
    const QRegularExpressionMatch match = kTimePattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const double minutes = match.captured(1).isEmpty() ? 0 : match.captured(1).toDouble();
    const double seconds = match.captured(2).toDouble();
    // With minutes given, the seconds part is the rest of a minute.
    if (!match.captured(1).isEmpty() && seconds >= 60)
        return std::nullopt;
    return minutes * 60 + seconds;
}

QString TimeField::textFromValue(double seconds) const {
    const auto hundredths = static_cast<long long>(std::llround(seconds * 100));
    return QStringLiteral("%1:%2.%3")
        .arg(hundredths / 6000)
        .arg((hundredths / 100) % 60, 2, 10, QLatin1Char('0'))
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

double TimeField::valueFromText(const QString& text) const {
    return parse(text).value_or(value());
}

QValidator::State TimeField::validate(QString& text, int&) const {
    if (const auto seconds = parse(text))
        return *seconds <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
    return kPartialPattern.match(text).hasMatch() ? QValidator::Intermediate : QValidator::Invalid;
}
