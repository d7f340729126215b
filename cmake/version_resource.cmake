# A Windows version resource (cmake/version.rc.in) for a program: its version,
# description, product and licence as Explorer shows them, and its icon.
# kavo_version_resource(TARGET DESCRIPTION [ICON file.ico]); callable from any folder.
function(kavo_version_resource target description)
  cmake_parse_arguments(arg "" "ICON" "" ${ARGN})
  set(KAVO_RC_NAME ${target})
  set(KAVO_RC_FILE ${target}.exe)
  set(KAVO_RC_DESCRIPTION "${description}")
  set(KAVO_RC_ICON "")
  if(arg_ICON)
    # The first icon is the program's in Explorer and that of its windows.
    set(KAVO_RC_ICON "1 ICON \"${arg_ICON}\"")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # The file is UTF-8.
  if(MINGW)
    set(codepage --codepage=65001)
  else()
    set(codepage /c65001)
  endif()
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES COMPILE_OPTIONS ${codepage})
  if(arg_ICON)
    set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${arg_ICON})
  endif()
endfunction()
