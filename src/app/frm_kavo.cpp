#include "app/frm_kavo.h"

#include <QApplication>
#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "app/frm_info.h"
#include "app/frm_layout.h"
#include "app/frm_search.h"
#include "app/ui_support.h"
#include "app/up_down.h"
#include "catalogue/folder_checks.h"
#include "fs/paths.h"
#include "html/html_writer.h"
#include "base/number_format.h"
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

/// The available area of the screen on which a window whose frame is `frame`
/// has its title bar, far enough in to be grabbed with the mouse; empty when
/// no screen has it. A stored position from a screen that is gone, or a
/// damaged one, is on none.
QRect ScreenOfTitleBar(const QRect& frame, int titleHeight) {
    const QRect titleBar(frame.topLeft(), QSize(frame.width(), titleHeight));
    const int grab = std::min(frame.width(), 100);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect on = titleBar & screen->availableGeometry();
        if (on.width() >= grab && on.height() == titleHeight)
            return screen->availableGeometry();
    }
    return {};
}

/// The frame's top left moved so that the frame lies on `area`, along each
/// direction in which it fits.
QPoint IntoArea(const QRect& frame, const QRect& area) {
    QPoint at = frame.topLeft();
    if (frame.width() <= area.width())
        at.setX(std::clamp(at.x(), area.left(), area.right() + 1 - frame.width()));
    if (frame.height() <= area.height())
        at.setY(std::clamp(at.y(), area.top(), area.bottom() + 1 - frame.height()));
    return at;
}

}  // namespace

frmKavo::frmKavo(FileSystem& fs, QWidget* parent) : QWidget(parent), m_fs(fs), m_model(fs) {
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
    SetWidestText(txtCount, QStringLiteral("200"));
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
    cmdSearch->setFocusPolicy(Qt::NoFocus);  // never reached by the keyboard

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
    connect(txtFolder, &QLineEdit::returnPressed, this, [this] {
        if (cmdOk->isEnabled() && m_model.Role() == OkRole::Search)
            cmdSearch_Click();
    });
    txtCount->installEventFilter(this);
    cmdOk->installEventFilter(this);
    cmdFolder->installEventFilter(this);

    NameForAssistiveTechnology({txtFolder}, frameFolder->title());
    NameForAssistiveTechnology({txtCount, udCount}, lblCount->text());
    NameGroupsForAssistiveTechnology(this);
    FitTextControls(this);
}

void frmKavo::Form_Load() {
    m_position = LoadWindowPosition();
    placeAtStoredPosition();
    setWindowTitle(QString::fromUtf8(kVersionText));
    for (QLabel* label : {lblJPG, lblGIF, lblBMP, lblPNG})
        label->setText(CountText(0));
    lblFileCount->setText(QStringLiteral("全ファイル数：") + CountText(0));
    m_model.Layout = LoadedLayout([](const std::string& name) { return LoadStoredText("Layout", name); },
                                  m_model.ClickChosen);
    cmdOk->setEnabled(m_model.OkEnabled());
    cmdExeUrl->setEnabled(false);
}

void frmKavo::placeAtStoredPosition() {
    const QPoint stored(Twips(m_position.Left), Twips(m_position.Top));
    // Before the window is shown its frame is not known; the title bar's height
    // is the style's guess, replaced by the real frame once it is on screen.
    const int titleHeight = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect frame(stored, size() + QSize(0, titleHeight));
    const QRect area = ScreenOfTitleBar(frame, titleHeight);
    move(area.isEmpty() ? QPoint(0, 0) : IntoArea(frame, area));
}

void frmKavo::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // The focus starts on 参照...; mark it, as a keyboard user needs to see where it is.
    showFocusMark();
    QTimer::singleShot(0, this, [this] {
        const QRect frame = frameGeometry();
        const QScreen* on = screen();
        if (on != nullptr && frame.intersects(on->availableGeometry()))
            move(pos() + IntoArea(frame, on->availableGeometry()) - frame.topLeft());
    });
}

