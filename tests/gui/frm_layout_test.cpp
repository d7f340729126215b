#include "app/frm_layout.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/layout_preview.h"
#include "app/up_down.h"
#include "gui_test_support.h"

namespace kavo {
namespace {

class LayoutDialogTest : public ::testing::Test {
protected:
    KavoContext ctx;
    QLineEdit mainCount{QStringLiteral("50")};
    test::MessageRecorder beeps;
};

TEST_F(LayoutDialogTest, LoadsDefaultsWithTheirEnabledStates) {
    frmLayout d(ctx, &mainCount);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Html出力設定 - Kavo"));
    EXPECT_EQ(d.size(), QSize(384, 381));
    EXPECT_FALSE(d.chkThumbnail->isChecked() || d.txtThumbnail->isEnabled() || d.UpDownThumbnail->isEnabled());
    EXPECT_TRUE(d.OptionNoSame->isChecked());
    EXPECT_TRUE(d.chkSize->isChecked() && d.chkSize->isEnabled());
    EXPECT_FALSE(d.txtX->isEnabled() || d.txtY->isEnabled() || d.UpDownX->isEnabled() || d.FrameOption[1]->isEnabled());
    EXPECT_EQ(d.txtX->text(), QStringLiteral("100"));
    EXPECT_EQ(d.txtY->text(), QStringLiteral("100"));
    EXPECT_TRUE(d.OptionClickFolder->isChecked());
    EXPECT_TRUE(d.OptionCenter->isChecked());
    EXPECT_EQ(d.txtImagePerLine->text(), QStringLiteral("3"));
    EXPECT_TRUE(d.OptionNoTable->isChecked());
    EXPECT_FALSE(d.txtImagePerLine->isEnabled() || d.FrameTable->isEnabled() || d.UpDownImagePerLine->isEnabled());
    EXPECT_TRUE(d.OptionLeft->isEnabled() && d.FrameNotable->isEnabled());
    EXPECT_TRUE(d.cmdOk->isDefault());
}

TEST_F(LayoutDialogTest, LoadsNonDefaultSettingsAndOkStoresThemAgain) {
    ctx.Settings = CatalogueSettings{true, false, 150, 80, "View", "RIGHT", false, 7};
    frmLayout d(ctx, &mainCount);
    EXPECT_TRUE(d.OptionSame->isChecked());
    EXPECT_FALSE(d.chkSize->isChecked() || d.chkSize->isEnabled());
    EXPECT_TRUE(d.txtX->isEnabled());
    EXPECT_EQ(d.txtX->text(), QStringLiteral("150"));
    EXPECT_EQ(d.txtY->text(), QStringLiteral("80"));
    EXPECT_TRUE(d.OptionClickView->isChecked());
    EXPECT_TRUE(d.OptionRight->isChecked());
    EXPECT_EQ(d.txtImagePerLine->text(), QStringLiteral("7"));
    d.cmdOk->click();
    const CatalogueSettings& s = ctx.Settings;
    EXPECT_TRUE(s.SameSize);
    EXPECT_FALSE(s.GetImageSize);
    EXPECT_EQ(s.ImageWidth, 150);
    EXPECT_EQ(s.ImageHeight, 80);
    EXPECT_EQ(s.ClickAction, "View");
    EXPECT_EQ(s.Align, "RIGHT");
    EXPECT_EQ(s.ImagesPerLine, 7);
    EXPECT_FALSE(s.UseTable);
    EXPECT_TRUE(beeps.events.isEmpty());
}

TEST_F(LayoutDialogTest, ThumbnailSizeIsStoredOnlyWhenChosenAndReopensAsStored) {
    {
        frmLayout d(ctx, &mainCount);
        d.UpDownThumbnail->stepUp();
        d.cmdOk->click();
    }
    EXPECT_EQ(ctx.Settings.ThumbnailBox, 0);
    {
        frmLayout d(ctx, &mainCount);
        d.chkThumbnail->click();
        EXPECT_TRUE(d.txtThumbnail->isEnabled());
        for (int i = 0; i < 30; ++i)
            d.UpDownThumbnail->stepUp();
        d.cmdOk->click();
    }
    EXPECT_EQ(ctx.Settings.ThumbnailBox, 400);
    frmLayout again(ctx, &mainCount);
    EXPECT_TRUE(again.chkThumbnail->isChecked());
    EXPECT_EQ(again.txtThumbnail->text(), QStringLiteral("400"));
}

TEST_F(LayoutDialogTest, UnknownAlignAndClickOpenAsCentreAndFolder) {
    ctx.Settings.Align = "center";
    ctx.Settings.ClickAction = "folder";
    frmLayout d(ctx, &mainCount);
    EXPECT_TRUE(d.OptionCenter->isChecked());
    EXPECT_TRUE(d.OptionClickFolder->isChecked());
}

TEST_F(LayoutDialogTest, TableForcesCentreAndReopensWithAlignmentDisabled) {
    {
        frmLayout d(ctx, &mainCount);
        d.OptionRight->click();
        d.OptionTable->click();
        EXPECT_FALSE(d.OptionLeft->isEnabled() || d.FrameNotable->isEnabled());
        EXPECT_TRUE(d.txtImagePerLine->isEnabled() && d.UpDownImagePerLine->isEnabled() && d.FrameTable->isEnabled());
        d.cmdOk->click();
    }
    EXPECT_TRUE(ctx.Settings.UseTable);
    EXPECT_EQ(ctx.Settings.Align, "CENTER");
    frmLayout again(ctx, &mainCount);
    EXPECT_TRUE(again.OptionTable->isChecked());
    EXPECT_FALSE(again.FrameNotable->isEnabled());
}

TEST_F(LayoutDialogTest, CancelLeavesEverySettingAsItWas) {
    frmLayout d(ctx, &mainCount);
    d.OptionSame->click();
    d.txtX->setText(QStringLiteral("30"));
    d.OptionClickNo->click();
    d.OptionLeft->click();
    d.OptionTable->click();
    d.UpDownImagePerLine->stepUp();
    d.chkSize->setChecked(false);
    d.cmdCancel->click();
    const CatalogueSettings defaults;
    EXPECT_EQ(ctx.Settings.SameSize, defaults.SameSize);
    EXPECT_EQ(ctx.Settings.ImageWidth, defaults.ImageWidth);
    EXPECT_EQ(ctx.Settings.ClickAction, defaults.ClickAction);
    EXPECT_EQ(ctx.Settings.Align, defaults.Align);
    EXPECT_EQ(ctx.Settings.UseTable, defaults.UseTable);
    EXPECT_EQ(ctx.Settings.ImagesPerLine, defaults.ImagesPerLine);
    EXPECT_EQ(ctx.Settings.GetImageSize, defaults.GetImageSize);
}

TEST_F(LayoutDialogTest, FieldChecksCorrectWithOneBeepAndNoMessage) {
    frmLayout d(ctx, &mainCount);
    struct Case {
        const char* typed;
        const char* corrected;
        int beeps;
    };
    for (const Case& c : {Case{"", "100", 1}, Case{"0", "10", 1}, Case{"5", "10", 1}, Case{"201", "200", 1},
                          Case{"250", "200", 1}, Case{"010", "010", 0}, Case{"200", "200", 0}}) {
        SCOPED_TRACE(c.typed);
        beeps.clear();
        d.txtY->setText(QString::fromUtf8(c.typed));
        d.txtY_LostFocus();
        EXPECT_EQ(d.txtY->text(), QString::fromUtf8(c.corrected));
        EXPECT_EQ(beeps.events.count(QStringLiteral("beep")), c.beeps);
        EXPECT_TRUE(beeps.boxes.empty());
    }
    beeps.clear();
    d.txtImagePerLine->setText(QStringLiteral("12"));
    d.txtImagePerLine_LostFocus();
    EXPECT_EQ(d.txtImagePerLine->text(), QStringLiteral("10"));
    d.txtImagePerLine->setText(QString());
    d.txtImagePerLine_LostFocus();
    EXPECT_EQ(d.txtImagePerLine->text(), QStringLiteral("1"));
    EXPECT_EQ(beeps.events.count(QStringLiteral("beep")), 2);
}

TEST_F(LayoutDialogTest, OkChecksUncheckedFieldsAndDisabledControlsStillSupplyValues) {
    frmLayout d(ctx, &mainCount);
    // OptionNoSame: the disabled size fields are still stored; "010" is 10.
    d.txtX->setText(QStringLiteral("010"));
    d.txtY->setText(QStringLiteral("999"));  // typed and confirmed with Enter, never checked
    d.UpDownImagePerLine->stepUp();          // the per-row field is disabled, still stored
    d.cmdOk->click();
    EXPECT_EQ(ctx.Settings.ImageWidth, 10);
    EXPECT_EQ(ctx.Settings.ImageHeight, 200);
    EXPECT_EQ(ctx.Settings.ImagesPerLine, 4);
    EXPECT_FALSE(ctx.Settings.SameSize);

    frmLayout same(ctx, &mainCount);
    same.OptionSame->click();
    same.chkSize->setChecked(false);  // disabled now, still stored
    same.cmdOk->click();
    EXPECT_FALSE(ctx.Settings.GetImageSize);
    EXPECT_TRUE(ctx.Settings.SameSize);
}

TEST_F(LayoutDialogTest, NumberFieldsTakeDigitsAndBackspaceOnly) {
    frmLayout d(ctx, &mainCount);
    d.OptionSame->click();
    d.txtX->clear();
    QTest::keyClicks(d.txtX, QStringLiteral("1a- 2"));
    EXPECT_EQ(d.txtX->text(), QStringLiteral("12"));
    QTest::keyClick(d.txtX, Qt::Key_Backspace);
    EXPECT_EQ(d.txtX->text(), QStringLiteral("1"));
    d.UpDownX->setValue(190);
    d.UpDownX->stepUp();
    d.UpDownX->stepUp();
    EXPECT_EQ(d.txtX->text(), QStringLiteral("200"));

    // Editing keys act as in any box; Enter presses ＯＫ.
    d.show();
    QTest::keyClick(d.txtX, Qt::Key_Home);
    QTest::keyClick(d.txtX, Qt::Key_Delete);
    QTest::keyClick(d.txtX, Qt::Key_Return);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(ctx.Settings.ImageWidth, 10);  // "00" raised to the minimum
}

TEST_F(LayoutDialogTest, TabStopsAtCheckedOptionsAndTheSpinnerShowsItsFocus) {
    frmLayout d(ctx, &mainCount);
    d.show();
    QApplication::setActiveWindow(&d);
    d.cmdCancel->setFocus(Qt::OtherFocusReason);
    QList<QWidget*> visited;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget();
    }
    EXPECT_EQ(visited, (QList<QWidget*>{d.OptionNoTable, d.OptionCenter, d.OptionNoSame, d.chkSize}));

    d.OptionSame->click();
    const QImage unfocused = d.UpDownX->grab().toImage();
    d.UpDownX->setFocus(Qt::TabFocusReason);
    EXPECT_NE(d.UpDownX->grab().toImage(), unfocused);
}

}  // namespace
}  // namespace kavo
