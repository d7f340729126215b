#include "app/frm_layout.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QWheelEvent>
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

TEST_F(LayoutDialogTest, ThumbnailsOpenThePictureOnAClickGreyTheSizesAndShowInThePreview) {
    bool clickChosen = false;
    frmLayout d(settings, &mainCount, nullptr, &clickChosen);
    const QImage plain = d.picLayout->image().copy();
    EXPECT_EQ(d.chkThumbnail->toolTip(),
              QStringLiteral("小さな画像を作ってページに表示します。クリックすると画像のあるフォルダを開きます。"));
    d.chkThumbnail->click();
    EXPECT_TRUE(d.OptionClickView->isChecked());
    EXPECT_EQ(d.chkThumbnail->toolTip(),
              QStringLiteral("小さな画像を作ってページに表示します。クリックすると元の画像を開きます。"));
    EXPECT_FALSE(d.OptionSame->isEnabled() || d.chkSize->isEnabled() || d.FrameLayoutImageSize->isEnabled());
    EXPECT_NE(d.picLayout->image(), plain);  // the boxes of the thumbnails
    // A click the user picked stays when thumbnails go off and on.
    d.OptionClickNo->click();
    d.chkThumbnail->click();
    EXPECT_TRUE(d.OptionClickNo->isChecked() && d.OptionSame->isEnabled() && d.chkSize->isEnabled());
    EXPECT_EQ(d.picLayout->image(), plain);
    d.chkThumbnail->click();
    EXPECT_TRUE(d.OptionClickNo->isChecked());
    d.cmdOk->click();
    EXPECT_EQ(settings.Click, ClickAction::No);
    EXPECT_TRUE(clickChosen);
}

TEST_F(LayoutDialogTest, ThumbnailSizeTakesTypingAndTheKeysOfASpinBoxAndIsOneTabStop) {
    frmLayout d(settings, &mainCount);
    d.show();
    QApplication::setActiveWindow(&d);
    d.chkThumbnail->click();
    d.chkThumbnail->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(d.chkThumbnail, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), d.txtThumbnail);
    QTest::keyClick(d.txtThumbnail, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.cmdOk);  // the spinner is no stop of its own
    auto key = [&](Qt::Key k) {
        QTest::keyClick(d.txtThumbnail, k);
        return d.txtThumbnail->text();
    };
    EXPECT_EQ(key(Qt::Key_End), QStringLiteral("400"));
    EXPECT_EQ(key(Qt::Key_Home), QStringLiteral("50"));
    EXPECT_EQ(key(Qt::Key_PageUp), QStringLiteral("150"));
    EXPECT_EQ(key(Qt::Key_Up), QStringLiteral("160"));
    EXPECT_EQ(key(Qt::Key_Down), QStringLiteral("150"));
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(d.txtThumbnail, &wheel);
    EXPECT_EQ(d.txtThumbnail->text(), QStringLiteral("170"));
    d.txtThumbnail->selectAll();
    QTest::keyClicks(d.txtThumbnail, QStringLiteral("3x5"));
    EXPECT_EQ(d.txtThumbnail->text(), QStringLiteral("35"));
    EXPECT_EQ(key(Qt::Key_Up), QStringLiteral("60"));  // steps from what is typed, brought into the range
    d.txtThumbnail->setText(QStringLiteral("999"));
    d.cmdOk->click();
    EXPECT_EQ(beeps.events, QStringList{QStringLiteral("beep")});
    EXPECT_EQ(settings.ThumbnailBox, 400);
}

TEST_F(LayoutDialogTest, NestedFramesAreNamedByTheirOwnCaptions) {
    frmLayout d(settings, &mainCount);
    auto name = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
    EXPECT_EQ(name(d.FrameNotable), QStringLiteral("表示する場所"));
    EXPECT_EQ(name(d.FrameTable), QStringLiteral("テーブル"));
    EXPECT_EQ(name(d.FrameOption[1]), QStringLiteral("画像の表示サイズ（ピクセル）"));
}

TEST_F(LayoutDialogTest, LargestNumbersShowWholeUnderEveryStyle) {
    const QString designStyle = QApplication::style()->name();
    frmLayout d(settings, &mainCount);
    d.chkThumbnail->click();
    d.OptionSame->click();
    QStringList styles{QStringLiteral("Windows"), QStringLiteral("Fusion")};
    if (QStyleFactory::keys().contains(QStringLiteral("Adwaita")))
        styles << QStringLiteral("Adwaita");
    const std::pair<QLineEdit*, QString> boxes[] = {{d.txtThumbnail, QStringLiteral("400")},
                                                    {d.txtX, QStringLiteral("200")}};
    for (const QString& style : styles) {
        QApplication::setStyle(style);
        for (const auto& [box, widest] : boxes) {
            box->setText(widest);
            // Text that fits is not scrolled: its two ends lie a text's width apart
            // whichever end the cursor is kept in view at.
            box->setCursorPosition(0);
            box->grab();
            const int start = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
            box->setCursorPosition(widest.size());
            box->grab();
            const int end = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
            EXPECT_EQ(end - start, box->fontMetrics().horizontalAdvance(widest))
                << style.toStdString() << " " << box->objectName().toStdString();
        }
        // The spinner moves along with its box and stays clear of the caption after it.
        EXPECT_EQ(d.UpDownThumbnail->x(), d.txtThumbnail->geometry().right() + 1) << style.toStdString();
        EXPECT_LT(d.UpDownThumbnail->geometry().right(), d.lblThumbnail->x()) << style.toStdString();
    }
    QApplication::setStyle(designStyle);
}

}  // namespace
}  // namespace kavo
