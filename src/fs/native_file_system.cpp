// The POSIX file system behind FileSystem; Windows has its own.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "fs/paths.h"
#include "fs/temporary_names.h"
#include "fs/file_system.h"

namespace kavo {
namespace {

std::string ErrorText(int err) {
    return std::strerror(err);
}

/// Folders opened along paths past PATH_MAX, so that a walk down a very deep
/// tree does not have the system resolve every level again for every call:
/// a long path is cut into steps of about a kilobyte, each step's folder is
/// opened once relative to the one before and kept, and a call resolves only
/// the last step. The steps depend only on the path's beginning, so the paths
/// of one branch share them. Kept until ForgetOpenFolders, at most kMaxOpen.
class OpenFolderSteps {
public:
    static OpenFolderSteps& Instance() {
        static OpenFolderSteps steps;
        return steps;
    }

    /// A descriptor of the caller's own (or AT_FDCWD) and the offset in `path`
    /// of the rest relative to it; -1 with errno set when a step cannot be opened.
    int Open(const std::string& path, size_t& restAt) {
        constexpr size_t kStep = 1024;
        std::lock_guard lock(m_mutex);
        if (m_open.size() > kMaxOpen)
            Forget();
        int fd = AT_FDCWD;
        size_t start = 0;
        // A walk asks for one branch after another: most steps are those of the last call.
        if (!m_last.empty() && path.size() > m_last.size() &&
            path.compare(0, m_last.size(), m_last) == 0) {
            fd = m_lastFd;
            start = m_last.size();
        }
        std::string key;
        while (path.size() - start > kStep) {
            const size_t cut = path.rfind(kPathSep, start + kStep - 1);
            if (cut == std::string::npos || cut < start) {
                errno = ENAMETOOLONG;  // no name is that long
                return -1;
            }
            key.assign(std::to_string(fd)).push_back('\0');
            key.append(path, start, cut - start + 1);
            auto it = m_open.find(key);
            if (it == m_open.end()) {
                const std::string step = path.substr(start, cut - start + 1);
                const int next = ::openat(fd, step.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                if (next < 0)
                    return -1;
                it = m_open.emplace(key, next).first;
            }
            fd = it->second;
            start = cut + 1;
        }
        if (fd != AT_FDCWD && start != m_last.size()) {
            m_last.assign(path, 0, start);
            m_lastFd = fd;
        }
        restAt = start;
        return fd == AT_FDCWD ? AT_FDCWD : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }

    void Clear() {
        std::lock_guard lock(m_mutex);
        Forget();
    }

private:
    static constexpr size_t kMaxOpen = 512;

    void Forget() {
        for (const auto& [key, fd] : m_open)
            ::close(fd);
        m_open.clear();
        m_last.clear();
    }

    std::mutex m_mutex;
    // Keyed by the descriptor of the step before and the step's text, so a key stays short.
    std::unordered_map<std::string, int> m_open;
    std::string m_last;  // the steps the last call went through, and the folder they end at
    int m_lastFd = AT_FDCWD;
};

/// A folder a run holds open, and how to find its name again.
struct HeldFolder {
    int Fd = -1;
    std::string Path;  // as the run names it, without a separator at the end
    std::shared_ptr<const HeldFolder> Parent;  // the held folder it was opened in, if any
    std::string Name;  // its name there
    dev_t Device = 0;
    ino_t Inode = 0;
    ~HeldFolder() {
        if (Fd >= 0)
            ::close(Fd);
    }
};

/// The folders held by the runs of this process, by path. A path may be held
/// twice (two runs, one refused by the lock): the latest hold answers.
class HeldRegistry {
public:
    static HeldRegistry& Instance() {
        static HeldRegistry registry;
        return registry;
    }

    void Add(const std::shared_ptr<const HeldFolder>& held) {
        std::unique_lock lock(m_mutex);
        m_held[held->Path].push_back(held);
        m_count.fetch_add(1);
    }

    void Remove(const std::shared_ptr<const HeldFolder>& held) {
        std::unique_lock lock(m_mutex);
        auto it = m_held.find(held->Path);
        if (it == m_held.end())
            return;
        auto& list = it->second;
        list.erase(std::remove(list.begin(), list.end(), held), list.end());
        if (list.empty())
            m_held.erase(it);
        m_count.fetch_sub(1);
    }

