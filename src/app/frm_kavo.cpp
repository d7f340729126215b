#include "app/frm_kavo.h"

#include <QApplication>
#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "app/frm_info.h"
#include "app/frm_layout.h"
#include "app/frm_search.h"
#include "app/ui_support.h"
#include "app/up_down.h"
#include "catalogue/file_helpers.h"
#include "catalogue/number_format.h"
#include "platform/folder_dialog.h"
#include "platform/message_box.h"
#include "platform/position_store.h"
#include "platform/shell.h"

namespace kavo {

namespace {

const QString kCreateHtml = QStringLiteral("ＨＴＭＬ作成");
const QString kSearch = QStringLiteral("検索");

QString CountText(int32_t count) {
    return ToQt(FormatNumber(count, "####0")) + QStringLiteral("ファイル");
}

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

/// True when a window whose frame starts at `topLeft` would have its title bar
/// on an available screen, far enough in to be grabbed with the mouse. A stored
/// position from a screen that is gone, or a damaged one, fails this test.
bool TitleBarOnScreen(QPoint topLeft, int width) {
    const int titleHeight = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect titleBar(topLeft, QSize(width, titleHeight));
    const int grab = std::min(width, 100);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect on = titleBar & screen->availableGeometry();
        if (on.width() >= grab && on.height() == titleHeight)
            return true;
    }
    return false;
}

}  // namespace

frmKavo::frmKavo(KavoContext& ctx, FileSystem& fs, QWidget* parent) : QWidget(parent), m_ctx(ctx), m_fs(fs) {
    buildControls();
    Form_Load();
}

