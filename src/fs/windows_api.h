#pragma once

// <windows.h> for files that also use the core's types: it defines macros named
// like members of FileSystem (CopyFile) and RunObserver (Yield).
#ifdef _WIN32
#include <windows.h>
#undef CopyFile
#undef Yield
#endif