    /// The held folder that is the path itself ("." left) or holds its last name.
    std::shared_ptr<const HeldFolder> Find(const std::string& path, std::string& rest) {
        if (m_count.load(std::memory_order_relaxed) == 0)
            return nullptr;
        const std::string_view whole = WithoutTrailingSeparators(path);
        std::shared_lock lock(m_mutex);
        if (auto held = Latest(whole)) {
            rest = ".";
            return held;
        }
        const size_t cut = whole.rfind(kPathSep);
        if (cut == std::string_view::npos || cut + 1 == whole.size())
            return nullptr;
        auto held = Latest(cut == 0 ? whole.substr(0, 1) : whole.substr(0, cut));
        if (held)
            rest.assign(whole.substr(cut + 1));
        return held;
    }

    /// The held folder a path names, if any.
    std::shared_ptr<const HeldFolder> Exactly(std::string_view folder) {
        if (m_count.load(std::memory_order_relaxed) == 0)
            return nullptr;
        std::shared_lock lock(m_mutex);
        return Latest(WithoutTrailingSeparators(folder));
    }

private:
    std::shared_ptr<const HeldFolder> Latest(std::string_view path) const {
        auto it = m_held.find(path);
        return it == m_held.end() ? nullptr : it->second.back();
    }

    // Looked up by a piece of the path, without copying it.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };

    std::shared_mutex m_mutex;
    std::unordered_map<std::string, std::vector<std::shared_ptr<const HeldFolder>>, Hash, std::equal_to<>> m_held;
    std::atomic<int> m_count{0};
};

/// A path split into a folder descriptor and the rest of the path relative to
/// it, for the *at calls. A path in a held folder goes through that folder; a
/// path shorter than PATH_MAX is otherwise used as it is (no system call); a
/// longer one, which the system refuses in one piece, is resolved through the
/// folders OpenFolderSteps keeps open.
class AtPath {
public:
    explicit AtPath(const std::string& path) {
        if ((m_held = HeldRegistry::Instance().Find(path, m_tail))) {
            m_fd = m_held->Fd;
            m_rest = m_tail.c_str();
            return;
        }
        if (path.size() < static_cast<size_t>(PATH_MAX)) {
            m_rest = path.empty() ? "." : path.c_str();
            return;
        }
        size_t start = 0;
        const int fd = OpenFolderSteps::Instance().Open(path, start);
        if (fd == -1) {
            Fail(errno);
            return;
        }
        m_fd = fd;
        m_tail = path.substr(start);
        m_rest = m_tail.empty() ? "." : m_tail.c_str();
    }
    ~AtPath() { CloseOwn(); }
    AtPath(const AtPath&) = delete;
    AtPath& operator=(const AtPath&) = delete;

    /// False when a leading chunk could not be opened; errno then tells why.
    bool ok() const { return m_error == 0; }
    int Error() const { return m_error; }
    int dir() const { return m_fd; }
    const char* rest() const { return m_rest; }

private:
    void Fail(int err) {
        CloseOwn();
        m_error = err;
        errno = err;
    }
    void CloseOwn() {
        if (m_fd != AT_FDCWD && !m_held)
            ::close(m_fd);
        m_fd = AT_FDCWD;
    }

