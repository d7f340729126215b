#include "platform/shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <utility>

namespace kavo {

namespace {

std::function<void(const QString&)>& OpenHook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

}  // namespace

void OpenWithDesktop(const QString& path) {
    if (OpenHook()) {
        OpenHook()(path);
        return;
    }
    // The result is not looked at: a missing file or no associated program is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

void SetOpenWithDesktopHook(std::function<void(const QString&)> hook) {
    OpenHook() = std::move(hook);
}

void SetBusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void RestoreCursor() {
    QApplication::restoreOverrideCursor();
}

}  // namespace kavo
