#include "xml/XmlLoader.h"

#include <limits.h>
#include <stdint.h>

#include "engine/Database.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "xml/XmlNode.h"

namespace velmora {

namespace {

const std::string kEmptyText;

bool isDecimalSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text of the element's first child when that is a text; otherwise empty.
const std::string& valueText(const XmlElement& field) {
  const XmlNode* first = field.getFirstChild();
  if (first == nullptr || first->getKind() != NodeKind::Text) return kEmptyText;
  return static_cast<const XmlText*>(first)->getText();
}

}  // namespace

int parseDecimal(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end && isDecimalSpace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // Accumulated as a magnitude capped just beyond the 32-bit range: too large a number clamps to
  // the nearest 32-bit value instead of wrapping.
  constexpr int64_t kCap = int64_t{INT_MAX} + 2;
  int64_t magnitude = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > kCap) magnitude = kCap;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool XmlLoader::apply() {
  const XmlElement* root = document.asElement();
  if (root == nullptr || root->getName() != "database") return false;
  const XmlNode* information = root->getFirstChild();
  if (information == nullptr || information->asElement() == nullptr) return false;
  const XmlNode* data = information->getNext();
  if (data == nullptr || data->asElement() == nullptr) return false;
  loadData(*data->asElement());
  return true;
}

void XmlLoader::loadData(const XmlElement& data) {
  if (data.getName() != "data") return;
  for (const XmlNode* node = data.getFirstChild(); node != nullptr; node = node->getNext()) {
    const XmlElement* tableElement = node->asElement();
    if (tableElement == nullptr) break;
    loadTable(*tableElement);
  }
}

void XmlLoader::loadTable(const XmlElement& tableElement) {
  Table* table = nullptr;
  fieldAtPosition.clear();
  for (const XmlNode* node = tableElement.getFirstChild(); node != nullptr;
       node = node->getNext()) {
    const XmlElement* record = node->asElement();
    if (record == nullptr) continue;
    if (table == nullptr) table = &database.tableByName(tableElement.getName());
    table->createTemporaryRecord();
    if (record->getName() != "record") continue;
    loadRecord(*record, *table);
  }
}

void XmlLoader::loadRecord(const XmlElement& record, Table& table) {
  size_t position = 0;
  for (const XmlNode* node = record.getFirstChild(); node != nullptr; node = node->getNext()) {
    const XmlElement* field = node->asElement();
    if (field == nullptr) break;
    loadField(*field, table, position++);
  }
  table.addRecord(-1);
}

void XmlLoader::loadField(const XmlElement& field, Table& table, size_t position) {
  const TableDefinition& definition = table.getDefinition();
  const std::string& name = field.getName();
  int index = position < fieldAtPosition.size() ? fieldAtPosition[position] : -1;
  if (index < 0 || index >= definition.fieldCount() || definition.fieldName(index) != name) {
    index = definition.fieldIndex(name);
    if (position >= fieldAtPosition.size()) fieldAtPosition.resize(position + 1, -1);
    fieldAtPosition[position] = index;
  }
  switch (definition.fieldType(index)) {
    case FieldType::Int:
      table.setInt(index, parseDecimal(valueText(field)));
      break;
    case FieldType::String:
      table.setString(index, valueText(field));
      break;
    case FieldType::Long:
      table.setLong(index, parseDecimal(valueText(field)));
      break;
    case FieldType::Relation:
      table.setRelation(index, parseDecimal(valueText(field)));
      break;
    default:  // a field of a type that holds no values
      break;
  }
}

}  // namespace velmora
