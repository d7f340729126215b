#pragma once

#include <string>

#include "app/progress_window.h"
#include "fs/file_system.h"
#include "catalogue/scan.h"

class QLabel;
class QPushButton;

namespace kavo {

/// The scan window: counts the pictures of the chosen folder while it is shown.
class frmSearch : public ProgressWindow {
    Q_OBJECT

public:
    frmSearch(RunRequest request, FileSystem& fs, QWidget* parent = nullptr);

    void ShowStatus(std::string_view text) override;

    /// What the last run found.
    const ScanResult& result() const { return m_result; }

    QLabel* lblInfo;
    QPushButton* cmdCancel;

protected:
    void Work(RunObserver& obs, const CancelToken& cancel) override;
    void Ended(std::vector<Report> reports) override;

private:
    RunRequest m_request;
    FileSystem& m_fs;
    ScanResult m_result;
};

}  // namespace kavo
