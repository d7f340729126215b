#include "catalogue/catalogue_files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "catalogue/classify.h"
#include "catalogue/folder_checks.h"
#include "pictures/size_record.h"
#include "fs/file_writes.h"
#include "fs/paths.h"
#include "fs/temporary_names.h"
#include "walk/folder_listing.h"
#include "html/html_writer.h"

namespace kavo {
namespace {

/// Navigation pictures are a few hundred bytes; a file this large is copied
/// without comparing it first.
constexpr size_t kCompareLimit = 64u << 10;

bool EndsWithHtml(std::string_view name) {
    return name.size() >= 5 && AsciiLower(name.substr(name.size() - 5)) == ".html";
}

/// Threads that read the heads of an earlier catalogue's pages side by side:
/// on a network drive each read waits for a round trip, and six hundred of
/// them one after another take a noticeable time.
constexpr size_t kSurveyThreads = 16;

/// An earlier page larger than this is compared and kept aside on disk, not in memory.
constexpr size_t kEarlierLimit = 8u << 20;
/// The earlier files' bytes kept in memory at most, all together; the rest
/// are read again when compared and set aside when replaced.
constexpr size_t kEarlierBudget = 512u << 20;

/// A page record larger than this is not ours (a hundred bytes a page).
constexpr size_t kRecordLimit = 64u << 20;

/// How long a cancelled run goes on removing old pages the new catalogue does not have.
constexpr auto kStaleRemovalAfterCancel = std::chrono::milliseconds(500);

/// Staging folders made at most: their creates in the catalogue folder go one at a time.
constexpr size_t kStagingFolders = 8;

/// Files checked one after another before threads may start, and the time a
/// check takes on average beyond which they do (a round trip to a server).
constexpr size_t kChecksAlone = 4;
constexpr auto kSlowCheck = std::chrono::microseconds(200);

/// ours[i] = check(i) for every i, on several threads when the file system
/// allows it and the checks are slow (or the drive is known to be: `slow`).
/// `pace` is asked while they work; false when it said stop.
bool CheckEach(FileSystem& fs, size_t count, const std::function<bool(size_t)>& check,
               const FileSystem::BetweenBatches& pace, std::vector<char>& ours, bool slow) {
    ours.assign(count, 0);
    const size_t threads = fs.ReadsAreThreadSafe() && count >= 4 ? std::min(kSurveyThreads, count) : 0;
    if (threads < 2) {
        for (size_t i = 0; i < count; ++i) {
            if (pace && !pace())
                return false;
            ours[i] = check(i);
        }
        return true;
    }
    // The caller's thread takes its share too and asks `pace` between its
    // reads, so nothing waits on a timer and a cancel still comes through.
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    const auto work = [&] {
        for (size_t i; !stop && (i = next++) < count;)
            ours[i] = check(i);
    };
    // The first few on the caller's thread alone: on a local disk a file takes
    // some microseconds, and threads would only cost.
    std::vector<std::thread> pool;
    const auto startPool = [&] {
        for (size_t t = 1; t < threads; ++t)
            pool.emplace_back(work);
    };
    if (slow)
        startPool();
    const auto began = std::chrono::steady_clock::now();
    bool goOn = true;
    for (size_t i; goOn && (i = next++) < count;) {
        ours[i] = check(i);
        goOn = !pace || pace();
        if (pool.empty() && i + 1 >= kChecksAlone &&
            std::chrono::steady_clock::now() - began > kSlowCheck * static_cast<long>(i + 1))
            startPool();
    }
    stop = true;
    for (std::thread& t : pool)
        t.join();
    return goOn;
}

}  // namespace

CatalogueFiles::CatalogueFiles(FileSystem& fs, RunObserver& obs, bool caseSensitive, int writers, bool slowDrive,
                               HeldFolders* held)
    : m_fs(fs), m_obs(obs), m_held(held), m_caseSensitive(caseSensitive), m_slowDrive(slowDrive),
      m_writes(std::make_unique<WriteQueue>(writers, fs.WritesAreThreadSafe())) {}

CatalogueFiles::~CatalogueFiles() {
    if (m_survey.joinable())
        m_survey.join();
    m_writes.reset();  // no write outlives the staged files it fills
}

std::string CatalogueFiles::Key(std::string_view path) const {
    std::string name = LastFolderName(path);
    return m_caseSensitive ? name : AsciiLower(name);
}

bool CatalogueFiles::Ours(const std::string& path) {
    std::string head;
    return m_fs.ReadPrefix(path, kMarkerPrefix.size(), head) && head == kMarkerPrefix;
}

void CatalogueFiles::Survey(const std::string& catalogue, const FileSystem::BetweenBatches& pace) {
    m_folder = catalogue;
    std::vector<DirEntry> entries;
    if (!m_fs.ListFolderInBatches(catalogue, entries, nullptr, pace))
        return;
    RemoveLeftovers(m_fs, catalogue, entries);
    for (const DirEntry& e : entries) {
        if (e.IsDir)
            m_subfolders.push_back(e);
        m_recordListed = m_recordListed || (e.Name == kPageRecordName && e.IsFile && !e.IsLink);
    }
    m_listed = true;
    // Leftovers end otherwise, and are gone already.
    std::erase_if(entries, [](const DirEntry& e) { return !EndsWithHtml(e.Name); });
    if (!m_fs.ReadsAreThreadSafe()) {
        ReadEarlier(std::move(entries), pace);
        return;
    }
    // A rerun's walk and the reading of its earlier pages overlap.
    m_survey = std::thread([this, entries = std::move(entries)]() mutable { ReadEarlier(std::move(entries), {}); });
}

void CatalogueFiles::ReadEarlier(std::vector<DirEntry> entries, const FileSystem::BetweenBatches& pace) {
    const std::string& catalogue = m_folder;
    std::map<std::string, PageStamp> record;
    if (m_recordListed && m_fs.ReadWhole(catalogue + std::string(kPageRecordName), kRecordLimit, m_recordText))
        record = ParsePageRecord(m_recordText);
    // Our files are read whole, side by side: a new file is compared with its
    // earlier bytes, and those bytes are what a failed commit writes back. A
    // file the record knows unchanged is not read: its hash stands for its bytes.
    std::vector<char> ours;
    std::vector<std::string> bytes(entries.size());
    std::vector<char> whole(entries.size(), 0), stamped(entries.size(), 0), trusted(entries.size(), 0);
    std::vector<PageStamp> stamps(entries.size());
    const auto ourFile = [&](size_t i) {
        const DirEntry& e = entries[i];
        if (e.IsDir)
            return false;
        const std::string path = catalogue + e.Name;
        // A link is never taken as a file with our bytes: it is replaced as before.
        if (e.IsLink) {
            std::string().swap(bytes[i]);
            return Ours(path);
        }
        // Its identity before its bytes: a file changed in between is read again next time.
        stamped[i] = m_fs.GetFileIdentity(path, stamps[i].Identity);
        const auto recorded = stamped[i] ? record.find(e.Name) : record.end();
        if (recorded != record.end() && SameFile(stamps[i].Identity, recorded->second.Identity)) {
            stamps[i].Hash = recorded->second.Hash;
            trusted[i] = 1;
            return true;
        }
        if (m_fs.ReadWhole(path, kEarlierLimit, bytes[i]) && bytes[i].starts_with(kMarkerPrefix)) {
            stamps[i].Hash = PageHash(bytes[i]);
            whole[i] = m_keptBytes.fetch_add(bytes[i].size()) + bytes[i].size() <= kEarlierBudget;
            if (!whole[i])
                std::string().swap(bytes[i]);
            return true;
        }
        stamped[i] = 0;
        std::string().swap(bytes[i]);
        return Ours(path);
    };
    if (!CheckEach(m_fs, entries.size(), ourFile, pace, ours, m_slowDrive)) {
        m_surveyDone = true;
        return;
    }
    int frames = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const DirEntry& e = entries[i];
        if (ours[i]) {
            const std::string key = Key(e.Name);
            frames += key == "index.html" || key == "frame1.html" || key == "frame2.html";
            m_old.push_back(e.Name);
            m_ours.insert(key);
            if (stamped[i])
                m_stamps[key] = Stamped{e.Name, stamps[i], trusted[i] != 0};
            if (whole[i])
                m_earlier[key] = Earlier{e.Name, std::move(bytes[i]), true};
        } else {
            m_foreign.insert(Key(e.Name));
        }
    }
    m_hadCatalogue = frames == 3;
    m_surveyed = true;
    m_surveyDone = true;
}

