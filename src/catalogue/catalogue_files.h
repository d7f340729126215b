#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fs/file_system.h"
#include "base/observer.h"
#include "catalogue/page_record.h"
#include "catalogue/write_queue.h"

namespace kavo {

/// The files of one catalogue as a generation replaces them. Every page, frame
/// and the summary page is first written under a staged name; Commit moves them
/// all into place at the end, so what a kill, a failure or a cancel leaves is
/// the earlier catalogue or the new one. A file whose new bytes are those on
/// disk already is neither written nor moved, so a rerun that changes little
/// writes little. A regular file that is not ours at one
/// of their names is moved aside to NAME.bak (then .bak2, …); a folder or
/// anything else that is not a file is left where it is and that name is not
/// written. Either is told once. Our old files that the new catalogue no longer
/// has are removed once the new frames are in. Where the system tells files'
/// change times, the folder's record (kPageRecordName) keeps each file's
/// identity and hash, so a rerun reads only the earlier files that changed
/// since, or that it replaces.
class CatalogueFiles {
public:
    /// `writers` as WriteQueue takes it: 0 writes side by side on a slow drive.
    /// `slowDrive`: the folder is known to be on a drive with round trips, so
    /// files are read side by side from the first. `held`: the folders the run
    /// holds, where it holds the staging folders it makes too.
    CatalogueFiles(FileSystem& fs, RunObserver& obs, bool caseSensitive, int writers = 0, bool slowDrive = false,
                   HeldFolders* held = nullptr);
    ~CatalogueFiles();

    /// Lists the catalogue folder once: removes the leftovers of a killed run
    /// and notes which .html files are ours and which are not, keeping the
    /// bytes of ours to compare the new files with. Where reads may come from
    /// several threads, the files are read on while the caller walks on; the
    /// pages staged meanwhile wait in memory. `pace` is asked
    /// between batches and files (thousands of old pages take a while); when it
    /// says stop, the survey ends there and the run is being cancelled.
    void Survey(const std::string& catalogue, const FileSystem::BetweenBatches& pace = {});

    /// The subfolders (and links to folders) the survey listed in the catalogue
    /// folder, so that what is done after the commit need not list it again;
    /// null when it could not list it.
    const std::vector<DirEntry>* SurveyedSubfolders() const { return m_listed ? &m_subfolders : nullptr; }

    /// True when the survey found the frameset of an earlier catalogue.
    bool HadCatalogue() {
        AwaitSurvey();
        return m_hadCatalogue;
    }

    /// Writes a file of the new catalogue under its staged name, for Commit to
    /// put in place, unless the file there has these bytes already. The write
    /// may happen on another thread; a failure is reported by Commit.
    void Stage(const std::string& path, std::string_view text);

    /// Stages `files` (the frameset, the two frames, then the summary page) and
    /// moves every staged file into place, one rename each (pages side by side,
    /// then the frames, then the summary page), then removes our old
    /// files the new catalogue does not have. Over an earlier catalogue it is
    /// all or nothing: after any failure the earlier files are all back and the
    /// staged ones gone. On a first run whatever can go in goes in, as long as
    /// the frames do, so no page is left without frames. Texts are UTF-8.
    /// Returns whether the summary page went in.
    /// After a cancel (`hurry`), the removal of old files stops after half a
    /// second: nothing leads to them, and the next run removes what is left.
    /// `stop` is asked while the staged files are still being written (on a
    /// network drive that takes a while): when it says stop, the files not yet
    /// written are not, those written are removed, nothing is moved, and the
    /// earlier catalogue stays as it was (Abandoned() tells).
    bool Commit(const std::vector<std::pair<std::string, std::string>>& files, bool hurry = false,
                const std::function<bool()>& stop = {});

    /// True when a stop during the commit left the earlier catalogue in place.
    bool Abandoned() const { return m_abandoned; }

    /// Copies every regular file of `source` into `destination`. A file with the
    /// same bytes is left as it is; one with other bytes is kept aside first.
    /// Each copy that fails is reported; the others are still copied.
    void CopyFolderFiles(const std::string& source, const std::string& destination);

    /// The notices naming every file that was kept aside and everything in the
    /// way that was left, if any.
    void ReportKept();

    /// Where a foreign file at `path` was kept, or empty.
    std::string BackupOf(const std::string& path) const;

private:
    enum class Found { Nothing, Ours, Theirs, InTheWay };
    struct Staged {
        std::string Target, Path;
        std::string Aside;  // where the file it replaces waits until the commit is done
        const std::string* Earlier = nullptr;  // or the bytes it replaces, to write back after a failure
        std::string Respell;  // the name of those bytes, spelt otherwise where names ignore case
        bool Kept = false;  // Aside is the backup of a file that is not ours
        bool Required = true;
        std::string Old;      // the bytes it replaces, read for the commit when the survey trusted the record
        PageStamp Stamp;      // the file in place, for the record
        bool Stamped = false;
        bool Unchanged = false;  // the file on disk has these bytes: nothing written
        bool Failed = false;     // the staged file could not be written
        bool In = false;    // it is in place
    };
    /// An earlier file of ours in the catalogue folder, as the survey read it.
    struct Stamped {
        std::string Name;  // as the disk spells it
        PageStamp Stamp;
        bool Unread = false;  // found as recorded: its hash stands for its bytes
    };
    struct Earlier {
        std::string Name;   // as the disk spells it
        std::string Bytes;
        bool Whole = false;  // Bytes hold the whole file
    };

