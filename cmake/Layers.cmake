# The layers of the program, enforced by the build.
#
# Every library publishes only its own headers: a target sees "store/HistoryFile.h" only when it
# links wp_store. Core-only libraries (file formats, protocols, pure logic) must not reach widgets:
# a configure-time check refuses a Widgets/Gui dependency, and a probe program links each one
# whole against its own dependencies, so a call into window code fails the build.

# wp_publish_headers(<target> <folder> <header>...): makes "<folder>/<header>" includable by the
# target and by everything that links it.
function(wp_publish_headers target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header ${ARGN})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${folder}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# wp_core_only(<target>): the target links Qt Core at most, and nothing of the window layer.
function(wp_core_only target)
  set_property(GLOBAL APPEND PROPERTY WP_CORE_ONLY_TARGETS ${target})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    add_executable(${target}_layer_probe ${PROJECT_SOURCE_DIR}/cmake/layer_probe.cpp)
    target_link_libraries(${target}_layer_probe PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>")
  endif()
endfunction()

set(WP_WINDOW_LAYER Qt6::Gui Qt6::Widgets Qt6::Multimedia Qt6::PrintSupport Qt6::Network Qt6::DBus
                    wp_platform_gui wp_windows)

function(_wp_link_closure target out)
  set(seen ${${out}})
  get_target_property(type ${target} TYPE)
  set(libs)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(direct ${target} LINK_LIBRARIES)
    if(direct)
      list(APPEND libs ${direct})
    endif()
  endif()
  get_target_property(iface ${target} INTERFACE_LINK_LIBRARIES)
  if(iface)
    list(APPEND libs ${iface})
  endif()
  foreach(lib ${libs})
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
    string(REGEX REPLACE "^\\$<LINK_LIBRARY:[A-Z_]+,(.*)>$" "\\1" lib "${lib}")
    if(lib IN_LIST seen OR NOT TARGET ${lib})
      continue()
    endif()
    list(APPEND seen ${lib})
    set(${out} ${seen})
    _wp_link_closure(${lib} ${out})
    set(seen ${${out}})
  endforeach()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Called once at the end of the top-level CMakeLists, when every target exists.
function(wp_check_layers)
  get_property(targets GLOBAL PROPERTY WP_CORE_ONLY_TARGETS)
  foreach(target ${targets})
    set(closure)
    _wp_link_closure(${target} closure)
    foreach(forbidden ${WP_WINDOW_LAYER})
      if(forbidden IN_LIST closure)
        message(FATAL_ERROR "${target} is Core-only but links ${forbidden}")
      endif()
    endforeach()
  endforeach()
endfunction()
