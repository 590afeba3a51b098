#pragma once

#include <QString>

// How a column of the file list compares two of its cell texts.
enum class ColumnSortType {
    Text = 0,     // locale-aware, case-sensitive
    Number = 1,   // leading decimal number
    Size = 2,     // leading number with an optional K, M, G or T unit
    Date = 3,     // three integers separated by "-"
    Duration = 4, // minutes:seconds, or hours:minutes:seconds
    HoursMinutesSeconds = 5,
};

class ColumnSort {
public:
    // Negative, zero or positive as a sorts before, with or after b in ascending order. Texts
    // that hold no value of the type compare equal to each other and before every text that
    // does, so the order stays consistent (a sort needs a strict weak ordering).
    static int compare(ColumnSortType type, const QString& a, const QString& b);
};
