# Install rules and the CMake package: find_package(Velmora) gives Velmora::client (the client
# wrapper with the runtime it needs) and Velmora::headers (the public headers alone).
include(CMakePackageConfigHelpers)

add_library(velmora_headers INTERFACE)
target_include_directories(velmora_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(velmora_headers PROPERTIES EXPORT_NAME headers)
set_target_properties(velmora_client PROPERTIES EXPORT_NAME client)
set_target_properties(velmora_platform PROPERTIES EXPORT_NAME platform)
# The platform's headers are internal: only the build tree sees them.
set_property(TARGET velmora_platform PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>" "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>")
set_target_properties(velmora_warnings PROPERTIES EXPORT_NAME warnings)

install(TARGETS velmoracom LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS democlient velmora-regsvr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS velmora_headers velmora_client velmora_platform velmora_file velmora_source_root
                velmora_warnings
  EXPORT VelmoraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/velmora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(configDir ${CMAKE_INSTALL_LIBDIR}/cmake/Velmora)
install(EXPORT VelmoraTargets NAMESPACE Velmora:: DESTINATION ${configDir})
configure_package_config_file(cmake/VelmoraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VelmoraConfig.cmake INSTALL_DESTINATION ${configDir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VelmoraConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VelmoraConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/VelmoraConfigVersion.cmake
        DESTINATION ${configDir})
