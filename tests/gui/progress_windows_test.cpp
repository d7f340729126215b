#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "app/frm_info.h"
#include "app/frm_kavo.h"
#include "app/frm_search.h"
#include "catalogue/generate.h"
#include "catalogue/scan.h"
#include "gui_test_support.h"
#include "platform/folder_dialog.h"
#include "platform/position_store.h"
#include "platform/shell.h"
#include "platform/translations.h"
#include "support/fault_file_system.h"
#include "support/test_support.h"

namespace kavo {
namespace {

namespace fs = std::filesystem;

const QString kCreateHtml = QStringLiteral("ＨＴＭＬ作成");
const QString kSearch = QStringLiteral("検索");

class ProgressWindowsTest : public ::testing::Test {
protected:
    void SetUp() override { test::ClearPositionStore(); }
    void TearDown() override { SetOpenWithDesktopHook({}); }

    QString folder() const { return QString::fromStdString(m_dir.path().string()); }

    /// A tree deep enough that a run passes many yields.
    void MakeDeepTree() {
        for (int i = 0; i < 20; ++i) {
            for (int j = 0; j < 5; ++j)
                m_dir.Write("d" + std::to_string(i) + "/p" + std::to_string(j) + ".jpg");
        }
    }

    test::MessageRecorder messages;
    test::TempDir m_dir;
};

TEST_F(ProgressWindowsTest, ARestartKeepsTheThumbnailsOfAFolderThatHasThem) {
    QImage photo(240, 160, QImage::Format_RGB32);
    photo.fill(Qt::darkGreen);
    ASSERT_TRUE(photo.save(folder() + QStringLiteral("/a.png")));
    const fs::path thumbs = m_dir.path() / "kavo" / "thumbs";
    auto page = [&] { return test::ReadFile(m_dir.path() / "kavo" / "page0001.html"); };
    SaveStoredTexts("Layout", {{"ThumbnailBox", "100"}});  // as the last run of the program left them
    {
        frmKavo w;
        EXPECT_EQ(w.model().Layout.ThumbnailBox, 100);
        w.txtFolder->setText(folder());
        w.cmdOk->click();
        w.cmdOk->click();
        // A click on a thumbnail opens the picture itself.
        EXPECT_NE(page().find("<A HREF=\"../a.png\">\r\n    <IMG SRC=\"thumbs/"), std::string::npos);
        w.close();
    }
    test::ClearPositionStore();  // even with nothing kept, the catalogue tells
    frmKavo w;
    EXPECT_EQ(w.model().Layout.ThumbnailBox, 0);
    w.txtFolder->setText(folder());
    w.cmdOk->click();
    EXPECT_EQ(w.model().Layout.ThumbnailBox, 100);
    w.cmdOk->click();
    EXPECT_NE(page().find("<IMG SRC=\"thumbs/"), std::string::npos);
    EXPECT_TRUE(fs::exists(thumbs / "record.txt"));
    w.close();
    frmKavo again;  // and the window keeps it
    EXPECT_EQ(again.model().Layout.ThumbnailBox, 100);
}

TEST_F(ProgressWindowsTest, ScanAndGenerationEndToEnd) {
    m_dir.Write("a.jpg");
    m_dir.Write("b.JPEG");
    m_dir.Write("c.gif");
    m_dir.Write("d.bmp");
    m_dir.Write("e.png");
    m_dir.Write("note.txt");
    m_dir.Write("sub/f.png");
    m_dir.Write(".hidden/g.jpg");  // counted in the root, never entered
    QStringList opened;
    SetOpenWithDesktopHook([&](const QString& path) {
        opened << path;
        return true;
    });

    frmKavo w;
    w.txtFolder->setText(folder());
    ASSERT_EQ(w.cmdOk->text(), kSearch);
    w.cmdOk->click();
    EXPECT_EQ(w.lblJPG->text(), QStringLiteral("2ファイル"));
    EXPECT_EQ(w.lblGIF->text(), QStringLiteral("1ファイル"));
    EXPECT_EQ(w.lblBMP->text(), QStringLiteral("1ファイル"));
    EXPECT_EQ(w.lblPNG->text(), QStringLiteral("2ファイル"));
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：9ファイル"));
    EXPECT_EQ(w.model().Scan().Counts.Pictures(), 6);
    EXPECT_EQ(w.cmdOk->text(), kCreateHtml);
    EXPECT_TRUE(w.cmdOk->isEnabled());
    EXPECT_TRUE(messages.events.isEmpty());

    // Five per page, GIF left out: five pictures, one page.
    w.txtCount->setText(QStringLiteral("5"));
    w.chkGIF->click();
    w.cmdOk->click();
    EXPECT_EQ(w.model().Scan().Selected(w.model().Types), 5);
    EXPECT_EQ(w.model().PicturesPerPage, 5);
    EXPECT_EQ(w.model().LastGeneration().Counters.PageCount, 1);
    EXPECT_EQ(w.model().LastGeneration().Counters.WrittenImageCount, 5);
    EXPECT_TRUE(w.cmdExeUrl->isEnabled());
    EXPECT_TRUE(messages.events.isEmpty());
    const fs::path root = m_dir.path();
    EXPECT_TRUE(fs::exists(root / "index.html"));
    EXPECT_TRUE(fs::exists(root / "kavo" / "page0001.html") || fs::exists(root / "Kavo" / "Page0001.html"));
    EXPECT_FALSE(fs::exists(root / "kavo" / "page0002.html") || fs::exists(root / "Kavo" / "Page0002.html"));
    const fs::path images = fs::exists(root / "kavo") ? root / "kavo" / "images" : root / "Kavo" / "Images";
    EXPECT_TRUE(fs::exists(images / "ball1.gif"));

    // The same catalogue again at once, now with GIF: two pages.
    w.chkGIF->click();
    w.cmdOk->click();
    EXPECT_EQ(w.model().LastGeneration().Counters.PageCount, 2);

    w.cmdExeUrl->click();
    EXPECT_EQ(opened, QStringList{QDir::toNativeSeparators(folder() + QStringLiteral("/index.html"))});
}

TEST_F(ProgressWindowsTest, ScanOfOldCatalogueShowsTheSupportNoticeOnce) {
    m_dir.Write("Kavo/Images/ball1.gif");
    m_dir.Write("Kavo/Images/next1.gif");
    frmKavo w;
    w.show();
    QApplication::setActiveWindow(&w);
    w.txtFolder->setText(folder());
    w.cmdOk->click();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &w);  // the keyboard is back after the notice
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].Title, QString::fromUtf8(kSupportNoticeTitle));
    EXPECT_EQ(messages.boxes[0].Text, QString::fromUtf8(kSupportNoticeText));
    EXPECT_EQ(messages.boxes[0].Icon, QMessageBox::Information);
    EXPECT_EQ(w.lblGIF->text(), QStringLiteral("0ファイル"));
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：4ファイル"));
    EXPECT_FALSE(w.cmdOk->isEnabled());
}

