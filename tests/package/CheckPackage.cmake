# Builds the consumer against an installed tree twice, with find_package(Velmora) and with
# `pkg-config --cflags --libs velmora`, registers the tree's library with the tree's tool and runs
# both consumers. The tree is PREFIX when given (an unpacked package), else BUILD_DIR installed
# into WORK_DIR/prefix.
file(REMOVE_RECURSE ${WORK_DIR})
macro(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
endmacro()
if(PREFIX)
  set(prefix ${PREFIX})
else()
  set(prefix ${WORK_DIR}/prefix)
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
endif()
separate_arguments(cxxFlags UNIX_COMMAND "${CXX_FLAGS}")
separate_arguments(linkFlags UNIX_COMMAND "${LINK_FLAGS}")

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package -B ${WORK_DIR}/consumer
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)

find_program(pkgConfig pkg-config)
if(NOT pkgConfig)
  message(FATAL_ERROR "pkg-config not found (Debian: apt-get install pkgconf)")
endif()
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run(${pkgConfig} --cflags --libs velmora)
separate_arguments(pcFlags UNIX_COMMAND "${out}")
run(${CXX_COMPILER} -std=c++17 ${cxxFlags} ${SOURCE_DIR}/tests/package/consumer.cpp
    -o ${WORK_DIR}/pc-consumer ${pcFlags} ${linkFlags})

run(${CMAKE_COMMAND} -E env VELMORA_REGISTRY=${WORK_DIR}/registry.reg
    ${prefix}/bin/velmora-regsvr ${prefix}/${LIBDIR}/libvelmoracom.so)
foreach(consumer ${WORK_DIR}/consumer/consumer ${WORK_DIR}/pc-consumer)
  run(${CMAKE_COMMAND} -E env VELMORA_REGISTRY=${WORK_DIR}/registry.reg ${consumer})
  if(NOT out STREQUAL "velmora ${VERSION}\ntables: 1\n")
    message(FATAL_ERROR "unexpected output of ${consumer}: ${out}")
  endif()
endforeach()
