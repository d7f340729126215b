#pragma once

#include <string>
#include <string_view>

namespace kavo {

/// A value for a page's text or attribute: `&`, `"`, `<`, `>` become `&amp;`,
/// `&quot;`, `&lt;`, `&gt;`; control characters become numeric references;
/// bytes that are not UTF-8 become U+FFFD.
std::string EscapeMarkup(std::string_view text);

/// EscapeMarkup appended to `out`: a page is built without a string per value.
void AppendMarkup(std::string& out, std::string_view text);

/// A relative address built from file names: `%`, `&`, `#`, `?`, `\`, control
/// characters, bytes that are not UTF-8 and spaces at the very end (which a
/// browser would trim) are percent-encoded; every other character stays (the
/// browser encodes inner spaces and non-ASCII itself). `&` is encoded so that
/// a name like `a&amp;b.jpg` is not read as a character reference.
std::string EscapeAddress(std::string_view address);

/// EscapeAddress appended to `out`.
void AppendAddress(std::string& out, std::string_view address);

}  // namespace kavo
