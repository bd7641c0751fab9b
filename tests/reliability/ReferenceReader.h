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

// What the info element of a file says about its tables, read by the schema's own rules.
struct ModelSchemaField {
  std::string name;
  std::string type;  // "Int", "String", "Long" or "Relation"
  std::string target;
};
struct ModelSchemaTable {
  std::string name;
  std::vector<ModelSchemaField> fields;
};
struct ModelSchema {
  bool isDatabase = false;  // the first token is the start of an element "database"
  bool hasSchema = false;
  std::string databaseName;
  std::vector<ModelSchemaTable> tables;
};

// Reads the bytes up to the end of info (or up to the first zero byte), strictly: anything
// the schema rules refuse throws ReadFailure.
ModelSchema readModelSchema(const std::string& bytes);

}  // namespace velmora
