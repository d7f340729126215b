#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fs/file_system.h"

namespace kavo::test {

/// The machine's file system with failures injected by path, the way a full
/// disk or a vanished folder would show them. Tests run as root, so
/// permissions cannot make these happen.
class FaultFileSystem : public FileSystem {
public:
    std::function<bool(const std::string&)> failWrite = [](const std::string&) { return false; };
    std::function<bool(const std::string&)> failList = [](const std::string&) { return false; };
    std::function<bool(const std::string&)> failOpen = [](const std::string&) { return false; };
    /// The error looking a path up gives (0: as on the disk), as on a damaged file system.
    std::function<int(const std::string&)> lookupError = [](const std::string&) { return 0; };
    /// Such a file cannot be read whole, though its first bytes can.
    std::function<bool(const std::string&)> failReadWhole = [](const std::string&) { return false; };
    /// A rename from or to such a path fails, as for a file held open on Windows.
    std::function<bool(const std::string&)> failRename = [](const std::string&) { return false; };
    /// Called after each listing, e.g. to delete something behind the walk's back.
    std::function<void(const std::string&)> afterList = [](const std::string&) {};
    std::atomic<int> opens{0};
    bool threadSafe = false;  // the counters are atomic; the injected checks must be too
    /// Changes to the disk (writes, renames, removals, new folders) still to
    /// happen; then every change fails, as if the run had been killed there.
    int changesLeft = -1;
    /// The changes made, in order: 'w'rite, 'r'ename (from), 'd'elete, 'm'ake folder, and the path.
    std::vector<std::pair<char, std::string>> changes;

    bool ListFolder(const std::string& folder, std::vector<DirEntry>& out, FolderId* id) override {
        if (failList(folder)) return false;
        bool ok = m_real.ListFolder(folder, out, id);
        afterList(folder);
        return ok;
    }
    /// Imitates a slow drive: every `batchSize` entries of a listing take `batchDelay`.
    std::chrono::milliseconds batchDelay{0};
    size_t batchSize = 100;

    bool ListFolderInBatches(const std::string& folder, std::vector<DirEntry>& out, FolderId* id,
                             const BetweenBatches& between) override {
        if (!ListFolder(folder, out, id))
            return false;
        for (size_t read = 0; batchDelay.count() > 0 && read < out.size(); read += batchSize) {
            std::this_thread::sleep_for(batchDelay);
            if (between && !between()) {
                out.clear();
                return false;
            }
        }
        return true;
    }
    /// Listings run ahead of the walk on threads as on the real disk; the hooks above must allow it.
    bool parallelListings = true;
    bool ListingsAreThreadSafe() const override { return parallelListings; }
    bool GetFolderId(const std::string& path, FolderId& id) override { return m_real.GetFolderId(path, id); }
    int CheckFolder(const std::string& path) override {
        const int err = lookupError(path);
        return err != 0 ? err : m_real.CheckFolder(path);
    }
    bool Exists(const std::string& path) override { return lookupError(path) == 0 && m_real.Exists(path); }
    std::string NameOnDisk(const std::string& path) override { return m_real.NameOnDisk(path); }
    bool CreateFolder(const std::string& path, std::string* err) override {
        if (Dead('m', path) || failWrite(path)) {
            if (err) *err = "No space left on device";
            return false;
        }
        return m_real.CreateFolder(path, err);
    }
    bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* err) override {
        if (Dead('w', path) || failWrite(path)) {
            if (err) *err = "No space left on device";
            return false;
        }
        return m_real.WriteFileAtomic(path, data, err);
    }
    int WriteNewFile(const std::string& path, std::string_view data) override {
        return Dead('w', path) || failWrite(path) ? 28 : m_real.WriteNewFile(path, data);
    }
    bool ReadWhole(const std::string& path, size_t limit, std::string& out) override {
        return !failReadWhole(path) && m_real.ReadWhole(path, limit, out);
    }
    std::function<void(const std::string&)> onIdentity = [](const std::string&) {};
    bool GetFileIdentity(const std::string& path, FileIdentity& out) override {
        onIdentity(path);
        return m_real.GetFileIdentity(path, out);
    }
    int CreateNewFile(const std::string& path) override {
        return Dead('w', path) || failWrite(path) ? 28 : m_real.CreateNewFile(path);
    }
    bool IsForeignLink(const std::string& path) override { return m_real.IsForeignLink(path); }
    std::unique_ptr<HeldFolders> HoldFolders() override { return m_real.HoldFolders(); }
    bool ReadPrefix(const std::string& path, size_t limit, std::string& out) override {
        return m_real.ReadPrefix(path, limit, out);
    }
    /// Such a file cannot be removed, as one held open on Windows.
    std::function<bool(const std::string&)> failRemove = [](const std::string&) { return false; };
    /// Each removal waits this long first, as over a network drive.
    std::chrono::milliseconds removeDelay{0};
    bool RemoveFile(const std::string& path) override {
        std::this_thread::sleep_for(removeDelay);
        return !Dead('d', path) && !failRemove(path) && m_real.RemoveFile(path);
    }
    bool RemoveEmptyFolder(const std::string& path) override {
        return !Dead('d', path) && !failRemove(path) && m_real.RemoveEmptyFolder(path);
    }
    bool RenameFile(const std::string& from, const std::string& to) override {
        return !Dead('r', from) && !failRename(from) && !failRename(to) && m_real.RenameFile(from, to);
    }
    int CopyFile(const std::string& from, const std::string& to) override {
        return Dead('w', to) || failWrite(to) ? 28 : m_real.CopyFile(from, to);
    }
    bool IsRegularFile(const std::string& path) override { return m_real.IsRegularFile(path); }
    bool GetFileStamp(const std::string& path, FileStamp& stamp) override { return m_real.GetFileStamp(path, stamp); }
    bool ReadsAreThreadSafe() const override { return threadSafe; }
    /// Writes side by side as on the real disk; the injected checks must allow it.
    bool parallelWrites = false;
    bool WritesAreThreadSafe() const override { return parallelWrites; }
    std::unique_ptr<FolderLock> LockFolder(const std::string& folder, bool& busy) override {
        return m_real.LockFolder(folder, busy);
    }
    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        ++opens;
        if (failOpen(path)) return nullptr;
        return m_real.OpenRead(path);
    }

private:
    bool Dead(char change, const std::string& path) {
        std::lock_guard lock(m_mutex);
        if (changesLeft == 0 || (changesLeft > 0 && --changesLeft < 0))
            return true;
        changes.emplace_back(change, path);
        return false;
    }

    FileSystem& m_real = NativeFileSystem();
    std::mutex m_mutex;
};

}  // namespace kavo::test