void CatalogueFiles::AwaitSurvey() {
    if (m_survey.joinable())
        m_survey.join();
    for (auto& [s, bytes] : m_waiting)
        m_writes->Run([this, s = s, bytes = std::move(bytes)] { StageNow(*s, bytes); });
    m_waiting.clear();
}

CatalogueFiles::Found CatalogueFiles::WhatIsAt(const std::string& path) {
    // In the surveyed folder the survey knows; thousands of pages are not read again.
    if (m_surveyed && InFolder(path)) {
        const std::string key = Key(path);
        if (m_ours.contains(key))
            return Found::Ours;
        if (!m_foreign.contains(key))
            return Found::Nothing;
    } else if (!m_fs.Exists(path)) {
        return Found::Nothing;
    } else if (Ours(path)) {
        return Found::Ours;
    }
    // Only a file is moved aside: a folder's pictures and the links to it stay where they are.
    return m_fs.IsRegularFile(path) ? Found::Theirs : Found::InTheWay;
}

std::string CatalogueFiles::BackupName(const std::string& path) {
    for (int n = 1;; ++n) {
        std::string backup = path + ".bak" + (n == 1 ? std::string() : std::to_string(n));
        if (!m_fs.Exists(backup))
            return backup;
    }
}

bool CatalogueFiles::MoveAside(const std::string& path) {
    if (!m_fs.Exists(path))
        return true;
    if (!m_fs.IsRegularFile(path))
        return false;
    std::string backup = BackupName(path);
    if (!m_fs.RenameFile(path, backup))
        return false;
    m_kept.emplace_back(path, std::move(backup));
    return true;
}

