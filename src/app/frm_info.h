#pragma once

#include <string>
#include <vector>

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
    /// Kept until the run ends: a folder that cannot be written would otherwise
    /// give one box per file, each waiting for ＯＫ.
    void ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) override;

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
    /// Shows what the run reported: its failures as one message that names
    /// the first and counts the others, then each notice.
    void showMessages();

    struct Message {
        std::string Text;
        MessageIcon Icon;
        std::string Title;
    };
    std::vector<Message> m_messages;

    std::string m_status;
    ProgressFigures m_figures;
    bool m_figuresReported = false;

    GenerateInputs m_inputs;
    FileSystem& m_fs;
    GenerateResult m_result;
    int32_t m_barMaximum = 0;
};

}  // namespace kavo