    bool Ours(const std::string& path);
    /// The recorded stamp of the file the target names, spelt as the target is; null when not trusted.
    const Stamped* Trusted(const std::string& target) const;
    /// Writes the record of these files now in place, by name, when it differs from the one found.
    void SaveRecord(const std::map<std::string, PageStamp>& files);
    Found WhatIsAt(const std::string& path);
    /// A free NAME.bak, NAME.bak2, … beside the path.
    std::string BackupName(const std::string& path);
    /// Moves a regular file that is not ours out of the way; false when it is there and cannot be moved.
    bool MoveAside(const std::string& path);
    /// Reads the .html files the survey listed and notes what they are.
    void ReadEarlier(std::vector<DirEntry> entries, const FileSystem::BetweenBatches& pace);
    /// Returns once the survey is done, and hands the pages that waited for it to the writers.
    void AwaitSurvey();
    /// Where a file written side by side is staged: in one of the staging
    /// folders in turn, made when the first is needed; or beside it.
    std::string SpreadPath(const std::string& target);
    /// Makes and holds the staging folders; none where one cannot be held.
    void MakeStagingFolders();
    /// Removes the staging folders, their files gone.
    void RemoveStagingFolders();
    bool CommitStaged(const std::vector<std::pair<std::string, std::string>>& files, bool hurry,
                      const std::function<bool()>& stop);
    /// Writes the staged file unless the target holds its bytes already.
    void StageNow(Staged& s, const std::string& bytes);
    /// The earlier file at `target`, in any spelling the disk takes for it, as the survey read it whole; or null.
    const Earlier* EarlierFile(const std::string& target) const;
    /// Its bytes, when it is spelt as `target` is; or null.
    const std::string* EarlierBytes(const std::string& target) const;
    /// Puts one staged file in place, its old file aside first when it is not
    /// kept in memory.
    bool PutInPlace(Staged& s);
    /// Puts the files of [from, to) in place side by side; false when one of
    /// them that must go in did not (reported, and everything rolled back).
    bool PutGroupInPlace(std::vector<Staged>& moves, size_t from, size_t to);
    /// Puts back the old files of the moves that are in and removes the staged files.
    void RollBack(std::vector<Staged>& moves);
    /// Waits for the staged files; false, having removed them, when `stop` said stop first.
    bool WaitForStaged(const std::function<bool()>& stop);
    void Discard();
    void RemoveStale(bool hurry);
    std::string Key(std::string_view path) const;
    /// True for a file in the catalogue folder (the summary page is beside it).
    bool InFolder(std::string_view path) const { return path.size() > m_folder.size() && path.starts_with(m_folder); }

    FileSystem& m_fs;
    RunObserver& m_obs;
    HeldFolders* m_held;
    std::atomic<bool> m_abandoned{false};       // the writers write no more staged files
    std::mutex m_stagingMutex;                  // the writers choose their staging folders
    std::vector<std::string> m_staging;         // the staging folders made
    size_t m_nextStaging = 0;
    bool m_stagingTried = false;
    bool m_caseSensitive;
    bool m_slowDrive;
    bool m_hadCatalogue = false;
    bool m_listed = false;                       // the survey listed the folder
    bool m_recordListed = false;                 // with a record file in it
    std::vector<DirEntry> m_subfolders;          // and found these folders in it
    std::string m_folder;
    bool m_surveyed = false;
    std::vector<std::string> m_old;              // our .html files found by the survey
    std::unordered_set<std::string> m_ours;      // their keys
    std::unordered_set<std::string> m_foreign;   // keys of entries at our names that are not ours
    std::unordered_set<std::string> m_written;   // keys of files this run wrote in the folder
    std::deque<Staged> m_staged;                 // in the order they go in: pages, frames, summary
    std::unordered_map<std::string, Earlier> m_earlier;  // by key: our files as the survey read them
    std::unordered_map<std::string, Stamped> m_stamps;  // by key: our files' stamps, read or recorded
    std::string m_recordText;                             // the record as the survey found it
    std::atomic<size_t> m_keptBytes{0};                   // earlier files' bytes held in memory
    std::unique_ptr<WriteQueue> m_writes;
    std::thread m_survey;                      // reading the earlier files, while the walk goes on
    std::atomic<bool> m_surveyDone{false};
    std::vector<std::pair<Staged*, std::string>> m_waiting;  // staged before the survey was done, and their bytes
    std::vector<std::pair<std::string, std::string>> m_kept;  // (path, backup)
    std::vector<std::string> m_inTheWay;         // names left unwritten for what is there
};

}  // namespace kavo
