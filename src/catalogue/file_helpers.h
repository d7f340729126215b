#pragma once

#include <string>
#include <string_view>

#include "fs/file_system.h"
#include "catalogue/observer.h"

namespace kavo {

// File and path helpers of the generation. Paths use the native separator;
// folder paths used as prefixes end with it.

/// Writes the text (UTF-8) in CP932 followed by one CR LF, atomically. On failure
/// shows the two-line write message and returns -1; else 0.
int SaveOutputText(FileSystem& fs, RunObserver& obs, const std::string& path, std::string_view text);

/// The bytes SaveOutputText writes for a text.
std::string OutputBytes(std::string_view text);

/// The two lines shown when a file cannot be written.
std::string WriteFailureMessage(std::string_view path);

/// Shows WriteFailureMessage as every failed write of a run is shown.
void ReportWriteFailure(RunObserver& obs, std::string_view path);

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

/// Creates every missing level of the path. On the first failure shows the
/// folder message with the system's text and returns -1; else 0.
int MakeFolderPath(FileSystem& fs, RunObserver& obs, const std::string& path);

/// 0 when the folder exists and can be entered, else the system's error number.
/// On Windows the text is read as ResolveFolder reads it. Never changes the
/// current directory.
int CheckFolder(FileSystem& fs, const std::string& path);

/// The message for a folder that is not there: "'PATH' フォルダが見つかりません。".
std::string FolderNotFoundMessage(std::string_view path);

/// Why the folder the user named cannot be used (CheckFolder), as a message;
/// empty when it can.
std::string FolderProblem(FileSystem& fs, const std::string& path);

/// -1 when the folder is missing, 0 when present.
int FolderMissing(FileSystem& fs, const std::string& path);

std::string JoinPath(std::string_view folder, std::string_view name);
std::string LastFolderName(std::string_view path);
std::string RelativeUrlPath(std::string_view fullPath, std::string_view baseFolder);
std::string ToUrlSeparators(std::string path);
std::string UrlFolderPart(std::string_view urlPath);

/// The folder whose Images folder and Readme.txt the programs use: the
/// executable's own folder when Images lies beside it (the build tree), else
/// the installed data folder ../share/kavo.
std::string ProgramDataFolder(FileSystem& fs, const std::string& executableFolder);

/// The folder text as one path: repeated and trailing separators, "." and
/// ".." taken out (as a shell would read them), with no trailing separator.
/// "" and "." stay ".", a root stays a root.
std::string NormalizeFolder(std::string_view folder);

/// The folder as the system reads what the user typed: NormalizeFolder, and on
/// Windows first made a full path the way Windows makes one.
std::string ResolveFolder(std::string_view typed);

/// The name of a normalised folder for its catalogue: its last component as
/// the disk spells it, or, for "." and "..", that of the folder they stand for.
std::string CatalogueName(FileSystem& fs, const std::string& normalizedFolder);

/// The folder text with the native separator appended when it does not end with one.
std::string WithTrailingSeparator(std::string_view folder);

}  // namespace kavo