void CatalogueFiles::Stage(const std::string& path, std::string_view text) {
    Staged& s = m_staged.emplace_back();  // a deque: the writers' references stay put
    s.Target = path;
    s.Path = StagedPath(path);
    if (m_survey.joinable() && !m_surveyDone) {
        m_waiting.emplace_back(&s, OutputBytes(text));
        return;
    }
    AwaitSurvey();
    m_writes->Run([this, &s, bytes = OutputBytes(text)] { StageNow(s, bytes); });
}

std::string CatalogueFiles::SpreadPath(const std::string& target) {
    // On a drive with round trips the system makes one file at a time in a
    // folder, each waiting for a lookup, the create and its attributes; made in
    // several folders, the files' creates overlap. The renames into place still
    // go one at a time.
    std::lock_guard lock(m_stagingMutex);
    if (!m_stagingTried)
        MakeStagingFolders();
    if (m_staging.empty())
        return StagedPath(target);
    const std::string& folder = m_staging[m_nextStaging++ % m_staging.size()];
    return StagedPath(folder + kPathSep + LastFolderName(target));
}

void CatalogueFiles::MakeStagingFolders() {
    m_stagingTried = true;
    for (size_t i = 0; i < std::min<size_t>(m_writes->Writers(), kStagingFolders); ++i) {
        // New at an unforeseeable name, and held like the catalogue folder, so
        // nothing another user did to a name can lead a staged file elsewhere.
        std::string folder = StagingFolderPath(m_folder);
        if (!m_fs.CreateFolder(folder, nullptr))
            break;
        if (m_held->Hold(folder) != 0) {
            m_fs.RemoveEmptyFolder(folder);
            break;
        }
        m_staging.push_back(std::move(folder));
    }
}

void CatalogueFiles::RemoveStagingFolders() {
    m_writes->Wait();
    for (const std::string& folder : m_staging) {
        m_held->Release(folder);
        m_writes->Run([this, folder] { m_fs.RemoveEmptyFolder(folder); });
    }
    m_staging.clear();
}

