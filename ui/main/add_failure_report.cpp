#include "ui/main/add_failure_report.h"

#include <QCoreApplication>

void AddFailureReport::addFailure(const QString& path) {
    ++m_count;
    if (m_count <= kListedPaths)
        m_paths += path + QLatin1Char('\n');
    else if (m_count == kListedPaths + 1)
        m_paths += QStringLiteral("<more files>...\n");
}

QString AddFailureReport::message(const QString& note) const {
    QString text =
        QCoreApplication::translate("AddFailureReport", "Failed to load the following files.\n\n%1")
            .arg(m_paths);
    if (m_invalidName)
        text += QCoreApplication::translate(
            "AddFailureReport",
            "\nThere are non-English characters in filename of some files. Please remove the "
            "characters from filename and then try again.");
    else if (!note.isEmpty())
        text += QLatin1Char('\n') + note;
    else
        text += QLatin1Char('\n') +
                QCoreApplication::translate("AddFailureReport",
                                            "To get help, please forward the failure files to "
                                            "<%1>.")
                    .arg(QLatin1String(kSupportAddress));
    return text;
}
