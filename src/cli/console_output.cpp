#ifdef _WIN32

#include "cli/console_output.h"

#include "fs/wide_text.h"
#include "fs/windows_api.h"

namespace kavo::cli {
namespace {

/// The length of the text without a last character whose bytes are not all there yet.
size_t WholeCharacters(std::string_view s) {
    size_t i = s.size();
    for (int k = 0; k < 3 && i > 0 && (static_cast<unsigned char>(s[i - 1]) & 0xC0) == 0x80; ++k)
        --i;
    if (i == 0)
        return s.size();
    const unsigned char lead = static_cast<unsigned char>(s[i - 1]);
    const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return s.size() - (i - 1) < need ? i - 1 : s.size();
}

/// Calls `write` until all `n` units are out; false when a call fails or writes nothing.
template <typename Write>
bool WriteWhole(size_t n, Write write) {
    for (size_t done = 0; done < n;) {
        DWORD written = 0;
        if (!write(done, &written) || written == 0)
            return false;
        done += written;
    }
    return true;
}

}  // namespace

std::string InCodePage(std::string_view text, unsigned codePage) {
    if (codePage == CP_UTF8)
        return std::string(text);
    const std::wstring wide = WideFromUtf8(text);
    if (wide.empty())
        return {};
    const int length = static_cast<int>(wide.size());
    // No "best fit" look-alikes: a name that cannot be shown shows as '?', not as another name.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int n = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (n == 0) {
        flags = 0;  // the code pages that take no flags
        n = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    }
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), length, out.data(), n, nullptr, nullptr);
    return out;
}

ConsoleOutput::ConsoleOutput(unsigned long which) : m_handle(::GetStdHandle(which)) {
    DWORD mode = 0;
    m_console = ::GetConsoleMode(m_handle, &mode) != 0;
    m_codePage = ::GetConsoleOutputCP();
    if (m_codePage == 0)
        m_codePage = ::GetACP();
}

ConsoleOutput::~ConsoleOutput() { Write(m_pending.size()); }

ConsoleOutput::int_type ConsoleOutput::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof()))
        m_pending += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
}

std::streamsize ConsoleOutput::xsputn(const char* s, std::streamsize n) {
    m_pending.append(s, static_cast<size_t>(n));
    if (m_pending.size() >= 4096)
        sync();
    return n;
}

int ConsoleOutput::sync() { return Write(WholeCharacters(m_pending)) ? 0 : -1; }

bool ConsoleOutput::Write(size_t whole) {
    if (whole == 0)
        return true;
    const std::string_view text(m_pending.data(), whole);
    bool ok;
    if (m_console) {
        const std::wstring wide = WideFromUtf8(text);
        ok = WriteWhole(wide.size(), [&](size_t done, DWORD* written) {
            return ::WriteConsoleW(m_handle, wide.data() + done, static_cast<DWORD>(wide.size() - done), written,
                                   nullptr) != 0;
        });
    } else {
        const std::string bytes = InCodePage(text, m_codePage);
        ok = WriteWhole(bytes.size(), [&](size_t done, DWORD* written) {
            return ::WriteFile(m_handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), written,
                               nullptr) != 0;
        });
    }
    m_pending.erase(0, whole);
    return ok;
}

}  // namespace kavo::cli

#endif  // _WIN32
