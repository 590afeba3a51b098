#pragma once

#include "sources/segment.h"

#include <QIcon>
#include <QString>

// How the file list shows that a row converts only a part of its file: a small mark in the File
// column and a line of its tooltip.
class SegmentMark {
public:
    static QIcon icon();
    // "Ringtone part: 0:45 to 1:15 (30.0 s), fade in 0.5 s, fade out 1.5 s"
    static QString describe(const velmora::Segment& segment);
};