TEST_F(ProgressWindowsTest, CancelledScanHidesAtOnceAndResetsTheCounts) {
    MakeDeepTree();
    m_dir.Write("Kavo/Images/ball1.gif");
    frmKavo w;
    w.txtFolder->setText(folder());
    bool hiddenAtOnce = false;
    bool cancelled = false;
    test::EveryYield cancel([&] {
        auto* search = qobject_cast<frmSearch*>(QApplication::activeModalWidget());
        if (search == nullptr || !search->isRunning())
            return false;
        search->cmdCancel->click();
        hiddenAtOnce = !search->isVisible();
        cancelled = search->cancelRequested();
        return true;
    });
    w.cmdOk->click();
    EXPECT_TRUE(hiddenAtOnce);
    EXPECT_TRUE(cancelled);
    // Only the cancel message: no support notice after a cancel.
    EXPECT_EQ(messages.events, QStringList{QStringLiteral("ファイル検索処理を中止しました。")});
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].Title, QStringLiteral("Ｋａｖｏ"));
    EXPECT_EQ(messages.boxes[0].Icon, QMessageBox::Information);
    EXPECT_EQ(w.model().Counts().JpgCount, 0);
    EXPECT_EQ(w.model().Counts().AllFileCount, 0);
    EXPECT_EQ(w.lblJPG->text(), QStringLiteral("0ファイル"));
    EXPECT_EQ(w.lblFileCount->text(), QStringLiteral("全ファイル数：0ファイル"));
    EXPECT_EQ(w.cmdOk->text(), kSearch);
    EXPECT_TRUE(w.cmdOk->isEnabled());
}

