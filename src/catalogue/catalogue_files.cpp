#include "catalogue/catalogue_files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "catalogue/classify.h"
#include "catalogue/file_helpers.h"
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

/// ours[i] = check(i) for every i, on several threads when the file system
/// allows it. `pace` is asked while they work; false when it said stop.
bool CheckEach(FileSystem& fs, size_t count, const std::function<bool(size_t)>& check,
               const FileSystem::BetweenBatches& pace, std::vector<char>& ours) {
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
    std::atomic<size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (size_t i; !stop && (i = next++) < count; ++done)
                ours[i] = check(i);
        });
    }
    bool goOn = true;
    while (goOn && done < count) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        goOn = !pace || pace();
    }
    stop = true;
    for (std::thread& t : pool)
        t.join();
    return goOn;
}

}  // namespace

CatalogueFiles::CatalogueFiles(FileSystem& fs, RunObserver& obs, bool caseSensitive)
    : m_fs(fs), m_obs(obs), m_caseSensitive(caseSensitive) {}

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
    RemoveLeftovers(catalogue, entries);
    // Leftovers end otherwise, and are gone already.
    std::erase_if(entries, [](const DirEntry& e) { return e.IsDir || !EndsWithHtml(e.Name); });
    std::vector<char> ours;
    if (!CheckEach(m_fs, entries.size(), [&](size_t i) { return Ours(catalogue + entries[i].Name); }, pace, ours))
        return;
    int frames = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const DirEntry& e = entries[i];
        if (ours[i]) {
            const std::string key = Key(e.Name);
            frames += key == "index.html" || key == "frame1.html" || key == "frame2.html";
            m_old.push_back(e.Name);
        } else {
            m_foreign.insert(Key(e.Name));
        }
    }
    m_hadCatalogue = frames == 3;
}

void CatalogueFiles::RemoveLeftovers(const std::string& folder, const std::vector<DirEntry>& entries) {
    for (const DirEntry& e : entries) {
        // A run's temporaries are never links: a link at such a name is someone else's.
        if (!e.IsDir && !e.IsLink && IsLeftoverName(e.Name))
            m_fs.RemoveFile(folder + e.Name);
    }
}

bool CatalogueFiles::MoveAside(const std::string& path) {
    if (!m_fs.Exists(path))
        return true;
    for (int n = 1;; ++n) {
        std::string backup = path + ".bak" + (n == 1 ? std::string() : std::to_string(n));
        if (m_fs.Exists(backup))
            continue;
        if (!m_fs.RenameFile(path, backup))
            return false;
        m_kept.emplace_back(path, std::move(backup));
        return true;
    }
}

int CatalogueFiles::Save(const std::string& path, std::string_view text) {
    const std::string key = Key(path);
    m_written.insert(key);
    if (m_foreign.contains(key) && !MoveAside(path)) {
        ReportWriteFailure(m_obs, path);
        return -1;
    }
    return SaveOutputText(m_fs, m_obs, path, text);
}

bool CatalogueFiles::SaveTogether(const std::vector<std::pair<std::string, std::string>>& files) {
    // Removes the staged files from `first` on and reports the file that failed.
    auto fail = [&](size_t first, size_t failed) {
        for (size_t i = first; i < files.size(); ++i)
            m_fs.RemoveFile(StagedPath(files[i].first));
        ReportWriteFailure(m_obs, files[failed].first);
        return false;
    };
    for (size_t i = 0; i < files.size(); ++i) {
        if (!m_fs.WriteFileAtomic(StagedPath(files[i].first), OutputBytes(files[i].second), nullptr))
            return fail(0, i);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i].first;
        if (!(Ours(path) || MoveAside(path)) || !m_fs.RenameFile(StagedPath(path), path))
            return fail(i, i);
        if (!m_folder.empty() && path.starts_with(m_folder))
            m_written.insert(Key(path));
    }
    return true;
}

void CatalogueFiles::CopyFolderFiles(const std::string& source, const std::string& destination) {
    const std::string from = JoinPath(source, "");
    const std::string to = JoinPath(destination, "");
    std::vector<DirEntry> entries;
    if (m_fs.ListFolder(to, entries, nullptr)) {
        RemoveLeftovers(to, entries);
    } else {
        m_fs.CreateFolder(destination, nullptr);
    }
    if (!m_fs.ListFolder(from, entries, nullptr))
        return;  // a missing source copies nothing
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
        {}, files);
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

void CatalogueFiles::RemoveStale() {
    for (const std::string& name : m_old) {
        if (!m_written.contains(Key(name)))
            m_fs.RemoveFile(m_folder + name);
    }
}

void CatalogueFiles::ReportKept() {
    if (m_kept.empty())
        return;
    std::string text;
    for (const auto& [path, backup] : m_kept) {
        if (!text.empty())
            text += "\r\n";
        text += "既存の '" + path + "' は '" + backup + "' として残しました。";
    }
    m_obs.ShowMessage(text, MessageIcon::Information, "Ｋａｖｏ");
}

std::string CatalogueFiles::BackupOf(const std::string& path) const {
    for (const auto& [p, backup] : m_kept) {
        if (p == path)
            return backup;
    }
    return {};
}

}  // namespace kavo
