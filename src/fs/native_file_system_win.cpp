// The Windows file system behind FileSystem: the wide-character API, with
// every path given the \\?\ prefix so that no call stops at MAX_PATH.
#ifdef _WIN32

#include "fs/windows_api.h"

#include <aclapi.h>
#include <bcrypt.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "fs/paths.h"
#include "fs/temporary_names.h"
#include "fs/file_system.h"
#include "fs/wide_text.h"

namespace kavo {
namespace {

/// The error numbers the interface reports, from the system's error code.
int ErrnoFrom(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_PATHNAME:
            return ENOENT;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        default:
            return EIO;
    }
}

/// The system's own text for an error code, as the user's Windows words it.
std::string ErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n ? Utf8FromWide({buffer, n}) : "error " + std::to_string(error);
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

/// The path as the wide-character calls take it: "\\?\C:\…" or "\\?\UNC\server\…".
/// The prefix turns off the system's own clean-up of paths, so relative paths
/// and "." or ".." steps are resolved here first; "/" is accepted as a separator.
std::wstring SystemPath(const std::string& path) {
    std::wstring wide = WideFromUtf8(path);
    if (wide.rfind(LR"(\\?\)", 0) == 0)
        return wide;
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    const bool driveAbsolute = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\';
    const bool unc = wide.size() >= 2 && wide[0] == L'\\' && wide[1] == L'\\';
    const bool dotSteps = wide.find(L"\\.\\") != std::wstring::npos || wide.find(L"\\..\\") != std::wstring::npos ||
                          wide.ends_with(L"\\.") || wide.ends_with(L"\\..") || wide == L"." || wide == L"..";
    if ((!driveAbsolute && !unc) || dotSteps) {
        const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
        if (need != 0) {
            std::wstring full(need, L'\0');
            const DWORD got = ::GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
            if (got != 0 && got < need) {
                full.resize(got);
                wide = std::move(full);
            }
        }
    }
    // "\\.\" reaches the same names as "\\?\" once the path is clean.
    if (wide.rfind(LR"(\\.\)", 0) == 0)
        return LR"(\\?\)" + wide.substr(4);
    if (wide.size() >= 2 && wide[0] == L'\\' && wide[1] == L'\\')
        return LR"(\\?\UNC\)" + wide.substr(2);
    return LR"(\\?\)" + wide;
}

/// Owns a handle; both kinds of "no handle" count as none.
class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~Handle() {
        if (ok())
            ::CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    HANDLE get() const { return m_h; }
    void reset(HANDLE h) {
        if (ok())
            ::CloseHandle(m_h);
        m_h = h;
    }
    HANDLE release() {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE m_h;
};

/// Opens the file or folder a path leads to (links followed), only to ask about it.
HANDLE OpenForInfo(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool InfoOf(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    Handle h(OpenForInfo(path));
    return h.ok() && ::GetFileInformationByHandle(h.get(), &info);
}

FolderId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return FolderId{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

bool IsFolder(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class WinInputFile : public InputFile {
public:
    explicit WinInputFile(HANDLE h) : m_h(h) {}

    size_t Read(void* buffer, size_t n) override {
        DWORD got = 0;
        const DWORD ask = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        return ::ReadFile(m_h.get(), buffer, ask, &got, nullptr) ? got : 0;
    }
    bool Skip(int64_t n) override {
        LARGE_INTEGER by;
        by.QuadPart = n;
        return ::SetFilePointerEx(m_h.get(), by, nullptr, FILE_CURRENT) != 0;
    }

private:
    Handle m_h;
};

bool WriteAll(HANDLE h, std::string_view data) {
    while (!data.empty()) {
        const DWORD ask = data.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!::WriteFile(h, data.data(), ask, &written, nullptr))
            return false;
        data.remove_prefix(written);
    }
    return true;
}

/// Reads at most `limit` bytes from the current position.
bool ReadUpTo(HANDLE h, size_t limit, std::string& out) {
    out.resize(limit);
    size_t have = 0;
    while (have < limit) {
        DWORD got = 0;
        const size_t left = limit - have;
        const DWORD ask = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        if (!::ReadFile(h, out.data() + have, ask, &got, nullptr)) {
            out.clear();
            return false;
        }
        if (got == 0)
            break;
        have += got;
    }
    out.resize(have);
    return true;
}

/// The lock of a catalogue: a byte-range lock on the open lock file, which the
/// system releases when the handle closes, so a killed run leaves no lock behind.
class LockFile : public FolderLock {
public:
    explicit LockFile(HANDLE h) : m_h(h) {}

private:
    Handle m_h;
};

/// True when `owner` is the user running, the system or the administrators
/// (who own what an elevated administrator makes).
bool OwnerIsTrusted(PSID owner) {
    if (::IsWellKnownSid(owner, WinLocalSystemSid) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid))
        return true;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return true;  // who runs cannot be told: nothing is refused on a guess
    const Handle tokenHandle(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return true;
    return ::EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid) != 0;
}

/// True for an error that says something is at the name already.
bool NameTaken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

/// Makes a new file for writing, never through a link or over another file.
HANDLE CreateNew(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

/// Folders held by handles that do not share deletion: while the run holds
/// one, the system refuses to rename or remove it (or the link at its name),
/// so every call by name still reaches the folder the run checked.
class WindowsHeldFolders final : public HeldFolders {
public:
    explicit WindowsHeldFolders(FileSystem& fs) : m_fs(fs) {}
    ~WindowsHeldFolders() override {
        for (const HeldHandle& held : m_held)
            ::CloseHandle(held.Handle);
    }

    int Hold(const std::string& folder) override {
        if (m_fs.IsForeignLink(folder))
            return EPERM;
        const HANDLE h = Open(folder);
        BY_HANDLE_FILE_INFORMATION info;
        if (h == INVALID_HANDLE_VALUE)
            return ErrnoFrom(::GetLastError());
        if (!::GetFileInformationByHandle(h, &info)) {
            const int err = ErrnoFrom(::GetLastError());
            ::CloseHandle(h);
            return err;
        }
        m_held.push_back({h, folder, IdOf(info)});
        return 0;
    }

    void Release(const std::string& folder) override {
        for (auto it = m_held.rbegin(); it != m_held.rend(); ++it) {
            if (it->Path == folder) {
                ::CloseHandle(it->Handle);
                m_held.erase(std::next(it).base());
                return;
            }
        }
    }

    std::string Moved() override {
        for (const HeldHandle& held : m_held) {
            // Another look by name, sharing everything, beside the held handle.
            Handle now(::CreateFileW(SystemPath(held.Path).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            BY_HANDLE_FILE_INFORMATION info;
            if (!now.ok() || !::GetFileInformationByHandle(now.get(), &info) || !(IdOf(info) == held.Id))
                return std::string(WithoutTrailingSeparators(held.Path));
        }
        return {};
    }

private:
    struct HeldHandle {
        HANDLE Handle;
        std::string Path;
        FolderId Id;
    };

    static HANDLE Open(const std::string& folder) {
        // The link itself where there is one (the check above found it the user's own).
        return ::CreateFileW(SystemPath(folder).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                             nullptr);
    }

    FileSystem& m_fs;
    std::vector<HeldHandle> m_held;
};

class WindowsFileSystem final : public FileSystem {
public:
    bool ListFolder(const std::string& folder, std::vector<DirEntry>& out, FolderId* id) override {
        return ListFolderInBatches(folder, out, id, {});
    }

    bool ListFolderInBatches(const std::string& folder, std::vector<DirEntry>& out, FolderId* id,
                             const BetweenBatches& between) override {
        // About what one large fetch brings from the system.
        constexpr size_t kBatch = 512;
        out.clear();
        std::wstring path = SystemPath(folder);
        if (id) {
            BY_HANDLE_FILE_INFORMATION info;
            if (InfoOf(path, info))
                *id = IdOf(info);
        }
        if (!path.ends_with(L'\\'))
            path += L'\\';
        path += L'*';
        WIN32_FIND_DATAW data;
        // The short 8.3 names are not wanted, and larger batches mean fewer calls into the system.
        const HANDLE found = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                                FIND_FIRST_EX_LARGE_FETCH);
        if (found == INVALID_HANDLE_VALUE) {
            // Only the root of an empty drive lacks even "." and "..".
            return ::GetLastError() == ERROR_FILE_NOT_FOUND && CheckFolder(folder) == 0;
        }
        // A search is ended by FindClose, not CloseHandle.
        const std::unique_ptr<void, decltype(&::FindClose)> find(found, &::FindClose);
        std::wstring folderPath = path;
        folderPath.pop_back();
        do {
            const wchar_t* n = data.cFileName;
            if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0)))
                continue;
            DirEntry& entry = out.emplace_back();
            entry.Name = Utf8FromWide(n);
            entry.IsDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry.IsFile = !entry.IsDir && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK || data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT)) {
                // What a link leads to is told by its target, not by the link.
                entry.IsLink = true;
                BY_HANDLE_FILE_INFORMATION info;
                const bool reached = InfoOf(folderPath + n, info);
                entry.IsDir = reached && IsFolder(info);
                entry.IsFile = reached && !IsFolder(info);
            }
            if (between && out.size() % kBatch == 0 && !between()) {
                out.clear();
                return false;
            }
        } while (::FindNextFileW(find.get(), &data));
        // A read that fails part way (a damaged folder, a lost connection) is not the end.
        if (::GetLastError() != ERROR_NO_MORE_FILES) {
            out.clear();
            return false;
        }
        return true;
    }

