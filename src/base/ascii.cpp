#include "base/ascii.h"

namespace kavo {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool FolderEndsWith(std::string_view folder, std::string_view tail) {
    if (folder.size() < tail.size()) return false;
    folder.remove_prefix(folder.size() - tail.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        const char c = folder[i] == '\\' ? '/' : LowerAscii(folder[i]);
        if (c != tail[i]) return false;
    }
    return true;
}

std::string AsciiLower(std::string_view in) {
    std::string out(in);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

}  // namespace kavo