void frmKavo::showFocusMark() {
    setAttribute(Qt::WA_KeyboardFocusChange);
    if (QWidget* focused = focusWidget())
        focused->update();
}

void frmKavo::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        FitTextControls(this);
}

void frmKavo::Form_Unload() {
    SaveWindowPosition({.Top = y() * 15, .Left = x() * 15});
    SaveStoredTexts("Layout", StoredLayout(m_model.Layout, m_model.ClickChosen));
}

void frmKavo::closeEvent(QCloseEvent* event) {
    Form_Unload();
    QWidget::closeEvent(event);
}

void frmKavo::cmdFolder_Click() {
    const bool byKeyboard = m_folderByKeyboard;
    setOkCaption(kCreateHtml);
    m_model.DisableOk();
    cmdOk->setEnabled(m_model.OkEnabled());
    setEnabled(false);
    const QString remembered = txtFolder->text();
    // Owned by the window, so the picker opens over it rather than in the middle of the screen.
    const QString chosen = proFolderDlg_Open(QStringLiteral("検索するフォルダを選択して下さい。"), this, QString(),
                                             kBrowseOnlyFileSystemFolders | kBrowseNotBelowDomain, folderPath());
    setEnabled(true);
    takeKeyboardBack();
    // Disabling the window took the focus away; it goes back where it was.
    cmdFolder->setFocus(Qt::ActiveWindowFocusReason);
    if (byKeyboard)
        showFocusMark();
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
    m_model.Folder = ToStd(folderPath());
    m_model.FolderEdited();
    showCounts();
    showRole();
}

QString frmKavo::folderPath() const {
    QString path = ToQt(UnquotedFolderText(ToStd(txtFolder->text())));
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        QUrl url(path);
        // "localhost" names this machine, as no host does.
        if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            url.setHost(QString());
        if (url.isLocalFile())
            path = QDir::toNativeSeparators(url.toLocalFile());
    }
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    return path;
}

bool frmKavo::reportUnusableFolder() {
    const std::string problem = m_model.FolderProblem();
    if (problem.empty())
        return false;
    ShowMessageBox(this, ToQt(problem), QStringLiteral("Kavo"), QMessageBox::Warning);
    return true;
}

void frmKavo::setOkCaption(const QString& caption) {
    if (cmdOk->text() == caption)
        return;
    cmdOk->setText(caption);
    // Only a click that changed the role is guarded: a change that came from
    // typing or pasting must not eat the user's next single click.
    if (m_searchByOkClick)
        m_okCaptionChanged.start();
    else
        m_okCaptionChanged.invalidate();
}

void frmKavo::showRole() {
    setOkCaption(m_model.Role() == OkRole::Search ? kSearch : kCreateHtml);
    cmdOk->setEnabled(m_model.OkEnabled());
    cmdExeUrl->setEnabled(m_model.BrowserEnabled());
}

void frmKavo::chkSubFolder_Click() {
    cmdSearch_Click();
}

void frmKavo::readChoices() {
    m_model.Folder = ToStd(folderPath());
    m_model.IncludeSubfolders = chkSubFolder->isChecked();
    m_model.Types = {chkJPG->isChecked(), chkGIF->isChecked(), chkBMP->isChecked(), chkPNG->isChecked()};
    m_model.PicturesPerPage = IntegerValue(txtCount->text());
}

void frmKavo::chkType_Click() {
    readChoices();
    m_model.TypesChanged();
    cmdOk->setEnabled(m_model.OkEnabled());
}

void frmKavo::cmdSearch_Click() {
    readChoices();
    if (m_model.Folder.empty() || reportUnusableFolder())
        return;
    frmSearch search(m_model.Request(ToStd(programFolder())), m_fs, this);
    search.run();
    takeKeyboardBack();
    ScanResult scan = search.result();
    scan.Cancelled = search.m_fCancel;  // also when closed before the scan began
    const std::string_view message = m_model.ScanEnded(scan);
    if (!message.empty())
        ShowMessageBox(this, ToQt(message), ToQt(kCancelledTitle), QMessageBox::Information);
    setOkCaption(m_model.Role() == OkRole::Search ? kSearch : kCreateHtml);
    cmdOk->setEnabled(m_model.OkEnabled());
    showCounts();
}

