#pragma once

#include <QDialog>

#include <optional>

#include "catalogue/settings.h"
#include "ui/window_models.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kavo {

class PictureBox;
class UpDown;

/// The layout dialog: edits the layout half of the settings, which change only on ＯＫ.
/// `mainCount` is the main window's pictures-per-page box, read by the preview.
class frmLayout : public QDialog {
    Q_OBJECT

public:
    /// `clickChosen`, when given, says whether the user picked the click action
    /// (else it follows 作成する) and takes it back on ＯＫ.
    frmLayout(CatalogueSettings& settings, QLineEdit* mainCount, QWidget* parent = nullptr,
              bool* clickChosen = nullptr);

    QGroupBox* FrameLayoutImageSize;
    QRadioButton* OptionNoSame;
    QGroupBox* FrameOption[2];
    QCheckBox* chkSize;
    QRadioButton* OptionSame;
    QLabel* lblX;
    QLineEdit* txtX;
    UpDown* UpDownX;
    QLabel* lblY;
    QLineEdit* txtY;
    UpDown* UpDownY;
    QGroupBox* FrameClick;
    QRadioButton* OptionClickFolder;
    QRadioButton* OptionClickView;
    QRadioButton* OptionClickNo;
    QGroupBox* FrameLayout;
    QRadioButton* OptionNoTable;
    QGroupBox* FrameNotable;
    QRadioButton* OptionLeft;
    QRadioButton* OptionCenter;
    QRadioButton* OptionRight;
    QRadioButton* OptionTable;
    QGroupBox* FrameTable;
    QLineEdit* txtImagePerLine;
    UpDown* UpDownImagePerLine;
    QLabel* Label1;
    QGroupBox* FrameLayoutImage;
    PictureBox* picLayout;
    QLabel* picImage;
    QGroupBox* FrameThumbnail;
    QCheckBox* chkThumbnail;
    QLineEdit* txtThumbnail;
    UpDown* UpDownThumbnail;
    QLabel* lblThumbnail;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

public slots:
    void OptionNoSame_Click();
    void OptionSame_Click();
    void OptionNoTable_Click();
    void OptionTable_Click();
    void OptionAlign_Click();
    void txtImagePerLine_Change();
    void txtX_LostFocus();
    void txtY_LostFocus();
    void txtImagePerLine_LostFocus();
    void txtThumbnail_LostFocus();
    void chkThumbnail_Toggle(bool on);
    void cmdOk_Click();
    void cmdCancel_Click();
    /// Redraws the sketch from the controls as they stand.
    void DrawLayoutPreview();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void checkField(QLineEdit* field, FieldCheck (*check)(std::optional<int32_t>));
    /// The controls' enabled states, from the model.
    void showEnabled();
    /// The click option and the thumbnail tip, from the model.
    void showClick();

    CatalogueSettings& m_settings;
    LayoutDialogModel m_model;
    QLineEdit* m_mainCount;
    bool* m_clickChosen;
    bool m_showingClick = false;  // the program sets the click option: not the user's pick
};

}  // namespace kavo
