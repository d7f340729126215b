#include "app/progress_window.h"

#include <QCloseEvent>
#include <QTimer>

#include "app/ui_support.h"
#include "platform/message_box.h"
#include "platform/shell.h"

namespace kavo {

/// What the run reported and the window has not shown yet. The worker writes,
/// the window's thread takes; the last status and figures win, messages queue.
class ProgressWindow::Mailbox : public RunObserver {
public:
    void Yield() override {}  // the cancel token is read by the core itself
    void ShowStatus(std::string_view text) override {
        std::lock_guard lock(m_mutex);
        m_status = std::string(text);
    }
    void ShowProgress(const ProgressFigures& figures) override {
        std::lock_guard lock(m_mutex);
        m_figures = figures;
    }
    void ShowMessage(std::string_view text, MessageKind kind, std::string_view title) override {
        std::lock_guard lock(m_mutex);
        m_reports.push_back({std::string(text), kind, std::string(title)});
    }
    void Done() {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }

    bool IsDone() {
        std::lock_guard lock(m_mutex);
        return m_done;
    }

    struct Taken {
        std::optional<std::string> Status;
        std::optional<ProgressFigures> Figures;
    };
    Taken Take() {
        std::lock_guard lock(m_mutex);
        Taken t{std::move(m_status), m_figures};
        m_status.reset();
        m_figures.reset();
        return t;
    }
    std::vector<Report> TakeReports() {
        std::lock_guard lock(m_mutex);
        return std::move(m_reports);
    }

private:
    std::mutex m_mutex;
    std::optional<std::string> m_status;
    std::optional<ProgressFigures> m_figures;
    std::vector<Report> m_reports;
    bool m_done = false;
};

ProgressWindow::ProgressWindow(QWidget* parent)
    : QDialog(parent), m_mailbox(std::make_unique<Mailbox>()), m_poll(new QTimer(this)) {
    setModal(true);
    setFont(WindowFont());
    m_poll->setInterval(kProgressPaintIntervalMs);
    connect(m_poll, &QTimer::timeout, this, [this] {
        takeReports();
        endRun(false);
    });
}

ProgressWindow::~ProgressWindow() {
    // Never destroyed under a run: a window that goes early stops it first.
    if (m_worker.joinable()) {
        m_cancel.Request();
        m_worker.join();
    }
}

int ProgressWindow::run() {
    const int code = exec();
    endRun(true);
    return code;
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
    if (!isVisible()) {
        m_fCancel = true;  // 中止 pressed before the run began: nothing is done
        return;
    }
    SetBusyCursor();
    m_running = true;
    m_fCancel = true;
    m_worker = std::thread([this] {
        Work(*m_mailbox, m_cancel);
        m_mailbox->Done();
    });
    m_poll->start();
}

void ProgressWindow::takeReports() {
    Mailbox::Taken t = m_mailbox->Take();
    if (t.Status)
        ShowStatus(*t.Status);
    if (t.Figures)
        ShowProgress(*t.Figures);
}

void ProgressWindow::endRun(bool wait) {
    if (!m_running || (!wait && !m_mailbox->IsDone()))
        return;
    m_worker.join();
    m_poll->stop();
    m_running = false;
    takeReports();
    RestoreCursor();
    Ended(m_mailbox->TakeReports());
    finish();
}

void ProgressWindow::finish() {
    m_finishing = true;
    if (isVisible())
        done(QDialog::Accepted);
}

void ProgressWindow::ShowMessage(std::string_view text, MessageKind kind, std::string_view title) {
    const QMessageBox::Icon boxIcon =
        IconOf(kind) == MessageIcon::Information ? QMessageBox::Information : QMessageBox::Warning;
    // A cancelled window is hidden already; its message belongs to the main window then.
    QWidget* owner = isVisible() || parentWidget() == nullptr ? this : parentWidget();
    ShowMessageBox(owner, ToQt(text), title.empty() ? QStringLiteral("Kavo") : ToQt(title), boxIcon);
}

void ProgressWindow::cmdCancel_Click() {
    m_cancel.Request();
    // Hidden at once; the run sees the token at its next test and unwinds, and run() waits for that.
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