TEST_F(ProgressWindowsTest, CancelledOrVanishedGenerationKeepsTheBrowserButtonDisabled) {
    MakeDeepTree();
    frmKavo w;
    w.txtFolder->setText(folder());
    w.cmdOk->click();  // scan
    w.cmdOk->click();  // a full generation enables the browser button
    ASSERT_TRUE(w.cmdExeUrl->isEnabled());
    ASSERT_TRUE(messages.events.isEmpty());

    auto cancel = std::make_unique<test::EveryYield>([&] {
        auto* info = qobject_cast<frmInfo*>(QApplication::activeModalWidget());
        if (info == nullptr || !info->isRunning())
            return false;
        info->close();  // the close box acts as the cancel button
        return true;
    });
    // Enough new pictures that the run is still going when the window's first turn comes to close it.
    for (int i = 20; i < 400; ++i) {
        for (int j = 0; j < 5; ++j)
            m_dir.Write("d" + std::to_string(i) + "/p" + std::to_string(j) + ".jpg");
    }
    w.txtCount->setText(QStringLiteral("10"));
    w.cmdOk->click();
    EXPECT_EQ(messages.events, QStringList{QStringLiteral("ＨＴＭＬ作成処理を中止しました。")});
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].Title, QStringLiteral("Ｋａｖｏ"));
    EXPECT_EQ(messages.boxes[0].Icon, QMessageBox::Information);
    EXPECT_FALSE(w.cmdExeUrl->isEnabled());
    // A smaller but consistent catalogue.
    EXPECT_LT(w.model().LastGeneration().Counters.WrittenImageCount, 2000);
    EXPECT_TRUE(fs::exists(m_dir.path() / "index.html"));
    EXPECT_EQ(w.cmdOk->text(), kCreateHtml);
    EXPECT_TRUE(w.cmdOk->isEnabled());

    // Another run holds the catalogue: its one message, and no cancel notice.
    cancel.reset();
    bool busy = false;
    auto held = NativeFileSystem().LockFolder(m_dir.str() + "kavo", busy);
    messages.clear();
    w.cmdOk->click();
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_NE(messages.events[0].indexOf(QStringLiteral("ほかの実行が書き出し中です。")), -1);
    EXPECT_FALSE(w.cmdExeUrl->isEnabled());
    held.reset();

    // The folder vanished since the scan: nothing is written, nor the folder made
    // again, and the window says why; the button searches again.
    fs::remove_all(m_dir.path());
    messages.clear();
    w.cmdOk->click();
    EXPECT_FALSE(fs::exists(m_dir.path()));
    EXPECT_EQ(messages.events, QStringList{QStringLiteral("'%1' フォルダが見つかりません。").arg(folder())});
    EXPECT_EQ(w.cmdOk->text(), kSearch);
    EXPECT_FALSE(w.cmdExeUrl->isEnabled());
}

TEST_F(ProgressWindowsTest, BrowserButtonOnlyWhileTheFolderShownHasItsSummaryPage) {
    m_dir.Write("a/p.jpg");
    m_dir.MakeDir("b");
    const QString a = folder() + QStringLiteral("/a");
    frmKavo w;
    w.txtFolder->setText(a);
    w.cmdOk->click();
    w.cmdOk->click();
    ASSERT_TRUE(w.cmdExeUrl->isEnabled());
    w.txtFolder->setText(folder() + QStringLiteral("/b"));
    EXPECT_FALSE(w.cmdExeUrl->isEnabled());
    w.txtFolder->setText(a + QStringLiteral("/ "));  // the same folder, written differently
    EXPECT_TRUE(w.cmdExeUrl->isEnabled());
    fs::remove(m_dir.path() / "a" / "index.html");
    w.txtFolder->setText(a);
    EXPECT_FALSE(w.cmdExeUrl->isEnabled());
}

