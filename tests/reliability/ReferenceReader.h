// ReferenceReader: the reference model's own reading of a database file into a node tree,
// written from the file format's documented reading rules.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velmora {

// A node of a read document: an element (name, children) or a text (text).
struct ModelNode {
  bool isElement = false;
  std::string name;
  std::string text;
  ModelNode* parent = nullptr;
  std::vector<std::unique_ptr<ModelNode>> children;
};

// A read document: the top-level nodes in order (the first is the root), or none.
struct ModelDocument {
  std::vector<std::unique_ptr<ModelNode>> topLevel;
};

// Thrown for anything that makes reading fail (the load then reports code 101).
struct ReadFailure {
  int code;  // the reader's own code: 104 tag not closed, 200 and 201 delimiter not found
};

// Reads the bytes up to the first zero byte. Throws ReadFailure.
ModelDocument readModelDocument(const std::string& bytes);

}  // namespace velmora
