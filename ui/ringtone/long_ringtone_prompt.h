#pragma once

#include "sources/source_file.h"

#include <QString>
#include <span>
#include <vector>

class QWidget;

// The desktop program's question before a batch to M4R holds songs longer than an iPhone plays
// as a ringtone: asked once for the whole batch. Trimming finds each song's suggested part while
// a progress window shows; the question itself comes from the engine's LongRingtoneCheck.
class LongRingtonePrompt {
public:
    enum class Answer { Trim, Whole, Cancel };

    // False when the batch must not start. The entries that got a part are those whose segment
    // changed; the caller redraws their rows.
    static bool askBeforeBatch(QWidget* parent, int outputFormat,
                               std::span<velmora::SourceFile* const> entries);

    // The question's text for these entries.
    static QString questionText(std::span<velmora::SourceFile* const> longEntries);
    static QString trimButtonText();
    static QString wholeButtonText();

private:
    static Answer ask(QWidget* parent, std::span<velmora::SourceFile* const> longEntries);
    static bool trim(QWidget* parent, std::span<velmora::SourceFile* const> longEntries);
};
