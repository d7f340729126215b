#pragma once

#include <csignal>

namespace kavo::cli {

/// Makes Ctrl-C (and on Windows Ctrl-Break) set `*flag` instead of ending the
/// program, so that the run stops at its next yield with a consistent catalogue.
/// The flag must outlive the program.
void CatchInterrupt(volatile std::sig_atomic_t* flag);

}  // namespace kavo::cli
