#include "app/ui_support.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <limits>

namespace kavo {

namespace {

// Tried in order after the requested face. IPAPGothic has the same proportional
// widths, so the designed control sizes hold; Noto is the last resort.
QStringList JapaneseFamilies() {
    return {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")};
}

}  // namespace

void PlaceTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
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
