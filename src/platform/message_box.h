#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace kavo {

/// One message box as the program shows it: a text, a title, an icon and a
/// single OK button.
struct MessageBoxCall {
    QString Text;
    QString Title;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

/// Shows a modal message box with a single OK button and waits for it.
void ShowMessageBox(QWidget* parent, const QString& text, const QString& title, QMessageBox::Icon icon);

/// The system's beep.
void Beep();

/// Replaces the message box and the beep, so tests can answer them without a
/// user. An empty function restores the real ones.
void SetMessageBoxHook(std::function<void(const MessageBoxCall&)> hook);
void SetBeepHook(std::function<void()> hook);

}  // namespace kavo
