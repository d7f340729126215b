#include "app/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWindow>

#include "app/ui_support.h"
#include "platform/message_box.h"

namespace kavo {

namespace {

constexpr qint64 kPaintIntervalMs = 30;
// Asking the window system for input costs a system call; once per entry
// would double the time of a large run, and 5 ms is far below what a user
// notices after pressing the cancel button.
constexpr qint64 kYieldIntervalMs = 5;
// A window system that never reports the window as shown must not hold the run up.
constexpr qint64 kExposeWaitMs = 2000;

}  // namespace

ProgressWindow::ProgressWindow(KavoContext& ctx, QWidget* parent) : QDialog(parent), m_ctx(ctx) {
    setModal(true);
    setFont(WindowFont());
}

void ProgressWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    // Started from the event loop so the window is on screen before the work begins.
    QTimer::singleShot(0, this, &ProgressWindow::startRun);
}

void ProgressWindow::startRun() {
    // The window system maps a window some time after show(); a repaint before
    // that is lost, and the window would stay hollow until the run's first yield.
    QDeadlineTimer deadline(kExposeWaitMs);
    while (isVisible() && windowHandle() && !windowHandle()->isExposed() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    if (!isVisible()) {
        m_fCancel = true;  // 中止 pressed before the run began: nothing is done
        return;
    }
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    Form_Activate();
}

void ProgressWindow::beginRun() {
    m_running = true;
    m_fCancel = true;
    m_paintClock.start();
}

void ProgressWindow::endRun() {
    m_running = false;
    refreshDisplay(true);
}

void ProgressWindow::refreshDisplay(bool force) {
    if (!isVisible()) {
        // Nothing is painted; the controls still hold the last report.
        applyDisplay();
        return;
    }
    if (!force && m_paintClock.isValid() && m_paintClock.elapsed() < kPaintIntervalMs) {
        m_unshown = true;
        return;
    }
    m_unshown = false;
    applyDisplay();
    repaint();
    m_paintClock.start();
}

void ProgressWindow::finish() {
    m_finishing = true;
    if (isVisible())
        done(QDialog::Accepted);
}

void ProgressWindow::Yield() {
    if (m_yieldClock.isValid() && m_yieldClock.elapsed() < kYieldIntervalMs)
        return;
    // A report held back for the paint interval is shown even when no other
    // follows for a long time, as while a huge folder is listed.
    if (m_unshown)
        refreshDisplay(false);
    QCoreApplication::processEvents();
    m_yieldClock.start();
}

void ProgressWindow::ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) {
    const QMessageBox::Icon boxIcon =
        icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::Warning;
    // A cancelled window is hidden already; its message belongs to the main window then.
    QWidget* owner = isVisible() || parentWidget() == nullptr ? this : parentWidget();
    ShowMessageBox(owner, ToQt(text), title.empty() ? QStringLiteral("Kavo") : ToQt(title), boxIcon);
}

void ProgressWindow::cmdCancel_Click() {
    m_ctx.Cancel.Request();
    // Hidden at once; the run sees the flag at its next test and unwinds.
    m_finishing = true;
    done(QDialog::Rejected);
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    if (m_finishing) {
        QDialog::closeEvent(event);
        return;
    }
    // The close box acts as the cancel button while the run goes on; before
    // the run has started there is nothing to cancel yet.
    event->ignore();
    if (m_running)
        cmdCancel_Click();
}

void ProgressWindow::reject() {
    if (m_finishing) {
        QDialog::reject();
    } else if (m_running) {
        cmdCancel_Click();
    }
}

}  // namespace kavo
