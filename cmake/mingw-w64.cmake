# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# model, which std::thread needs). Programs are linked statically so that each
# .exe runs alone, under Wine or on a Windows machine without the MinGW runtime;
# only those that use Qt share the runtime DLLs with Qt's (src/app, tests/gui).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KAVO_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KAVO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVO_MINGW}-windres)

# KAVO_WIN_DEPS: prefix holding what the target needs besides MinGW (GoogleTest
# built for it, and copies of the header-only libraries). KAVO_WIN_QT: Qt built
# for the target (scripts/build-qt-windows.sh); its tools (moc) are the host's,
# whose version it has (QT_HOST_PATH, QT_HOST_PATH_CMAKE_DIR).
set(CMAKE_FIND_ROOT_PATH /usr/${KAVO_MINGW} ${KAVO_WIN_DEPS} ${KAVO_WIN_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KAVO_WIN_DEPS KAVO_WIN_QT)