TEST_F(ProgressWindowsTest, FolderThatCannotBeWrittenGivesOneMessageAndUnreadableFoldersOneNotice) {
    m_dir.Write("a.jpg");
    m_dir.Write("locked/b.jpg");
    test::FaultFileSystem readOnly;
    readOnly.failWrite = [](const std::string&) { return true; };
    readOnly.failList = [](const std::string& p) { return p.ends_with("locked/") || p.ends_with("locked\\"); };
    frmKavo w(readOnly);
    w.txtFolder->setText(folder());
    w.cmdOk->click();
    // The scan names the folder it could not read; the generation does not again.
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].Title, QString::fromUtf8(kUnreadableNoticeTitle));
    EXPECT_NE(messages.boxes[0].Text.indexOf(QDir::toNativeSeparators(QStringLiteral("/locked/'"))), -1);
    messages.clear();
    w.cmdOk->click();
    // The first failure whole, then how many more (pages, frames, navigation pictures).
    ASSERT_EQ(messages.boxes.size(), 1u);
    const QStringList lines = messages.boxes[0].Text.split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.value(0), QStringLiteral("フォルダの作成中にエラーが発生しました。"));
    // With the system's separators; Kavo on a disk that ignores letter case (Wine's).
    const QString made = QDir::toNativeSeparators(folder() + QStringLiteral("/"));
    EXPECT_TRUE(lines.value(1) == QStringLiteral("'%1kavo'").arg(made) ||
                lines.value(1) == QStringLiteral("'%1Kavo'").arg(made))
        << lines.value(1).toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ほかに([5-9]|\\d\\d+)件の書き出しに失敗しました。$"))
                    .match(lines.back())
                    .hasMatch())
        << lines.back().toStdString();
    EXPECT_FALSE(w.cmdExeUrl->isEnabled());
}

TEST_F(ProgressWindowsTest, SlowListingOfAHugeFolderKeepsBothWindowsResponsive) {
    for (int i = 0; i < 1200; ++i)
        m_dir.Write("p" + std::to_string(i) + ".jpg");
    test::FaultFileSystem slow;  // 40 batches of 30 entries, 20 ms each
    slow.batchSize = 30;
    slow.batchDelay = std::chrono::milliseconds(20);
    frmKavo w(slow);
    w.txtFolder->setText(folder());
    for (bool generation : {false, true}) {
        SCOPED_TRACE(generation ? "generation" : "scan");
        QElapsedTimer sinceLastPass;
        qint64 longestGap = 0;
        bool folderShown = false;  // the status reported just before the listing
        test::EveryYield watch([&] {
            if (sinceLastPass.isValid())
                longestGap = std::max(longestGap, sinceLastPass.elapsed());
            sinceLastPass.start();
            auto* search = qobject_cast<frmSearch*>(QApplication::activeModalWidget());
            folderShown |= search && search->lblInfo->text().endsWith(QStringLiteral("を検索しています..."));
            return false;
        });
        w.cmdOk->click();
        EXPECT_LT(longestGap, 200);  // the whole listing takes 800 ms
        EXPECT_EQ(folderShown, !generation);
    }
    EXPECT_EQ(w.model().LastGeneration().Counters.WrittenImageCount, 1200);

    // 中止 during the listing ends the run well before the listing would.
    QElapsedTimer run;
    run.start();
    test::EveryYield cancel([&] {
        auto* info = qobject_cast<frmInfo*>(QApplication::activeModalWidget());
        if (info == nullptr || !info->isRunning() || run.elapsed() < 100)
            return false;
        info->cmdCancel->click();
        return true;
    });
    w.cmdOk->click();
    EXPECT_LT(run.elapsed(), 500);
    EXPECT_EQ(w.model().LastGeneration().Counters.WrittenImageCount, 0);
    EXPECT_EQ(messages.events, QStringList{QStringLiteral("ＨＴＭＬ作成処理を中止しました。")});
}

