# The window program on Windows, built against Qt for MinGW-w64
# (scripts/build-qt-windows.sh). Windows has no Qt to find at run time and
# Debian no windeployqt, so what windeployqt would put beside the program is
# copied here: into the build's bin folder (kavo.exe and the window tests run
# from there under Wine) and, installed, into the zip.
#
#   Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll   Qt itself (Qt6Test.dll for the tests only)
#   libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll
#                                           MinGW's C++ runtime, which Qt's DLLs use
#                                           and the window programs share with them
#   platforms\qwindows.dll                  the platform plugin (qoffscreen.dll for the tests)
#   styles\qwindowsvistastyle.dll           the native look
#   translations\qtbase_ja.qm               Qt's own texts in Japanese (Debian's qt6-translations-l10n)
#   qt.conf                                 Qt's folders are the program's own
#
# Included from the top-level CMakeLists.txt once every target exists.

get_filename_component(KAVO_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
set(qt_bin ${KAVO_QT_PREFIX}/bin)
set(qt_plugins ${KAVO_QT_PREFIX}/plugins)

# The C++ runtime DLLs, where the compiler keeps them.
set(KAVO_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  get_filename_component(path "${path}" ABSOLUTE)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "MinGW's ${dll} is not where ${CMAKE_CXX_COMPILER} says (${path})")
  endif()
  list(APPEND KAVO_MINGW_RUNTIME ${path})
endforeach()

# Qt's Japanese texts: Debian's, of the same Qt version as the one built.
find_file(KAVO_QTBASE_JA qtbase_ja.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT KAVO_QTBASE_JA)
  message(FATAL_ERROR "qtbase_ja.qm not found: install qt6-translations-l10n (scripts/setup.sh build)")
endif()

# qt.conf: without it Qt looks for plugins and texts one folder above its DLLs.
set(KAVO_QT_CONF ${CMAKE_CURRENT_BINARY_DIR}/qt.conf)
file(CONFIGURE OUTPUT ${KAVO_QT_CONF} CONTENT "[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n")

# Source file and place below the program's folder, pairwise.
set(runtime
  ${qt_bin}/Qt6Core.dll .
  ${qt_bin}/Qt6Gui.dll .
  ${qt_bin}/Qt6Widgets.dll .
  ${qt_plugins}/platforms/qwindows.dll platforms
  ${qt_plugins}/styles/qwindowsvistastyle.dll styles
  ${KAVO_QTBASE_JA} translations
  ${KAVO_QT_CONF} .)
foreach(dll ${KAVO_MINGW_RUNTIME})
  list(APPEND runtime ${dll} .)
endforeach()
set(test_runtime
  ${qt_bin}/Qt6Test.dll .
  ${qt_plugins}/platforms/qoffscreen.dll platforms)

set(outputs)
set(all ${runtime})
if(TARGET kavo_gui_tests)
  list(APPEND all ${test_runtime})
endif()
list(LENGTH all n)
math(EXPR last "${n} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET all ${i} from)
  list(GET all ${j} dir)
  if(NOT EXISTS ${from})
    message(FATAL_ERROR "${from} is missing: the Qt for Windows in ${KAVO_QT_PREFIX} is incomplete; "
                        "remove it and run scripts/build-qt-windows.sh again")
  endif()
  get_filename_component(name ${from} NAME)
  set(to ${KAVO_BIN_DIR}/${dir}/${name})
  add_custom_command(OUTPUT ${to}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KAVO_BIN_DIR}/${dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${from} ${to}
    DEPENDS ${from} VERBATIM)
  list(APPEND outputs ${to})
  # Into the zip: what the program needs, not what only the tests do.
  if(NOT from IN_LIST test_runtime)
    install(FILES ${from} DESTINATION ${KAVO_INSTALL_BINDIR}/${dir})
  endif()
endforeach()
add_custom_target(kavo_qt_runtime ALL DEPENDS ${outputs})

# Qt's DLLs keep their symbol tables, MinGW's libstdc++-6.dll its debugging
# information; stripped where the programs are (CPack's CPACK_STRIP_FILES), Qt's
# lose a third of their size and libstdc++ nine tenths.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    set(top \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KAVO_INSTALL_BINDIR}\")
    file(GLOB dlls \"\${top}/*.dll\" \"\${top}/platforms/*.dll\" \"\${top}/styles/*.dll\")
    foreach(dll \${dlls})
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

foreach(target kavo kavo_gui_tests window_bench)
  if(TARGET ${target})
    add_dependencies(${target} kavo_qt_runtime)
  endif()
endforeach()
# No console window behind the window.
set_target_properties(kavo PROPERTIES WIN32_EXECUTABLE ON)
