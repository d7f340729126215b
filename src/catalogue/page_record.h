#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "fs/file_system.h"

namespace kavo {

/// The file in the catalogue folder that tells a rerun what its pages hold
/// without reading them.
inline constexpr std::string_view kPageRecordName = "pages.txt";

/// One file of the catalogue folder as a run left it: its identity (size,
/// modification and change time) and a hash of its bytes. A rerun that finds
/// the file with the same identity takes its bytes for those hashed, so an
/// unchanged page is compared by its hash, not read again over the network.
/// Any change to the file (a write, a touch that sets the time back, a copy
/// put in its place) gives it a later change time, so it is read as before.
struct PageStamp {
    FileIdentity Identity;
    uint64_t Hash = 0;
    bool operator==(const PageStamp&) const = default;
};

/// The hash the record keeps of a file's bytes (64-bit XXH3).
uint64_t PageHash(std::string_view bytes);

/// The record's entries by file name; empty when the text is not a record of
/// this version, or is damaged anywhere.
std::map<std::string, PageStamp> ParsePageRecord(std::string_view text);

/// The record's text: the same entries always give the same bytes, so a
/// rerun that changed nothing finds it equal and writes nothing.
std::string PageRecordText(const std::map<std::string, PageStamp>& entries);

}  // namespace kavo
