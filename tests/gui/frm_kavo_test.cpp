#include "app/frm_kavo.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>
#include <QUrl>
#include <cerrno>
#include <filesystem>

#include "app/frm_layout.h"
#include "app/up_down.h"
#include "gui_test_support.h"
#include "platform/folder_dialog.h"
#include "platform/shell.h"
#include "support/fault_file_system.h"
#include "support/test_support.h"

namespace kavo {
namespace {

const QString kCreateHtml = QStringLiteral("ＨＴＭＬ作成");
const QString kSearch = QStringLiteral("検索");

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { test::ClearPositionStore(); }
    void TearDown() override {
        SetFolderDialogHook({});
        SetOpenWithDesktopHook({});
    }

    QString folder() const { return QString::fromStdString(m_dir.path().string()); }

    CatalogueSettings settings;  // what the layout dialog edits
    test::MessageRecorder messages;
    test::TempDir m_dir;
};

TEST_F(MainWindowTest, LoadShowsZeroCountsDefaultLayoutAndDisabledButtons) {
    frmKavo w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Kavo Version1.02C"));
    for (QLabel* label : {w.lblJPG, w.lblGIF, w.lblBMP, w.lblPNG})
        EXPECT_EQ(label->text(), QStringLiteral("0ファイル"));
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：0ファイル"));
    EXPECT_FALSE(w.model().Layout.UseTable);
    EXPECT_EQ(w.model().Layout.Align, Alignment::Center);
    EXPECT_EQ(w.cmdOk->text(), kCreateHtml);
    EXPECT_FALSE(w.cmdOk->isEnabled());
    EXPECT_FALSE(w.cmdExeUrl->isEnabled());
    EXPECT_EQ(w.txtCount->text(), QStringLiteral("50"));
    EXPECT_TRUE(w.chkSubFolder->isChecked());
    EXPECT_TRUE(w.chkJPG->isChecked() && w.chkGIF->isChecked() && w.chkBMP->isChecked() && w.chkPNG->isChecked());
    // Designed geometry: twips divided by 15.
    EXPECT_EQ(w.size(), QSize(471, 224));
    EXPECT_EQ(w.txtFolder->geometry(), QRect(8, 16, 385, 25));
    EXPECT_EQ(w.cmdOk->geometry(), QRect(296, 184, 81, 33));
    EXPECT_FALSE(w.cmdSearch->isVisibleTo(&w));
    EXPECT_EQ(w.txtCount->font().pointSizeF(), 11.25);
    EXPECT_EQ(w.findChild<QPushButton*>(QStringLiteral("cmdLayout"))->toolTip(),
              QStringLiteral("出力レイアウトを設定します。"));
}

TEST_F(MainWindowTest, TabOrderFollowsTheDesign) {
    frmKavo w;
    QWidget* expected[] = {w.cmdFolder, w.txtFolder, w.chkSubFolder, w.chkJPG,    w.chkGIF, w.chkBMP,  w.chkPNG,
                           w.txtCount,  w.udCount,   w.cmdLayout,    w.cmdExeUrl, w.cmdOk,  w.cmdClose};
    auto nextTabStop = [](QWidget* from) {
        QWidget* next = from->nextInFocusChain();
        while ((next->focusPolicy() & Qt::TabFocus) == 0)
            next = next->nextInFocusChain();
        return next;
    };
    for (size_t i = 1; i < std::size(expected); ++i)
        EXPECT_EQ(nextTabStop(expected[i - 1]), expected[i]) << i;
}

TEST_F(MainWindowTest, CountsAndButtonsFollowTheFolderText) {
    m_dir.Write("a.jpg");
    frmKavo w;
    w.txtFolder->setText(folder());
    w.cmdOk->click();
    ASSERT_EQ(w.lblJPG->text(), QStringLiteral("1ファイル"));
    // One letter deleted: the counts are another folder's, and a type box does
    // not turn the button into a generation of the new text.
    w.txtFolder->backspace();
    w.chkBMP->click();
    EXPECT_EQ(w.model().Counts().Pictures(), 0);
    EXPECT_EQ(w.lblJPG->text(), QStringLiteral("0ファイル"));
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：0ファイル"));
    EXPECT_EQ(w.cmdOk->text(), kSearch);
    EXPECT_TRUE(w.cmdOk->isEnabled());
    w.txtFolder->setText(QString());
    w.chkBMP->click();
    EXPECT_FALSE(w.cmdOk->isEnabled());
}

/// Answers EACCES for one folder, as one the user may not enter.
class AnsweringFileSystem : public test::FaultFileSystem {
public:
    std::string closed;
    int CheckFolder(const std::string& path) override {
        return path == closed ? EACCES : FaultFileSystem::CheckFolder(path);
    }
};

TEST_F(MainWindowTest, FolderTextIsTakenAsAUserMeansItOrTheReasonIsSaid) {
    m_dir.Write("a.png");
    m_dir.Write("sub/file.txt");
    AnsweringFileSystem disk;
    disk.closed = m_dir.str() + "sub";
    frmKavo w(disk);
    for (const QString& text : {QStringLiteral("  ") + folder() + QStringLiteral(" \t"),
                                QUrl::fromLocalFile(folder()).toString(),
                                QStringLiteral("file://localhost") + QUrl::fromLocalFile(folder()).path(),
                                QStringLiteral(" \"") + folder() + QStringLiteral("\""),
                                QStringLiteral("'") + folder() + QStringLiteral("'")}) {
        w.txtFolder->setText(text);
        w.cmdOk->click();
        EXPECT_EQ(w.lblPNG->text(), QStringLiteral("1ファイル")) << text.toStdString();
    }
    w.txtFolder->setText(QStringLiteral("~/Pictures"));
    EXPECT_EQ(w.folderPath(), QDir::homePath() + QStringLiteral("/Pictures"));

    const QString missing = folder() + QStringLiteral("/missing"), file = folder() + QStringLiteral("/sub/file.txt");
    for (const QString& text : {missing, file, folder() + QStringLiteral("/sub"), file + QStringLiteral("/x")}) {
        w.txtFolder->setText(text);
        w.cmdOk->click();
    }
    EXPECT_EQ(messages.events, (QStringList{QStringLiteral("'%1' フォルダが見つかりません。").arg(missing),
                                            QStringLiteral("'%1' はフォルダではありません。").arg(file),
                                            QStringLiteral("'%1/sub' フォルダを開けません。").arg(folder()),
                                            QStringLiteral("'%1/x' フォルダが見つかりません。").arg(file)}));
    EXPECT_EQ(messages.boxes[0].Icon, QMessageBox::Warning);
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "index.html"));
}

