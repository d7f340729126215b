#pragma once

#include <QDialog>

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/cancel.h"
#include "base/observer.h"
#include "ui/window_models.h"

class QTimer;

namespace kavo {

/// A modal progress window whose run goes on a worker thread once the window
/// is shown. The window's thread stays free, so the window paints and takes
/// its cancel button without the run ever pumping events: the run reports
/// into a mailbox, which the window empties every few hundredths of a second,
/// and it reads its cancel token between steps. Cancelling (the cancel button
/// or the close box) asks the token and hides the window at once; run()
/// returns only once the run has unwound.
class ProgressWindow : public QDialog {
    Q_OBJECT

public:
    ~ProgressWindow() override;

    /// True when the last run was cancelled; kept after the window has closed.
    bool m_fCancel = false;

    bool isRunning() const { return m_running; }
    bool cancelRequested() const { return m_cancel.Requested(); }

    /// Shows the window modally, and after it has gone waits for the run to
    /// end and shows what the run reported.
    int run();

    /// Put into the controls at once (the run's reports come through these, on this thread).
    virtual void ShowStatus(std::string_view /*text*/) {}
    virtual void ShowProgress(const ProgressFigures& /*figures*/) {}

    /// A message box with a single OK button, owned by this window while it is
    /// shown, else by the main window.
    void ShowMessage(std::string_view text, MessageKind kind, std::string_view title);

public slots:
    void cmdCancel_Click();

protected:
    explicit ProgressWindow(QWidget* parent);

    /// The run, on the worker thread: reports through `obs`, stops soon after
    /// `cancel` is requested. Sets what the window's result() returns.
    virtual void Work(RunObserver& obs, const CancelToken& cancel) = 0;

    /// On the window's thread after the run has ended, also after a cancel hid
    /// the window: sets m_fCancel and shows what the run reported.
    virtual void Ended(std::vector<Report> reports) = 0;

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    class Mailbox;
    void startRun();
    /// Takes what the run reported since the last time into the controls.
    void takeReports();
    /// Joins the worker once it is done (or at once with `wait`) and ends the run.
    void endRun(bool wait);
    void finish();

    CancelToken m_cancel;
    std::unique_ptr<Mailbox> m_mailbox;
    std::thread m_worker;
    QTimer* m_poll;
    bool m_started = false;
    bool m_running = false;
    bool m_finishing = false;
};

}  // namespace kavo
