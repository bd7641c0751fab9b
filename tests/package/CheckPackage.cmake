# Installs the build into a temporary prefix, builds the consumer against it with
# find_package(Velmora), registers the installed library and runs the consumer.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
macro(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
endmacro()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package -B ${WORK_DIR}/consumer
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${CMAKE_COMMAND} -E env VELMORA_REGISTRY=${WORK_DIR}/registry.reg
    ${prefix}/bin/velmora-regsvr ${prefix}/${LIBDIR}/libvelmoracom.so)
run(${CMAKE_COMMAND} -E env VELMORA_REGISTRY=${WORK_DIR}/registry.reg ${WORK_DIR}/consumer/consumer)
if(NOT out STREQUAL "tables: 1\n")
  message(FATAL_ERROR "unexpected consumer output: ${out}")
endif()