TEST_F(MainWindowTest, SecondClickOfADoubleClickOnSearchDoesNotGenerate) {
    m_dir.Write("a.jpg");
    const int interval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(100);
    frmKavo w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.txtFolder->setText(folder());
    QTest::qWait(120);
    QTest::mouseClick(w.cmdOk, Qt::LeftButton);  // the scan ends before the second click
    QTest::mousePress(w.cmdOk, Qt::LeftButton);
    QTest::mouseDClick(w.cmdOk, Qt::LeftButton);
    QTest::mouseRelease(w.cmdOk, Qt::LeftButton);
    EXPECT_EQ(w.cmdOk->text(), kCreateHtml);
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "index.html"));
    QTest::qWait(120);
    QTest::mouseClick(w.cmdOk, Qt::LeftButton);
    EXPECT_TRUE(std::filesystem::exists(m_dir.path() / "index.html"));
    QApplication::setDoubleClickInterval(interval);
}

TEST_F(MainWindowTest, AClickSoonAfterAPasteIsNotTakenForADoubleClick) {
    m_dir.Write("a.jpg");
    frmKavo w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.txtFolder->setText(folder());
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    QTest::mouseClick(w.cmdOk, Qt::LeftButton);
    ASSERT_EQ(w.cmdOk->text(), kCreateHtml);
    w.txtFolder->selectAll();
    w.txtFolder->insert(folder() + QStringLiteral("/"));  // a paste: the button searches again
    ASSERT_EQ(w.cmdOk->text(), kSearch);
    QTest::mouseClick(w.cmdOk, Qt::LeftButton);  // at once, a single click
    EXPECT_EQ(w.cmdOk->text(), kCreateHtml);
    EXPECT_EQ(w.lblJPG->text(), QStringLiteral("1ファイル"));
}

