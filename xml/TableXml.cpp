// The Table's part of saving: its records as chains of XML elements.
#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/Database.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "xml/XmlNode.h"

namespace {

// What writing one field needs, looked up once per table rather than once per value.
struct FieldColumn {
  const std::string* name;
  int type;
  // For a relation field in a database: the compacted positions of the target table's slots.
  const IntArray* newIndex;
};

// Codes: 2 (a field without a name), and for a relation field 1 (target table unknown) and 14
// (no renumbering map for it).
std::vector<FieldColumn> describeFields(const Table& table) {
  const TableDefinition& definition = table.getDefinition();
  Database* database = table.getOwnerDatabase();
  std::vector<FieldColumn> columns;
  columns.reserve(static_cast<size_t>(definition.fieldCount()));
  for (int field = 0; field < definition.fieldCount(); ++field) {
    FieldColumn column{&definition.fieldName(field), definition.fieldType(field), nullptr};
    if (column.type == FieldType::Relation && database != nullptr) {
      const RecordRenumbering* renumbering = database->getRenumbering();
      if (renumbering == nullptr) renumbering = &database->buildRenumbering();
      const int target = database->tableIndex(definition.relationTarget(field));
      column.newIndex = &renumbering->mapOf(target).newIndex;
    }
    columns.push_back(column);
  }
  return columns;
}

std::string decimal(int value) {
  char digits[12];
  char* p = digits + sizeof digits;
  // Through the unsigned magnitude, so the smallest int keeps all its digits.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  return std::string(p, static_cast<size_t>(digits + sizeof digits - p));
}

// The field elements of a stored record; a value whose text is empty leaves its element without
// content. Code 14 for a relation value outside its target's slots.
std::unique_ptr<XmlNode> fieldElements(const Table& table, int record,
                                       const std::vector<FieldColumn>& columns) {
  std::unique_ptr<XmlNode> first;
  XmlNode* last = nullptr;
  for (size_t field = 0; field < columns.size(); ++field) {
    const FieldColumn& column = columns[field];
    const int index = static_cast<int>(field);
    auto element = std::make_unique<XmlElement>(*column.name);
    std::string text;
    switch (column.type) {
      case FieldType::Int:
        text = decimal(table.getInt(record, index));
        break;
      case FieldType::Long:
        text = decimal(table.getLong(record, index));
        break;
      case FieldType::String:
        text = table.getString(record, index);
        break;
      case FieldType::Relation: {
        const int stored = table.getRelation(record, index);
        text = decimal(column.newIndex != nullptr ? column.newIndex->at(stored) : stored);
        break;
      }
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

}  // namespace

std::unique_ptr<XmlNode> Table::recordsToXml() const {
  std::unique_ptr<XmlNode> first;
  XmlNode* last = nullptr;
  std::vector<FieldColumn> columns;
  bool described = false;
  for (int record = 0; record < recordCount(); ++record) {
    if (!recordExists(record)) continue;
    if (!described) {
      columns = describeFields(*this);
      described = true;
    }
    auto element = std::make_unique<XmlElement>("record");
    element->addChild(fieldElements(*this, record, columns));
    if (!first) {
      first = std::move(element);
      last = first.get();
    } else {
      last = last->appendSibling(std::move(element));
    }
  }
  return first;
}

std::unique_ptr<XmlNode> Table::recordToXml(int record) const {
  if (!recordExists(record)) return nullptr;
  return fieldElements(*this, record, describeFields(*this));
}
