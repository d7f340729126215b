// Arbitrary names and folders through the classification, the path helpers and
// the name order, each held against the rule written out plainly.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/classify.h"
#include "catalogue/folder_checks.h"
#include "fs/file_writes.h"
#include "fs/paths.h"
#include "fs/temporary_names.h"
#include "walk/folder_listing.h"

namespace {

using kavo::kPathSep;
using kavo::PictureType;

void Require(bool condition) {
    if (!condition)
        std::abort();
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string Last(const std::string& text, size_t n) {
    return text.size() <= n ? text : text.substr(text.size() - n);
}

/// The classification rule, step by step, as a reader of it would write it.
PictureType Expected(const std::string& name, const std::string& folder) {
    const std::string ending = Lower(Last(name, 4));
    if (ending == ".jpg" || ending == "jpeg" || ending == ".jpe")
        return PictureType::Jpeg;
    if (ending == ".gif") {
        std::string tail = Lower(Last(folder + name, 21));
        std::replace(tail.begin(), tail.end(), '\\', '/');
        for (const char* n : {"ball1", "logo1", "next1", "next2", "next3", "prev1", "prev2", "prev3", "rect1"}) {
            if (tail == std::string("kavo/images/") + n + ".gif")
                return PictureType::SupportPicture;
        }
        return PictureType::Gif;
    }
    if (ending == ".bmp")
        return PictureType::Bmp;
    if (ending == ".png")
        return PictureType::Png;
    return PictureType::NotPicture;
}

bool Equivalent(std::string_view a, std::string_view b) {
    return !kavo::NameLess(a, b) && !kavo::NameLess(b, a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Three texts split at the first two NUL bytes: a folder, a name and a third for the order.
    const std::string all(reinterpret_cast<const char*>(data), size);
    const size_t first = std::min(all.find('\0'), all.size());
    const size_t second = first < all.size() ? std::min(all.find('\0', first + 1), all.size()) : all.size();
    const std::string folder = all.substr(0, first);
    const std::string name = first < all.size() ? all.substr(first + 1, second - first - 1) : std::string();
    const std::string third = second < all.size() ? all.substr(second + 1) : std::string();

    Require(kavo::ClassifyPicture(name, folder) == Expected(name, folder));
    Require(kavo::AsciiLower(folder) == Lower(folder));

    const std::string joined = kavo::JoinPath(folder, name);
    const bool hasSep = !folder.empty() && folder.back() == kPathSep;
    Require(joined == folder + (hasSep ? "" : std::string(1, kPathSep)) + name);
    const std::string base = kavo::WithTrailingSeparator(folder);
    Require(base.back() == kPathSep && kavo::WithTrailingSeparator(base) == base);
    Require(base == (hasSep ? folder : folder + kPathSep));

    const std::string last = kavo::LastFolderName(folder);
    Require(last.find(kPathSep) == std::string::npos);
    std::string trimmed = folder;
    if (!trimmed.empty() && trimmed.back() == kPathSep)
        trimmed.pop_back();
    Require(trimmed.ends_with(last));
    Require(trimmed.size() == last.size() || trimmed[trimmed.size() - last.size() - 1] == kPathSep);

    const std::string relative = kavo::RelativeUrlPath(base + name, base);
    Require(relative == kavo::ToUrlSeparators(name));
    const std::string part = kavo::UrlFolderPart(relative);
    const size_t slash = relative.rfind('/');
    Require(slash == std::string::npos ? part.empty() : part == relative.substr(0, slash));

    // The name order is a strict total order: a user's pictures sort the same every time.
    Require(!kavo::NameLess(name, name));
    Require(!(kavo::NameLess(name, third) && kavo::NameLess(third, name)));
    Require(kavo::NameLess(name, third) || kavo::NameLess(third, name) || name == third);
    if (Equivalent(name, third))
        Require(name == third);
    if (kavo::NameLess(folder, name) && kavo::NameLess(name, third))
        Require(kavo::NameLess(folder, third));
    // ASCII letter case decides only between names that are otherwise equal.
    if (Upper(name) != Upper(third))
        Require(kavo::NameLess(name, third) == (Upper(name) < Upper(third)));
    return 0;
}
