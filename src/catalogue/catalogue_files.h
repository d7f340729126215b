#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fs/file_system.h"
#include "catalogue/observer.h"

namespace kavo {

/// The files of one catalogue as a generation replaces them. Our own files (they
/// begin with the writer's marker line) are written over in place, so the
/// catalogue on disk stays whole; anything else found at one of their names is
/// moved aside to NAME.bak (then .bak2, …) and the user told once; our old files
/// that the new catalogue no longer has are removed at the end.
class CatalogueFiles {
public:
    CatalogueFiles(FileSystem& fs, RunObserver& obs, bool caseSensitive);

    /// Lists the catalogue folder once: removes the leftovers of a killed run
    /// and notes which .html files are ours and which are not. `pace` is asked
    /// between batches and files (thousands of old pages take a while); when it
    /// says stop, the survey ends there and the run is being cancelled.
    void Survey(const std::string& catalogue, const FileSystem::BetweenBatches& pace = {});

    /// Removes the leftovers among the listed entries of a folder.
    void RemoveLeftovers(const std::string& folder, const std::vector<DirEntry>& entries);

    /// True when the survey found the frameset of an earlier catalogue.
    bool HadCatalogue() const { return m_hadCatalogue; }

    /// Writes one file of the catalogue folder over its old version. 0 or -1
    /// (reported), as SaveOutputText.
    int Save(const std::string& path, std::string_view text);

    /// Writes files that must change together (the frames and the summary page
    /// all count the pages): each is staged beside its target first, and they
    /// are moved into place only when every one could be staged. Otherwise the
    /// failure is reported and the old files stay. Texts are UTF-8.
    bool SaveTogether(const std::vector<std::pair<std::string, std::string>>& files);

    /// Copies every regular file of `source` into `destination`. A file with the
    /// same bytes is left as it is; one with other bytes is kept aside first.
    /// Each copy that fails is reported; the others are still copied.
    void CopyFolderFiles(const std::string& source, const std::string& destination);

    /// Removes our files of the surveyed folder that this run did not write.
    void RemoveStale();

    /// The one notice naming every file that was kept aside, if any was.
    void ReportKept();

    /// Where a foreign file at `path` was kept, or empty.
    std::string BackupOf(const std::string& path) const;

private:
    bool Ours(const std::string& path);
    /// Moves a file that is not ours out of the way; false when it is there and cannot be moved.
    bool MoveAside(const std::string& path);
    std::string Key(std::string_view path) const;

    FileSystem& m_fs;
    RunObserver& m_obs;
    bool m_caseSensitive;
    bool m_hadCatalogue = false;
    std::string m_folder;
    std::vector<std::string> m_old;              // our .html files found by the survey
    std::unordered_set<std::string> m_foreign;   // keys of files at our names that are not ours
    std::unordered_set<std::string> m_written;   // keys of files this run wrote in the folder
    std::vector<std::pair<std::string, std::string>> m_kept;  // (path, backup)
};

}  // namespace kavo