TEST_F(ProgressWindowsTest, GenerationWindowPreparesItsDisplay) {
    ScanResult scan;
    scan.Counts.JpgCount = 150;
    frmInfo info(RunRequest{}, scan, NativeFileSystem());
    EXPECT_EQ(info.lblFileCount->text(), QStringLiteral("0/150ファイル"));
    EXPECT_EQ(info.lblPercent->text(), QStringLiteral("0％"));
    EXPECT_EQ(info.windowTitle(), QStringLiteral("0％処理しました．．． - Kavo"));
    EXPECT_TRUE(info.lblFile->text().isEmpty());
    EXPECT_EQ(info.frameFile->title(), QStringLiteral("ファイル名"));
    EXPECT_EQ(info.cmdCancel->text(), QStringLiteral("中止"));
    EXPECT_EQ(info.size(), QSize(408, 145));
    EXPECT_EQ(info.ProgressBar1->maximum(), 150);
    EXPECT_EQ(info.ProgressBar1->value(), 0);
    EXPECT_EQ(info.ProgressBar1->accessibleName(), QStringLiteral("処理の進み具合"));  // its text is hidden

    info.ShowProgress({37, 150, ProgressPercent(37, 150, 0)});
    EXPECT_EQ(info.lblFileCount->text(), QStringLiteral("37/150ファイル"));
    EXPECT_EQ(info.lblPercent->text(), QStringLiteral("25％"));
    EXPECT_EQ(info.windowTitle(), QStringLiteral("25％処理しました．．． - Kavo"));
    EXPECT_EQ(info.ProgressBar1->value(), 37);

    // More placed than selected: the label shows it, the bar keeps its value.
    info.ShowProgress({160, 150, ProgressPercent(160, 150, 25)});
    EXPECT_EQ(info.lblFileCount->text(), QStringLiteral("160/150ファイル"));
    EXPECT_EQ(info.lblPercent->text(), QStringLiteral("107％"));
    EXPECT_EQ(info.ProgressBar1->value(), 37);

    // Halves go to the even neighbour.
    info.ShowProgress({1, 8, ProgressPercent(1, 8, 0)});
    EXPECT_EQ(info.lblPercent->text(), QStringLiteral("12％"));
    info.ShowProgress({3, 8, ProgressPercent(3, 8, 0)});
    EXPECT_EQ(info.lblPercent->text(), QStringLiteral("38％"));

    info.ShowStatus(kWritingHtmlText);
    EXPECT_EQ(info.lblFile->text(), QStringLiteral("ＨＴＭＬファイルを書き出し中です。"));

    // A long path loses its middle, never its end.
    const std::string path = "/" + std::string(300, 'x') + "/last-folder/picture.jpg";
    info.ShowStatus(path);
    EXPECT_TRUE(info.lblFile->text().endsWith(QStringLiteral("last-folder/picture.jpg")));
    EXPECT_LE(info.lblFile->fontMetrics().horizontalAdvance(info.lblFile->text()), info.lblFile->width());
}

TEST_F(ProgressWindowsTest, NothingSelectedShowsZeroThroughout) {
    m_dir.Write("a.jpg");
    ScanResult scan;
    scan.Counts.JpgCount = 1;
    RunRequest in;
    in.Folder = m_dir.str();
    in.Types.Jpg = false;
    in.ProgramFolder = QApplication::applicationDirPath().toStdString();
    frmInfo info(in, scan, NativeFileSystem());
    EXPECT_EQ(info.lblFileCount->text(), QStringLiteral("0/0ファイル"));
    EXPECT_NE(info.ProgressBar1->minimum(), info.ProgressBar1->maximum());  // no busy animation
    info.exec();
    EXPECT_FALSE(info.m_fCancel);
    EXPECT_EQ(info.lblFileCount->text(), QStringLiteral("0/0ファイル"));
    EXPECT_EQ(info.lblPercent->text(), QStringLiteral("0％"));
    EXPECT_EQ(info.ProgressBar1->value(), 0);
    EXPECT_EQ(info.lblFile->text(), QStringLiteral("ＨＴＭＬファイルを書き出し中です。"));
    EXPECT_TRUE(fs::exists(m_dir.path() / "index.html"));
}

