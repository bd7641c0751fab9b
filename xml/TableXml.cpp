// The Table's part of saving: its records as chains of XML elements.
#include <memory>
#include <string>

#include "engine/Database.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "xml/XmlNode.h"

namespace velmora {

namespace {

// The position a relation value is written as: its target's compacted position, through the
// renumbering of the current save (built here when there is none yet). Codes: 1 (target table
// unknown), 14 (no map for it, or the value outside its slots).
int relationPosition(const Table& table, int field, int stored) {
  Database* database = table.getOwnerDatabase();
  if (database == nullptr) return stored;
  const RecordRenumbering* renumbering = database->getRenumbering();
  if (renumbering == nullptr) renumbering = &database->buildRenumbering();
  return renumbering->renumber(table.getDefinition().relationTarget(field), stored);
}

}  // namespace

std::unique_ptr<XmlNode> Table::recordsToXml() const {
  std::unique_ptr<XmlNode> first;
  XmlNode* last = nullptr;
  for (int record = 0; record < recordCount(); ++record) {
    if (!recordExists(record)) continue;
    auto element = std::make_unique<XmlElement>("record");
    element->addChild(recordToXml(record));
    if (!first) {
      first = std::move(element);
      last = first.get();
    } else {
      last = last->appendSibling(std::move(element));
    }
  }
  return first;
}

// Field by field, each checked as it is written: its name (code 2), then for a relation its
// position (codes 1 and 14), so the first value that cannot be written decides the code.
std::unique_ptr<XmlNode> Table::recordToXml(int record) const {
  if (!recordExists(record)) return nullptr;
  const TableDefinition& fields = getDefinition();
  std::unique_ptr<XmlNode> first;
  XmlNode* last = nullptr;
  for (int field = 0; field < fields.fieldCount(); ++field) {
    auto element = std::make_unique<XmlElement>(fields.fieldName(field));
    std::string text;
    switch (fields.fieldType(field)) {
      case FieldType::Int:
        text = std::to_string(getInt(record, field));
        break;
      case FieldType::Long:
        text = std::to_string(getLong(record, field));
        break;
      case FieldType::String:
        text = getString(record, field);
        break;
      case FieldType::Relation:
        text = std::to_string(relationPosition(*this, field, getRelation(record, field)));
        break;
      default:  // a field of a type that holds no values
        break;
    }
    if (!text.empty()) element->addChild(std::make_unique<XmlText>(std::move(text)));
    if (!first) {
      first = std::move(element);
      last = first.get();
    } else {
      last = last->appendSibling(std::move(element));
    }
  }
  return first;
}

}  // namespace velmora
