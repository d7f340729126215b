#include "cli/interrupt.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kavo::cli {
namespace {

volatile std::sig_atomic_t* g_flag = nullptr;

#ifdef _WIN32
// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;  // closing the window or logging off still ends the program
    *g_flag = 1;
    return TRUE;
}
#else
void OnInterrupt(int) { *g_flag = 1; }
#endif

}  // namespace

void CatchInterrupt(volatile std::sig_atomic_t* flag) {
    g_flag = flag;
#ifdef _WIN32
    // A process started in a new process group ignores Ctrl-C until told otherwise.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    std::signal(SIGINT, OnInterrupt);
#endif
}

}  // namespace kavo::cli
