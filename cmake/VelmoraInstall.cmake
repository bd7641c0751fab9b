# Install rules, the CMake package and the pkg-config file: find_package(Velmora) gives
# Velmora::client (the client wrapper with the runtime it needs) and Velmora::headers (the public
# headers alone); pkg-config's `velmora` gives the same libraries and include folder.
#
# Every installed file belongs to one install component, which decides its Debian package:
#   runtime  velmora      the component library, the tools, man pages, documentation
#   dev      velmora-dev  headers, static libraries, CMake and pkg-config files
#   sample   (none)       the sample program, installed by `cmake --install` only
# A file installed without COMPONENT lands in no package.
include(CMakePackageConfigHelpers)

set_target_properties(velmora_client PROPERTIES EXPORT_NAME client)
set_target_properties(velmora_platform PROPERTIES EXPORT_NAME platform)
set_target_properties(velmora_warnings PROPERTIES EXPORT_NAME warnings)

install(TARGETS velmoracom LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
# The command-line tools; one not built in this configuration is skipped.
foreach(tool velmora-regsvr velmora)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endif()
endforeach()
install(TARGETS democlient RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sample)

# Every page under docs/man (re-globbed at build time, so a new page needs no edit here).
file(GLOB manPages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.1)
install(FILES ${manPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
# README's links into docs/ keep working in share/doc/velmora.
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime
  PATTERN man EXCLUDE)

install(TARGETS velmora_headers velmora_client velmora_platform velmora_file velmora_source_root
                velmora_warnings
  EXPORT VelmoraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/velmora ${PROJECT_BINARY_DIR}/include/velmora
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

set(configDir ${CMAKE_INSTALL_LIBDIR}/cmake/Velmora)
install(EXPORT VelmoraTargets NAMESPACE Velmora:: DESTINATION ${configDir} COMPONENT dev)
configure_package_config_file(cmake/VelmoraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VelmoraConfig.cmake INSTALL_DESTINATION ${configDir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VelmoraConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VelmoraConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/VelmoraConfigVersion.cmake
        DESTINATION ${configDir} COMPONENT dev)

# velmora.pc finds its prefix from its own location, so an unpacked or moved tree works too.
set(pkgConfigDir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH pcPrefix ${CMAKE_INSTALL_PREFIX}/${pkgConfigDir} ${CMAKE_INSTALL_PREFIX})
file(RELATIVE_PATH pcLibDir ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH pcIncludeDir ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
string(REGEX REPLACE "/$" "" pcPrefix "${pcPrefix}")
set(pcSystemLibs "")
foreach(lib ${CMAKE_DL_LIBS})
  string(APPEND pcSystemLibs " -l${lib}")
endforeach()
configure_file(cmake/velmora.pc.in ${CMAKE_CURRENT_BINARY_DIR}/velmora.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/velmora.pc DESTINATION ${pkgConfigDir} COMPONENT dev)

include(cmake/VelmoraPackaging.cmake)
