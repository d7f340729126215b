#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <string>

#include "fs/file_system.h"
#include "platform/position_store.h"
#include "ui/window_models.h"

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
    explicit frmKavo(FileSystem& fs = NativeFileSystem(), QWidget* parent = nullptr);

    /// The decisions behind the controls.
    const MainWindowModel& model() const { return m_model; }
    /// The position the window was placed at, as stored.
    WindowPosition storedPosition() const { return m_position; }

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

    /// The folder the folder text names: spaces around it dropped, a file://
    /// address and a leading ~ taken as a Linux user means them.
    QString folderPath() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void Form_Unload();
    /// Returns true when the key is discarded: of the typed characters only digits and Backspace reach the box.
    bool txtCount_KeyPress(const QKeyEvent* event);
    void showCounts();
    /// Gives cmdOk its caption; a changed caption takes no mouse click for a
    /// double-click interval, so the second click of a double click on 検索
    /// does not start the generation.
    void setOkCaption(const QString& caption);
    /// Opens a page or file with the desktop; says so when nothing could open it.
    void openWithDesktop(const QString& path);
    /// The OK button's caption and the buttons' enabled states, from the model.
    void showRole();
    /// The controls' choices into the model.
    void readChoices();
    /// Tells why the folder cannot be used; false when it can.
    bool reportUnusableFolder();
    /// Places the window at the stored position, moved wholly onto the screen
    /// it is on when it fits there.
    void placeAtStoredPosition();
    void showFocusMark();
    /// Activates the window again after a window of its own has closed.
    void takeKeyboardBack();
    /// Lets go of a button left drawn pressed by a click that a message interrupted.
    void releaseButtons();
    QString programFolder() const;

    FileSystem& m_fs;
    MainWindowModel m_model;
    WindowPosition m_position;
    QElapsedTimer m_okCaptionChanged;
    bool m_searchByOkClick = false;  // the scan under way was started by a click on cmdOk
    bool m_folderByKeyboard = false;
    bool m_shown = false;
};

}  // namespace kavo
