#include "app/frm_search.h"

#include <QLabel>
#include <QPushButton>
#include <utility>

#include "app/ui_support.h"
#include "platform/message_box.h"
#include "platform/shell.h"

namespace kavo {

frmSearch::frmSearch(RunRequest request, FileSystem& fs, QWidget* parent)
    : ProgressWindow(parent),
      lblInfo(new QLabel(this)),
      cmdCancel(new QPushButton(QStringLiteral("中止"), this)),
      m_request(std::move(request)),
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
    lblInfo->setText(FitPathToLabel(lblInfo, ToQt(text)));
}

void frmSearch::Work(RunObserver& obs, const CancelToken& cancel) {
    m_result = RunScan(m_request, m_fs, obs, cancel);
}

void frmSearch::Ended(std::vector<Report> reports) {
    // A cancel pressed as the run ended still counts: the user asked for it before the window went.
    m_fCancel = m_result.Cancelled || cancelRequested();
    if (m_fCancel)
        return;  // the counts are dropped, and what they would have said with them
    for (const Report& r : reports)
        ShowMessage(r.Text, r.Kind, r.Title);
    // The notice belongs to a finished scan only, and comes before the window goes away.
    if (m_result.SupportPicturesFound) {
        ShowMessageBox(this, QString::fromUtf8(kSupportNoticeText), QString::fromUtf8(kSupportNoticeTitle),
                       QMessageBox::Information);
    }
}

}  // namespace kavo