TEST_F(MainWindowTest, NothingToOpenThePageWithIsSaid) {
    SetOpenWithDesktopHook([](const QString&) { return false; });
    frmKavo w;
    w.Form_DblClick();
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_TRUE(messages.events[0].endsWith(QStringLiteral("' を開けませんでした。\r\nページを開くプログラムが見つかりません。")));
}

TEST_F(MainWindowTest, BrowsePassesTheDesignedArgumentsAndScansThePickedFolder) {
    m_dir.Write("a.jpg");
    m_dir.Write("b.png");
    frmKavo w;
    w.txtFolder->setText(QStringLiteral("/before"));
    FolderDialogRequest seen;
    bool ownerDisabled = false;
    QString captionDuring;
    bool okEnabledDuring = true;
    SetFolderDialogHook([&](const FolderDialogRequest& r) {
        seen = r;
        ownerDisabled = !w.isEnabled();
        captionDuring = w.cmdOk->text();
        okEnabledDuring = w.cmdOk->isEnabled();
        return folder();
    });
    w.cmdFolder->click();
    EXPECT_EQ(seen.Title, QStringLiteral("検索するフォルダを選択して下さい。"));
    EXPECT_EQ(seen.Owner, &w);  // opens over the window
    EXPECT_TRUE(seen.Root.isEmpty());
    EXPECT_EQ(seen.Flags, 3u);
    EXPECT_EQ(seen.StartPath, QStringLiteral("/before"));
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(captionDuring, kCreateHtml);
    EXPECT_FALSE(okEnabledDuring);
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(w.txtFolder->text(), folder());
    EXPECT_EQ(w.txtFolder->toolTip(), folder());
    // The scan ran by itself.
    EXPECT_EQ(w.lblJPG->text(), QStringLiteral("1ファイル"));
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：2ファイル"));
    EXPECT_EQ(w.cmdOk->text(), kCreateHtml);
    EXPECT_TRUE(w.cmdOk->isEnabled());
}

TEST_F(MainWindowTest, CancelledBrowseRestoresTheTextAsAChange) {
    frmKavo w;
    w.txtFolder->setText(folder());
    SetFolderDialogHook([](const FolderDialogRequest&) { return QString(); });
    w.cmdFolder->click();
    EXPECT_EQ(w.txtFolder->text(), folder());
    EXPECT_EQ(w.txtFolder->toolTip(), folder());
    EXPECT_EQ(w.cmdOk->text(), kSearch);
    EXPECT_TRUE(w.cmdOk->isEnabled());
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：0ファイル"));
}

TEST_F(MainWindowTest, ScanWithoutPicturesLeavesTheButtonDisabled) {
    m_dir.Write("notes.txt");
    m_dir.MakeDir("sub");
    frmKavo w;
    w.txtFolder->setText(folder());
    w.cmdOk->click();
    EXPECT_EQ(w.cmdOk->text(), kCreateHtml);
    EXPECT_FALSE(w.cmdOk->isEnabled());
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：2ファイル"));
    w.chkGIF->click();  // nor does a type box start an empty catalogue
    EXPECT_FALSE(w.cmdOk->isEnabled());
    EXPECT_TRUE(messages.events.isEmpty());
}

TEST_F(MainWindowTest, SubfolderBoxRescansAndAMissingFolderDoesNothing) {
    m_dir.Write("a.gif");
    m_dir.Write("sub/b.gif");
    frmKavo w;
    w.txtFolder->setText(folder());
    w.chkSubFolder->click();  // cleared: only the root's own entries
    EXPECT_EQ(w.lblGIF->text(), QStringLiteral("1ファイル"));
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：2ファイル"));
    w.chkSubFolder->click();
    EXPECT_EQ(w.lblGIF->text(), QStringLiteral("2ファイル"));
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：3ファイル"));

    w.txtFolder->setText(folder() + QStringLiteral("/missing"));
    w.chkSubFolder->click();
    EXPECT_EQ(w.lblGIF->text(), QStringLiteral("0ファイル"));
    EXPECT_EQ(messages.events.size(), 1);
    EXPECT_EQ(w.cmdOk->text(), kSearch);
}

