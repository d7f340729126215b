#include "app/frm_layout.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/layout_preview.h"
#include "app/ui_support.h"
#include "app/up_down.h"
#include "platform/message_box.h"

namespace kavo {

namespace {

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLineEdit* NumberField(const char* name, const QString& text, QWidget* parent) {
    auto* field = Named(new QLineEdit(text, parent), name);
    field->setFont(BoxFont());
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    return field;
}

/// The positive number a field holds, or 0 when it holds none.
int PositiveNumber(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? value : 0;
}

}  // namespace

frmLayout::frmLayout(CatalogueSettings& settings, QLineEdit* mainCount, QWidget* parent, bool* clickChosen)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_settings(settings),
      m_model(settings, clickChosen != nullptr && *clickChosen),
      m_mainCount(mainCount),
      m_clickChosen(clickChosen) {
    buildControls();
    Form_Load();
}

void frmLayout::buildControls() {
    setObjectName(QStringLiteral("frmLayout"));
    setWindowTitle(QStringLiteral("Html出力設定 - Kavo"));
    setFont(WindowFont());
    setFixedSize(Twips(5760), Twips(5715));
    setModal(true);

    FrameLayoutImageSize = Named(new QGroupBox(QStringLiteral("画像の大きさ"), this), "FrameLayoutImageSize");
    PlaceTwips(FrameLayoutImageSize, 120, 120, 3255, 2295);
    OptionNoSame =
        Named(new QRadioButton(QStringLiteral("元の画像の大きさで表示する"), FrameLayoutImageSize), "OptionNoSame");
    PlaceTwips(OptionNoSame, 120, 240, 2535, 255);
    FrameOption[0] = Named(new QGroupBox(QStringLiteral("大きさの取得"), FrameLayoutImageSize), "FrameOption");
    PlaceTwips(FrameOption[0], 480, 480, 2655, 615);
    chkSize = Named(new QCheckBox(QStringLiteral("画像の大きさを取得する"), FrameOption[0]), "chkSize");
    PlaceTwips(chkSize, 120, 240, 2175, 255);
    chkSize->setChecked(true);
    chkSize->setToolTip(QStringLiteral(
        "画像サイズを取得するとＨＴＭＬ出力処理速度が遅くなりますが、ブラウザでの画像表示速度が速くなります。"));
    OptionSame = Named(new QRadioButton(QStringLiteral("画像の大きさを揃える"), FrameLayoutImageSize), "OptionSame");
    PlaceTwips(OptionSame, 120, 1200, 2055, 255);
    FrameOption[1] =
        Named(new QGroupBox(QStringLiteral("画像の表示サイズ（ピクセル）"), FrameLayoutImageSize), "FrameOption");
    PlaceTwips(FrameOption[1], 480, 1440, 2655, 735);
    FrameOption[0]->setProperty("index", 0);
    FrameOption[1]->setProperty("index", 1);
    lblX = Named(new QLabel(QStringLiteral("横："), FrameOption[1]), "lblX");
    PlaceTwips(lblX, 120, 360, 375, 255);
    txtX = NumberField("txtX", QStringLiteral("100"), FrameOption[1]);
    PlaceTwips(txtX, 360, 240, 615, 375);
    UpDownX = Named(new UpDown(FrameOption[1]), "UpDownX");
    PlaceTwips(UpDownX, 960, 240, 240, 375);
    lblY = Named(new QLabel(QStringLiteral("縦："), FrameOption[1]), "lblY");
    PlaceTwips(lblY, 1440, 360, 375, 255);
    txtY = NumberField("txtY", QStringLiteral("100"), FrameOption[1]);
    PlaceTwips(txtY, 1680, 240, 615, 390);
    UpDownY = Named(new UpDown(FrameOption[1]), "UpDownY");
    PlaceTwips(UpDownY, 2280, 240, 240, 390);
    for (UpDown* spin : {UpDownX, UpDownY}) {
        spin->setRange(10, 200);
        spin->setIncrement(10);
        spin->setValue(100);
    }
    UpDownX->setBuddy(txtX);
    UpDownY->setBuddy(txtY);

    FrameClick = Named(new QGroupBox(QStringLiteral("画像クリック時の処理"), this), "FrameClick");
    PlaceTwips(FrameClick, 3480, 120, 2175, 2295);
    OptionClickFolder = Named(new QRadioButton(QStringLiteral("フォルダを開く"), FrameClick), "OptionClickFolder");
    PlaceTwips(OptionClickFolder, 120, 240, 1455, 255);
    OptionClickView = Named(new QRadioButton(QStringLiteral("画像を表示する"), FrameClick), "OptionClickView");
    PlaceTwips(OptionClickView, 120, 720, 1575, 255);
    OptionClickNo = Named(new QRadioButton(QStringLiteral("何もしない"), FrameClick), "OptionClickNo");
    PlaceTwips(OptionClickNo, 120, 1200, 1095, 255);

    FrameLayout = Named(new QGroupBox(QStringLiteral("出力レイアウト"), this), "FrameLayout");
    PlaceTwips(FrameLayout, 120, 2520, 5535, 2415);
    OptionNoTable = Named(new QRadioButton(QStringLiteral("テーブルを使用しない"), FrameLayout), "OptionNoTable");
    PlaceTwips(OptionNoTable, 120, 240, 2055, 255);
    FrameNotable = Named(new QGroupBox(QStringLiteral("表示する場所"), FrameLayout), "FrameNotable");
    PlaceTwips(FrameNotable, 480, 480, 2655, 615);
    OptionLeft = Named(new QRadioButton(QStringLiteral("左"), FrameNotable), "OptionLeft");
    PlaceTwips(OptionLeft, 240, 240, 495, 300);
    OptionLeft->setToolTip(QStringLiteral("画像を左に揃えます。"));
    OptionCenter = Named(new QRadioButton(QStringLiteral("中央"), FrameNotable), "OptionCenter");
    PlaceTwips(OptionCenter, 1080, 240, 735, 255);
    OptionCenter->setToolTip(QStringLiteral("画像を中央に揃えます。"));
    OptionRight = Named(new QRadioButton(QStringLiteral("右"), FrameNotable), "OptionRight");
    PlaceTwips(OptionRight, 1920, 240, 495, 255);
    OptionRight->setToolTip(QStringLiteral("画像を右に揃えます。"));
    OptionTable = Named(new QRadioButton(QStringLiteral("テーブルを使用する"), FrameLayout), "OptionTable");
    PlaceTwips(OptionTable, 120, 1200, 1935, 375);
    FrameTable = Named(new QGroupBox(QStringLiteral("テーブル"), FrameLayout), "FrameTable");
    PlaceTwips(FrameTable, 480, 1560, 2655, 735);
    txtImagePerLine = NumberField("txtImagePerLine", QStringLiteral("3"), FrameTable);
    PlaceTwips(txtImagePerLine, 240, 240, 495, 375);
    txtImagePerLine->setReadOnly(true);  // changed by its spinner only
    txtImagePerLine->setToolTip(QStringLiteral("１行で表示する画像数を指定します。"));
    UpDownImagePerLine = Named(new UpDown(FrameTable), "UpDownImagePerLine");
    PlaceTwips(UpDownImagePerLine, 720, 240, 240, 375);
    UpDownImagePerLine->setRange(1, 10);
    UpDownImagePerLine->setValue(3);
    UpDownImagePerLine->setBuddy(txtImagePerLine);
    Label1 = Named(new QLabel(QStringLiteral("画像／行"), FrameTable), "Label1");
    PlaceTwips(Label1, 1080, 360, 855, 255);
    FrameLayoutImage = Named(new QGroupBox(QStringLiteral("出力レイアウトイメージ"), FrameLayout), "FrameLayoutImage");
    PlaceTwips(FrameLayoutImage, 3240, 240, 2175, 2055);
    picLayout = Named(new PictureBox(FrameLayoutImage), "picLayout");
    PlaceTwips(picLayout, 120, 240, 1935, 1695);
    // Holds the sample picture; it lies outside the client area and is never shown.
    picImage = Named(new QLabel(this), "picImage");
    PlaceTwips(picImage, 6000, 240, 345, 345);
    picImage->setPixmap(QPixmap::fromImage(SamplePicture()));
    picImage->hide();

    // Thumbnails: the one group added below the others, left of the buttons.
    FrameThumbnail = Named(new QGroupBox(QStringLiteral("サムネイル"), this), "FrameThumbnail");
    PlaceTwips(FrameThumbnail, 120, 4980, 2895, 615);
    chkThumbnail = Named(new QCheckBox(QStringLiteral("作成する"), FrameThumbnail), "chkThumbnail");
    PlaceTwips(chkThumbnail, 120, 240, 1500, 255);
    txtThumbnail = NumberField("txtThumbnail", QStringLiteral("200"), FrameThumbnail);
    PlaceTwips(txtThumbnail, 1680, 200, 495, 330);
    UpDownThumbnail = Named(new UpDown(FrameThumbnail), "UpDownThumbnail");
    PlaceTwips(UpDownThumbnail, 2175, 200, 240, 330);
    UpDownThumbnail->setRange(50, 400);
    UpDownThumbnail->setIncrement(10);
    UpDownThumbnail->setValue(200);
    UpDownThumbnail->setBuddy(txtThumbnail);
    UpDownThumbnail->takeSpinKeysInBuddy();
    SetWidestText(txtThumbnail, QStringLiteral("400"));
    SetWidestText(txtX, QStringLiteral("200"));
    SetWidestText(txtY, QStringLiteral("200"));
    SetWidestText(txtImagePerLine, QStringLiteral("10"));
    lblThumbnail = Named(new QLabel(QStringLiteral("px"), FrameThumbnail), "lblThumbnail");
    PlaceTwips(lblThumbnail, 2475, 260, 375, 255);

    cmdOk = Named(new QPushButton(QStringLiteral("ＯＫ"), this), "cmdOk");
    PlaceTwips(cmdOk, 3120, 5040, 1215, 495);
    cmdOk->setDefault(true);
    cmdCancel = Named(new QPushButton(QStringLiteral("キャンセル"), this), "cmdCancel");
    PlaceTwips(cmdCancel, 4440, 5040, 1215, 495);

    // Four independent groups, one per frame; none is selected by design. Tab
    // stops at a group's checked option only (the arrow keys move within it).
    auto group = [this](std::initializer_list<QRadioButton*> buttons) {
        auto* g = new QButtonGroup(this);
        for (QRadioButton* b : buttons)
            g->addButton(b);
        connect(g, &QButtonGroup::buttonToggled, this, [g] {
            for (QAbstractButton* b : g->buttons())
                b->setFocusPolicy(b->isChecked() || !g->checkedButton() ? Qt::StrongFocus : Qt::ClickFocus);
        });
    };
    group({OptionNoSame, OptionSame});
    group({OptionClickFolder, OptionClickView, OptionClickNo});
    group({OptionLeft, OptionCenter, OptionRight});
    group({OptionNoTable, OptionTable});

    QWidget* order[] = {cmdOk,
                        cmdCancel,
                        OptionNoTable,
                        OptionLeft,
                        OptionCenter,
                        OptionRight,
                        OptionTable,
                        txtImagePerLine,
                        UpDownImagePerLine,
                        OptionNoSame,
                        OptionSame,
                        chkSize,
                        txtX,
                        txtY,
                        UpDownX,
                        UpDownY,
                        OptionClickFolder,
                        OptionClickView,
                        OptionClickNo,
                        chkThumbnail,
                        txtThumbnail};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    cmdOk->setFocus();

    auto onSelected = [this](QRadioButton* button, void (frmLayout::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on)
                (this->*handler)();
        });
    };
    onSelected(OptionNoSame, &frmLayout::OptionNoSame_Click);
    onSelected(OptionSame, &frmLayout::OptionSame_Click);
    onSelected(OptionNoTable, &frmLayout::OptionNoTable_Click);
    onSelected(OptionTable, &frmLayout::OptionTable_Click);
    for (QRadioButton* b : {OptionLeft, OptionCenter, OptionRight})
        onSelected(b, &frmLayout::OptionAlign_Click);
    connect(txtImagePerLine, &QLineEdit::textChanged, this, &frmLayout::txtImagePerLine_Change);
    connect(chkThumbnail, &QCheckBox::toggled, this, &frmLayout::chkThumbnail_Toggle);
    const std::pair<QRadioButton*, ClickAction> clicks[] = {
        {OptionClickFolder, ClickAction::Folder}, {OptionClickView, ClickAction::View}, {OptionClickNo, ClickAction::No}};
    for (const auto& option : clicks) {
        const ClickAction click = option.second;
        connect(option.first, &QRadioButton::toggled, this, [this, click](bool on) {
            if (!on || m_showingClick)
                return;
            m_model.PickClick(click);
            showClick();
        });
    }
    connect(cmdOk, &QPushButton::clicked, this, &frmLayout::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLayout::cmdCancel_Click);
    for (QLineEdit* field : {txtX, txtY, txtImagePerLine, txtThumbnail})
        field->installEventFilter(this);

    // Each box and its spinner are named by the label beside them, not the frame around them.
    auto name = [](const QLabel* label) { return label->text().remove(QStringLiteral("：")); };
    NameForAssistiveTechnology({txtX, UpDownX}, name(lblX));
    NameForAssistiveTechnology({txtY, UpDownY}, name(lblY));
    NameForAssistiveTechnology({txtImagePerLine, UpDownImagePerLine}, name(Label1));
    NameForAssistiveTechnology({picLayout}, FrameLayoutImage->title());
    NameForAssistiveTechnology({txtThumbnail, UpDownThumbnail}, QStringLiteral("サムネイルの大きさ"));
    NameGroupsForAssistiveTechnology(this);
    FitTextControls(this);
}

