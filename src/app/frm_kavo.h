#pragma once

#include <QWidget>

#include "catalogue/context.h"
#include "fs/file_system.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kavo {

class UpDown;

/// The main window: the user's choices for one program run, the counts of the
/// last scan, and the buttons that start the scan, the layout dialog, the
/// generation and the browser.
class frmKavo : public QWidget {
    Q_OBJECT

public:
    explicit frmKavo(KavoContext& ctx, FileSystem& fs = NativeFileSystem(), QWidget* parent = nullptr);

    QGroupBox* frameFolder;
    QLineEdit* txtFolder;
    QPushButton* cmdFolder;
    QCheckBox* chkSubFolder;
    QLabel* lblFileCount;
    QGroupBox* frameFile;
    QCheckBox* chkJPG;
    QCheckBox* chkGIF;
    QCheckBox* chkBMP;
    QCheckBox* chkPNG;
    QLabel* lblJPG;
    QLabel* lblGIF;
    QLabel* lblBMP;
    QLabel* lblPNG;
    QGroupBox* frameOption;
    QLineEdit* txtCount;
    UpDown* udCount;
    QLabel* lblCount;
    QPushButton* cmdLayout;
    QPushButton* cmdExeUrl;
    QPushButton* cmdOk;
    QPushButton* cmdClose;
    QPushButton* cmdSearch;

public slots:
    void cmdFolder_Click();
    void txtFolder_Change();
    void chkSubFolder_Click();
    void chkType_Click();
    /// True when it showed a message (the value was missing or out of range and was corrected).
    bool txtCount_LostFocus();
    void cmdLayout_Click();
    void cmdOk_Click();
    void cmdSearch_Click();
    void cmdExeUrl_Click();
    void Form_DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void Form_Unload();
    /// Returns true when the key is discarded: of the typed characters only digits and Backspace reach the box.
    bool txtCount_KeyPress(const QKeyEvent* event);
    void showCounts();
    /// Activates the window again after a window of its own has closed.
    void takeKeyboardBack();
    /// Lets go of a button left drawn pressed by a click that a message interrupted.
    void releaseButtons();
    QString programFolder() const;

    KavoContext& m_ctx;
    FileSystem& m_fs;
};

}  // namespace kavo
