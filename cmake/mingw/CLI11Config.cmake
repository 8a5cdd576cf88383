# CLI11 for the Windows cross build: the header-only library of Debian's libcli11-dev, copied into the
# build tree so that the compiler sees its headers without the rest of the Linux /usr/include.
if(NOT TARGET CLI11::CLI11)
  file(COPY /usr/include/CLI DESTINATION ${CMAKE_BINARY_DIR}/cli11-include)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/cli11-include)
endif()
set(CLI11_FOUND TRUE)
