#pragma once

#include <QString>
#include <cstdint>

// How the ringtone maker writes times for people.
class TimeText {
public:
    // "0:45", "1:02:03" for an hour or more.
    static QString minutesSeconds(std::int64_t ms);
    // "30.0 s", "1:15.5" from a minute on.
    static QString length(std::int64_t ms);
};
