#include "ui/main/column_sort.h"

#include <QStringList>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

std::optional<double> leadingNumber(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const char* begin = bytes.constData();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin)
        return 0.0; // as strtod gives for a text without a number
    if (std::isnan(value))
        return std::nullopt;
    return value;
}

std::optional<double> sizeValue(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const char* begin = bytes.constData();
    char* end = nullptr;
    double value = std::strtod(begin, &end);
    if (*end == ' ')
        ++end;
    switch (*end) {
    case 'K':
    case 'k':
        value *= 1024.0;
        break;
    case 'M':
    case 'm':
        value *= 1024.0 * 1024.0;
        break;
    case 'G':
    case 'g':
        value *= 1024.0 * 1024.0 * 1024.0;
        break;
    case 'T':
    case 't':
        value *= 1024.0 * 1024.0 * 1024.0 * 1024.0;
        break;
    default:
        break;
    }
    if (std::isnan(value))
        return std::nullopt;
    return value;
}

// The integer fields of a text split at `separator`; none unless it has at least `minimum`
// fields.
std::optional<QList<qint64>> integerFields(const QString& text, QChar separator, int minimum) {
    const QStringList pieces = text.split(separator);
    if (pieces.size() < minimum)
        return std::nullopt;
    QList<qint64> fields;
    for (const QString& piece : pieces) {
        // Like atoi: leading digits, anything after them ignored, none gives 0.
        qsizetype digits = 0;
        const QString trimmed = piece.trimmed();
        while (digits < trimmed.size() && digits < 15 && trimmed.at(digits).isDigit())
            ++digits;
        fields.append(digits == 0 ? 0 : trimmed.left(digits).toLongLong());
    }
    return fields;
}

// Seconds of "m:ss" or "h:mm:ss" (any number of fields, each worth 60 of the next), so that a
// file of one hour sorts after one of fifty minutes.
std::optional<double> durationSeconds(const QString& text) {
    const auto fields = integerFields(text, QLatin1Char(':'), 2);
    if (!fields)
        return std::nullopt;
    double seconds = 0;
    for (const qint64 field : *fields)
        seconds = seconds * 60 + static_cast<double>(field);
    return seconds;
}

std::optional<double> hoursMinutesSeconds(const QString& text) {
    const auto fields = integerFields(text, QLatin1Char(':'), 3);
    if (!fields)
        return std::nullopt;
    return (static_cast<double>(fields->at(0)) * 60 + static_cast<double>(fields->at(1))) * 60 +
           static_cast<double>(fields->at(2));
}

std::optional<double> dateValue(const QString& text) {
    const auto fields = integerFields(text, QLatin1Char('-'), 3);
    if (!fields)
        return std::nullopt;
    // Three fields compared in order: one number with room for each.
    return (static_cast<double>(fields->at(0)) * 1e6 + static_cast<double>(fields->at(1))) * 1e6 +
           static_cast<double>(fields->at(2));
}

int compareValues(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a || !b)
        return static_cast<int>(a.has_value()) - static_cast<int>(b.has_value());
    return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

} // namespace

int ColumnSort::compare(ColumnSortType type, const QString& a, const QString& b) {
    switch (type) {
    case ColumnSortType::Text:
        return QString::localeAwareCompare(a, b);
    case ColumnSortType::Number:
        return compareValues(leadingNumber(a), leadingNumber(b));
    case ColumnSortType::Size:
        return compareValues(sizeValue(a), sizeValue(b));
    case ColumnSortType::Date:
        return compareValues(dateValue(a), dateValue(b));
    case ColumnSortType::Duration:
        return compareValues(durationSeconds(a), durationSeconds(b));
    case ColumnSortType::HoursMinutesSeconds:
        return compareValues(hoursMinutesSeconds(a), hoursMinutesSeconds(b));
    }
    return 0;
}