void frmLayout::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        FitTextControls(this);
}

void frmLayout::Form_Load() {
    const CatalogueSettings& s = m_settings;
    const LayoutDialogModel m = m_model;  // the toggles below change the model as they go
    (m.SameSize ? OptionSame : OptionNoSame)->setChecked(true);
    chkSize->setChecked(m.GetImageSize);
    txtX->setText(QString::number(s.ImageWidth));
    txtY->setText(QString::number(s.ImageHeight));
    showClick();
    (m.Align == Alignment::Left ? OptionLeft : m.Align == Alignment::Right ? OptionRight : OptionCenter)->setChecked(true);
    txtImagePerLine->setText(QString::number(s.ImagesPerLine));
    (m.UseTable ? OptionTable : OptionNoTable)->setChecked(true);
    if (m.Thumbnails)
        txtThumbnail->setText(QString::number(m.ThumbnailBox));
    chkThumbnail->setChecked(m.Thumbnails);
    chkThumbnail_Toggle(m.Thumbnails);  // the enabled states either way

    // Centred on the main window; near the top of the screen it keeps the main window's top.
    // Outer sizes on both sides: the dialog's frame is not there before it is
    // shown, so it is taken to be as thick as the main window's.
    if (QWidget* main = parentWidget()) {
        const QRect m = main->frameGeometry();
        const QSize outer = size() + (m.size() - main->size());
        const int left = m.x() + m.width() / 2 - outer.width() / 2;
        const int top = 70 > m.y() ? m.y() : m.y() + m.height() / 2 - outer.height() / 2;
        move(left, top);
    }
}