    bool GetFolderId(const std::string& path, FolderId& id) override {
        BY_HANDLE_FILE_INFORMATION info;
        if (!InfoOf(SystemPath(path), info) || !IsFolder(info))
            return false;
        id = IdOf(info);
        return true;
    }

    int CheckFolder(const std::string& path) override {
        if (path.empty())
            return ENOENT;
        Handle h(OpenForInfo(SystemPath(path)));
        if (!h.ok())
            return ErrnoFrom(::GetLastError());
        BY_HANDLE_FILE_INFORMATION info;
        if (!::GetFileInformationByHandle(h.get(), &info))
            return ErrnoFrom(::GetLastError());
        return IsFolder(info) ? 0 : ENOTDIR;
    }

    bool Exists(const std::string& path) override {
        return ::GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool CreateFolder(const std::string& path, std::string* err) override {
        if (::CreateDirectoryW(SystemPath(path).c_str(), nullptr))
            return true;
        if (err)
            *err = ErrorText(::GetLastError());
        return false;
    }

    bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* err) override {
        const std::wstring target = SystemPath(path);
        std::wstring temp;
        DWORD error = ERROR_SUCCESS;
        {
            Handle h;
            for (int tries = 0; !h.ok() && tries < kTemporaryNameTries; ++tries) {
                temp = SystemPath(TemporaryPath(path));
                h.reset(CreateNew(temp));
                if (!h.ok() && !NameTaken(::GetLastError()))
                    break;
            }
            if (!h.ok()) {
                if (err)
                    *err = ErrorText(::GetLastError());
                return false;
            }
            if (!WriteAll(h.get(), data))
                error = ::GetLastError();
        }
        // The handle is closed before the rename: an open file cannot be moved over another.
        if (error == ERROR_SUCCESS && !::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            error = ::GetLastError();
        if (error == ERROR_SUCCESS)
            return true;
        ::DeleteFileW(temp.c_str());
        if (err)
            *err = ErrorText(error);
        return false;
    }

    int WriteNewFile(const std::string& path, std::string_view data) override {
        const std::wstring name = SystemPath(path);
        DWORD error = ERROR_SUCCESS;
        {
            Handle h(CreateNew(name));
            if (!h.ok())
                return ErrnoFrom(::GetLastError());
            if (!WriteAll(h.get(), data))
                error = ::GetLastError();
            // Renamed into place next, the file must be on the disk first, or a
            // power cut can leave the page empty. Each file is flushed here:
            // flushing a whole volume, as Linux does once, needs an
            // administrator. Best effort, as there: some redirectors cannot.
            else
                ::FlushFileBuffers(h.get());
        }
        if (error == ERROR_SUCCESS)
            return 0;
        ::DeleteFileW(name.c_str());
        return ErrnoFrom(error);
    }

    int CreateNewFile(const std::string& path) override {
        Handle h(CreateNew(SystemPath(path)));
        return h.ok() ? 0 : ErrnoFrom(::GetLastError());
    }

    bool IsForeignLink(const std::string& path) override {
        // Any user who may write a folder can make a junction in it, so links are checked here too.
        Handle h(::CreateFileW(SystemPath(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!h.ok() || !::GetFileInformationByHandleEx(h.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
            (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
            (tag.ReparseTag != IO_REPARSE_TAG_SYMLINK && tag.ReparseTag != IO_REPARSE_TAG_MOUNT_POINT))
            return false;
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (::GetSecurityInfo(h.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS)
            return false;
        const std::unique_ptr<void, decltype(&::LocalFree)> owned(descriptor, &::LocalFree);
        return owner != nullptr && !OwnerIsTrusted(owner);
    }

    /// Opens a file on disk for reading. A folder, pipe or device named like a
    /// picture or a page would fail or block, so only disk files are opened.
    static HANDLE OpenRegular(const std::string& path) {
        HANDLE h = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return h;
        if (::GetFileType(h) != FILE_TYPE_DISK) {
            ::CloseHandle(h);
            ::SetLastError(ERROR_INVALID_FUNCTION);
            return INVALID_HANDLE_VALUE;
        }
        return h;
    }

    bool ReadPrefix(const std::string& path, size_t limit, std::string& out) override {
        out.clear();
        Handle h(OpenRegular(path));
        return h.ok() && ReadUpTo(h.get(), limit, out);
    }

    bool ReadWhole(const std::string& path, size_t limit, std::string& out) override {
        out.clear();
        Handle h(OpenRegular(path));
        LARGE_INTEGER size;
        if (!h.ok() || !::GetFileSizeEx(h.get(), &size) || static_cast<uint64_t>(size.QuadPart) > limit)
            return false;
        return ReadUpTo(h.get(), static_cast<size_t>(size.QuadPart), out);
    }

    bool RemoveFile(const std::string& path) override { return ::DeleteFileW(SystemPath(path).c_str()) != 0; }

    bool RemoveEmptyFolder(const std::string& path) override {
        return ::RemoveDirectoryW(SystemPath(path).c_str()) != 0;
    }

    bool RenameFile(const std::string& from, const std::string& to) override {
        // Replaces an existing target, as rename does on the other systems.
        return ::MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    }

    int CopyFile(const std::string& from, const std::string& to) override {
        Handle in(OpenRegular(from));
        if (!in.ok())
            return ErrnoFrom(::GetLastError());
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(in.get(), &size))
            return ErrnoFrom(::GetLastError());
        std::string data;
        if (!ReadUpTo(in.get(), static_cast<size_t>(size.QuadPart), data))
            return ErrnoFrom(::GetLastError());
        return WriteFileAtomic(to, data, nullptr) ? 0 : EIO;
    }

    std::string NameOnDisk(const std::string& path) override {
        // A search gives the name as stored; a wildcard in the text would find another.
        if (path.find_first_of("*?", path.starts_with(R"(\\?\)") ? 4 : 0) != std::string::npos)
            return {};
        WIN32_FIND_DATAW data;
        const HANDLE found = ::FindFirstFileExW(SystemPath(path).c_str(), FindExInfoBasic, &data,
                                                FindExSearchNameMatch, nullptr, 0);
        if (found == INVALID_HANDLE_VALUE)
            return {};
        ::FindClose(found);
        return Utf8FromWide(data.cFileName);
    }

    bool IsRegularFile(const std::string& path) override {
        BY_HANDLE_FILE_INFORMATION info;
        return InfoOf(SystemPath(path), info) && !IsFolder(info);
    }

    bool GetFileStamp(const std::string& path, FileStamp& stamp) override {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return false;
        stamp.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                               data.ftLastWriteTime.dwLowDateTime;
        // 100 ns steps since 1601, counted from 1970 as elsewhere.
        stamp.ModifiedNs = (static_cast<int64_t>(ticks) - 116444736000000000LL) * 100;
        return true;
    }

    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        HANDLE h = OpenRegular(path);
        if (h == INVALID_HANDLE_VALUE)
            return nullptr;
        return std::make_unique<WinInputFile>(h);
    }

    std::unique_ptr<FolderLock> LockFolder(const std::string& folder, bool& busy) override {
        busy = false;
        // Opened for writing, so a user who may only read cannot lock it; never through a link.
        Handle h(::CreateFileW(SystemPath(JoinPath(folder, kLockFileName)).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!h.ok() || !::GetFileInformationByHandle(h.get(), &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
            // An earlier version's run holds its lock file unshared; any other
            // failure (a read-only share) goes on unlocked.
            busy = !h.ok() && ::GetLastError() == ERROR_SHARING_VIOLATION;
            return busy ? nullptr : std::make_unique<FolderLock>();
        }
        // The first byte, as a Linux run locks it; Samba and Wine carry such locks across.
        OVERLAPPED at{};
        if (::LockFileEx(h.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            return std::make_unique<LockFile>(h.release());
        busy = ::GetLastError() == ERROR_LOCK_VIOLATION;
        // Any other failure is a file system without locks: go on unlocked.
        return busy ? nullptr : std::make_unique<FolderLock>();
    }

    std::unique_ptr<HeldFolders> HoldFolders() override { return std::make_unique<WindowsHeldFolders>(*this); }

    // Every call stands alone on handles of its own.
    bool ReadsAreThreadSafe() const override { return true; }
    bool WritesAreThreadSafe() const override { return true; }
    // Each listing has a search handle of its own.
    bool ListingsAreThreadSafe() const override { return true; }
};

}  // namespace

FileSystem& NativeFileSystem() {
    static WindowsFileSystem fs;
    return fs;
}

uint64_t SystemRandomBits() {
    uint64_t bits = 0;
    ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof bits, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return bits;
}

std::string SystemFullPath(std::string_view typed) {
    // Windows reads a typed path its own way before a "\\?\" goes in front of it:
    // from the current folder of its drive ("Z:pics"), trailing dots and spaces
    // dropped. A path typed with "\\?\" asks for its text as it stands.
    const std::wstring wide = WideFromUtf8(typed);
    if (wide.empty() || wide.starts_with(LR"(\\?\)")) return {};
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    }
    if (n == 0 || n >= full.size()) return {};
    full.resize(n);
    return Utf8FromWide(full);
}

}  // namespace kavo

#endif  // _WIN32
