#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace kavo {

// The core keeps every text in UTF-8; Windows speaks UTF-16. These convert at
// the edge: the file system, the command line's arguments and its folder.

/// UTF-8 to UTF-16; a sequence that is not UTF-8 becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view utf8);

/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace kavo

#endif
