#include "app/frm_info.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "app/ui_support.h"
#include "platform/shell.h"

namespace kavo {

frmInfo::frmInfo(RunRequest request, ScanResult scan, FileSystem& fs, QWidget* parent)
    : ProgressWindow(parent),
      frameFile(new QGroupBox(QStringLiteral("ファイル名"), this)),
      lblFile(new QLabel(QStringLiteral("Filename"), frameFile)),
      lblFileCount(new QLabel(QStringLiteral("99999/99999ファイル"), this)),
      lblPercent(new QLabel(QStringLiteral("100％"), this)),
      ProgressBar1(new QProgressBar(this)),
      cmdCancel(new QPushButton(QStringLiteral("中止"), this)),
      m_request(std::move(request)),
      m_scan(std::move(scan)),
      m_fs(fs) {
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(QStringLiteral("100％処理しました．．． - Kavo"));
    setFixedSize(Twips(6120), Twips(2175));

    frameFile->setObjectName(QStringLiteral("frameFile"));
    PlaceTwips(frameFile, 120, 120, 5895, 615);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    PlaceTwips(lblFile, 120, 240, 5655, 255);
    lblFileCount->setObjectName(QStringLiteral("lblFileCount"));
    PlaceTwips(lblFileCount, 120, 960, 1695, 255);
    lblPercent->setObjectName(QStringLiteral("lblPercent"));
    PlaceTwips(lblPercent, 5520, 960, 495, 255);
    lblPercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    PlaceTwips(ProgressBar1, 120, 1200, 5895, 255);
    ProgressBar1->setTextVisible(false);
    // Its text is hidden, so assistive technology has no caption to take.
    NameForAssistiveTechnology({ProgressBar1}, QStringLiteral("処理の進み具合"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    PlaceTwips(cmdCancel, 2520, 1560, 1215, 495);
    connect(cmdCancel, &QPushButton::clicked, this, &frmInfo::cmdCancel_Click);

    Form_Load();
}

void frmInfo::Form_Load() {
    const int32_t selected = m_scan.Selected(m_request.Types);
    lblFileCount->setText(ToQt(FileCountLabel(0, selected)));
    lblPercent->setText(ToQt(PercentLabel(0)));
    setWindowTitle(ToQt(ProgressCaption(0)));
    lblFile->setText(QString());
    // An empty range would make the bar show a busy animation; with nothing
    // selected it simply stays empty.
    m_barMaximum = selected;
    ProgressBar1->setRange(0, m_barMaximum > 0 ? m_barMaximum : 1);
    ProgressBar1->setValue(0);
}

void frmInfo::ShowStatus(std::string_view text) {
    lblFile->setText(FitPathToLabel(lblFile, ToQt(text)));
}

void frmInfo::ShowProgress(const ProgressFigures& figures) {
    lblFileCount->setText(ToQt(FileCountLabel(figures.Placed, figures.Selected)));
    // Large counts may need a little more than the designed width in the fallback font.
    lblFileCount->resize(std::max(Twips(1695), lblFileCount->sizeHint().width()), lblFileCount->height());
    lblPercent->setText(ToQt(PercentLabel(figures.Percent)));
    setWindowTitle(ToQt(ProgressCaption(figures.Percent)));
    // A value above the maximum (files added since the scan) is refused: the bar keeps its value.
    if (figures.Placed >= 0 && figures.Placed <= m_barMaximum)
        ProgressBar1->setValue(figures.Placed);
}

void frmInfo::Work(RunObserver& obs, const CancelToken& cancel) {
    m_result = RunGeneration(m_request, m_scan, m_fs, obs, cancel);
}

void frmInfo::Ended(std::vector<Report> reports) {
    // A cancel pressed as the run ended still counts: the user asked for it before the window went.
    m_fCancel = m_result.Cancelled || cancelRequested();
    for (const Report& r : GroupReports(reports))
        ShowMessage(r.Text, r.Kind, r.Title);
}

}  // namespace kavo
