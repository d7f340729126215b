#pragma once

#include <QString>
#include <functional>

namespace kavo {

/// Opens a local file with the desktop's default program. Failures (no such
/// file, nothing associated) are ignored.
void OpenWithDesktop(const QString& path);

/// Replaces the desktop open, for tests. An empty function restores it.
void SetOpenWithDesktopHook(std::function<void(const QString&)> hook);

/// The hourglass pointer over the whole program, and back to the default one.
/// Calls do not nest.
void SetBusyCursor();
void RestoreCursor();

}  // namespace kavo
