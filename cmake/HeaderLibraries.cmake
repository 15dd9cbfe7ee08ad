# The header-only libraries for solved problems, from Debian's packages: nlohmann/json
# (nlohmann-json3-dev) and CLI11 (libcli11-dev). A cross build cannot take their CMake
# packages, which sit outside its find root; it takes their header folders alone, through
# a folder of the build tree that holds nothing else, so no other header of the build
# machine reaches it.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3.11 REQUIRED CONFIG)
  find_package(CLI11 2.1 REQUIRED CONFIG)
  return()
endif()

function(tq9_host_headers target folder header)
  find_path(dir ${folder}/${header} PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_CACHE)
  if(NOT dir)
    message(FATAL_ERROR "${folder}/${header} not found: install the Debian package that has it")
  endif()
  set(root ${CMAKE_BINARY_DIR}/host-headers/${folder})
  tq9_link_folder(${root} ${dir}/${folder})
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  target_include_directories(${target} SYSTEM INTERFACE ${root})
endfunction()

tq9_host_headers(nlohmann_json::nlohmann_json nlohmann json.hpp)
tq9_host_headers(CLI11::CLI11 CLI CLI.hpp)
