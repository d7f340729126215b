#pragma once

#include "app/progress_window.h"
#include "fs/file_system.h"
#include "catalogue/generate.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace kavo {

/// The generation window: builds the whole catalogue while it is shown.
class frmInfo : public ProgressWindow {
    Q_OBJECT

public:
    /// A generation of the request, following `scan`, whose count of the
    /// request's types is the whole of the progress.
    frmInfo(RunRequest request, ScanResult scan, FileSystem& fs, QWidget* parent = nullptr);

    void ShowStatus(std::string_view text) override;
    void ShowProgress(const ProgressFigures& figures) override;

    /// What the last run reported besides m_fCancel.
    const GenerateResult& result() const { return m_result; }

    QGroupBox* frameFile;
    QLabel* lblFile;
    QLabel* lblFileCount;
    QLabel* lblPercent;
    QProgressBar* ProgressBar1;
    QPushButton* cmdCancel;

protected:
    void Work(RunObserver& obs, const CancelToken& cancel) override;
    /// Shows what the run reported: its failures as one message that names
    /// the first and counts the others, then each notice.
    void Ended(std::vector<Report> reports) override;

private:
    void Form_Load();

    RunRequest m_request;
    ScanResult m_scan;
    FileSystem& m_fs;
    GenerateResult m_result;
    int32_t m_barMaximum = 0;
};

}  // namespace kavo
