#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fs/file_system.h"

namespace kavo {

// The files a run makes for a moment. A killed run leaves them behind, and
// the next run removes exactly these forms (IsLeftoverName), nothing else.
// RANDOM is 16 hex digits from the system's random source, new for every
// call: another user of a shared folder cannot plant anything at the name.

/// A temporary file beside `path`: "PATH.kavo-tmp-RANDOM".
std::string TemporaryPath(const std::string& path);

/// Where a file that must change together with others waits: "PATH.kavo-tmp-staged".
std::string StagedPath(const std::string& path);

/// A name for the letter-case probe: "KAVO-CASE-PROBE-RANDOM.TMP".
std::string CaseProbeName();

/// True for the names above, and for the process-number forms of earlier
/// versions: what a killed run can leave behind.
bool IsLeftoverName(std::string_view name);

/// Removes what a killed run left behind among a folder's entries. Only files
/// at the names above: a run's temporaries are never folders or links, so a
/// folder or link at such a name is someone else's and stays.
void RemoveLeftovers(FileSystem& fs, const std::string& folder, const std::vector<DirEntry>& entries);

/// True for an entry RemoveLeftovers removes.
bool IsOurLeftover(const DirEntry& entry);

/// 64 bits from the system's random source; each platform's file system layer has its own.
uint64_t SystemRandomBits();

}  // namespace kavo