    std::shared_ptr<const HeldFolder> m_held;  // kept open for as long as the call needs it
    int m_fd = AT_FDCWD;
    int m_error = 0;
    std::string m_tail;
    const char* m_rest = ".";
};

bool StatAt(const std::string& path, struct stat& st, int flags) {
    AtPath at(path);
    return at.ok() && ::fstatat(at.dir(), at.rest(), &st, flags) == 0;
}

int OpenAt(const std::string& path, int flags, mode_t mode = 0) {
    AtPath at(path);
    if (!at.ok())
        return -1;
    return ::openat(at.dir(), at.rest(), flags | O_CLOEXEC, mode);
}

bool RenameAt(const std::string& from, const std::string& to) {
    AtPath a(from);
    AtPath b(to);
    return a.ok() && b.ok() && ::renameat(a.dir(), a.rest(), b.dir(), b.rest()) == 0;
}

bool UnlinkAt(const std::string& path) {
    AtPath at(path);
    return at.ok() && ::unlinkat(at.dir(), at.rest(), 0) == 0;
}

bool IdentityOf(const struct stat& st, FileIdentity& out) {
    if (!S_ISREG(st.st_mode))
        return false;
    out.Size = static_cast<uint64_t>(st.st_size);
    out.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    out.ChangedNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    out.Device = static_cast<uint64_t>(st.st_dev);
    out.Inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

class NativeInputFile : public InputFile {
public:
    explicit NativeInputFile(int fd) : m_fd(fd) {}
    ~NativeInputFile() override { ::close(m_fd); }

    size_t Read(void* buffer, size_t n) override {
        for (;;) {
            ssize_t got = ::read(m_fd, buffer, n);
            if (got >= 0)
                return static_cast<size_t>(got);
            if (errno != EINTR)
                return 0;
        }
    }
    bool Skip(int64_t n) override { return ::lseek(m_fd, static_cast<off_t>(n), SEEK_CUR) != static_cast<off_t>(-1); }
    bool Identity(FileIdentity& out) override {
        struct stat st {};
        return ::fstat(m_fd, &st) == 0 && IdentityOf(st, out);
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view data) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

/// Writes the bytes and closes the file: 0, or the error number of the first
/// step that failed (never EEXIST, which callers read as a name taken).
int WriteAndClose(int fd, std::string_view data) {
    int err = WriteAll(fd, data) ? 0 : errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    return err == EEXIST ? EIO : err;
}

/// Calls onEntry(name, d_type) for every entry of the open folder `fd`, "." and
/// ".." included, then closes `fd`. `between`, when set, is asked after each
/// batch whether to go on. False when it stopped the listing or reading failed
/// (EIO, EUCLEAN on a damaged folder): that is not the end of the listing.
template <class OnEntry>
bool ReadEntries(int fd, const FileSystem::BetweenBatches* between, OnEntry&& onEntry) {
    bool stopped = false;
#if defined(__linux__)
    // Straight to the kernel: readdir would add an allocation and three
    // system calls (two fcntl, one fstat) to every folder listed.
    alignas(dirent64) char buffer[32768];
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            stopped = true;
        if (got <= 0)
            break;
        for (ssize_t pos = 0; pos < got;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer + pos);
            onEntry(e->d_name, e->d_type);
            pos += e->d_reclen;
        }
        if (between && !(*between)()) {
            stopped = true;
            break;
        }
    }
    // onEntry may still use fd (for fstatat), so it is closed only here.
    ::close(fd);
#else
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    // About one buffer of the system's entries per batch.
    constexpr long kBatch = 512;
    long count = 0;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            stopped = errno != 0;
            break;
        }
        onEntry(e->d_name, e->d_type);
        if (between && ++count % kBatch == 0 && !(*between)()) {
            stopped = true;
            break;
        }
    }
    ::closedir(dir);
#endif
    return !stopped;
}

/// A byte-range lock on the open lock file: it goes with the descriptor, so a
/// killed run leaves no lock behind.
class RangeLock : public FolderLock {
public:
    explicit RangeLock(int fd) : m_fd(fd) {}
    ~RangeLock() override { ::close(m_fd); }

private:
    int m_fd;
};

/// Opens the lock file for writing, never through a link or into a FIFO. It
/// is made, or set when ours, readable only by those who may write it: a read
/// lock taken by a user who may only read would shut every run out. (Made
/// without read rights first, so no reader can open it in between.)
int OpenLockFile(const std::string& path) {
    int fd = OpenAt(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK, 0222);
    if (fd < 0 && errno == EEXIST)
        fd = OpenAt(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const mode_t writers = st.st_mode & 0222;
    if (st.st_uid == ::geteuid() && (st.st_mode & 0666) != (writers | writers << 1))
        ::fchmod(fd, writers | writers << 1);
    return fd;
}

#ifdef O_PATH
constexpr int kHoldFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;  // no right to read the folder needed
#else
constexpr int kHoldFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

bool OwnOrAdministrators(const struct stat& st) {
    return st.st_uid == ::geteuid() || st.st_uid == 0;
}

class PosixHeldFolders final : public HeldFolders {
public:
    ~PosixHeldFolders() override {
        for (const auto& held : m_held)
            HeldRegistry::Instance().Remove(held);
    }

    int Hold(const std::string& folder) override {
        auto held = std::make_shared<HeldFolder>();
        held->Path = WithoutTrailingSeparators(folder);
        const size_t cut = held->Path.rfind(kPathSep);
        if (cut != std::string::npos && cut + 1 < held->Path.size())
            held->Parent = HeldRegistry::Instance().Exactly(std::string_view(held->Path).substr(0, cut == 0 ? 1 : cut));
        if (held->Parent) {
            held->Name = held->Path.substr(cut + 1);
            if (const int err = OpenInParent(*held); err != 0)
                return err;
        } else {
            // The folder the user chose, as its path leads to it today.
            held->Fd = OpenAt(held->Path, kHoldFlags);
            if (held->Fd < 0)
                return errno;
        }
        struct stat st {};
        if (::fstat(held->Fd, &st) != 0)
            return errno;
        held->Device = st.st_dev;
        held->Inode = st.st_ino;
        HeldRegistry::Instance().Add(held);
        m_held.push_back(std::move(held));
        return 0;
    }

    void Release(const std::string& folder) override {
        const std::string_view path = WithoutTrailingSeparators(folder);
        for (auto it = m_held.rbegin(); it != m_held.rend(); ++it) {
            if ((*it)->Path == path) {
                HeldRegistry::Instance().Remove(*it);
                m_held.erase(std::next(it).base());
                return;
            }
        }
    }

    std::string Moved() override {
        for (const auto& held : m_held) {
            struct stat st {};
            const int looked = held->Parent ? ::fstatat(held->Parent->Fd, held->Name.c_str(), &st, 0)
                                            : ::stat(held->Path.c_str(), &st);
            if (looked != 0 && errno == ENAMETOOLONG)
                continue;  // past the system's limit: only the held folders inside can be checked
            if (looked != 0 || st.st_dev != held->Device || st.st_ino != held->Inode)
                return held->Path;
        }
        return {};
    }

private:
    /// Opens the folder through the one holding it, never through another
    /// user's link, nor into another user's folder where anyone could have made it.
    static int OpenInParent(HeldFolder& held) {
        const int parent = held.Parent->Fd;
        const char* name = held.Name.c_str();
        held.Fd = ::openat(parent, name, kHoldFlags | O_NOFOLLOW);
        struct stat link {};
        if (held.Fd < 0) {
            const int err = errno;
            if (::fstatat(parent, name, &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
                return err;
            if (!OwnOrAdministrators(link))
                return EPERM;
            held.Fd = ::openat(parent, name, kHoldFlags);
            struct stat again {};
            // The link opened must be the one checked, not another swapped in meanwhile.
            if (held.Fd >= 0 && (::fstatat(parent, name, &again, AT_SYMLINK_NOFOLLOW) != 0 ||
                                 again.st_ino != link.st_ino || again.st_dev != link.st_dev))
                return EPERM;
            return held.Fd < 0 ? errno : 0;
        }
        struct stat st {};
        struct stat outer {};
        if (::fstat(held.Fd, &st) != 0 || ::fstat(parent, &outer) != 0)
            return errno;
        if (!OwnOrAdministrators(st) && (outer.st_mode & S_IWOTH) != 0)
            return EPERM;
        return 0;
    }

    std::vector<std::shared_ptr<const HeldFolder>> m_held;
};

class PosixFileSystem final : public FileSystem {
public:
    bool ListFolder(const std::string& folder, std::vector<DirEntry>& out, FolderId* id) override {
        return List(folder, out, id, nullptr);
    }

    bool ListFolderInBatches(const std::string& folder, std::vector<DirEntry>& out, FolderId* id,
                             const BetweenBatches& between) override {
        return List(folder, out, id, between ? &between : nullptr);
    }

    bool GetFolderId(const std::string& path, FolderId& id) override {
        struct stat st {};
        if (!StatAt(path, st, 0) || !S_ISDIR(st.st_mode))
            return false;
        id = FolderId{static_cast<uint64_t>(st.st_dev), st.st_ino};
        return true;
    }

    int CheckFolder(const std::string& path) override {
        if (path.empty())
            return ENOENT;
        AtPath at(path);
        if (!at.ok())
            return at.Error();
        struct stat st {};
        if (::fstatat(at.dir(), at.rest(), &st, 0) != 0)
            return errno;
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        // Entering a folder needs search permission.
        if (::faccessat(at.dir(), at.rest(), X_OK, 0) != 0)
            return errno;
        return 0;
    }

    bool Exists(const std::string& path) override {
        struct stat st {};
        return StatAt(path, st, AT_SYMLINK_NOFOLLOW);
    }

    bool CreateFolder(const std::string& path, std::string* err) override {
        AtPath at(path);
        if (at.ok() && ::mkdirat(at.dir(), at.rest(), 0777) == 0)
            return true;
        if (err)
            *err = ErrorText(errno);
        return false;
    }

    bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* err) override {
        std::string temp;
        int fd = -1;
        for (int tries = 0; fd < 0 && tries < kTemporaryNameTries; ++tries) {
            temp = TemporaryPath(path);
            fd = OpenAt(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0) {
            if (err)
                *err = ErrorText(errno);
            return false;
        }
        int saved = WriteAndClose(fd, data);
        bool ok = saved == 0;
        if (ok && !RenameAt(temp, path)) {
            ok = false;
            saved = errno;
        }
        if (!ok) {
            UnlinkAt(temp);
            if (err)
                *err = ErrorText(saved);
        }
        return ok;
    }

    int WriteNewFile(const std::string& path, std::string_view data) override {
        const int fd = OpenAt(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd < 0)
            return errno;
        const int saved = WriteAndClose(fd, data);
        if (saved != 0)
            UnlinkAt(path);
        return saved;
    }

    int CreateNewFile(const std::string& path) override {
        const int fd = OpenAt(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd < 0)
            return errno;
        ::close(fd);
        return 0;
    }

    bool IsForeignLink(const std::string& path) override {
        struct stat st {};
        return StatAt(path, st, AT_SYMLINK_NOFOLLOW) && S_ISLNK(st.st_mode) && st.st_uid != ::geteuid() &&
               st.st_uid != 0;
    }

    /// Opens a regular file for reading. A FIFO or device named like a picture
    /// or a page would block or never end, so only regular files are opened.
    static int OpenRegular(const std::string& path) {
        int fd = OpenAt(path, O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            return -1;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            errno = EINVAL;
            return -1;
        }
        return fd;
    }

    bool ReadPrefix(const std::string& path, size_t limit, std::string& out) override {
        out.clear();
        int fd = OpenRegular(path);
        if (fd < 0)
            return false;
        out.resize(limit);
        ssize_t n = ::read(fd, out.data(), limit);
        ::close(fd);
        if (n < 0) {
            out.clear();
            return false;
        }
        out.resize(static_cast<size_t>(n));
        return true;
    }

    bool ReadWhole(const std::string& path, size_t limit, std::string& out) override {
        out.clear();
        const int fd = OpenRegular(path);
        if (fd < 0)
            return false;
        struct stat st {};
        bool ok = ::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) <= limit;
        if (ok) {
            // To the size the open file has: no read more to find the end, which costs a round trip on a network drive.
            out.resize(static_cast<size_t>(st.st_size));
            size_t got = 0;
            while (got < out.size()) {
                const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    ok = n == 0;  // shorter than it was: what is there is the file
                    break;
                }
                got += static_cast<size_t>(n);
            }
            out.resize(ok ? got : 0);
        }
        ::close(fd);
        return ok;
    }

    bool RemoveFile(const std::string& path) override { return UnlinkAt(path); }

    bool RemoveEmptyFolder(const std::string& path) override {
        AtPath at(path);
        return at.ok() && ::unlinkat(at.dir(), at.rest(), AT_REMOVEDIR) == 0;
    }

    bool RenameFile(const std::string& from, const std::string& to) override { return RenameAt(from, to); }

    int CopyFile(const std::string& from, const std::string& to) override {
        int in = OpenRegular(from);
        if (in < 0)
            return errno;
        std::string data;
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                int e = errno;
                ::close(in);
                return e;
            }
            if (n == 0)
                break;
            data.append(buf, static_cast<size_t>(n));
        }
        ::close(in);
        std::string err;
        return WriteFileAtomic(to, data, &err) ? 0 : EIO;
    }