void frmLayout::chkThumbnail_Toggle(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{txtThumbnail, UpDownThumbnail, lblThumbnail})
        w->setEnabled(on);
    m_model.SetThumbnails(on);
    showClick();
    showEnabled();
    DrawLayoutPreview();
}

void frmLayout::showClick() {
    m_showingClick = true;
    (m_model.Click == ClickAction::View ? OptionClickView
     : m_model.Click == ClickAction::No ? OptionClickNo
                                        : OptionClickFolder)
        ->setChecked(true);
    m_showingClick = false;
    chkThumbnail->setToolTip(ToQt(ThumbnailTip(m_model.Click)));
}

void frmLayout::showEnabled() {
    for (QWidget* w : std::initializer_list<QWidget*>{FrameLayoutImageSize, OptionNoSame, OptionSame})
        w->setEnabled(m_model.SizeChoiceEnabled());
    FrameOption[0]->setEnabled(m_model.SizeReadEnabled());
    chkSize->setEnabled(m_model.SizeReadEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{FrameOption[1], lblX, txtX, UpDownX, lblY, txtY, UpDownY})
        w->setEnabled(m_model.SameSizeFieldsEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{OptionLeft, OptionCenter, OptionRight, FrameNotable})
        w->setEnabled(m_model.AlignmentEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{txtImagePerLine, UpDownImagePerLine, Label1, FrameTable})
        w->setEnabled(m_model.PerRowEnabled());
}

