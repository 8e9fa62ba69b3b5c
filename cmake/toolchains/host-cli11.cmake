# CLI11 is header-only, so a cross build can use the host's copy (Debian's libcli11-dev). Its
# CMake package would add the host's /usr/include to the include path, where the host's C
# library headers would shadow MinGW's; so only the CLI folder is copied into the build tree
# and offered as CLI11::CLI11.
find_path(CARDWRIGHT_HOST_CLI11_INCLUDE CLI/CLI.hpp
  PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT CARDWRIGHT_HOST_CLI11_INCLUDE)
  message(FATAL_ERROR "CLI11 headers not found on the host (Debian: libcli11-dev)")
endif()
set(_cli11_copy "${CMAKE_BINARY_DIR}/host-cli11")
file(COPY "${CARDWRIGHT_HOST_CLI11_INCLUDE}/CLI" DESTINATION "${_cli11_copy}")
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_cli11_copy}")