TEST_F(MainWindowTest, CountCheckCorrectsWithBeepAndMessage) {
    frmKavo w;
    struct Case {
        const char* typed;
        const char* corrected;
        const char* message;  // null: accepted silently
    };
    const Case cases[] = {
        {"", "10", "値を設定してください。"},
        {"250", "200", "２００以上は設定できません。"},
        {"201", "200", "２００以上は設定できません。"},
        {"3", "5", "５未満は設定できません。"},
        {"0", "5", "５未満は設定できません。"},
        {"200", "200", nullptr},
        {"5", "5", nullptr},
        {"abc", "5", "５未満は設定できません。"},                // pasted letters read as 0
        {"99999999999", "200", "２００以上は設定できません。"},  // beyond 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        messages.clear();
        w.txtCount->setText(QString::fromUtf8(c.typed));
        w.txtCount_LostFocus();
        EXPECT_EQ(w.txtCount->text(), QString::fromUtf8(c.corrected));
        if (c.message == nullptr) {
            EXPECT_TRUE(messages.events.isEmpty());
        } else {
            EXPECT_EQ(messages.events, (QStringList{QStringLiteral("beep"), QString::fromUtf8(c.message)}));
            ASSERT_EQ(messages.boxes.size(), 1u);
            EXPECT_EQ(messages.boxes[0].Title, QStringLiteral("Kavo"));
            EXPECT_EQ(messages.boxes[0].Icon, QMessageBox::Warning);
        }
    }
}

TEST_F(MainWindowTest, CountCheckRunsWhenTheFocusLeavesTheBox) {
    frmKavo w;
    w.show();
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    w.txtCount->setFocus(Qt::OtherFocusReason);
    w.txtCount->setText(QStringLiteral("300"));
    w.cmdLayout->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.txtCount->text(), QStringLiteral("200"));
    EXPECT_EQ(messages.events, (QStringList{QStringLiteral("beep"), QStringLiteral("２００以上は設定できません。")}));
}

TEST_F(MainWindowTest, CountBoxFiltersTypedCharactersOnly) {
    frmKavo w;
    w.txtCount->clear();
    QTest::keyClicks(w.txtCount, QStringLiteral("1a-2 .x"));
    EXPECT_EQ(w.txtCount->text(), QStringLiteral("12"));
    QTest::keyClick(w.txtCount, Qt::Key_Backspace);
    EXPECT_EQ(w.txtCount->text(), QStringLiteral("1"));
    // Editing keys act as in any box.
    w.txtCount->setText(QStringLiteral("123"));
    QTest::keyClick(w.txtCount, Qt::Key_Home);
    QTest::keyClick(w.txtCount, Qt::Key_Delete);
    EXPECT_EQ(w.txtCount->text(), QStringLiteral("23"));
    QTest::keyClick(w.txtCount, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.txtCount, Qt::Key_Delete);
    EXPECT_TRUE(w.txtCount->text().isEmpty());
}

TEST_F(MainWindowTest, ButtonClickedAwayFromABadCountIsNotLeftPressed) {
    frmKavo w;
    w.show();
    QApplication::setActiveWindow(&w);
    w.txtCount->setFocus(Qt::OtherFocusReason);
    w.txtCount->setText(QStringLiteral("3"));
    QTest::mousePress(w.cmdLayout, Qt::LeftButton);  // the release goes to the message box
    QApplication::processEvents();
    EXPECT_EQ(messages.events, (QStringList{QStringLiteral("beep"), QStringLiteral("５未満は設定できません。")}));
    EXPECT_FALSE(w.cmdLayout->isDown());
}

