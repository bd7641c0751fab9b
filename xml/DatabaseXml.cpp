// The Database's XML persistence: building the document, saving it and loading a file.
#include <memory>
#include <string>

#include "engine/Database.h"
#include "xml/XmlLoader.h"
#include "xml/XmlNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlWriter.h"

namespace {

constexpr const char kCreatedComment[] = "this is a database created with velmora";
constexpr const char kDownloadComment[] =
    "you can download this program from https://velmora.example.org/download";

std::unique_ptr<XmlElement> elementWithText(const char* name, const std::string& text) {
  auto element = std::make_unique<XmlElement>(name);
  element->addChild(std::make_unique<XmlText>(text));
  return element;
}

}  // namespace

bool Database::saveXml(const std::string& fileName) {
  std::unique_ptr<XmlNode> document = buildXmlDocument(std::string());
  writeXmlFile(document.get(), fileName);
  return true;
}

bool Database::loadXml(const std::string& fileName) {
  clearAllRecords();
  std::unique_ptr<XmlNode> document = readXmlFile(fileName);
  if (!document) return false;
  return XmlLoader(*this, *document).apply();
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
