#include "tests/support/xmltree/XmlLoader.h"

#include "engine/Database.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "tests/support/xmltree/XmlNode.h"
#include "xml/TextCodec.h"

namespace velmora {

namespace {

const std::string kEmptyText;

// The text of the element's first child when that is a text; otherwise empty.
const std::string& valueText(const XmlElement& field) {
  const XmlNode* first = field.getFirstChild();
  if (first == nullptr || first->getKind() != NodeKind::Text) return kEmptyText;
  return static_cast<const XmlText*>(first)->getText();
}

}  // namespace

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
  if (index < 0 || index >= definition.getFieldCount() || definition.fieldName(index) != name) {
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
