# One static library per layer folder, linking only the layers below it. A layer's headers
# are reachable as "<folder>/<file>" only through its own include root, which a target sees
# only when it links that layer: an include of a layer above fails to compile.
# scripts/check-layers checks the same order on every file, tests and programs included.
# A folder inside a layer (ui/qt, ui/win32) is a library of its own, tq9_ui_qt, whose headers
# are reached as "ui/qt/<file>".
function(tq9_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LINK")
  string(REPLACE "/" "_" name ${folder})
  set(target tq9_${name})
  add_library(${target} STATIC ${ARG_SOURCES})
  tq9_include_root(${target} ${folder})
  target_link_libraries(${target} PUBLIC ${ARG_LINK})
endfunction()

# Gives `target` (and what links it) the include root of `folder` alone: a directory in the
# build tree holding one link, named like the folder, to the folder's sources.
function(tq9_include_root target folder)
  if(CMAKE_HOST_WIN32)
    # Links need privileges on Windows; there the project root serves, and check-layers
    # (run on every CI build) keeps the arrows pointing down.
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    return()
  endif()
  string(REPLACE "/" "_" name ${folder})
  set(root ${CMAKE_BINARY_DIR}/include-roots/${name})
  get_filename_component(parent ${folder} DIRECTORY)
  tq9_link_folder(${root}/${parent} ${PROJECT_SOURCE_DIR}/${folder})
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# Makes `root` a folder that holds one link, named like `source`'s last part, to `source`.
function(tq9_link_folder root source)
  get_filename_component(name ${source} NAME)
  if(NOT IS_SYMLINK ${root}/${name})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${source} ${root}/${name} SYMBOLIC)
  endif()
endfunction()
