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

/// A folder inside `folder` (which ends with a separator) where staged files
/// wait beside those of other such folders: "FOLDER/kavo-staging-RANDOM".
std::string StagingFolderPath(const std::string& folder);

/// True for the name of such a folder.
bool IsStagingFolderName(std::string_view name);

/// A name for the letter-case probe: "KAVO-CASE-PROBE-RANDOM.TMP".
std::string CaseProbeName();

/// True for the names above, and for the process-number forms of earlier
/// versions: what a killed run can leave behind.
bool IsLeftoverName(std::string_view name);

/// Removes what a killed run left behind among a folder's entries. Only files
/// at the names above, and staging folders emptied of such files: a run makes
/// no other folder and no link at these names, so one there is someone else's
/// and stays.
void RemoveLeftovers(FileSystem& fs, const std::string& folder, const std::vector<DirEntry>& entries);

/// True for an entry RemoveLeftovers removes.
bool IsOurLeftover(const DirEntry& entry);

/// 64 bits from the system's random source; each platform's file system layer has its own.
uint64_t SystemRandomBits();

}  // namespace kavo
