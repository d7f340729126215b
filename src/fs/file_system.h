#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavo {

/// The native separator, used wherever a folder path is joined.
#ifdef _WIN32
inline constexpr char kPathSep = '\\';
#else
inline constexpr char kPathSep = '/';
#endif

/// The file in a catalogue folder that runs lock (see FileSystem::LockFolder).
inline constexpr std::string_view kLockFileName = "kavo.lock";

/// How many random names a temporary file tries before the run gives up on it.
inline constexpr int kTemporaryNameTries = 16;

/// One directory entry as listed. "." and ".." are never listed.
struct DirEntry {
    std::string Name;
    bool IsDir = false;   // a folder, or a link that leads to one
    bool IsLink = false;  // a symbolic link (whatever it leads to)
    bool IsFile = false;  // a regular file, or a link that leads to one: only these can be pictures
};

/// Identity of a folder on disk, to notice a link back into the walk path.
struct FolderId {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    bool operator==(const FolderId&) const = default;
};

/// Size and modification time of a file, to tell whether it changed since a run.
struct FileStamp {
    uint64_t Size = 0;
    int64_t ModifiedNs = 0;  // nanoseconds since the system's epoch
    bool operator==(const FileStamp&) const = default;
};

/// Which file a path led to and when it last changed, as far as the system
/// tells: a record of what was read from a file keeps it, and trusts the
/// record again only while every field is the same.
struct FileIdentity {
    uint64_t Size = 0;
    int64_t ModifiedNs = 0;
    int64_t ChangedNs = 0;  // the inode's change time: a rename, a touch that sets the time back
    uint64_t Device = 0;
    uint64_t Inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

/// A file opened for reading a picture header.
class InputFile {
public:
    virtual ~InputFile() = default;
    /// The identity of the file as opened (not of whatever its path leads to
    /// now); false when the system cannot tell.
    virtual bool Identity(FileIdentity& /*out*/) { return false; }
    /// Reads up to n bytes; returns the count read, 0 at the end or on failure.
    virtual size_t Read(void* buffer, size_t n) = 0;
    /// Moves the read position forward by n bytes without reading them.
    virtual bool Skip(int64_t n) = 0;
};

/// Held while a run writes a catalogue; the lock is released when it is destroyed.
class FolderLock {
public:
    virtual ~FolderLock() = default;
};

/// Folders a run keeps open while it writes into them (FileSystem::HoldFolders).
/// Released when destroyed.
class HeldFolders {
public:
    virtual ~HeldFolders() = default;
    /// Opens one more folder and keeps it. A folder inside one already held is
    /// opened through that one, and a link there is followed only when it is
    /// the running user's (or the administrator's). 0, or the system's error
    /// number; EPERM for a link or folder of another user that is not to be
    /// written into: a link there, or a folder another user made inside a
    /// folder anyone may write.
    virtual int Hold(const std::string& /*folder*/) { return 0; }
    /// Lets go of a held folder before the run removes it.
    virtual void Release(const std::string& /*folder*/) {}
    /// The first held folder that its name no longer leads to (renamed away,
    /// removed, or replaced by something else); "" while every one is in place.
    virtual std::string Moved() { return {}; }
};

/// Interface for accessing the disk.
///
/// Abstract so that tests can inject failures (a full disk, a folder that
/// vanishes) without relying on permissions, which root ignores.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// Lists the entries of a folder in the order the system returns them.
    /// Returns false when the folder cannot be listed, or when reading it fails
    /// part way (a damaged folder), which is not its end. `id`, when given,
    /// receives the identity of the listed folder.
    virtual bool ListFolder(const std::string& folder, std::vector<DirEntry>& out, FolderId* id) = 0;

    /// Called between the batches of entries a listing reads from the system;
    /// returning false stops the listing.
    using BetweenBatches = std::function<bool()>;

    /// ListFolder that lets the caller stay responsive while a huge folder comes
    /// from a slow drive. Entries and their order are those of ListFolder. When
    /// `between` stops the listing, returns false with `out` cleared. The default
    /// lists the folder whole and never calls `between`.
    virtual bool ListFolderInBatches(const std::string& folder, std::vector<DirEntry>& out, FolderId* id,
                                     const BetweenBatches& between) {
        (void)between;
        return ListFolder(folder, out, id);
    }

    /// Identity of the folder a path leads to (following links).
    virtual bool GetFolderId(const std::string& path, FolderId& id) = 0;

    /// 0 when the path is a folder that can be entered, else the system's error number.
    virtual int CheckFolder(const std::string& path) = 0;

    /// True when some entry (file, folder or link) exists at the path.
    virtual bool Exists(const std::string& path) = 0;

    /// Creates one folder level. On failure returns false and sets `err` to the system's text.
    virtual bool CreateFolder(const std::string& path, std::string* err) = 0;