const CatalogueFiles::Earlier* CatalogueFiles::EarlierFile(const std::string& target) const {
    if (!m_surveyed || !InFolder(target))
        return nullptr;
    const auto e = m_earlier.find(Key(target));
    return e != m_earlier.end() ? &e->second : nullptr;
}

const std::string* CatalogueFiles::EarlierBytes(const std::string& target) const {
    const Earlier* e = EarlierFile(target);
    // On a disk that ignores letter case an earlier name spelt otherwise is written anew, to be spelt right.
    return e && e->Name == LastFolderName(target) ? &e->Bytes : nullptr;
}

const CatalogueFiles::Stamped* CatalogueFiles::Trusted(const std::string& target) const {
    if (!m_surveyed || !InFolder(target))
        return nullptr;
    const auto t = m_stamps.find(Key(target));
    return t != m_stamps.end() && t->second.Unread && t->second.Name == LastFolderName(target) ? &t->second : nullptr;
}

void CatalogueFiles::StageNow(Staged& s, const std::string& bytes) {
    if (m_abandoned) {
        s.Failed = true;  // not written, so not removed
        return;
    }
    s.Stamp.Hash = PageHash(bytes);
    const std::string* earlier = EarlierBytes(s.Target);
    std::string read;
    if (const auto* trusted = earlier ? nullptr : Trusted(s.Target)) {
        if (trusted->Stamp.Identity.Size == bytes.size() && trusted->Stamp.Hash == s.Stamp.Hash) {
            s.Unchanged = true;
            s.Stamp = trusted->Stamp;
            s.Stamped = true;
            return;
        }
        // Replaced: its bytes are read now, to be written back should the commit
        // fail; beyond the memory the earlier files may take, it is set aside on disk.
        if (!m_fs.ReadWhole(s.Target, kEarlierLimit, s.Old) || !s.Old.starts_with(kMarkerPrefix) ||
            m_keptBytes.fetch_add(s.Old.size()) + s.Old.size() > kEarlierBudget)
            std::string().swap(s.Old);
    } else if (!earlier && (!InFolder(s.Target) || m_ours.contains(Key(s.Target))) &&
               (m_caseSensitive || m_fs.NameOnDisk(s.Target) == LastFolderName(s.Target)) &&
               m_fs.ReadWhole(s.Target, bytes.size(), read)) {
        // The summary page, or a page the survey did not keep; where names ignore
        // case, only one spelt as the target is, or it would keep its spelling.
        earlier = &read;
    }
    if (earlier && *earlier == bytes) {
        s.Unchanged = true;
        if (const auto st = m_stamps.find(Key(s.Target)); st != m_stamps.end() && InFolder(s.Target)) {
            s.Stamp = st->second.Stamp;
            s.Stamped = true;
        }
        return;
    }
    // Made new at the staged name: one create where a temporary file would take a rename more.
    if (m_held && m_writes->SideBySide() && InFolder(s.Target))
        s.Path = SpreadPath(s.Target);
    int made = m_fs.WriteNewFile(s.Path, bytes);
    if (made == EEXIST)  // something the survey left (a link is not ours to remove): replaced, never written through
        made = m_fs.WriteFileAtomic(s.Path, bytes, nullptr) ? 0 : EIO;
    s.Failed = made != 0;
}

bool CatalogueFiles::WaitForStaged(const std::function<bool()>& stop) {
    if (!stop) {
        m_writes->Wait();
        return true;
    }
    if (m_writes->WaitUnless(stop))
        return true;
    m_abandoned = true;
    Discard();
    return false;
}

void CatalogueFiles::Discard() {
    m_writes->Wait();
    // Side by side too: each removal waits for a network drive's answers.
    for (const Staged& s : m_staged) {
        if (!s.Unchanged && !s.Failed)
            m_writes->Run([this, path = s.Path] { m_fs.RemoveFile(path); });
    }
    m_writes->Wait();
    m_staged.clear();
}

