#include "ui/ringtone/long_ringtone_prompt.h"

#include "engine/long_ringtone_check.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("LongRingtonePrompt", text);
}

QString fileNameOf(const velmora::SourceFile& entry) {
    return QFileInfo(QFile::decodeName(entry.path.c_str())).fileName();
}

} // namespace

QString LongRingtonePrompt::trimButtonText() {
    return tr("&Trim to Suggested Part");
}

QString LongRingtonePrompt::wholeButtonText() {
    return tr("Convert &Whole");
}

QString LongRingtonePrompt::questionText(std::span<velmora::SourceFile* const> longEntries) {
    const int seconds = static_cast<int>(velmora::LongRingtoneCheck::kLongestRingtoneMs / 1000);
    const QString lead = longEntries.size() == 1
                             ? tr("\"%1\" lasts longer than %2 seconds.")
                                   .arg(fileNameOf(*longEntries.front()))
                                   .arg(seconds)
                             : tr("%1 of the files last longer than %2 seconds.")
                                   .arg(longEntries.size())
                                   .arg(seconds);
    const QString choice =
        longEntries.size() == 1
            ? tr("Trim it to its loudest part, convert it whole anyway, or cancel?")
            : tr("Trim them to their loudest parts, convert them whole anyway, or cancel?");
    return lead + QLatin1Char(' ') + tr("An iPhone only offers ringtones shorter than that.") +
           QStringLiteral("\n\n") + choice;
}

LongRingtonePrompt::Answer
LongRingtonePrompt::ask(QWidget* parent, std::span<velmora::SourceFile* const> longEntries) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Velmora"), questionText(longEntries),
                    QMessageBox::NoButton, parent);
    QPushButton* trimButton = box.addButton(trimButtonText(), QMessageBox::AcceptRole);
    QPushButton* wholeButton = box.addButton(wholeButtonText(), QMessageBox::ActionRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(trimButton);
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() == trimButton)
        return Answer::Trim;
    if (box.clickedButton() == wholeButton)
        return Answer::Whole;
    return Answer::Cancel;
}

bool LongRingtonePrompt::trim(QWidget* parent, std::span<velmora::SourceFile* const> longEntries) {
    QProgressDialog progress(QString(), tr("Cancel"), 0, 100, parent);
    progress.setWindowTitle(QStringLiteral("Velmora"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const int count = static_cast<int>(longEntries.size());
    auto step = [&](std::size_t index, int percent) {
        progress.setLabelText(tr("Finding the loudest part of \"%1\" (%2 of %3)...")
                                  .arg(fileNameOf(*longEntries[index]))
                                  .arg(static_cast<int>(index) + 1)
                                  .arg(count));
        progress.setValue((static_cast<int>(index) * 100 + percent) / std::max(count, 1));
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    };
    return velmora::LongRingtoneCheck::trimToSuggestedPart(longEntries, step);
}

bool LongRingtonePrompt::askBeforeBatch(QWidget* parent, int outputFormat,
                                        std::span<velmora::SourceFile* const> entries) {
    const std::vector<velmora::SourceFile*> longEntries =
        velmora::LongRingtoneCheck::entriesToAsk(outputFormat, entries);
    if (longEntries.empty())
        return true;
    switch (ask(parent, longEntries)) {
    case Answer::Trim:
        return trim(parent, longEntries);
    case Answer::Whole:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}
