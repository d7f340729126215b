#include "app/ui_support.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionFrame>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <algorithm>
#include <vector>
#include <limits>

namespace kavo {

namespace {

// Tried in order after the requested face. IPAPGothic has the same proportional
// widths, so the designed control sizes hold; Noto is the last resort.
QStringList JapaneseFamilies() {
    return {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")};
}

constexpr const char* kDesignedPlace = "kavoDesignedPlace";
constexpr const char* kWidestText = "kavoWidestText";
/// QLineEdit keeps this much between its contents rectangle and the text, on each side.
constexpr int kLineEditInnerMargin = 2;

/// The pixels a number box lacks at its designed width to show `widest` whole under its style.
int ShortOfRoom(QLineEdit* box, const QRect& designed, const QString& widest) {
    QStyleOptionFrame frame;
    frame.initFrom(box);
    frame.rect = QRect(QPoint(0, 0), designed.size());
    frame.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, box) : 0;
    frame.state |= QStyle::State_Sunken;
    const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &frame, box);
    const QMargins margins = box->textMargins();
    const int room = contents.width() - margins.left() - margins.right() - 2 * kLineEditInnerMargin;
    // One pixel more for the text cursor, which the box keeps in view.
    const int needed = QFontMetrics(box->font()).horizontalAdvance(widest) + 1;
    return std::max(0, needed - room);
}

/// Widens the number boxes that lack room, each row's later controls moved
/// along only as far as they must: a spinner that touches its box stays on it,
/// anything else keeps at least two pixels to what stands before it.
void FitNumberBoxes(QWidget* window) {
    for (QLineEdit* box : window->findChildren<QLineEdit*>()) {
        const QVariant widest = box->property(kWidestText);
        const QVariant boxPlace = box->property(kDesignedPlace);
        if (!widest.isValid() || !boxPlace.isValid())
            continue;
        const QRect designed = boxPlace.toRect();
        const int wider = ShortOfRoom(box, designed, widest.toString());
        box->setGeometry(designed.adjusted(0, 0, wider, 0));
        std::vector<std::pair<QRect, QWidget*>> row;
        for (QWidget* other : box->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect place = other->property(kDesignedPlace).toRect();
            if (other != box && place.isValid() && place.left() >= designed.right() &&
                place.top() <= designed.bottom() && place.bottom() >= designed.top())
                row.emplace_back(place, other);
        }
        std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.first.left() < b.first.left(); });
        int designedRight = designed.right() + 1, right = designedRight + wider;
        for (const auto& [place, other] : row) {
            const int gap = place.left() - designedRight;
            const int left = std::max(place.left(), right + std::min(gap, 2));
            other->move(left, other->y());
            designedRight = place.right() + 1;
            right = left + other->width();
        }
    }
}

/// The width a control needs to show its whole text under its style, or 0
/// for a control this does not concern.
int WidthForText(QWidget* widget) {
    const QFontMetrics metrics(widget->font());
    auto* check = qobject_cast<QCheckBox*>(widget);
    auto* option = qobject_cast<QRadioButton*>(widget);
    if (check != nullptr || option != nullptr) {
        QStyleOptionButton style;
        style.initFrom(widget);
        style.rect = QRect(QPoint(0, 0), widget->size());
        const QStyle::SubElement contents = check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents;
        const QStyle* s = widget->style();
        const int indicator =
            s->pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth, &style, widget) +
            s->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing, &style, widget);
        const int textLeft = std::max(s->subElementRect(contents, &style, widget).left(), indicator);
        const QString text = check ? check->text() : option->text();
        // One pixel for the focus frame some styles draw around the caption.
        return textLeft + metrics.horizontalAdvance(text) + 1;
    }
    auto* label = qobject_cast<QLabel*>(widget);
    if (label != nullptr && !label->wordWrap() && label->pixmap().isNull() && !label->text().isEmpty()) {
        const int frame = label->frameWidth() * 2 + label->margin() * 2 + std::max(label->indent(), 0);
        return metrics.horizontalAdvance(label->text()) + frame;
    }
    return 0;
}

}  // namespace

void PlaceTwips(QWidget* widget, int left, int top, int width, int height) {
    const QRect place(Twips(left), Twips(top), Twips(width), Twips(height));
    widget->setGeometry(place);
    widget->setProperty(kDesignedPlace, place);
}

void FitTextControls(QWidget* window) {
    for (QWidget* child : window->findChildren<QWidget*>()) {
        const QVariant designed = child->property(kDesignedPlace);
        if (!designed.isValid())
            continue;
        QRect place = designed.toRect();
        const int needed = WidthForText(child);
        if (needed == 0)
            continue;
        // The text is drawn centred on the designed height; a taller font grows it evenly.
        const int taller = QFontMetrics(child->font()).height() - place.height();
        if (taller > 0)
            place.adjust(0, -taller / 2, 0, taller - taller / 2);
        place.setWidth(std::max(place.width(), needed));
        child->setGeometry(place);
    }
    FitNumberBoxes(window);
}

void SetWidestText(QLineEdit* box, const QString& widest) {
    box->setProperty(kWidestText, widest);
}

void NameForAssistiveTechnology(std::initializer_list<QWidget*> controls, const QString& name) {
    for (QWidget* control : controls)
        control->setAccessibleName(name);
}

void NameGroupsForAssistiveTechnology(QWidget* window) {
    for (QGroupBox* group : window->findChildren<QGroupBox*>())
        group->setAccessibleName(group->title());
}

QFont BoxFont() {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setFamilies(JapaneseFamilies());
    font.setPointSizeF(11.25);
    return font;
}

QFont WindowFont() {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setFamilies(JapaneseFamilies());
    font.setPointSize(9);
    return font;
}

bool DiscardedByDigitFilter(const QKeyEvent* event) {
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;  // no character, or a shortcut such as Ctrl+V
    const QChar ch = text.front();
    return ch.isPrint() && !(ch >= u'0' && ch <= u'9');
}

QString FitPathToLabel(const QLabel* label, const QString& text) {
    const QFontMetrics metrics(label->font());
    const int width = label->contentsRect().width();
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    if (!label->wordWrap())
        return metrics.elidedText(text, Qt::ElideMiddle, width);
    // Breaks at any character waste part of a line each; two characters per
    // line is ample for that.
    const int lines = std::max(1, label->contentsRect().height() / metrics.lineSpacing());
    const int room = std::max(width, (width - 2 * metrics.maxWidth()) * lines);
    const QString kept = metrics.elidedText(text, Qt::ElideMiddle, room);
    QString wrapped;
    wrapped.reserve(kept.size() * 2);
    for (qsizetype i = 0; i < kept.size(); ++i) {
        wrapped += kept[i];
        // A zero-width space lets the line break anywhere, but never inside a surrogate pair.
        if (!kept[i].isHighSurrogate())
            wrapped += QChar(0x200B);
    }
    return wrapped;
}

int32_t IntegerValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > kLimit)
            value = kLimit;
    }
    if (negative)
        return static_cast<int32_t>(-value);
    return static_cast<int32_t>(value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                                            : value);
}

}  // namespace kavo
