// The Database's XML persistence: saving, loading, and the document a save writes.
#include <memory>
#include <string>

#include "engine/Database.h"
#include "xml/DatabaseWriter.h"
#include "xml/XmlNode.h"
#include "xml/XmlStreamLoader.h"

namespace velmora {

namespace {

std::unique_ptr<XmlElement> elementWithText(const char* name, const std::string& text) {
  auto element = std::make_unique<XmlElement>(name);
  element->addChild(std::make_unique<XmlText>(text));
  return element;
}

}  // namespace

// Written straight from the records: the bytes of buildXmlDocument's document, without it.
bool Database::saveXml(const std::string& fileName) {
  DatabaseWriter(*this).save(fileName);
  return true;
}

// The records go into the tables as the file is read, with no document built in between; the
// outcome is that of reading the whole document first and applying it then.
bool Database::loadXml(const std::string& fileName) {
  clearAllRecords();
  return XmlStreamLoader(*this).loadFile(fileName);
}

std::unique_ptr<XmlNode> Database::buildXmlDocument(const std::string& commentText) {
  buildRenumbering();

  auto data = std::make_unique<XmlElement>("data");
  for (int t = 0; t < tableCount(); ++t) {
    if (!tableExists(t)) continue;
    auto tableElement = std::make_unique<XmlElement>(tableName(t));
    tableElement->addChild(tableByIndex(t).recordsToXml());
    data->addChild(std::move(tableElement));
  }

  auto information = std::make_unique<XmlElement>("info");
  information->addChild(elementWithText("name", name));  // with content even for an empty name
  information->addChild(elementWithText("version", "1"));

  auto database = std::make_unique<XmlElement>("database");
  database->addChild(std::move(information));
  database->addChild(std::move(data));

  std::unique_ptr<XmlNode> document;
  if (commentText.empty()) {
    document = std::make_unique<XmlComment>(kCreatedComment);
    document->appendSibling(std::make_unique<XmlComment>(kDownloadComment));
  } else {
    document = std::make_unique<XmlComment>(commentText);
  }
  document->appendSibling(std::move(database));
  return document;
}

}  // namespace velmora
