# Debian packages from the install components: `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (so that the libraries go to lib/<multiarch>) writes
# velmora_<version>-1_<arch>.deb (runtime) and velmora-dev_<version>-1_<arch>.deb.
set(VELMORA_PACKAGE_MAINTAINER "Velmora developers" CACHE STRING "Maintainer field of the packages")

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "embedded in-memory database delivered as an in-process component")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMORA_PACKAGE_MAINTAINER})
# velmora-dev depends on velmora of exactly the same version (cpack_add_component DEPENDS below).
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME velmora)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME velmora-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
find_program(VELMORA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VELMORA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)  # libc6, libstdc++6, ... with their versions
else()
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

# The extended descriptions below the shared summary line (cpack wraps them).
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "Velmora keeps a database of typed tables in memory and saves it as one XML file. This package holds the component library and the velmora and velmora-regsvr command-line tools with their manual pages.")
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "Velmora keeps a database of typed tables in memory and saves it as one XML file. This package holds the headers, the static client wrapper and runtime libraries, and the CMake and pkg-config files for programs that use the component.")

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Velmora runtime")
cpack_add_component(dev DISPLAY_NAME "Velmora development files" DEPENDS runtime)
