# The reference model and its operation driver as a library, shared by the reliability tests
# and the operation-sequence fuzz target. It holds no engine code: only the public interface
# header is included.
if(NOT TARGET velmora_reference_model)
  set(modelDirectory ${PROJECT_SOURCE_DIR}/tests/reliability)
  add_library(velmora_reference_model STATIC
    ${modelDirectory}/Operation.cpp
    ${modelDirectory}/OperationGenerator.cpp
    ${modelDirectory}/OperationRunner.cpp
    ${modelDirectory}/ReferenceModel.cpp
    ${modelDirectory}/ReferenceReader.cpp)
  target_include_directories(velmora_reference_model PUBLIC
    ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(velmora_reference_model PRIVATE velmora_warnings)
endif()
