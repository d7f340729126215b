// Reference for a drive with round trips: a walk that hides the waiting by
// listing folders on THREADS threads side by side (every folder once, dot
// folders not entered, links not followed), and with --read also opens every
// file named like a picture, reads 4 KB and closes it on those threads. No
// order is kept and nothing is written: the least a run needs to wait for.
// Prints the counts as one JSON object.
//
// Usage: net_walk [--threads=N] [--read] FOLDER

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

bool IsPictureName(const char* name) {
    const size_t n = std::strlen(name);
    if (n < 4)
        return false;
    char end[4];
    for (int i = 0; i < 4; ++i) {
        const char c = name[n - 4 + i];
        end[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (const char* ext : {".jpg", "jpeg", ".jpe", ".gif", ".bmp", ".png"}) {
        if (std::memcmp(end, ext, 4) == 0)
            return true;
    }
    return false;
}

struct Job {
    std::string Path;
    bool IsFolder;
};

class Pool {
public:
    explicit Pool(bool read) : m_read(read) {}

    void Run(const std::string& root, int threads) {
        m_jobs.push_back({root, true});
        m_pending = 1;
        std::vector<std::thread> pool;
        for (int i = 0; i < threads; ++i)
            pool.emplace_back([this] { Work(); });
        for (std::thread& t : pool)
            t.join();
    }

    std::atomic<long> entries{0}, folders{0}, pictures{0}, unlisted{0};

private:
    void Work() {
        char buffer[4096];
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [&] { return !m_jobs.empty() || m_pending == 0; });
            if (m_jobs.empty())
                return;
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            std::vector<Job> found;
            if (job.IsFolder) {
                List(job.Path, found);
            } else {
                const int fd = ::open(job.Path.c_str(), O_RDONLY);
                if (fd >= 0) {
                    (void)!::read(fd, buffer, sizeof buffer);
                    ::close(fd);
                }
            }
            lock.lock();
            for (Job& j : found)
                m_jobs.push_back(std::move(j));
            m_pending += static_cast<long>(found.size()) - 1;
            m_ready.notify_all();
        }
    }

    // getdents64 and openat as kavo-cli calls them: readdir's own calls inside
    // the C library would pass by a preloaded shim.
    void List(const std::string& folder, std::vector<Job>& found) {
        const int fd = ::openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            ++unlisted;
            return;
        }
        alignas(dirent64) char buffer[32768];
        for (;;) {
            const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t pos = 0; pos < got;) {
                const auto* e = reinterpret_cast<const dirent64*>(buffer + pos);
                pos += e->d_reclen;
                const char* name = e->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                ++entries;
                bool isDir = e->d_type == DT_DIR;
                if (e->d_type == DT_UNKNOWN) {
                    struct stat st;
                    isDir = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
                }
                if (isDir) {
                    ++folders;
                    if (name[0] != '.')
                        found.push_back({folder + name + '/', true});
                } else if (IsPictureName(name)) {
                    ++pictures;
                    if (m_read)
                        found.push_back({folder + name, false});
                }
            }
        }
        ::close(fd);
    }

    const bool m_read;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Job> m_jobs;
    long m_pending = 0;  // jobs queued or being done
};

}  // namespace

int main(int argc, char** argv) {
    int threads = 16;
    bool read = false;
    const char* root = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--threads=", 10) == 0)
            threads = std::atoi(argv[i] + 10);
        else if (std::strcmp(argv[i], "--read") == 0)
            read = true;
        else
            root = argv[i];
    }
    if (!root || threads < 1) {
        std::fprintf(stderr, "usage: net_walk [--threads=N] [--read] FOLDER\n");
        return 1;
    }
    std::string start = root;
    if (start.back() != '/')
        start += '/';
    Pool pool(read);
    pool.Run(start, threads);
    std::printf("{\"entries\":%ld,\"folders\":%ld,\"pictures\":%ld,\"unlisted\":%ld}\n", pool.entries.load(),
                pool.folders.load(), pool.pictures.load(), pool.unlisted.load());
    return 0;
}
