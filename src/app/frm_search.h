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
    frmSearch(KavoContext& ctx, ScanInputs inputs, FileSystem& fs, QWidget* parent = nullptr);

    void ShowStatus(std::string_view text) override;

    QLabel* lblInfo;
    QPushButton* cmdCancel;

protected:
    void Form_Activate() override;
    void applyDisplay() override;

private:
    std::string m_status;
    ScanInputs m_inputs;
    FileSystem& m_fs;
};

}  // namespace kavo
