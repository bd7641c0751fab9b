# The node tree with its parser, loader and writer: the oracle the streaming reader and the
# writer are compared with by the tests and fuzzers. Not part of any shipped library.
if(NOT TARGET velmora_xml_tree)
  add_library(velmora_xml_tree STATIC
    ${CMAKE_CURRENT_LIST_DIR}/xmltree/XmlLoader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xmltree/XmlNode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xmltree/XmlParser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xmltree/XmlTreeWriter.cpp)
  target_link_libraries(velmora_xml_tree PUBLIC velmora_xml PRIVATE velmora_warnings)
endif()