    bool IsRegularFile(const std::string& path) override {
        struct stat st {};
        return StatAt(path, st, 0) && S_ISREG(st.st_mode);
    }

    bool GetFileStamp(const std::string& path, FileStamp& stamp) override {
        struct stat st {};
        if (!StatAt(path, st, 0) || !S_ISREG(st.st_mode))
            return false;
        stamp.Size = static_cast<uint64_t>(st.st_size);
        stamp.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        return true;
    }

    bool GetFileIdentity(const std::string& path, FileIdentity& out) override {
        struct stat st {};
        return StatAt(path, st, 0) && IdentityOf(st, out);
    }

    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        int fd = OpenRegular(path);
        if (fd < 0)
            return nullptr;
        return std::make_unique<NativeInputFile>(fd);
    }

    void Flush(const std::string& folder) override {
        // One flush of the whole file system: far cheaper than one per file.
        const int fd = OpenAt(folder, O_RDONLY | O_DIRECTORY);
        if (fd >= 0) {
            ::syncfs(fd);
            ::close(fd);
        }
    }

    std::unique_ptr<FolderLock> LockFolder(const std::string& folder, bool& busy) override {
        busy = false;
        const int fd = OpenLockFile(JoinPath(folder, kLockFileName));
        if (fd < 0)
            return std::make_unique<FolderLock>();
        // The first byte, as a Windows run locks it. A lock of the open file (not
        // of the process) also keeps out a second run within the same process.
        struct flock range {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = 0;
        range.l_len = 1;
#ifdef F_OFD_SETLK
        const int locked = ::fcntl(fd, F_OFD_SETLK, &range);
#else
        const int locked = ::fcntl(fd, F_SETLK, &range);
#endif
        if (locked == 0)
            return std::make_unique<RangeLock>(fd);
        busy = errno == EAGAIN || errno == EACCES;
        ::close(fd);
        // Any other failure is a file system without locks (some network drives): go on unlocked.
        return busy ? nullptr : std::make_unique<FolderLock>();
    }

    // Every call stands alone on descriptors of its own.
    bool ReadsAreThreadSafe() const override { return true; }
    bool ListingsAreThreadSafe() const override { return true; }
    bool WritesAreThreadSafe() const override { return true; }
    void ForgetOpenFolders() override { OpenFolderSteps::Instance().Clear(); }
    std::unique_ptr<HeldFolders> HoldFolders() override { return std::make_unique<PosixHeldFolders>(); }

private:
    bool List(const std::string& folder, std::vector<DirEntry>& out, FolderId* id, const BetweenBatches* between) {
        out.clear();
        const int fd = OpenAt(folder, O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        if (id) {
            struct stat st {};
            if (::fstat(fd, &st) == 0)
                *id = FolderId{static_cast<uint64_t>(st.st_dev), st.st_ino};
        }
        const bool whole = ReadEntries(fd, between, [&](const char* n, unsigned char type) {
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                return;
            DirEntry& entry = out.emplace_back();
            entry.Name = n;
            if (type == DT_DIR) {
                entry.IsDir = true;
            } else if (type == DT_REG) {
                entry.IsFile = true;
            } else if (type == DT_LNK || type == DT_UNKNOWN) {
                // Only links and file systems without types cost a stat, relative to the open folder.
                struct stat st {};
                bool known = false;
                if (type == DT_UNKNOWN) {
                    if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                        entry.IsLink = S_ISLNK(st.st_mode);
                        known = !entry.IsLink;
                    }
                } else {
                    entry.IsLink = true;
                }
                if (known || ::fstatat(fd, n, &st, 0) == 0) {
                    entry.IsDir = S_ISDIR(st.st_mode);
                    entry.IsFile = S_ISREG(st.st_mode);
                }
            }
        });
        if (!whole)
            out.clear();
        return whole;
    }
};

}  // namespace

FileSystem& NativeFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

uint64_t SystemRandomBits() {
    uint64_t bits = 0;
    for (size_t got = 0; got < sizeof bits;) {
        const ssize_t n = ::getrandom(reinterpret_cast<char*>(&bits) + got, sizeof bits - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (errno != EINTR)
            break;
    }
    return bits;
}

// A typed path is the path itself here; NormalizeFolder reads it as a shell would.
std::string SystemFullPath(std::string_view) { return {}; }

}  // namespace kavo

#endif  // !_WIN32
