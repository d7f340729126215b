#include "support/test_support.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace kavo::test {

TempDir::TempDir() {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        m_path = base / ("kavo-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(m_path)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void TempDir::Write(const std::string& relative, std::string_view content) const {
    auto p = m_path / Utf8Path(relative);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void TempDir::MakeDir(const std::string& relative) const { std::filesystem::create_directories(m_path / Utf8Path(relative)); }

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '/', kPathSep);
    return path;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

void RecordingObserver::Yield() {
    ++yields;
    if (m_cancel && m_cancelAfter >= 0 && yields >= m_cancelAfter) m_cancel->Request();
}

}  // namespace kavo::test
