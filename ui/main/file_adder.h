#pragma once

#include "ui/main/add_failure_report.h"

#include <string>
#include <vector>

class AddProgressDialog;
class FileListModel;

// Adds a batch of paths to the list, one probe per file, while the progress dialog shows which
// file is being read and offers Cancel; the failures make one report.
class FileAdder {
public:
    FileAdder(FileListModel& model, AddProgressDialog& dialog);

    // Stops after the current file once the dialog's Cancel was pressed.
    AddFailureReport addAll(const std::vector<std::string>& paths);

private:
    FileListModel& m_model;
    AddProgressDialog& m_dialog;
};
