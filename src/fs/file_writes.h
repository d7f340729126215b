#pragma once

#include <string>
#include <string_view>

#include "base/observer.h"
#include "fs/file_system.h"

namespace kavo {

// Writes and folders made for the catalogue, each failure reported to the
// user the one way every failed write of a run is reported.

/// The bytes SaveOutputText writes for a text: CP932, followed by one CR LF.
std::string OutputBytes(std::string_view text);

/// Writes the text (UTF-8) as OutputBytes, atomically. On failure reports the
/// write failure and returns -1; else 0.
int SaveOutputText(FileSystem& fs, RunObserver& obs, const std::string& path, std::string_view text);

/// The two lines shown when a file cannot be written.
std::string WriteFailureMessage(std::string_view path);

/// Reports WriteFailureMessage as every failed write of a run is reported.
void ReportWriteFailure(RunObserver& obs, std::string_view path);

/// Creates every missing level of the path. On the first failure reports the
/// folder message with the system's text and returns -1; else 0.
int MakeFolderPath(FileSystem& fs, RunObserver& obs, const std::string& path);

}  // namespace kavo
