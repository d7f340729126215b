#pragma once

#include <string>

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
    frmInfo(KavoContext& ctx, GenerateInputs inputs, FileSystem& fs, QWidget* parent = nullptr);

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
    void Form_Activate() override;
    void applyDisplay() override;

private:
    void Form_Load();

    std::string m_status;
    ProgressFigures m_figures;
    bool m_figuresReported = false;

    GenerateInputs m_inputs;
    FileSystem& m_fs;
    GenerateResult m_result;
    int32_t m_barMaximum = 0;
};

}  // namespace kavo