bool CatalogueFiles::PutInPlace(Staged& s) {
    if (!s.Respell.empty()) {
        // Renamed over the earlier file as it is spelt, then to the new
        // spelling by case alone, so a page is at the name every moment. A
        // system that cannot rename by case alone (Wine) goes by a temporary
        // name: a moment without the page, on the one run that respells it.
        const std::string earlier = m_folder + s.Respell;
        s.In = m_fs.RenameFile(s.Path, earlier);
        if (!s.In || (m_fs.RenameFile(earlier, s.Target) && m_fs.NameOnDisk(s.Target) == LastFolderName(s.Target)))
            return s.In;
        const std::string between = TemporaryPath(s.Target);
        if (m_fs.RenameFile(earlier, between) && !m_fs.RenameFile(between, s.Target))
            m_fs.RenameFile(between, earlier);
        return true;
    }
    if (!s.Aside.empty() && !s.Kept && m_fs.CopyFile(s.Target, s.Aside) == 0) {
        // Ours, but not kept in memory (a large page): copied aside, not moved,
        // so the page is at its name every moment (the frameset leads to the
        // first) and the new one replaces it in one rename. Without room for
        // the copy, or with the page gone, it is moved aside as below.
        s.In = m_fs.RenameFile(s.Path, s.Target);
        if (!s.In) {
            m_fs.RemoveFile(s.Aside);
            s.Aside.clear();
        }
        return s.In;
    }
    if (!s.Aside.empty() && !m_fs.RenameFile(s.Target, s.Aside)) {
        if (m_fs.Exists(s.Target))
            return false;  // held open elsewhere (Windows): nothing has changed
        s.Aside.clear();   // gone since the survey
        s.Kept = false;
    }
    // Looked up first: the rename would look the staged file up again (a
    // network drive's names are good for a second) while it holds the folder.
    if (m_writes->SideBySide())
        m_fs.Exists(s.Path);
    s.In = m_fs.RenameFile(s.Path, s.Target);
    if (!s.In && !s.Aside.empty())
        m_fs.RenameFile(s.Aside, s.Target);
    return s.In;
}

void CatalogueFiles::RollBack(std::vector<Staged>& moves) {
    m_writes->Wait();
    // The staged files that did not go in first: their room may be what the earlier files need.
    for (Staged& s : moves) {
        if (!s.In)
            m_fs.RemoveFile(s.Path);
    }
    for (auto s = moves.rbegin(); s != moves.rend(); ++s) {
        if (!s->In)
            continue;
        if (!s->Aside.empty())
            m_fs.RenameFile(s->Aside, s->Target);
        else if (s->Earlier)
            m_fs.WriteFileAtomic(s->Target, *s->Earlier, nullptr);
        else
            m_fs.RemoveFile(s->Target);
    }
}

bool CatalogueFiles::PutGroupInPlace(std::vector<Staged>& moves, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        m_writes->Run([this, &s = moves[i]] {
            // The file in place, for the record: its change time is the rename's.
            if (PutInPlace(s) && InFolder(s.Target))
                s.Stamped = m_fs.GetFileIdentity(s.Target, s.Stamp.Identity);
        });
    }
    m_writes->Wait();
    for (size_t i = from; i < to; ++i) {
        Staged& s = moves[i];
        if (s.In)
            continue;
        ReportWriteFailure(m_obs, s.Target);
        if (s.Required) {
            RollBack(moves);
            return false;
        }
        m_fs.RemoveFile(s.Path);
    }
    return true;
}

bool CatalogueFiles::Commit(const std::vector<std::pair<std::string, std::string>>& files, bool hurry,
                            const std::function<bool()>& stop) {
    const bool summary = CommitStaged(files, hurry, stop);
    RemoveStagingFolders();
    m_writes->Wait();
    return summary;
}

