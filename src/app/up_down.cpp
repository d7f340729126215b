#include "app/up_down.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>

namespace kavo {

namespace {

/// An arrow button that draws the focus mark of the spinner it belongs to:
/// the two buttons cover the whole spinner, so it has no surface of its own.
class ArrowButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override {
        QToolButton::paintEvent(event);
        if (!parentWidget()->hasFocus())
            return;
        QStylePainter painter(this);
        QStyleOptionFocusRect mark;
        mark.initFrom(this);
        mark.rect = rect().adjusted(2, 2, -2, -2);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, mark);
    }
};

/// What assistive technology sees of a spinner: a spin box with its number
/// as value, named by the caller after the label beside its box.
class UpDownAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit UpDownAccessible(UpDown* spin) : QAccessibleWidget(spin, QAccessible::SpinBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return QString::number(spin()->value());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return spin()->value(); }
    void setCurrentValue(const QVariant& value) override { spin()->stepBy(value.toInt() - spin()->value()); }
    QVariant maximumValue() const override { return spin()->maximum(); }
    QVariant minimumValue() const override { return spin()->minimum(); }
    QVariant minimumStepSize() const override { return spin()->increment(); }

private:
    UpDown* spin() const { return static_cast<UpDown*>(widget()); }
};

QAccessibleInterface* UpDownAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("kavo::UpDown") && object != nullptr && object->isWidgetType())
        return new UpDownAccessible(static_cast<UpDown*>(object));
    return nullptr;
}

}  // namespace

UpDown::UpDown(QWidget* parent) : QWidget(parent), m_up(new ArrowButton(this)), m_down(new ArrowButton(this)) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(UpDownAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    for (QToolButton* button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);  // clicking must not take the focus from the box
        button->setAutoRepeat(true);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_up->setAccessibleName(QStringLiteral("増やす"));
    m_down->setAccessibleName(QStringLiteral("減らす"));
    setFocusPolicy(Qt::TabFocus);
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::setBuddy(QLineEdit* buddy) {
    m_buddy = buddy;
    connect(buddy, &QLineEdit::textChanged, this, &UpDown::followBuddy);
    followBuddy(buddy->text());
}

void UpDown::setRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = maximum;
    m_value = std::clamp(m_value, m_minimum, m_maximum);
}

void UpDown::setValue(int value) {
    m_value = std::clamp(value, m_minimum, m_maximum);
}

void UpDown::step(int delta) {
    m_value = std::clamp(m_value + delta, m_minimum, m_maximum);
    if (m_buddy)
        m_buddy->setText(QString::number(m_value));
    QAccessibleValueChangeEvent changed(this, m_value);
    QAccessible::updateAccessibility(&changed);
    emit stepped(m_value);
}

void UpDown::stepBy(int delta) {
    if (delta != 0)
        step(delta);
}

void UpDown::followBuddy(const QString& text) {
    bool ok = false;
    const int number = text.toInt(&ok);
    if (ok && number >= m_minimum && number <= m_maximum && number != m_value) {
        m_value = number;
        QAccessibleValueChangeEvent changed(this, m_value);
        QAccessible::updateAccessibility(&changed);
    }
}

void UpDown::takeSpinKeysInBuddy() {
    setFocusPolicy(Qt::NoFocus);
    if (m_buddy)
        m_buddy->installEventFilter(this);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_buddy || !isEnabled())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        // Steps go from the number typed so far, brought into the range.
        bool ok = false;
        const int typed = m_buddy->text().toInt(&ok);
        if (ok)
            m_value = std::clamp(typed, m_minimum, m_maximum);
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Up:
                stepUp();
                return true;
            case Qt::Key_Down:
                stepDown();
                return true;
            case Qt::Key_PageUp:
                step(10 * m_increment);
                return true;
            case Qt::Key_PageDown:
                step(-10 * m_increment);
                return true;
            case Qt::Key_Home:
                step(m_minimum - m_value);
                return true;
            case Qt::Key_End:
                step(m_maximum - m_value);
                return true;
            default:
                break;
        }
    }
    if (event->type() == QEvent::Wheel) {
        const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
        if (notches != 0)
            step(notches * m_increment);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void UpDown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        stepUp();
    } else if (event->key() == Qt::Key_Down) {
        stepDown();
    } else {
        QWidget::keyPressEvent(event);
    }
}

// The buttons draw the focus mark.
void UpDown::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    m_up->update();
    m_down->update();
}

void UpDown::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    m_up->update();
    m_down->update();
}

void UpDown::resizeEvent(QResizeEvent* /*event*/) {
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

}  // namespace kavo