void frmLayout::OptionNoSame_Click() {
    m_model.SameSize = false;
    showEnabled();
}

void frmLayout::OptionSame_Click() {
    m_model.SameSize = true;
    showEnabled();
}

void frmLayout::OptionNoTable_Click() {
    m_model.UseTable = false;
    showEnabled();
    DrawLayoutPreview();
}

void frmLayout::OptionTable_Click() {
    m_model.UseTable = true;
    showEnabled();
    DrawLayoutPreview();
}

void frmLayout::OptionAlign_Click() {
    DrawLayoutPreview();
}

void frmLayout::txtImagePerLine_Change() {
    DrawLayoutPreview();
}

void frmLayout::checkField(QLineEdit* field, FieldCheck (*check)(std::optional<int32_t>)) {
    const QString text = field->text();
    const FieldCheck result = check(text.isEmpty() ? std::nullopt : std::optional(IntegerValue(text)));
    if (!result.Corrected)
        return;
    Beep();
    field->setText(QString::number(result.Value));
}

void frmLayout::txtX_LostFocus() {
    checkField(txtX, &LayoutDialogModel::CheckSide);
}

void frmLayout::txtY_LostFocus() {
    checkField(txtY, &LayoutDialogModel::CheckSide);
}

void frmLayout::txtImagePerLine_LostFocus() {
    checkField(txtImagePerLine, &LayoutDialogModel::CheckPerRow);
    DrawLayoutPreview();
}