bool CatalogueFiles::CommitStaged(const std::vector<std::pair<std::string, std::string>>& files, bool hurry,
                                  const std::function<bool()>& stop) {
    // Over an earlier catalogue every failure keeps it whole. On a first run the
    // frames must go in with the pages, since nothing else leads to them; a
    // missing page or summary page is reported and the rest goes in.
    AwaitSurvey();
    const bool whole = m_hadCatalogue;
    const std::string& summaryPage = files.back().first;
    const size_t pages = m_staged.size();
    if (!WaitForStaged(stop))
        return false;
    bool pageFailed = false;
    for (const Staged& s : m_staged) {
        if (s.Failed)
            ReportWriteFailure(m_obs, s.Target);
        pageFailed = pageFailed || s.Failed;
    }
    if (whole && pageFailed) {
        Discard();
        return false;
    }
    for (const auto& [path, text] : files)
        Stage(path, text);
    if (!WaitForStaged(stop))
        return false;
    // The first of these that cannot be written and must be ends the commit, and is the one reported.
    for (size_t i = pages; i < m_staged.size(); ++i) {
        if (!m_staged[i].Failed)
            continue;
        ReportWriteFailure(m_obs, m_staged[i].Target);
        if (whole || m_staged[i].Target != summaryPage) {
            Discard();
            return false;
        }
    }
    std::vector<Staged> moves;
    moves.reserve(m_staged.size());
    size_t framesAt = 0;
    bool summary = false;
    std::map<std::string, PageStamp> record;  // the folder's files as this run leaves them
    for (size_t i = 0; i < m_staged.size(); ++i) {
        Staged& s = m_staged[i];
        s.Required = whole || (i >= pages && s.Target != summaryPage);
        if (s.Unchanged) {
            if (InFolder(s.Target))
                m_written.insert(Key(s.Target));
            if (s.Stamped)
                record[LastFolderName(s.Target)] = s.Stamp;
            summary = summary || s.Target == summaryPage;
            continue;
        }
        if (s.Failed)
            continue;
        switch (WhatIsAt(s.Target)) {
            case Found::InTheWay:
                m_inTheWay.push_back(s.Target);
                m_fs.RemoveFile(s.Path);
                continue;
            case Found::Ours:
                // What the survey read whole is written back after a failure; a rename aside would cost every page a round trip.
                if (const Earlier* e = EarlierFile(s.Target)) {
                    s.Earlier = &e->Bytes;
                    if (e->Name != LastFolderName(s.Target))
                        s.Respell = e->Name;
                } else if (s.Old.empty()) {  // those read for it are written back, as below
                    s.Aside = TemporaryPath(s.Target);
                }
                break;
            case Found::Theirs:
                s.Aside = BackupName(s.Target);
                s.Kept = true;
                break;
            case Found::Nothing:
                break;
        }
        if (i < pages)
            ++framesAt;
        moves.push_back(std::move(s));
        if (!moves.back().Old.empty())
            moves.back().Earlier = &moves.back().Old;  // moved with it: the room was reserved
    }
    m_staged.clear();
    // Renamed into place before their bytes are on the disk, files can be empty
    // after a power cut; replacing a file would have made the system flush it.
    if (!moves.empty()) {
        m_fs.Flush(m_folder);
        m_fs.Flush(summaryPage.substr(0, summaryPage.size() - LastFolderName(summaryPage).size()));  // maybe another drive
    }
    // From the first rename to the last the catalogue is mixed; a failure puts
    // every file back, so the earlier one is whole again. The pages go in side
    // by side, then the frames that lead to them, then the summary page.
    const size_t summaryAt = !moves.empty() && moves.back().Target == summaryPage ? moves.size() - 1 : moves.size();
    if (!PutGroupInPlace(moves, 0, framesAt) || !PutGroupInPlace(moves, framesAt, summaryAt) ||
        !PutGroupInPlace(moves, summaryAt, moves.size()))
        return false;
    for (const Staged& s : moves) {
        if (!s.In)
            continue;
        if (s.Kept) {
            m_kept.emplace_back(s.Target, s.Aside);
        } else if (!s.Aside.empty()) {
            m_writes->Run([this, aside = s.Aside] { m_fs.RemoveFile(aside); });
        }
        if (InFolder(s.Target))
            m_written.insert(Key(s.Target));
        if (s.Stamped)
            record[LastFolderName(s.Target)] = s.Stamp;
        summary = summary || s.Target == summaryPage;
    }
    RemoveStale(hurry);
    m_writes->Wait();
    SaveRecord(record);
    return summary;
}

