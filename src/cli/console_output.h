#pragma once

#ifdef _WIN32

#include <streambuf>
#include <string>
#include <string_view>

namespace kavo::cli {

/// Standard output or error of kavo-cli on Windows. The core's UTF-8 reaches a
/// console as UTF-16, right whatever the console's code page; a file or pipe
/// gets the console's code page (without a console, the system's ANSI code
/// page), which is how Windows tools read it, with '?' for characters the
/// code page lacks. Under code page 65001 that is UTF-8 as it stands.
class ConsoleOutput : public std::streambuf {
public:
    /// `which` is STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
    explicit ConsoleOutput(unsigned long which);
    ~ConsoleOutput() override;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    /// Writes the first `whole` bytes of what waits.
    bool Write(size_t whole);

    void* m_handle;
    bool m_console;
    unsigned m_codePage;
    std::string m_pending;
};

/// The bytes of `text` in the code page, '?' for what it lacks.
std::string InCodePage(std::string_view text, unsigned codePage);

}  // namespace kavo::cli

#endif
