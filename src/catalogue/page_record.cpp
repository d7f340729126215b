#include "catalogue/page_record.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kavo {
namespace {

constexpr std::string_view kHeader = "Kavo pages 1\n";

/// The next tab- or line-ended field of `text` from `at` as a number in `base`.
template <class Number>
bool TakeNumber(std::string_view text, size_t& at, char end, Number& out, int base = 10) {
    const size_t stop = text.find(end, at);
    if (stop == std::string_view::npos)
        return false;
    const auto [ptr, err] = std::from_chars(text.data() + at, text.data() + stop, out, base);
    if (err != std::errc() || ptr != text.data() + stop)
        return false;
    at = stop + 1;
    return true;
}

}  // namespace

uint64_t PageHash(std::string_view bytes) {
    return XXH3_64bits(bytes.data(), bytes.size());
}

std::map<std::string, PageStamp> ParsePageRecord(std::string_view text) {
    std::map<std::string, PageStamp> entries;
    if (!text.starts_with(kHeader))
        return entries;
    for (size_t at = kHeader.size(); at < text.size();) {
        PageStamp s;
        if (!TakeNumber(text, at, '\t', s.Identity.Size) || !TakeNumber(text, at, '\t', s.Identity.ModifiedNs) ||
            !TakeNumber(text, at, '\t', s.Identity.ChangedNs) || !TakeNumber(text, at, '\t', s.Hash, 16))
            return {};
        const size_t end = text.find('\n', at);
        if (end == std::string_view::npos || end == at)
            return {};
        entries[std::string(text.substr(at, end - at))] = s;
        at = end + 1;
    }
    return entries;
}

std::string PageRecordText(const std::map<std::string, PageStamp>& entries) {
    std::string text(kHeader);
    char line[96];
    for (const auto& [name, s] : entries) {
        std::snprintf(line, sizeof line, "%" PRIu64 "\t%" PRId64 "\t%" PRId64 "\t%016" PRIx64 "\t", s.Identity.Size,
                      s.Identity.ModifiedNs, s.Identity.ChangedNs, s.Hash);
        text.append(line).append(name).push_back('\n');
    }
    return text;
}

}  // namespace kavo
