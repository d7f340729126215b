#pragma once

#include <QString>
#include <functional>

namespace kavo {

/// Opens a local file with the desktop's default program. False when no
/// program could be started for it (no launcher installed); what the started
/// program then does is not known here.
bool OpenWithDesktop(const QString& path);

/// Replaces the desktop open, for tests. An empty function restores it.
void SetOpenWithDesktopHook(std::function<bool(const QString&)> hook);

/// The hourglass pointer over the whole program, and back to the default one.
/// Calls do not nest.
void SetBusyCursor();
void RestoreCursor();

}  // namespace kavo
