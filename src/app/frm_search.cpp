#include "app/frm_search.h"

#include <QLabel>
#include <QPushButton>
#include <utility>

#include "app/ui_support.h"
#include "platform/message_box.h"
#include "platform/shell.h"

namespace kavo {

frmSearch::frmSearch(KavoContext& ctx, ScanInputs inputs, FileSystem& fs, QWidget* parent)
    : ProgressWindow(ctx, parent),
      lblInfo(new QLabel(this)),
      cmdCancel(new QPushButton(QStringLiteral("中止"), this)),
      m_inputs(std::move(inputs)),
      m_fs(fs) {
    setObjectName(QStringLiteral("frmSearch"));
    setWindowTitle(QStringLiteral("検索中です．．． - Kavo"));
    setFixedSize(Twips(6090), Twips(2025));

    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    PlaceTwips(lblInfo, 120, 120, 5895, 1215);
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInfo->setWordWrap(true);

    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    PlaceTwips(cmdCancel, 2520, 1440, 1215, 495);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSearch::cmdCancel_Click);
}

void frmSearch::ShowStatus(std::string_view text) {
    m_status = text;
    refreshDisplay(false);
}

void frmSearch::applyDisplay() {
    lblInfo->setText(FitPathToLabel(lblInfo, ToQt(m_status)));
}

void frmSearch::Form_Activate() {
    SetBusyCursor();
    beginRun();
    m_fCancel = RunScan(m_ctx, m_inputs, m_fs, *this);
    endRun();
    RestoreCursor();
    // The notice belongs to a finished scan only, and comes before the window goes away.
    if (!m_fCancel && m_ctx.SupportImagesFound) {
        ShowMessageBox(this, QString::fromUtf8(kSupportNoticeText), QString::fromUtf8(kSupportNoticeTitle),
                       QMessageBox::Information);
    }
    finish();
}

}  // namespace kavo
