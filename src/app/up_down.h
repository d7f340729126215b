#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace kavo {

/// Up and down buttons bound to a text box: they step the number in the box
/// within a range and write it back. The value follows the box whenever the
/// box holds a number inside the range.
class UpDown : public QWidget {
    Q_OBJECT

public:
    explicit UpDown(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* buddy);
    void setRange(int minimum, int maximum);
    void setIncrement(int increment) { m_increment = increment; }
    void setValue(int value);
    int value() const { return m_value; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int increment() const { return m_increment; }
    /// Moves the value by `delta` within the range, as the buttons do.
    void stepBy(int delta);

    /// The box takes the keys and the wheel a spin box takes (arrows one step,
    /// Page Up and Down ten, Home and End the ends), so that the box alone is
    /// the one Tab stop; the spinner itself then takes no focus.
    void takeSpinKeysInBuddy();

    void stepUp() { step(m_increment); }
    void stepDown() { step(-m_increment); }

signals:
    /// After a button or key changed the value and wrote it into the box.
    void stepped(int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int delta);
    void followBuddy(const QString& text);

    QLineEdit* m_buddy = nullptr;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_increment = 1;
    int m_value = 0;
};

}  // namespace kavo