void frmLayout::txtThumbnail_LostFocus() {
    checkField(txtThumbnail, &LayoutDialogModel::CheckThumbnailBox);
}

void frmLayout::cmdOk_Click() {
    // A field confirmed with Enter, or pasted into, has not lost the focus yet:
    // check every field first so the stored numbers always lie in their ranges.
    txtX_LostFocus();
    txtY_LostFocus();
    txtImagePerLine_LostFocus();
    txtThumbnail_LostFocus();

    m_model.SameSize = !OptionNoSame->isChecked() && OptionSame->isChecked();
    m_model.GetImageSize = chkSize->isChecked();
    m_model.Click = OptionClickView->isChecked() ? ClickAction::View
                    : OptionClickNo->isChecked() ? ClickAction::No
                                                 : ClickAction::Folder;
    m_model.Align = OptionLeft->isChecked() ? Alignment::Left : OptionRight->isChecked() ? Alignment::Right : Alignment::Center;
    m_model.UseTable = !OptionNoTable->isChecked();
    m_model.Thumbnails = chkThumbnail->isChecked();
    m_settings = m_model.Accept(IntegerValue(txtX->text()), IntegerValue(txtY->text()),
                                IntegerValue(txtImagePerLine->text()), IntegerValue(txtThumbnail->text()));
    if (m_clickChosen)
        *m_clickChosen = m_model.ClickChosen;
    accept();
}

void frmLayout::cmdCancel_Click() {
    reject();
}

void frmLayout::DrawLayoutPreview() {
    LayoutPreviewInputs in;
    in.Align = OptionLeft->isChecked()     ? LayoutPreviewInputs::Alignment::Left
               : OptionCenter->isChecked() ? LayoutPreviewInputs::Alignment::Center
               : OptionRight->isChecked()  ? LayoutPreviewInputs::Alignment::Right
                                           : LayoutPreviewInputs::Alignment::None;
    in.NoTable = OptionNoTable->isChecked();
    in.PerRow = PositiveNumber(txtImagePerLine->text());
    in.PerPage = m_mainCount ? PositiveNumber(m_mainCount->text()) : 0;
    in.Thumbnails = chkThumbnail->isChecked();
    // Only the table sketch needs the two numbers; skip it until both are valid.
    if (!in.NoTable && (in.PerRow == 0 || in.PerPage == 0))
        return;
    kavo::DrawLayoutPreview(in, picImage->pixmap().toImage(), picLayout->image());
    picLayout->refresh();
}

bool frmLayout::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (field != nullptr && event->type() == QEvent::KeyPress && DiscardedByDigitFilter(static_cast<QKeyEvent*>(event)))
        return true;
    if (field != nullptr && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (field == txtX)
                txtX_LostFocus();
            if (field == txtY)
                txtY_LostFocus();
            if (field == txtImagePerLine)
                txtImagePerLine_LostFocus();
            if (field == txtThumbnail)
                txtThumbnail_LostFocus();
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kavo
