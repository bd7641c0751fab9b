# Install rules and the CMake package (find_package(Velmora)).
