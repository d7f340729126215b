#pragma once

#include <QFont>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QWidget;

namespace kavo {

/// Window and control geometry is designed in twips; 15 twips make one pixel
/// at 96 dpi (Qt scales device-independent pixels for other screens).
constexpr int Twips(int twips) {
    return twips / 15;
}

/// Places a control by its designed left, top, width and height in twips.
/// The designed place is kept with the control for FitTextControls.
void PlaceTwips(QWidget* widget, int left, int top, int width, int height);

/// Puts every check box, option button and one-line label inside `window`
/// back at its designed place, then widens the ones whose text the current
/// style and font would cut off: styles with larger indicators or wider
/// glyphs than the design assumed must still show every caption whole.
/// Called when the window is built and whenever its style or font changes.
void FitTextControls(QWidget* window);

/// Marks a number box with the widest text it must show whole (its largest
/// number); FitTextControls widens it where the style's frame and padding leave
/// too little room, and moves what stands right of it in its row along.
void SetWidestText(QLineEdit* box, const QString& widest);

/// Accessible names of controls whose caption is a label or frame beside them.
void NameForAssistiveTechnology(std::initializer_list<QWidget*> controls, const QString& name);

/// Names every frame inside `window` by its own caption: assistive technology
/// would otherwise announce a frame inside another by the outer one's.
void NameGroupsForAssistiveTechnology(QWidget* window);

/// The font the designed text boxes ask for ("ＭＳ Ｐゴシック" 11.25 pt), falling
/// back to an installed Japanese font.
QFont BoxFont();

/// The windows' own font: a Japanese face so every caption renders.
QFont WindowFont();

/// The filter of the number boxes: true for a typed character other than a
/// digit or Backspace, which the box must not get. Editing and navigation keys
/// (Delete, Enter, Escape, Tab, arrows, clipboard shortcuts) carry no printable
/// character and pass, so they do what they do in any box.
bool DiscardedByDigitFilter(const QKeyEvent* event);

/// The text for a label that shows a path: as it is when it fits, else cut in
/// the middle so that the end of the path stays visible. A word-wrapped label
/// breaks it at any character and keeps as much as its lines hold.
QString FitPathToLabel(const QLabel* label, const QString& text);

/// Leading decimal digits of a text as a number (after spaces and an optional
/// sign); 0 when it starts with none, saturated to the 32-bit range when too large.
int32_t IntegerValue(const QString& text);

inline QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToStd(const QString& text) {
    return text.toStdString();
}

}  // namespace kavo
