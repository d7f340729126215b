#include "platform/folder_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <cerrno>
#include <exception>
#include <new>
#include <system_error>
#include <utility>

#include "platform/message_box.h"

namespace kavo {

namespace {

std::function<QString(const FolderDialogRequest&)>& DialogHook() {
    static std::function<QString(const FolderDialogRequest&)> hook;
    return hook;
}

QString RunPicker(const FolderDialogRequest& request) {
    if (DialogHook())
        return DialogHook()(request);
    const QString opening = request.StartPath.isEmpty() ? request.Root : request.StartPath;
    return QFileDialog::getExistingDirectory(request.Owner, request.Title, opening, QFileDialog::ShowDirsOnly);
}

void ShowError(QWidget* owner, int number, const QString& description) {
    ShowMessageBox(owner, QStringLiteral("Error No. ") + QString::number(number) + QStringLiteral("\r\n") + description,
                   QStringLiteral("Error In [basFolderDlg]proFolderDlg_Open"), QMessageBox::Critical);
}

}  // namespace

QString proFolderDlg_Open(const QString& title, QWidget* owner, const QString& root, uint32_t flags,
                          const QString& startPath) {
    try {
        const FolderDialogRequest request{title, owner, root, flags, startPath};
        const QString chosen = RunPicker(request);
        if ((flags & kBrowseForComputer) != 0)
            return QString();
        if (chosen.isEmpty())
            return QString();
        return QDir::toNativeSeparators(chosen);
    } catch (const std::system_error& e) {
        ShowError(owner, e.code().value(), QString::fromLocal8Bit(e.what()));
    } catch (const std::bad_alloc& e) {
        ShowError(owner, ENOMEM, QString::fromLocal8Bit(e.what()));
    } catch (const std::exception& e) {
        ShowError(owner, -1, QString::fromLocal8Bit(e.what()));
    }
    return QString();
}

void SetFolderDialogHook(std::function<QString(const FolderDialogRequest&)> hook) {
    DialogHook() = std::move(hook);
}

}  // namespace kavo
