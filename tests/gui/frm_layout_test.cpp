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
    CatalogueSettings settings;  // what the dialog edits, as the main window keeps them
    QLineEdit mainCount{QStringLiteral("50")};
    test::MessageRecorder beeps;
};

TEST_F(LayoutDialogTest, LoadsDefaultsWithTheirEnabledStates) {
    frmLayout d(settings, &mainCount);
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
    settings = CatalogueSettings{true, false, 150, 80, ClickAction::View, Alignment::Right, false, 7};
    frmLayout d(settings, &mainCount);
    EXPECT_TRUE(d.OptionSame->isChecked());
    EXPECT_FALSE(d.chkSize->isChecked() || d.chkSize->isEnabled());
    EXPECT_TRUE(d.txtX->isEnabled());
    EXPECT_EQ(d.txtX->text(), QStringLiteral("150"));
    EXPECT_EQ(d.txtY->text(), QStringLiteral("80"));
    EXPECT_TRUE(d.OptionClickView->isChecked());
    EXPECT_TRUE(d.OptionRight->isChecked());
    EXPECT_EQ(d.txtImagePerLine->text(), QStringLiteral("7"));
    d.cmdOk->click();
    const CatalogueSettings& s = settings;
    EXPECT_TRUE(s.SameSize);
    EXPECT_FALSE(s.GetImageSize);
    EXPECT_EQ(s.ImageWidth, 150);
    EXPECT_EQ(s.ImageHeight, 80);
    EXPECT_EQ(s.Click, ClickAction::View);
    EXPECT_EQ(s.Align, Alignment::Right);
    EXPECT_EQ(s.ImagesPerLine, 7);
    EXPECT_FALSE(s.UseTable);
    EXPECT_TRUE(beeps.events.isEmpty());
}

TEST_F(LayoutDialogTest, ThumbnailSizeIsStoredOnlyWhenChosenAndReopensAsStored) {
    {
        frmLayout d(settings, &mainCount);
        d.UpDownThumbnail->stepUp();
        d.cmdOk->click();
    }
    EXPECT_EQ(settings.ThumbnailBox, 0);
    {
        frmLayout d(settings, &mainCount);
        d.chkThumbnail->click();
        EXPECT_TRUE(d.txtThumbnail->isEnabled());
        for (int i = 0; i < 30; ++i)
            d.UpDownThumbnail->stepUp();
        d.cmdOk->click();
    }
    EXPECT_EQ(settings.ThumbnailBox, 400);
    frmLayout again(settings, &mainCount);
    EXPECT_TRUE(again.chkThumbnail->isChecked());
    EXPECT_EQ(again.txtThumbnail->text(), QStringLiteral("400"));
}

TEST_F(LayoutDialogTest, DefaultsOpenAsCentreAndFolder) {
    frmLayout d(settings, &mainCount);
    EXPECT_TRUE(d.OptionCenter->isChecked());
    EXPECT_TRUE(d.OptionClickFolder->isChecked());
}

TEST_F(LayoutDialogTest, TableForcesCentreAndReopensWithAlignmentDisabled) {
    {
        frmLayout d(settings, &mainCount);
        d.OptionRight->click();
        d.OptionTable->click();
        EXPECT_FALSE(d.OptionLeft->isEnabled() || d.FrameNotable->isEnabled());
        EXPECT_TRUE(d.txtImagePerLine->isEnabled() && d.UpDownImagePerLine->isEnabled() && d.FrameTable->isEnabled());
        d.cmdOk->click();
    }
    EXPECT_TRUE(settings.UseTable);
    EXPECT_EQ(settings.Align, Alignment::Center);
    frmLayout again(settings, &mainCount);
    EXPECT_TRUE(again.OptionTable->isChecked());
    EXPECT_FALSE(again.FrameNotable->isEnabled());
}

TEST_F(LayoutDialogTest, CancelLeavesEverySettingAsItWas) {
    frmLayout d(settings, &mainCount);
    d.OptionSame->click();
    d.txtX->setText(QStringLiteral("30"));
    d.OptionClickNo->click();
    d.OptionLeft->click();
    d.OptionTable->click();
    d.UpDownImagePerLine->stepUp();
    d.chkSize->setChecked(false);
    d.cmdCancel->click();
    const CatalogueSettings defaults;
    EXPECT_EQ(settings.SameSize, defaults.SameSize);
    EXPECT_EQ(settings.ImageWidth, defaults.ImageWidth);
    EXPECT_EQ(settings.Click, defaults.Click);
    EXPECT_EQ(settings.Align, defaults.Align);
    EXPECT_EQ(settings.UseTable, defaults.UseTable);
    EXPECT_EQ(settings.ImagesPerLine, defaults.ImagesPerLine);
    EXPECT_EQ(settings.GetImageSize, defaults.GetImageSize);
}

TEST_F(LayoutDialogTest, FieldChecksCorrectWithOneBeepAndNoMessage) {
    frmLayout d(settings, &mainCount);
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
    frmLayout d(settings, &mainCount);
    // OptionNoSame: the disabled size fields are still stored; "010" is 10.
    d.txtX->setText(QStringLiteral("010"));
    d.txtY->setText(QStringLiteral("999"));  // typed and confirmed with Enter, never checked
    d.UpDownImagePerLine->stepUp();          // the per-row field is disabled, still stored
    d.cmdOk->click();
    EXPECT_EQ(settings.ImageWidth, 10);
    EXPECT_EQ(settings.ImageHeight, 200);
    EXPECT_EQ(settings.ImagesPerLine, 4);
    EXPECT_FALSE(settings.SameSize);

    frmLayout same(settings, &mainCount);
    same.OptionSame->click();
    same.chkSize->setChecked(false);  // disabled now, still stored
    same.cmdOk->click();
    EXPECT_FALSE(settings.GetImageSize);
    EXPECT_TRUE(settings.SameSize);
}

TEST_F(LayoutDialogTest, NumberFieldsTakeDigitsAndBackspaceOnly) {
    frmLayout d(settings, &mainCount);
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
    EXPECT_EQ(settings.ImageWidth, 10);  // "00" raised to the minimum
}

TEST_F(LayoutDialogTest, TabStopsAtCheckedOptionsAndTheSpinnerShowsItsFocus) {
    frmLayout d(settings, &mainCount);
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