TEST_F(ProgressWindowsTest, ScanWindowShowsItsStatus) {
    m_dir.Write("a.jpg");
    frmSearch search(test::RequestFor(folder().toStdString()), NativeFileSystem());
    EXPECT_EQ(search.windowTitle(), QStringLiteral("検索中です．．． - Kavo"));
    EXPECT_EQ(search.size(), QSize(406, 135));
    // A long path wraps at any character, so its end stays in view.
    search.ShowStatus("/" + std::string(120, 'y') + "/last-folder/ を検索しています...");
    const QLabel* info = search.lblInfo;
    EXPECT_TRUE(info->text().remove(QChar(0x200B)).endsWith(QStringLiteral("last-folder/ を検索しています...")));
    EXPECT_LE(info->fontMetrics().boundingRect(info->rect(), Qt::TextWordWrap, info->text()).width(), info->width());
    search.exec();
    EXPECT_FALSE(search.m_fCancel);
    EXPECT_EQ(search.lblInfo->text(), QStringLiteral("検索が終了しました。"));
    EXPECT_EQ(search.result().Counts.JpgCount, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy pointer is gone again
}

TEST(FolderDialogTest, ResultsAndErrorBox) {
    test::MessageRecorder messages;
    FolderDialogRequest seen;
    SetFolderDialogHook([&](const FolderDialogRequest& r) {
        seen = r;
        return QStringLiteral("/pics/trip");
    });
    // Given back with the system's separators.
    EXPECT_EQ(proFolderDlg_Open(QStringLiteral("t"), nullptr, QString(), 3, QStringLiteral("/start")),
              QDir::toNativeSeparators(QStringLiteral("/pics/trip")));
    EXPECT_EQ(seen.StartPath, QStringLiteral("/start"));
    EXPECT_EQ(seen.Flags, 3u);
    // A computer cannot be browsed for here.
    EXPECT_TRUE(proFolderDlg_Open(QStringLiteral("t"), nullptr, QString(), 0x1000, QString()).isEmpty());

    SetFolderDialogHook([](const FolderDialogRequest&) { return QString(); });
    EXPECT_TRUE(proFolderDlg_Open(QStringLiteral("t"), nullptr, QString(), 3, QStringLiteral("/start")).isNull());
    EXPECT_TRUE(messages.boxes.empty());

    SetFolderDialogHook([](const FolderDialogRequest&) -> QString {
        throw std::system_error(std::make_error_code(std::errc::permission_denied));
    });
    EXPECT_TRUE(proFolderDlg_Open(QStringLiteral("t"), nullptr, QString(), 3, QString()).isEmpty());
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_TRUE(messages.boxes[0].Text.startsWith(QStringLiteral("Error No. 13\r\n")));
    EXPECT_EQ(messages.boxes[0].Title, QStringLiteral("Error In [basFolderDlg]proFolderDlg_Open"));
    EXPECT_EQ(messages.boxes[0].Icon, QMessageBox::Critical);
    SetFolderDialogHook({});

    // The real picker and the dialogs' buttons speak Japanese.
    ASSERT_TRUE(InstallJapaneseQtTranslations(*QCoreApplication::instance()));
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Look in:"));
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

TEST(MessageBoxTest, RealBoxHasItsIconTitleAndASingleOkButton) {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton*> buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons();
        ASSERT_EQ(buttons.size(), 1);
        EXPECT_EQ(box->standardButton(buttons[0]), QMessageBox::Ok);
        buttons[0]->click();
    });
    ShowMessageBox(nullptr, QStringLiteral("値を設定してください。"), QStringLiteral("Kavo"), QMessageBox::Warning);
    EXPECT_EQ(title, QStringLiteral("Kavo"));
    EXPECT_EQ(text, QStringLiteral("値を設定してください。"));
    EXPECT_EQ(icon, QMessageBox::Warning);
}

}  // namespace
}  // namespace kavo
