#include "catalogue/catalogue_files.h"

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
    int frames = 0;
    for (const DirEntry& e : entries) {
        if (e.IsDir || !EndsWithHtml(e.Name))
            continue;  // leftovers end otherwise, and are gone already
        if (pace && !pace())
            return;
        if (Ours(catalogue + e.Name)) {
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
    std::string ours, theirs;
    for (const DirEntry& e : entries) {
        if (e.IsDir || !m_fs.IsRegularFile(from + e.Name))
            continue;
        const std::string target = to + e.Name;
        bool written = false;
        if (m_fs.ReadPrefix(from + e.Name, kCompareLimit, ours) && ours.size() < kCompareLimit) {
            if (m_fs.ReadPrefix(target, ours.size() + 1, theirs) && theirs == ours)
                continue;  // already our picture
            written = MoveAside(target) && m_fs.WriteFileAtomic(target, ours, nullptr);
        } else {
            written = MoveAside(target) && m_fs.CopyFile(from + e.Name, target) == 0;
        }
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