void frmKavo::buildControls() {
    setObjectName(QStringLiteral("frmKavo"));
    setFont(WindowFont());
    setFixedSize(Twips(7065), Twips(3360));

    frameFolder = Named(new QGroupBox(QStringLiteral("検索するフォルダ"), this), "frameFolder");
    PlaceTwips(frameFolder, 120, 120, 6855, 1095);
    txtFolder = Named(new QLineEdit(frameFolder), "txtFolder");
    PlaceTwips(txtFolder, 120, 240, 5775, 375);
    txtFolder->setFont(BoxFont());
    cmdFolder = Named(new QPushButton(QStringLiteral("参照..."), frameFolder), "cmdFolder");
    PlaceTwips(cmdFolder, 6000, 240, 735, 375);
    chkSubFolder = Named(new QCheckBox(QStringLiteral("サブフォルダも検索する"), frameFolder), "chkSubFolder");
    PlaceTwips(chkSubFolder, 240, 720, 2175, 255);
    chkSubFolder->setChecked(true);
    lblFileCount = Named(new QLabel(frameFolder), "lblFileCount");
    PlaceTwips(lblFileCount, 3720, 720, 2175, 255);

    frameFile = Named(new QGroupBox(QStringLiteral("表示するファイル"), this), "frameFile");
    PlaceTwips(frameFile, 120, 1320, 3375, 1335);
    chkJPG = Named(new QCheckBox(QStringLiteral("ＪＰＧ・ＪＰＥＧ"), frameFile), "chkJPG");
    PlaceTwips(chkJPG, 240, 240, 1335, 255);
    chkGIF = Named(new QCheckBox(QStringLiteral("ＧＩＦ"), frameFile), "chkGIF");
    PlaceTwips(chkGIF, 240, 480, 615, 255);
    chkBMP = Named(new QCheckBox(QStringLiteral("ＢＭＰ"), frameFile), "chkBMP");
    PlaceTwips(chkBMP, 240, 720, 735, 255);
    chkPNG = Named(new QCheckBox(QStringLiteral("ＰＮＧ"), frameFile), "chkPNG");
    PlaceTwips(chkPNG, 240, 960, 735, 225);
    for (QCheckBox* box : {chkJPG, chkGIF, chkBMP, chkPNG})
        box->setChecked(true);
    lblJPG = Named(new QLabel(frameFile), "lblJPG");
    PlaceTwips(lblJPG, 1920, 240, 1335, 255);
    lblGIF = Named(new QLabel(frameFile), "lblGIF");
    PlaceTwips(lblGIF, 1920, 480, 1335, 255);
    lblBMP = Named(new QLabel(frameFile), "lblBMP");
    PlaceTwips(lblBMP, 1920, 720, 1335, 255);
    lblPNG = Named(new QLabel(frameFile), "lblPNG");
    PlaceTwips(lblPNG, 1920, 960, 1335, 255);

    frameOption = Named(new QGroupBox(QStringLiteral("オプション"), this), "frameOption");
    PlaceTwips(frameOption, 3600, 1320, 3375, 1335);
    txtCount = Named(new QLineEdit(QStringLiteral("50"), frameOption), "txtCount");
    PlaceTwips(txtCount, 240, 360, 495, 375);
    txtCount->setFont(BoxFont());
    txtCount->setToolTip(QStringLiteral(
        "１ページ内に出力する画像数を指定します。５～２００までが指定できますが５０～１００ぐらいが標準です。"
        "それ以上になるとブラウザでの画像表示速度が遅くなる場合があります。"));
    // Full-width digits from an input method would bypass the digit filter.
    txtCount->setAttribute(Qt::WA_InputMethodEnabled, false);
    udCount = Named(new UpDown(frameOption), "udCount");
    PlaceTwips(udCount, 720, 360, 240, 375);
    udCount->setRange(5, 200);
    udCount->setValue(50);
    udCount->setBuddy(txtCount);
    lblCount = Named(new QLabel(QStringLiteral("画像／ページ"), frameOption), "lblCount");
    PlaceTwips(lblCount, 1080, 480, 1095, 255);
    cmdLayout = Named(new QPushButton(QStringLiteral("設定..."), frameOption), "cmdLayout");
    PlaceTwips(cmdLayout, 2520, 360, 735, 375);
    cmdLayout->setToolTip(QStringLiteral("出力レイアウトを設定します。"));

    cmdExeUrl = Named(new QPushButton(QStringLiteral("ブラウザ起動"), this), "cmdExeUrl");
    PlaceTwips(cmdExeUrl, 120, 2760, 1215, 495);
    cmdOk = Named(new QPushButton(kCreateHtml, this), "cmdOk");
    PlaceTwips(cmdOk, 4440, 2760, 1215, 495);
    cmdClose = Named(new QPushButton(QStringLiteral("終了"), this), "cmdClose");
    PlaceTwips(cmdClose, 5760, 2760, 1215, 495);
    // The search action's own button: raised only by the program, outside the client area.
    cmdSearch = Named(new QPushButton(kSearch, this), "cmdSearch");
    PlaceTwips(cmdSearch, 7320, 240, 1095, 495);
    cmdSearch->hide();

    // Tab order 0 to 12 (frames and labels take no focus), then the hidden button.
    QWidget* order[] = {cmdFolder, txtFolder, chkSubFolder, chkJPG,    chkGIF, chkBMP,   chkPNG,
                        txtCount,  udCount,   cmdLayout,    cmdExeUrl, cmdOk,  cmdClose, cmdSearch};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(cmdFolder, &QPushButton::clicked, this, &frmKavo::cmdFolder_Click);
    connect(txtFolder, &QLineEdit::textChanged, this, &frmKavo::txtFolder_Change);
    connect(chkSubFolder, &QCheckBox::clicked, this, &frmKavo::chkSubFolder_Click);
    for (QCheckBox* box : {chkJPG, chkGIF, chkBMP, chkPNG})
        connect(box, &QCheckBox::clicked, this, &frmKavo::chkType_Click);
    connect(cmdLayout, &QPushButton::clicked, this, &frmKavo::cmdLayout_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmKavo::cmdOk_Click);
    connect(cmdSearch, &QPushButton::clicked, this, &frmKavo::cmdSearch_Click);
    connect(cmdExeUrl, &QPushButton::clicked, this, &frmKavo::cmdExeUrl_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    txtCount->installEventFilter(this);
}

void frmKavo::Form_Load() {
    LoadWindowPosition(m_ctx);
    const QPoint stored(Twips(m_ctx.WindowLeft), Twips(m_ctx.WindowTop));
    move(TitleBarOnScreen(stored, width()) ? stored : QPoint(0, 0));
    setWindowTitle(QString::fromUtf8(kVersionText));
    for (QLabel* label : {lblJPG, lblGIF, lblBMP, lblPNG})
        label->setText(CountText(0));
    lblFileCount->setText(QStringLiteral("全ファイル数：") + CountText(0));
    m_ctx.Settings = CatalogueSettings{};
    cmdOk->setEnabled(false);
    cmdExeUrl->setEnabled(false);
}

void frmKavo::Form_Unload() {
    SaveWindowPosition(y() * 15, x() * 15);
}

void frmKavo::closeEvent(QCloseEvent* event) {
    Form_Unload();
    QWidget::closeEvent(event);
}

void frmKavo::cmdFolder_Click() {
    cmdOk->setText(kCreateHtml);
    cmdOk->setEnabled(false);
    setEnabled(false);
    const QString remembered = txtFolder->text();
    const QString chosen = proFolderDlg_Open(QStringLiteral("検索するフォルダを選択して下さい。"), nullptr, QString(),
                                             kBrowseOnlyFileSystemFolders | kBrowseNotBelowDomain, remembered);
    setEnabled(true);
    takeKeyboardBack();
    if (!chosen.isEmpty()) {
        txtFolder->setText(chosen);
        txtFolder->setToolTip(chosen);
        cmdSearch_Click();
    } else {
        // Putting the old text back counts as a change, so the button follows the folder again.
        const bool same = txtFolder->text() == remembered;
        txtFolder->setText(remembered);
        txtFolder->setToolTip(remembered);
        if (same)
            txtFolder_Change();
    }
}

void frmKavo::txtFolder_Change() {
    const QString text = txtFolder->text();
    if (text.isEmpty()) {
        cmdOk->setEnabled(false);
        return;
    }
    if (CheckFolder(m_fs, ToStd(text)) != 0) {
        cmdOk->setEnabled(false);
        return;
    }
    m_ctx.ResetCounts();
    cmdOk->setText(kSearch);
    cmdOk->setEnabled(true);
    showCounts();
}

void frmKavo::chkSubFolder_Click() {
    cmdSearch_Click();
}

void frmKavo::chkType_Click() {
    const bool anyType = chkJPG->isChecked() || chkGIF->isChecked() || chkBMP->isChecked() || chkPNG->isChecked();
    cmdOk->setEnabled(!txtFolder->text().isEmpty() && anyType);
}

void frmKavo::cmdSearch_Click() {
    if (CheckFolder(m_fs, ToStd(txtFolder->text())) != 0)
        return;
    frmSearch search(m_ctx, ScanInputs{ToStd(txtFolder->text()), chkSubFolder->isChecked()}, m_fs, this);
    search.exec();
    takeKeyboardBack();
    const ScanCounts& c = m_ctx.Counts;
    m_ctx.SelectedImageCount = c.JpgCount + c.GifCount + c.BmpCount + c.PngCount;
    if (search.m_fCancel) {
        ShowMessageBox(this, QStringLiteral("ファイル検索処理を中止しました。"), QStringLiteral("Ｋａｖｏ"),
                       QMessageBox::Information);
        m_ctx.ResetCounts();
        cmdOk->setEnabled(true);
        cmdOk->setText(kSearch);
    } else {
        cmdOk->setText(kCreateHtml);
        cmdOk->setEnabled(m_ctx.SelectedImageCount != 0);
    }
    showCounts();
}

void frmKavo::showCounts() {
    const ScanCounts& c = m_ctx.Counts;
    lblJPG->setText(CountText(c.JpgCount));
    lblGIF->setText(CountText(c.GifCount));
    lblBMP->setText(CountText(c.BmpCount));
    lblPNG->setText(CountText(c.PngCount));
    lblFileCount->setText(QStringLiteral("全ファイル数：") + CountText(c.AllFileCount));
    // A six-digit total needs a little more than the designed width in the fallback font.
    lblFileCount->resize(std::max(Twips(2175), lblFileCount->sizeHint().width()), lblFileCount->height());
}

void frmKavo::cmdOk_Click() {
    if (cmdOk->text() != kCreateHtml) {
        cmdSearch_Click();
        return;
    }
    cmdExeUrl->setEnabled(false);
    m_ctx.SelectTypes(chkJPG->isChecked(), chkGIF->isChecked(), chkBMP->isChecked(), chkPNG->isChecked());
    m_ctx.ImagesPerPage = IntegerValue(txtCount->text());
    m_ctx.CancelRequested = false;

    GenerateInputs inputs;
    inputs.Folder = ToStd(txtFolder->text());
    inputs.IncludeSubfolders = chkSubFolder->isChecked();
    inputs.Jpg = chkJPG->isChecked();
    inputs.Gif = chkGIF->isChecked();
    inputs.Bmp = chkBMP->isChecked();
    inputs.Png = chkPNG->isChecked();
    inputs.ProgramFolder = ToStd(programFolder());
    frmInfo info(m_ctx, std::move(inputs), m_fs, this);
    info.exec();
    takeKeyboardBack();
    if (info.result().FolderMissing) {
        // Deleted or moved since the scan: treated as a typed folder that does
        // not exist. The core wrote nothing and did not make the folder again.
        txtFolder_Change();
    } else if (info.result().Busy || info.result().CatalogueFolder || info.result().ForeignLink) {
        // Refused with a message already shown; nothing was written.
    } else if (info.m_fCancel) {
        ShowMessageBox(this, QStringLiteral("ＨＴＭＬ作成処理を中止しました。"), QStringLiteral("Ｋａｖｏ"),
                       QMessageBox::Information);
    } else {
        cmdExeUrl->setEnabled(true);
    }
}

bool frmKavo::txtCount_KeyPress(const QKeyEvent* event) {
    return DiscardedByDigitFilter(event);
}

bool frmKavo::txtCount_LostFocus() {
    bool shown = false;
    auto warn = [this, &shown](const QString& text) {
        Beep();
        ShowMessageBox(this, text, QStringLiteral("Kavo"), QMessageBox::Warning);
        shown = true;
    };
    if (txtCount->text().isEmpty()) {
        warn(QStringLiteral("値を設定してください。"));
        txtCount->setText(QStringLiteral("10"));
        return true;
    }
    // A pasted text that is no number reads as 0 and is corrected like any value below the range.
    if (IntegerValue(txtCount->text()) > 200) {
        warn(QStringLiteral("２００以上は設定できません。"));
        txtCount->setText(QStringLiteral("200"));
    }
    if (IntegerValue(txtCount->text()) < 5) {
        warn(QStringLiteral("５未満は設定できません。"));
        txtCount->setText(QStringLiteral("5"));
    }
    return shown;
}

void frmKavo::takeKeyboardBack() {
    raise();
    activateWindow();
}

void frmKavo::releaseButtons() {
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        if (button->isDown())
            button->setDown(false);
    }
}