void frmKavo::showCounts() {
    const ScanCounts& c = m_model.Counts();
    lblJPG->setText(CountText(c.JpgCount));
    lblGIF->setText(CountText(c.GifCount));
    lblBMP->setText(CountText(c.BmpCount));
    lblPNG->setText(CountText(c.PngCount));
    lblFileCount->setText(QStringLiteral("全ファイル数：") + CountText(c.AllFileCount));
    // A six-digit total needs a little more than the designed width in the fallback font.
    lblFileCount->resize(std::max(Twips(2175), lblFileCount->sizeHint().width()), lblFileCount->height());
}

void frmKavo::cmdOk_Click() {
    if (m_model.Role() != OkRole::CreateHtml) {
        m_searchByOkClick = true;
        cmdSearch_Click();
        m_searchByOkClick = false;
        return;
    }
    cmdExeUrl->setEnabled(false);
    readChoices();
    frmInfo info(m_model.Request(ToStd(programFolder())), m_model.Scan(), m_fs, this);
    info.run();
    takeKeyboardBack();
    switch (m_model.GenerationEnded(info.result(), info.m_fCancel)) {
        case MainWindowModel::AfterGeneration::FolderGone:
            reportUnusableFolder();
            txtFolder_Change();
            break;
        case MainWindowModel::AfterGeneration::TellCancelled:
            ShowMessageBox(this, ToQt(kGenerationCancelledText), ToQt(kCancelledTitle), QMessageBox::Information);
            break;
        case MainWindowModel::AfterGeneration::Nothing:
            break;
    }
    cmdExeUrl->setEnabled(m_model.BrowserEnabled());
}

bool frmKavo::txtCount_KeyPress(const QKeyEvent* event) {
    return DiscardedByDigitFilter(event);
}

bool frmKavo::txtCount_LostFocus() {
    const QString text = txtCount->text();
    const FieldCheck check = CheckPicturesPerPage(text.isEmpty() ? std::nullopt : std::optional(IntegerValue(text)));
    if (!check.Corrected)
        return false;
    Beep();
    ShowMessageBox(this, ToQt(check.Warning), QStringLiteral("Kavo"), QMessageBox::Warning);
    txtCount->setText(QString::number(check.Value));
    return true;
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
    const QEvent::Type type = event->type();
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (watched == cmdOk && press && m_okCaptionChanged.isValid() &&
        m_okCaptionChanged.elapsed() < QApplication::doubleClickInterval())
        return true;  // the rest of a double click meant for the caption before
    if (watched == cmdFolder && (press || type == QEvent::KeyPress))
        m_folderByKeyboard = type == QEvent::KeyPress;
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
    frmLayout layout(m_model.Layout, txtCount, this, &m_model.ClickChosen);
    if (layout.exec() == QDialog::Accepted)
        SaveStoredTexts("Layout", StoredLayout(m_model.Layout, m_model.ClickChosen));
}

void frmKavo::openWithDesktop(const QString& path) {
    if (!OpenWithDesktop(path))
        ShowMessageBox(this, ToQt(NoLauncherMessage(ToStd(path))), QStringLiteral("Kavo"), QMessageBox::Warning);
}

void frmKavo::cmdExeUrl_Click() {
    openWithDesktop(ToQt(m_model.SummaryPage()));  // enabled only while the folder text leads to it
}

QString frmKavo::programFolder() const {
    return ToQt(ProgramDataFolder(NativeFileSystem(), ToStd(QCoreApplication::applicationDirPath())));
}

void frmKavo::Form_DblClick() {
    openWithDesktop(programFolder() + QLatin1Char(kPathSep) + QStringLiteral("Readme.txt"));
}

void frmKavo::mouseDoubleClickEvent(QMouseEvent* event) {
    // Only the window's background; a double click on a control or a frame is theirs.
    if (childAt(event->position().toPoint()) == nullptr)
        Form_DblClick();
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace kavo
