#include "platform/message_box.h"

#include <QApplication>
#include <utility>

namespace kavo {

namespace {

std::function<void(const MessageBoxCall&)>& MessageHook() {
    static std::function<void(const MessageBoxCall&)> hook;
    return hook;
}

std::function<void()>& BeepHook() {
    static std::function<void()> hook;
    return hook;
}

}  // namespace

void ShowMessageBox(QWidget* parent, const QString& text, const QString& title, QMessageBox::Icon icon) {
    if (MessageHook()) {
        MessageHook()(MessageBoxCall{text, title, icon});
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void Beep() {
    if (BeepHook()) {
        BeepHook()();
        return;
    }
    QApplication::beep();
}

void SetMessageBoxHook(std::function<void(const MessageBoxCall&)> hook) {
    MessageHook() = std::move(hook);
}

void SetBeepHook(std::function<void()> hook) {
    BeepHook() = std::move(hook);
}

}  // namespace kavo