TEST_F(MainWindowTest, SpinButtonsStepWithinTheRange) {
    frmKavo w;
    w.udCount->stepUp();
    EXPECT_EQ(w.txtCount->text(), QStringLiteral("51"));
    w.txtCount->setText(QStringLiteral("200"));
    w.udCount->stepUp();
    EXPECT_EQ(w.txtCount->text(), QStringLiteral("200"));
    w.txtCount->setText(QStringLiteral("5"));
    w.udCount->stepDown();
    EXPECT_EQ(w.txtCount->text(), QStringLiteral("5"));
}

TEST_F(MainWindowTest, ReadMeOpensOnADoubleClickOnTheBackgroundOnly) {
    QStringList opened;
    SetOpenWithDesktopHook([&](const QString& path) {
        opened << path;
        return true;
    });
    frmKavo w;
    w.show();
    QTest::mouseDClick(w.lblCount, Qt::LeftButton);
    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(opened, QStringList{QApplication::applicationDirPath() + QStringLiteral("/Readme.txt")});
}

TEST_F(MainWindowTest, FocusIsMarkedFromTheStartAndAfterBrowsingByKeyboard) {
    frmKavo w;
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto marked = [](QWidget* control) {
        QStyleOptionButton option;
        option.initFrom(control);
        return control->hasFocus() && (option.state & QStyle::State_KeyboardFocusChange);
    };
    EXPECT_TRUE(marked(w.cmdFolder));
    SetFolderDialogHook([](const FolderDialogRequest&) { return QString(); });
    w.setAttribute(Qt::WA_KeyboardFocusChange, false);  // as after a click with the mouse
    QTest::keyClick(w.cmdFolder, Qt::Key_Space);
    EXPECT_TRUE(marked(w.cmdFolder));
}

TEST_F(MainWindowTest, ControlsAreNamedForAssistiveTechnology) {
    frmKavo w;
    frmLayout d(settings, w.txtCount, &w);
    auto text = [](QWidget* control, QAccessible::Text t) {
        return QAccessible::queryAccessibleInterface(control)->text(t);
    };
    // Named by the label beside them, not by their frame.
    EXPECT_EQ(text(w.txtCount, QAccessible::Name), QStringLiteral("画像／ページ"));
    EXPECT_EQ(text(w.udCount, QAccessible::Name), QStringLiteral("画像／ページ"));
    EXPECT_EQ(text(d.txtX, QAccessible::Name), QStringLiteral("横"));
    EXPECT_EQ(text(d.UpDownY, QAccessible::Name), QStringLiteral("縦"));
    EXPECT_EQ(text(d.UpDownY, QAccessible::Value), QStringLiteral("100"));
    QAccessibleValueInterface* spin = QAccessible::queryAccessibleInterface(d.UpDownX)->valueInterface();
    ASSERT_NE(spin, nullptr);
    spin->setCurrentValue(120);
    EXPECT_EQ(d.txtX->text(), QStringLiteral("120"));
    EXPECT_EQ(text(w.frameOption, QAccessible::Name), QStringLiteral("オプション"));
    EXPECT_EQ(w.cmdSearch->focusPolicy(), Qt::NoFocus);  // hidden: never listed as reachable
    // Every control a user can reach has a name, the spinners' arrows included.
    for (QWidget* window : std::initializer_list<QWidget*>{&w, &d}) {
        for (QWidget* control : window->findChildren<QWidget*>()) {
            if (control->isVisibleTo(window) &&
                (control->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton*>(control))) {
                EXPECT_FALSE(text(control, QAccessible::Name).isEmpty()) << control->objectName().toStdString();
            }
        }
    }
}

