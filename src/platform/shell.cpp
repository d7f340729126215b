#include "platform/shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <utility>

namespace kavo {

namespace {

std::function<bool(const QString&)>& OpenHook() {
    static std::function<bool(const QString&)> hook;
    return hook;
}

}  // namespace

bool OpenWithDesktop(const QString& path) {
    if (OpenHook())
        return OpenHook()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

void SetOpenWithDesktopHook(std::function<bool(const QString&)> hook) {
    OpenHook() = std::move(hook);
}

void SetBusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void RestoreCursor() {
    QApplication::restoreOverrideCursor();
}

}  // namespace kavo
