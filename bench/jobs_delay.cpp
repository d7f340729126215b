// Shows what the reader threads gain where opening a file is slow (a network
// drive): every OpenRead waits DELAY_MS first, through a FileSystem decorator.
// Runs one generation with sizes with 1 reader and one with JOBS readers on
// the same tree, checks that both catalogues are byte for byte the same, and
// prints the times and the speed-up as one JSON object.
//
//   jobs_delay TREE [JOBS=8] [DELAY_MS=1]
//
// The catalogue is written into TREE (kavo/ and index.html) and removed again;
// use a tree without them, e.g. one from make_tree.py --entries 10000.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "catalogue/scan.h"
#include "fs/file_system.h"
#include "catalogue/generate.h"
#include "catalogue/scan.h"

namespace {

namespace fs = std::filesystem;

class DelayedOpens final : public kavo::FileSystem {
public:
    DelayedOpens(kavo::FileSystem& real, std::chrono::microseconds delay) : m_real(real), m_delay(delay) {}

    bool ListFolder(const std::string& f, std::vector<kavo::DirEntry>& out, kavo::FolderId* id) override {
        return m_real.ListFolder(f, out, id);
    }
    bool GetFolderId(const std::string& p, kavo::FolderId& id) override { return m_real.GetFolderId(p, id); }
    int CheckFolder(const std::string& p) override { return m_real.CheckFolder(p); }
    bool Exists(const std::string& p) override { return m_real.Exists(p); }
    bool CreateFolder(const std::string& p, std::string* err) override { return m_real.CreateFolder(p, err); }
    bool WriteFileAtomic(const std::string& p, std::string_view d, std::string* err) override {
        return m_real.WriteFileAtomic(p, d, err);
    }
    bool ReadPrefix(const std::string& p, size_t n, std::string& out) override { return m_real.ReadPrefix(p, n, out); }
    bool RemoveFile(const std::string& p) override { return m_real.RemoveFile(p); }
    bool RenameFile(const std::string& a, const std::string& b) override { return m_real.RenameFile(a, b); }
    int CopyFile(const std::string& a, const std::string& b) override { return m_real.CopyFile(a, b); }
    bool IsRegularFile(const std::string& p) override { return m_real.IsRegularFile(p); }
    std::unique_ptr<kavo::InputFile> OpenRead(const std::string& path) override {
        std::this_thread::sleep_for(m_delay);
        return m_real.OpenRead(path);
    }
    bool ReadsAreThreadSafe() const override { return m_real.ReadsAreThreadSafe(); }

private:
    kavo::FileSystem& m_real;
    std::chrono::microseconds m_delay;
};

using Catalogue = std::map<std::string, std::string>;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void RemoveCatalogue(const fs::path& tree) {
    fs::remove_all(tree / "kavo");
    fs::remove(tree / "index.html");
}

/// One scan and generation with sizes as kavo-cli runs them; returns the seconds of the generation.
double Generate(kavo::FileSystem& fsys, const std::string& tree, int jobs, Catalogue& out) {
    RemoveCatalogue(tree);
    kavo::NullObserver obs;
    kavo::CancelToken cancel;
    kavo::RunRequest in;
    in.Folder = tree;
    in.Jobs = jobs;
    const kavo::ScanResult scan = kavo::RunScan(in, fsys, obs, cancel);
    const auto start = std::chrono::steady_clock::now();
    kavo::RunGeneration(in, scan, fsys, obs, cancel);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& e : fs::recursive_directory_iterator(fs::path(tree) / "kavo")) {
        if (e.is_regular_file())
            out[fs::relative(e.path(), tree).string()] = ReadAll(e.path());
    }
    out["index.html"] = ReadAll(fs::path(tree) / "index.html");
    RemoveCatalogue(tree);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: jobs_delay TREE [JOBS=8] [DELAY_MS=1]\n");
        return 1;
    }
    const std::string tree = argv[1];
    const int jobs = argc > 2 ? std::atoi(argv[2]) : 8;
    const double delayMs = argc > 3 ? std::atof(argv[3]) : 1.0;
    if (fs::exists(fs::path(tree) / "kavo") || fs::exists(fs::path(tree) / "index.html")) {
        std::fprintf(stderr, "jobs_delay: %s already holds a catalogue; use a tree without one\n", tree.c_str());
        return 1;
    }
    DelayedOpens slow(kavo::NativeFileSystem(), std::chrono::microseconds(static_cast<long>(delayMs * 1000)));
    Catalogue one, many;
    const double t1 = Generate(slow, tree, 1, one);
    const double tn = Generate(slow, tree, jobs, many);
    const bool same = one == many;
    std::printf(
        "{\"delay_ms\":%g,\"jobs\":%d,\"files\":%zu,\"seconds_1\":%.3f,\"seconds_n\":%.3f,\"speedup\":%.2f,"
        "\"identical\":%s}\n",
        delayMs, jobs, one.size(), t1, tn, t1 / tn, same ? "true" : "false");
    if (!same) {
        std::fprintf(stderr, "jobs_delay: the catalogues differ\n");
        return 2;
    }
    return 0;
}