TEST_F(MainWindowTest, NoCaptionIsCutUnderAnotherStyle) {
    const QString designStyle = QApplication::style()->name();
    frmKavo w;
    frmLayout d(settings, w.txtCount, &w);
    const QRect gif = w.chkGIF->geometry();
    QStringList styles{QStringLiteral("Windows")};
    if (QStyleFactory::keys().contains(QStringLiteral("Adwaita")))
        styles << QStringLiteral("Adwaita");
    for (const QString& style : styles) {
        QApplication::setStyle(style);  // the open windows follow
        for (QAbstractButton* button : w.findChildren<QAbstractButton*>() + d.findChildren<QAbstractButton*>()) {
            const bool check = qobject_cast<QCheckBox*>(button) != nullptr;
            if (!check && qobject_cast<QRadioButton*>(button) == nullptr)
                continue;
            const QStyle* s = button->style();
            const int needed = s->pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth) +
                               s->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing) +
                               button->fontMetrics().horizontalAdvance(button->text());
            EXPECT_GE(button->width(), needed) << style.toStdString() << " " << button->objectName().toStdString();
            // Grown into free room only (the rows of the design touch by a pixel).
            for (QWidget* other : button->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (other != button) {
                    EXPECT_LE(other->geometry().intersected(button->geometry()).height(), 1)
                        << button->objectName().toStdString() << " over " << other->objectName().toStdString();
                }
            }
        }
    }
    QApplication::setStyle(designStyle);
    EXPECT_EQ(w.chkGIF->geometry(), gif);
}

TEST_F(MainWindowTest, PositionStoreRoundTrip) {
    {
        QSettings store(QStringLiteral("Marlun"), QStringLiteral("Kavo"));
        store.setValue(QStringLiteral("Top"), QStringLiteral("1500"));
        store.setValue(QStringLiteral("Left"), QStringLiteral("-120"));
    }
    {
        frmKavo w;
        EXPECT_EQ(w.storedPosition().Top, 1500);
        EXPECT_EQ(w.storedPosition().Left, -120);
        EXPECT_EQ(w.pos(), QPoint(0, 100));  // moved onto the one screen
        w.move(30, 40);
        w.close();
    }
    QSettings store(QStringLiteral("Marlun"), QStringLiteral("Kavo"));
    EXPECT_EQ(store.value(QStringLiteral("Top")).toString(), QStringLiteral("600"));
    EXPECT_EQ(store.value(QStringLiteral("Left")).toString(), QStringLiteral("450"));
}

TEST_F(MainWindowTest, StoredPositionOffEveryScreenOpensAtTheDesignPosition) {
    // The offscreen screen is 800 x 800 pixels; the title bar must lie on it.
    const std::pair<const char*, const char*> positions[] = {
        {"99999999", "99999999"}, {"-50000", "-50000"}, {"0", "-7000"}, {"11700", "0"}, {"-300", "0"}};
    for (const auto& [top, left] : positions) {
        QSettings(QStringLiteral("Marlun"), QStringLiteral("Kavo")).setValue(QStringLiteral("Top"), top);
        QSettings(QStringLiteral("Marlun"), QStringLiteral("Kavo")).setValue(QStringLiteral("Left"), left);
        EXPECT_EQ(frmKavo().pos(), QPoint(0, 0)) << top << " " << left;
    }
}

TEST_F(MainWindowTest, StoredPositionNearAnEdgeOpensWhollyOnTheScreen) {
    // Left 700 px and top 750 px on the 800-pixel screen: the title bar on it, the window half off.
    QSettings(QStringLiteral("Marlun"), QStringLiteral("Kavo")).setValue(QStringLiteral("Left"), "10500");
    QSettings(QStringLiteral("Marlun"), QStringLiteral("Kavo")).setValue(QStringLiteral("Top"), "11250");
    frmKavo w;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(QRect(w.pos(), w.size())));
    EXPECT_EQ(w.x() + w.width(), screen.right() + 1);
}

TEST_F(MainWindowTest, PositionStoreIgnoresWhatIsNotANumber) {
    {
        QSettings store(QStringLiteral("Marlun"), QStringLiteral("Kavo"));
        store.setValue(QStringLiteral("Top"), QStringLiteral("abc"));
    }
    frmKavo w;
    EXPECT_EQ(w.storedPosition().Top, 0);
    EXPECT_EQ(w.storedPosition().Left, 0);
    EXPECT_EQ(w.pos(), QPoint(0, 0));
    w.close();
    QSettings store(QStringLiteral("Marlun"), QStringLiteral("Kavo"));
    EXPECT_EQ(store.value(QStringLiteral("Top")).toString(), QStringLiteral("0"));
    EXPECT_EQ(store.value(QStringLiteral("Left")).toString(), QStringLiteral("0"));
}

}  // namespace
}  // namespace kavo
