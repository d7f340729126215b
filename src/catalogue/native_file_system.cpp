// The POSIX file system behind FileSystem.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "catalogue/file_system.h"

namespace kavo {
namespace {

std::string ErrorText(int err) { return std::strerror(err); }

class NativeInputFile : public InputFile {
public:
    explicit NativeInputFile(int fd) : m_fd(fd) {}
    ~NativeInputFile() override { ::close(m_fd); }

    size_t Read(void* buffer, size_t n) override {
        for (;;) {
            ssize_t got = ::read(m_fd, buffer, n);
            if (got >= 0) return static_cast<size_t>(got);
            if (errno != EINTR) return 0;
        }
    }
    bool Skip(int64_t n) override { return ::lseek(m_fd, static_cast<off_t>(n), SEEK_CUR) != static_cast<off_t>(-1); }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view data) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

class PosixFileSystem final : public FileSystem {
public:
    bool ListFolder(const std::string& folder, std::vector<DirEntry>& out, FolderId* id) override {
        out.clear();
        DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
        if (!dir) return false;
        if (id) {
            struct stat st {};
            if (::fstat(::dirfd(dir), &st) == 0) *id = FolderId{static_cast<uint64_t>(st.st_dev), st.st_ino};
        }
        const std::string prefix = (folder.empty() || folder.back() == kPathSep) ? folder : folder + kPathSep;
        while (dirent* e = ::readdir(dir)) {
            const char* n = e->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
            DirEntry entry;
            entry.Name = n;
            unsigned char type = e->d_type;
            if (type == DT_DIR) {
                entry.IsDir = true;
            } else if (type == DT_LNK || type == DT_UNKNOWN) {
                // Only links and file systems without types cost a stat.
                struct stat st {};
                std::string path = prefix + entry.Name;
                if (type == DT_UNKNOWN) {
                    struct stat lst {};
                    if (::lstat(path.c_str(), &lst) == 0) entry.IsLink = S_ISLNK(lst.st_mode);
                } else {
                    entry.IsLink = true;
                }
                if (::stat(path.c_str(), &st) == 0) entry.IsDir = S_ISDIR(st.st_mode);
            }
            out.push_back(std::move(entry));
        }
        ::closedir(dir);
        return true;
    }

    bool GetFolderId(const std::string& path, FolderId& id) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
        id = FolderId{static_cast<uint64_t>(st.st_dev), st.st_ino};
        return true;
    }

    int CheckFolder(const std::string& path) override {
        if (path.empty()) return ENOENT;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return errno;
        if (!S_ISDIR(st.st_mode)) return ENOTDIR;
        // Entering a folder needs search permission.
        if (::access(path.c_str(), X_OK) != 0) return errno;
        return 0;
    }

    bool Exists(const std::string& path) override {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0;
    }

    bool CreateFolder(const std::string& path, std::string* err) override {
        if (::mkdir(path.c_str(), 0777) == 0) return true;
        if (err) *err = ErrorText(errno);
        return false;
    }

    bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* err) override {
        static std::atomic<unsigned> serial{0};
        std::string temp = path + ".kavo-tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (err) *err = ErrorText(errno);
            return false;
        }
        bool ok = WriteAll(fd, data);
        int saved = errno;
        if (::close(fd) != 0 && ok) {
            ok = false;
            saved = errno;
        }
        if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
            ok = false;
            saved = errno;
        }
        if (!ok) {
            ::unlink(temp.c_str());
            if (err) *err = ErrorText(saved);
        }
        return ok;
    }

    bool ReadPrefix(const std::string& path, size_t limit, std::string& out) override {
        out.clear();
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
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

    bool RemoveFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

    bool RenameFile(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }

    int CopyFile(const std::string& from, const std::string& to) override {
        int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) return errno;
        std::string data;
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0) {
                if (errno == EINTR) continue;
                int e = errno;
                ::close(in);
                return e;
            }
            if (n == 0) break;
            data.append(buf, static_cast<size_t>(n));
        }
        ::close(in);
        std::string err;
        return WriteFileAtomic(to, data, &err) ? 0 : EIO;
    }

    bool IsRegularFile(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        return std::make_unique<NativeInputFile>(fd);
    }
};

}  // namespace

FileSystem& NativeFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace kavo