void CatalogueFiles::SaveRecord(const std::map<std::string, PageStamp>& files) {
    // None where the system tells no change times (Windows): every rerun reads the pages.
    if (files.empty())
        return;
    const std::string text = PageRecordText(files);
    // A record that cannot be written costs the next run only the reads it would have spared.
    if (text != m_recordText)
        m_fs.WriteFileAtomic(m_folder + std::string(kPageRecordName), text, nullptr);
}

void CatalogueFiles::CopyFolderFiles(const std::string& source, const std::string& destination) {
    const std::string from = JoinPath(source, "");
    const std::string to = JoinPath(destination, "");
    std::vector<DirEntry> entries;
    if (m_fs.ListFolder(to, entries, nullptr)) {
        RemoveLeftovers(m_fs, to, entries);
    } else {
        m_fs.CreateFolder(destination, nullptr);
    }
    if (!m_fs.ListFolder(from, entries, nullptr)) {
        // The pages name these pictures: a catalogue without them is not a success.
        m_obs.ShowMessage(FolderNotFoundMessage(source), MessageKind::WriteFailure, "Kavo");
        return;
    }
    SortByName(entries);
    // Each picture is read and compared with its copy side by side; only the writes go one by one.
    enum : char { kNotFile, kSame, kSmall, kLarge };
    std::vector<std::string> ours(entries.size());
    std::vector<char> state(entries.size(), kNotFile), files;
    CheckEach(
        m_fs, entries.size(),
        [&](size_t i) {
            const std::string source = from + entries[i].Name;
            if (entries[i].IsDir || !m_fs.IsRegularFile(source))
                return false;
            std::string theirs;
            if (!m_fs.ReadPrefix(source, kCompareLimit, ours[i]) || ours[i].size() >= kCompareLimit)
                state[i] = kLarge;
            else if (m_fs.ReadPrefix(to + entries[i].Name, ours[i].size() + 1, theirs) && theirs == ours[i])
                state[i] = kSame;
            else
                state[i] = kSmall;
            return true;
        },
        {}, files, m_slowDrive);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (state[i] == kNotFile || state[i] == kSame)
            continue;  // not a file, or already our picture
        const std::string target = to + entries[i].Name;
        const bool written = MoveAside(target) && (state[i] == kSmall
                                                       ? m_fs.WriteFileAtomic(target, ours[i], nullptr)
                                                       : m_fs.CopyFile(from + entries[i].Name, target) == 0);
        if (!written)
            ReportWriteFailure(m_obs, target);
    }
}

void CatalogueFiles::RemoveStale(bool hurry) {
    // On a network drive each removal waits for the server, one after another
    // in one folder: hundreds of old pages would hold up a cancel for seconds.
    const auto until = std::chrono::steady_clock::now() + kStaleRemovalAfterCancel;
    for (const std::string& name : m_old) {
        if (m_written.contains(Key(name)))
            continue;
        m_writes->Run([this, hurry, until, path = m_folder + name] {
            if (!hurry || std::chrono::steady_clock::now() < until)
                m_fs.RemoveFile(path);
        });
    }
}

void CatalogueFiles::ReportKept() {
    std::string text;
    for (const auto& [path, backup] : m_kept) {
        if (!text.empty())
            text += "\r\n";
        text += "既存の '" + path + "' は '" + backup + "' として残しました。";
    }
    if (!text.empty())
        m_obs.ShowMessage(text, MessageKind::Information, "Ｋａｖｏ");
    if (m_inTheWay.empty())
        return;
    text.clear();
    for (const std::string& path : m_inTheWay)
        text += "'" + path + "' はファイルではないため、そのまま残しました。\r\n";
    text += m_inTheWay.size() == 1 ? "この名前のファイルは書き出していません。" : "これらの名前のファイルは書き出していません。";
    m_obs.ShowMessage(text, MessageKind::WriteFailure, "Kavo");
}

std::string CatalogueFiles::BackupOf(const std::string& path) const {
    for (const auto& [p, backup] : m_kept) {
        if (p == path)
            return backup;
    }
    return {};
}

}  // namespace kavo
