#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include "catalogue/context.h"
#include "base/observer.h"

namespace kavo {

/// A modal progress window that does its whole run when it is first shown,
/// lets the interface breathe at the core's yield points and is cancelled by
/// its cancel button or its close box. Cancelling only sets the shared flag
/// and hides the window: the run is still on the stack and unwinds by itself,
/// and the window is never deleted under it.
class ProgressWindow : public QDialog, public RunObserver {
    Q_OBJECT

public:
    /// True when the last run was cancelled; kept after the window has closed.
    bool m_fCancel = false;

    bool isRunning() const { return m_running; }

    // RunObserver
    void Yield() override;
    void ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) override;

public slots:
    void cmdCancel_Click();

protected:
    ProgressWindow(KavoContext& ctx, QWidget* parent);

    /// The run; called once, from the event loop, after the window is on screen.
    virtual void Form_Activate() = 0;

    /// Marks the run's span.
    void beginRun();
    void endRun();

    /// Puts the figures and texts last reported into the controls.
    virtual void applyDisplay() = 0;

    /// Shows what was last reported and paints the window, if about 30 ms have
    /// passed since it last did so, or at once when forced. Reports come after
    /// every entry; showing each of them would slow a large run down and look
    /// the same.
    void refreshDisplay(bool force);

    /// Closes the window at the end of a run that was not cancelled by the user.
    void finish();

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

    KavoContext& m_ctx;

private:
    void startRun();

    bool m_started = false;
    bool m_running = false;
    bool m_finishing = false;
    bool m_unshown = false;  // a report not yet put into the controls
    QElapsedTimer m_paintClock;
    QElapsedTimer m_yieldClock;
};

}  // namespace kavo
