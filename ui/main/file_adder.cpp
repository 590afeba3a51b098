#include "ui/main/file_adder.h"

#include "engine/file_list.h"
#include "platform/text_encoding.h"
#include "ui/dialogs/add_progress_dialog.h"
#include "ui/main/file_list_model.h"

#include <QCoreApplication>

namespace {

QString fileNamePart(const std::string& path) {
    const auto slash = path.rfind('/');
    return QString::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1));
}

} // namespace

FileAdder::FileAdder(FileListModel& model, AddProgressDialog& dialog)
    : m_model(model), m_dialog(dialog) {}

AddFailureReport FileAdder::addAll(const std::vector<std::string>& paths) {
    const int total = static_cast<int>(paths.size());
    m_dialog.setRange(total);
    m_dialog.pumpMessages();
    AddFailureReport report;
    for (int number = 1; number <= total; ++number) {
        const std::string& path = paths[static_cast<std::size_t>(number - 1)];
        m_dialog.setText(QCoreApplication::translate("FileAdder", "[%1/%2] Adding file %3...")
                             .arg(number)
                             .arg(total)
                             .arg(fileNamePart(path)));
        m_dialog.step();
        if (!velmora::isValidUtf8(path)) {
            // Shown repaired in the report; never opened.
            report.markInvalidName();
            report.addFailure(QString::fromStdString(velmora::repairUtf8(path)));
        } else if (m_model.addFile(path) == velmora::FileList::kRejected) {
            report.addFailure(QString::fromStdString(path));
        }
        m_dialog.pumpMessages();
        if (m_dialog.cancelRequested())
            break;
    }
    return report;
}