bool frmKavo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtCount) {
        if (event->type() == QEvent::KeyPress && txtCount_KeyPress(static_cast<QKeyEvent*>(event)))
            return true;
        if (event->type() == QEvent::FocusOut) {
            // Only a move of the focus inside the program counts: not a message box,
            // another window or the box's own context menu.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            // A click that moved the focus reaches its button only after the
            // message, whose box took the release: the button would stay down.
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && txtCount_LostFocus())
                QTimer::singleShot(0, this, &frmKavo::releaseButtons);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmKavo::cmdLayout_Click() {
    frmLayout layout(m_ctx, txtCount, this);
    layout.exec();
}

void frmKavo::cmdExeUrl_Click() {
    OpenWithDesktop(ToQt(WithTrailingSeparator(ToStd(txtFolder->text()))) + QStringLiteral("index.html"));
}

QString frmKavo::programFolder() const {
    return ToQt(ProgramDataFolder(NativeFileSystem(), ToStd(QCoreApplication::applicationDirPath())));
}

void frmKavo::Form_DblClick() {
    OpenWithDesktop(programFolder() + QLatin1Char(kPathSep) + QStringLiteral("Readme.txt"));
}

void frmKavo::mouseDoubleClickEvent(QMouseEvent* event) {
    // Only the window's background; a double click on a control or a frame is theirs.
    if (childAt(event->position().toPoint()) == nullptr)
        Form_DblClick();
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace kavo
