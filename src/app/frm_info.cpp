#include "app/frm_info.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "app/ui_support.h"
#include "catalogue/scan.h"
#include "platform/shell.h"

namespace kavo {

frmInfo::frmInfo(KavoContext& ctx, GenerateInputs inputs, FileSystem& fs, QWidget* parent)
    : ProgressWindow(ctx, parent),
      frameFile(new QGroupBox(QStringLiteral("ファイル名"), this)),
      lblFile(new QLabel(QStringLiteral("Filename"), frameFile)),
      lblFileCount(new QLabel(QStringLiteral("99999/99999ファイル"), this)),
      lblPercent(new QLabel(QStringLiteral("100％"), this)),
      ProgressBar1(new QProgressBar(this)),
      cmdCancel(new QPushButton(QStringLiteral("中止"), this)),
      m_inputs(std::move(inputs)),
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
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    PlaceTwips(cmdCancel, 2520, 1560, 1215, 495);
    connect(cmdCancel, &QPushButton::clicked, this, &frmInfo::cmdCancel_Click);

    Form_Load();
}

void frmInfo::Form_Load() {
    lblFileCount->setText(ToQt(FileCountLabel(0, m_ctx.SelectedImageCount)));
    lblPercent->setText(ToQt(PercentLabel(0)));
    setWindowTitle(ToQt(ProgressCaption(0)));
    lblFile->setText(QString());
    // An empty range would make the bar show a busy animation; with nothing
    // selected it simply stays empty.
    m_barMaximum = m_ctx.SelectedImageCount;
    ProgressBar1->setRange(0, m_barMaximum > 0 ? m_barMaximum : 1);
    ProgressBar1->setValue(0);
}

void frmInfo::ShowStatus(std::string_view text) {
    m_status = text;
    refreshDisplay(text == kWritingHtmlText);
}

void frmInfo::ShowProgress(const ProgressFigures& figures) {
    m_figures = figures;
    m_figuresReported = true;
    refreshDisplay(false);
}

void frmInfo::ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) {
    m_messages.push_back({std::string(text), icon, std::string(title)});
}

void frmInfo::showMessages() {
    std::vector<Message> notices;
    const Message* first = nullptr;
    int more = 0;
    for (const Message& m : m_messages) {
        // Only failed writes are counted together; unreadable folders come in a notice of their own.
        if (m.Icon != MessageIcon::Exclamation || m.Title == kUnreadableNoticeTitle)
            notices.push_back(m);
        else if (first == nullptr)
            first = &m;
        else
            ++more;
    }
    if (first != nullptr) {
        std::string text = first->Text;
        if (more > 0)
            text += "\r\nほかに" + std::to_string(more) + "件の書き出しに失敗しました。";
        ProgressWindow::ShowMessage(text, first->Icon, first->Title);
    }
    for (const Message& m : notices)
        ProgressWindow::ShowMessage(m.Text, m.Icon, m.Title);
    m_messages.clear();
}

void frmInfo::applyDisplay() {
    lblFile->setText(FitPathToLabel(lblFile, ToQt(m_status)));
    if (!m_figuresReported)
        return;
    lblFileCount->setText(ToQt(FileCountLabel(m_figures.Placed, m_figures.Selected)));
    // Large counts may need a little more than the designed width in the fallback font.
    lblFileCount->resize(std::max(Twips(1695), lblFileCount->sizeHint().width()), lblFileCount->height());
    lblPercent->setText(ToQt(PercentLabel(m_figures.Percent)));
    setWindowTitle(ToQt(ProgressCaption(m_figures.Percent)));
    // A value above the maximum (files added since the scan) is refused: the bar keeps its value.
    if (m_figures.Placed >= 0 && m_figures.Placed <= m_barMaximum)
        ProgressBar1->setValue(m_figures.Placed);
}

void frmInfo::Form_Activate() {
    SetBusyCursor();
    beginRun();
    m_result = RunGeneration(m_ctx, m_inputs, m_fs, *this);
    m_fCancel = m_result.Cancelled;
    endRun();
    RestoreCursor();
    showMessages();
    finish();
}

}  // namespace kavo
