#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "fs/file_system.h"

namespace kavo::fuzz {

/// A file served from memory. `chunk` caps each read, as a pipe or a network
/// drive returns short reads; 0 reads as much as asked.
class MemoryInputFile : public InputFile {
public:
    MemoryInputFile(std::string_view data, size_t chunk) : m_data(data), m_chunk(chunk) {}

    size_t Read(void* buffer, size_t n) override {
        if (m_pos >= m_data.size())
            return 0;
        n = std::min(n, m_data.size() - m_pos);
        if (m_chunk != 0)
            n = std::min(n, m_chunk);
        std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        bytesRead += n;
        return n;
    }

    // Like lseek: moving past the end is allowed, before the start is not.
    bool Skip(int64_t n) override {
        if (n < 0 && static_cast<uint64_t>(-n) > m_pos)
            return false;
        m_pos = static_cast<size_t>(static_cast<int64_t>(m_pos) + n);
        return true;
    }

    size_t bytesRead = 0;

private:
    std::string_view m_data;
    size_t m_pos = 0;
    size_t m_chunk;
};

/// Holds files by path and nothing else: every other operation fails.
class MemoryFileSystem : public FileSystem {
public:
    std::map<std::string, std::string> files;
    size_t chunk = 0;

    bool ListFolder(const std::string&, std::vector<DirEntry>& out, FolderId*) override {
        out.clear();
        return false;
    }
    bool GetFolderId(const std::string&, FolderId&) override { return false; }
    int CheckFolder(const std::string&) override { return 2; }
    bool Exists(const std::string& path) override { return files.count(path) != 0; }
    bool CreateFolder(const std::string&, std::string*) override { return false; }
    bool WriteFileAtomic(const std::string&, std::string_view, std::string*) override { return false; }
    bool ReadPrefix(const std::string&, size_t, std::string&) override { return false; }
    bool RemoveFile(const std::string&) override { return false; }
    bool RenameFile(const std::string&, const std::string&) override { return false; }
    int CopyFile(const std::string&, const std::string&) override { return 5; }
    bool IsRegularFile(const std::string& path) override { return Exists(path); }
    std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end())
            return nullptr;
        return std::make_unique<MemoryInputFile>(it->second, chunk);
    }
};

}  // namespace kavo::fuzz
