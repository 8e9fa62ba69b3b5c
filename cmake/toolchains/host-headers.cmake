# Header-only libraries (CLI11, nlohmann-json) let a cross build use the host's copies (Debian's
# libcli11-dev, nlohmann-json3-dev). Their CMake packages would add the host's /usr/include to
# the include path, where the host's C library headers would shadow MinGW's; so only each
# library's own folder is copied into the build tree and offered as its usual target.
function(cardwright_host_headers target folder header package)
  find_path(CARDWRIGHT_HOST_${folder}_INCLUDE ${folder}/${header}
    PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT CARDWRIGHT_HOST_${folder}_INCLUDE)
    message(FATAL_ERROR "${folder}/${header} not found on the host (Debian: ${package})")
  endif()
  set(copy "${CMAKE_BINARY_DIR}/host-headers")
  file(COPY "${CARDWRIGHT_HOST_${folder}_INCLUDE}/${folder}" DESTINATION "${copy}")
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${copy}")
endfunction()

cardwright_host_headers(CLI11::CLI11 CLI CLI.hpp libcli11-dev)
cardwright_host_headers(nlohmann_json::nlohmann_json nlohmann json.hpp nlohmann-json3-dev)
