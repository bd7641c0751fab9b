# Runs PROGRAM in a fresh WORK_DIR with VELMORA_REGISTRY=REGISTRY; it must exit 0 and print
# exactly the contents of EXPECTED, or, when PATTERN is set, text matching PATTERN.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env VELMORA_REGISTRY=${REGISTRY} ${PROGRAM}
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} exited with ${status}\nstdout:\n${output}\nstderr:\n${errors}")
endif()
if(PATTERN)
  if(NOT output MATCHES "${PATTERN}")
    message(FATAL_ERROR "output does not match ${PATTERN}:\n${output}")
  endif()
else()
  file(READ ${EXPECTED} expected)
  if(NOT output STREQUAL expected)
    message(FATAL_ERROR "output differs from ${EXPECTED}\nexpected:\n${expected}\nactual:\n${output}")
  endif()
endif()
