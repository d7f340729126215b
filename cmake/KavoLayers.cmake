# The core is built as layers, each a static library of one folder of src/
# that links only the layers below it. kavo_layer() also checks the folder's
# includes at build time: one that reaches a layer it does not link (an
# upward include, or a sideways one) fails the build, and so does a Qt header
# in a layer that does not allow Qt.
#
#   kavo_layer(NAME SOURCES files... [BELOW layers...] [QT])
#
# NAME is the folder under src/ and the library is kavo_NAME. BELOW names the
# layers it builds on; those below them come with them.

set(KAVO_LAYER_CHECK ${CMAKE_CURRENT_LIST_DIR}/check_layer_includes.cmake)

function(kavo_layer name)
  cmake_parse_arguments(L "QT" "" "SOURCES;BELOW" ${ARGN})
  set(target kavo_${name})
  add_library(${target} STATIC ${L_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  set(allowed ${name})
  foreach(below ${L_BELOW})
    target_link_libraries(${target} PUBLIC kavo_${below})
    get_property(reach GLOBAL PROPERTY KAVO_LAYER_REACH_${below})
    list(APPEND allowed ${below} ${reach})
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  set_property(GLOBAL PROPERTY KAVO_LAYER_REACH_${name} ${allowed})

  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.h)
  set(files ${headers})
  foreach(src ${L_SOURCES})
    get_filename_component(src ${src} ABSOLUTE)
    list(APPEND files ${src})
  endforeach()
  # Every file of the folder is checked, also those this platform leaves out.
  file(GLOB all_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
  list(APPEND files ${all_sources})
  list(REMOVE_DUPLICATES files)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.stamp)
  string(REPLACE ";" "," allowed_text "${allowed}")
  string(REPLACE ";" "," files_text "${files}")
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DLAYER=${name} -DALLOWED=${allowed_text} -DFILES=${files_text}
            -DQT=${L_QT} -DSTAMP=${stamp} -P ${KAVO_LAYER_CHECK}
    DEPENDS ${files} ${KAVO_LAYER_CHECK}
    COMMENT "Checking the includes of layer ${name}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