    /// Writes the bytes to a temporary file beside the target and renames it over
    /// the target, so the target is never left half-written. No temporary file
    /// remains after a failure. The temporary file is made new (never opened
    /// through a link or over another file) at a name no one can guess; a name
    /// that is taken is tried again with another.
    virtual bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* err) = 0;

    /// Writes the bytes to a new file at the path, never through a link nor over
    /// anything there: 0, EEXIST when something is at the name already, or the
    /// system's error number (then no file is left). One create where
    /// WriteFileAtomic takes a create and a rename, for a name only this run
    /// writes (a staged file). On Windows the file is flushed to the disk
    /// before it is closed, as Flush does there. The default suits the tests' file systems.
    virtual int WriteNewFile(const std::string& path, std::string_view data) {
        if (Exists(path))
            return EEXIST;
        return WriteFileAtomic(path, data, nullptr) ? 0 : EIO;
    }

    /// Makes a new empty file, never through a link: 0, EEXIST when something
    /// is at the name already, or the system's error number. The default suits
    /// file systems that no one else changes (the tests' own).
    virtual int CreateNewFile(const std::string& path) {
        if (Exists(path))
            return EEXIST;
        return WriteFileAtomic(path, {}, nullptr) ? 0 : EIO;
    }

    /// True for a symbolic link (or on Windows a junction) that belongs neither
    /// to the user running nor to the system's administrator: something another
    /// user of a shared folder may have planted.
    virtual bool IsForeignLink(const std::string& /*path*/) { return false; }

    /// Reads at most `limit` bytes from the start of a file.
    virtual bool ReadPrefix(const std::string& path, size_t limit, std::string& out) = 0;

    /// Reads a regular file whole (as long as the open file says it is), when it
    /// holds at most `limit` bytes; false (out empty) when it cannot be read or is larger.
    virtual bool ReadWhole(const std::string& path, size_t limit, std::string& out) {
        if (ReadPrefix(path, limit + 1, out) && out.size() <= limit) {
            out.shrink_to_fit();  // the read asked for room for the limit
            return true;
        }
        out.clear();
        return false;
    }

    virtual bool RemoveFile(const std::string& path) = 0;
    /// Removes a folder that is empty; false when it is not, or is not there.
    virtual bool RemoveEmptyFolder(const std::string& /*path*/) { return false; }
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;

    /// Copies a regular file over any existing file of that name. Returns 0 or the error number.
    virtual int CopyFile(const std::string& from, const std::string& to) = 0;

    /// The last name of the path as the disk spells it, where that can differ from
    /// the text (letter case on Windows); "" for the text as it is.
    virtual std::string NameOnDisk(const std::string& /*path*/) { return {}; }

    /// True for a regular file (links followed).
    virtual bool IsRegularFile(const std::string& path) = 0;

    virtual std::unique_ptr<InputFile> OpenRead(const std::string& path) = 0;

    /// The stamp of a regular file (links followed), without opening it. False
    /// when there is none to read; the default never reads one.
    virtual bool GetFileStamp(const std::string& /*path*/, FileStamp& /*stamp*/) { return false; }

    /// The identity of a regular file (links followed), without opening it;
    /// false when there is none to read. The default never reads one.
    virtual bool GetFileIdentity(const std::string& /*path*/, FileIdentity& /*out*/) { return false; }

    /// Takes the exclusive lock of a folder, without waiting: a byte-range lock
    /// on the file kavo.lock in it, opened for writing, so a user who may only
    /// read cannot hold it, and Linux and Windows programs (over a share, or
    /// under Wine) see each other's. The system releases it when the run ends
    /// however it ends. Null with `busy` set when another run holds it. Where
    /// the system cannot lock, the run goes on unlocked: a lock that always
    /// does nothing is returned.
    virtual std::unique_ptr<FolderLock> LockFolder(const std::string& /*folder*/, bool& busy) {
        busy = false;
        return std::make_unique<FolderLock>();
    }

    /// Keeps folders open for as long as the returned object lives. Every call on
    /// a held folder or an entry directly in it then goes through the open
    /// folder, not its name: a folder that another user renames away mid-run and
    /// replaces by a link receives the rest of the run, and the link nothing.
    /// The default holds nothing.
    virtual std::unique_ptr<HeldFolders> HoldFolders() { return std::make_unique<HeldFolders>(); }

    /// Makes what was written to the file system holding `folder` reach the disk,
    /// so that files renamed into place next are whole after a power cut. Best
    /// effort; the default does nothing, and so does Windows, where WriteNewFile
    /// flushes each file instead (a volume's flush needs an administrator).
    virtual void Flush(const std::string& /*folder*/) {}

    /// True when OpenRead, and Read and Skip on the files it returns, may be
    /// called from several threads at once (each file used by one thread at a
    /// time). Only then are picture sizes read ahead by several threads.
    virtual bool ReadsAreThreadSafe() const { return false; }

    /// True when WriteNewFile, WriteFileAtomic, RenameFile, RemoveFile and
    /// ReadWhole may be called from several threads at once, for different
    /// paths. Only then are the catalogue's files written side by side.
    virtual bool WritesAreThreadSafe() const { return false; }

    /// True when ListFolderInBatches may be called from several threads at once.
    /// Only then are folders listed ahead of a walk.
    virtual bool ListingsAreThreadSafe() const { return false; }

    /// Closes the folders kept open to reach paths past the system's limit
    /// quickly; called when a walk ends, so no folder stays held after a run.
    virtual void ForgetOpenFolders() {}
};

/// The file system of this machine.
FileSystem& NativeFileSystem();

}  // namespace kavo
