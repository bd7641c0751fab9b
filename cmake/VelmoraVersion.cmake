# The one version number, from project(VERSION), as a generated public header; and the public
# headers' INTERFACE target, which carries both the source and the generated include folder.
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in
  ${PROJECT_BINARY_DIR}/include/velmora/Version.h @ONLY)

add_library(velmora_headers INTERFACE)
target_include_directories(velmora_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(velmora_headers PROPERTIES EXPORT_NAME headers)
