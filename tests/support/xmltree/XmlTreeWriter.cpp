#include "tests/support/xmltree/XmlTreeWriter.h"

#include <string>
#include <utility>

#include "engine/Database.h"
#include "engine/FieldValue.h"
#include "engine/RecordRenumbering.h"
#include "engine/Table.h"
#include "xml/DatabaseWriter.h"
#include "xml/FileEnv.h"
#include "xml/MarkupOutput.h"

namespace velmora {

namespace {

std::unique_ptr<XmlElement> elementWithText(const char* name, const std::string& text) {
  auto element = std::make_unique<XmlElement>(name);
  element->addChild(std::make_unique<XmlText>(text));
  return element;
}

void writeChain(const XmlNode* first, MarkupOutput& out) {
  if (first == nullptr) return;
  const XmlElement* const top = first->getParent();
  const XmlNode* node = first;
  // A walk over the tree through the parent links: no recursion, whatever the depth.
  while (node != nullptr) {
    switch (node->getKind()) {
      case NodeKind::Element: {
        const auto& element = static_cast<const XmlElement&>(*node);
        out.append('<');
        out.append(element.getName());
        if (element.getFirstChild() != nullptr) {
          out.append('>');
          node = element.getFirstChild();
          continue;
        }
        out.append("/>");
        break;
      }
      case NodeKind::Text:
        out.appendEscaped(static_cast<const XmlText&>(*node).getText());
        break;
      case NodeKind::Comment:
        out.append("<!--");
        out.append(static_cast<const XmlComment&>(*node).getText());
        out.append("-->");
        break;
    }
    while (node->getNext() == nullptr) {
      const XmlElement* parent = node->getParent();
      if (parent == top) return;
      out.append("</");
      out.append(parent->getName());
      out.append('>');
      node = parent;
    }
    node = node->getNext();
  }
}

}  // namespace

std::unique_ptr<XmlNode> buildXmlDocument(const Database& database,
                                          const std::string& commentText) {
  const RecordRenumbering renumbering(database);

  auto data = std::make_unique<XmlElement>("data");
  for (int t = 0; t < database.getTableCount(); ++t) {
    if (!database.tableExists(t)) continue;
    auto tableElement = std::make_unique<XmlElement>(database.tableName(t));
    tableElement->addChild(recordsToXml(database.tableByIndex(t), renumbering));
    data->addChild(std::move(tableElement));
  }

  auto information = std::make_unique<XmlElement>("info");
  information->addChild(
      elementWithText("name", database.getName()));  // with content even for an empty name
  information->addChild(elementWithText("version", "1"));

  auto root = std::make_unique<XmlElement>("database");
  root->addChild(std::move(information));
  root->addChild(std::move(data));

  std::unique_ptr<XmlNode> document;
  if (commentText.empty()) {
    document = std::make_unique<XmlComment>(kCreatedComment);
    document->appendSibling(std::make_unique<XmlComment>(kDownloadComment));
  } else {
    document = std::make_unique<XmlComment>(commentText);
  }
  document->appendSibling(std::move(root));
  return document;
}

std::unique_ptr<XmlNode> recordsToXml(const Table& table, const RecordRenumbering& renumbering) {
  std::unique_ptr<XmlNode> first;
  XmlNode* last = nullptr;
  for (int record = 0; record < table.getRecordCount(); ++record) {
    if (!table.recordExists(record)) continue;
    auto element = std::make_unique<XmlElement>("record");
    element->addChild(recordToXml(table, record, renumbering));
    if (!first) {
      first = std::move(element);
      last = first.get();
    } else {
      last = last->appendSibling(std::move(element));
    }
  }
  return first;
}

std::unique_ptr<XmlNode> recordToXml(const Table& table, int record,
                                     const RecordRenumbering& renumbering) {
  if (!table.recordExists(record)) return nullptr;
  const TableDefinition& fields = table.getDefinition();
  std::unique_ptr<XmlNode> first;
  XmlNode* last = nullptr;
  for (int field = 0; field < fields.getFieldCount(); ++field) {
    auto element = std::make_unique<XmlElement>(fields.fieldName(field));
    std::string text;
    switch (fields.fieldType(field)) {
      case FieldType::Int:
        text = std::to_string(table.getInt(record, field));
        break;
      case FieldType::Long:
        text = std::to_string(table.getLong(record, field));
        break;
      case FieldType::String:
        text = table.getString(record, field);
        break;
      case FieldType::Relation:
        text = std::to_string(
            renumbering.renumber(fields.relationTarget(field), table.getRelation(record, field)));
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

void writeXml(const XmlNode* first, std::string& out) {
  MarkupOutput output(out, defaultFileEnv());
  writeChain(first, output);
}

}  // namespace velmora
