#include "app/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>

#include "app/ui_support.h"
#include "platform/message_box.h"

namespace kavo {

namespace {

constexpr qint64 kPaintIntervalMs = 30;
// Asking the window system for input costs a system call; once per entry
// would double the time of a large run, and 5 ms is far below what a user
// notices after pressing the cancel button.
constexpr qint64 kYieldIntervalMs = 5;

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
    repaint();
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
    if (!force && m_paintClock.isValid() && m_paintClock.elapsed() < kPaintIntervalMs)
        return;
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
    QCoreApplication::processEvents();
    m_yieldClock.start();
}

void ProgressWindow::ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) {
    const QMessageBox::Icon boxIcon =
        icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::Warning;
    ShowMessageBox(this, ToQt(text), title.empty() ? QStringLiteral("Kavo") : ToQt(title), boxIcon);
}

void ProgressWindow::cmdCancel_Click() {
    m_ctx.CancelRequested = true;
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
