#include "catalogue/page_record.h"

#include <cinttypes>
#include <cstdio>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "base/record_fields.h"

namespace kavo {
namespace {

constexpr std::string_view kHeader = "Kavo pages 1\n";

}  // namespace

uint64_t PageHash(std::string_view bytes) {
    return XXH3_64bits(bytes.data(), bytes.size());
}

std::map<std::string, PageStamp> ParsePageRecord(std::string_view text) {
    std::map<std::string, PageStamp> entries;
    if (!text.starts_with(kHeader))
        return entries;
    for (size_t at = kHeader.size(); at < text.size();) {
        const size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            return {};
        std::string_view line = text.substr(at, end - at), field[4];
        PageStamp s;
        if (!TakeFields(line, field, 4) || line.empty() || !ParseField(field[0], s.Identity.Size) ||
            !ParseField(field[1], s.Identity.ModifiedNs) || !ParseField(field[2], s.Identity.ChangedNs) ||
            !ParseField(field[3], s.Hash, 16))
            return {};
        entries[std::string(line)] = s;
        at = end + 1;
    }
    return entries;
}

std::string PageRecordText(const std::map<std::string, PageStamp>& entries) {
    std::string text(kHeader);
    for (const auto& [name, s] : entries) {
        AppendField(text, s.Identity.Size);
        AppendField(text, s.Identity.ModifiedNs);
        AppendField(text, s.Identity.ChangedNs);
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016" PRIx64, s.Hash);
        text.append(hash).push_back('\t');
        text.append(name).push_back('\n');
    }
    return text;
}

}  // namespace kavo
