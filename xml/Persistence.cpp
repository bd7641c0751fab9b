#include "xml/Persistence.h"

#include "engine/Database.h"
#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "engine/Table.h"
#include "engine/TableDefinition.h"
#include "xml/DatabaseWriter.h"
#include "xml/SchemaReader.h"
#include "xml/XmlStreamLoader.h"

namespace velmora {

namespace {

std::string describeReadError(const std::string& fileName, const ReadError& error) {
  if (error.line == 0) return fileName + ": " + error.message;
  return fileName + ":" + std::to_string(error.line) + ":" + std::to_string(error.column) + ": " +
         error.message;
}

// Runs read; a 101 it throws leaves the reader's place and reason in failure.
template <typename Reader, typename Read>
auto readReporting(Reader& reader, const std::string& fileName, std::string* failure, Read&& read) {
  try {
    return read();
  } catch (const Win::Exception& e) {
    if (failure != nullptr && e.getCode() == kCannotOpenForReading.code) {
      *failure = describeReadError(fileName, reader.getReadError());
    }
    throw;
  }
}

}  // namespace

bool saveDatabase(const Database& database, const std::string& fileName, FileEnv& env,
                  std::string* failure) {
  DatabaseWriter(database, env).save(fileName, failure);
  return true;
}

bool saveDatabaseWithSchema(const Database& database, const std::string& fileName, FileEnv& env,
                            std::string* failure) {
  DatabaseWriter(database, env, true).save(fileName, failure);
  return true;
}

bool loadDatabase(Database& database, const std::string& fileName, FileEnv& env,
                  std::string* failure) {
  database.clearAllRecords();
  XmlStreamLoader loader(database, env);
  return readReporting(loader, fileName, failure, [&] { return loader.loadFile(fileName); });
}

std::unique_ptr<Database> openDatabase(const std::string& fileName, FileEnv& env,
                                       std::string* failure) {
  SchemaReader reader;
  const FileSchema schema =
      readReporting(reader, fileName, failure, [&] { return reader.readFile(fileName, env); });
  auto database = std::make_unique<Database>(schema.databaseName, 1);
  if (!schema.isDatabase) {
    // Still read to the end, so a file that is no document fails as Load says it does.
    loadDatabase(*database, fileName, env, failure);
    return nullptr;
  }
  if (!schema.hasSchema) {
    // The schema reader stops after info: the rest must still read, so that an unreadable file
    // fails as Load says it does (101, with its place) rather than as one without a schema.
    try {
      loadDatabase(*database, fileName, env, failure);
    } catch (const Win::Exception& e) {
      if (e.getCode() == kCannotOpenForReading.code) throw;
    }
    throwError(kNoSchema);
  }
  for (const SchemaTable& described : schema.tables) {
    auto definition = std::make_unique<TableDefinition>();
    for (const SchemaField& field : described.fields) {
      if (field.type == FieldType::Relation) {
        definition->addRelationField(field.name, field.target);
      } else {
        definition->addField(field.name, field.type);
      }
    }
    try {
      database->addTable(described.name, std::make_unique<Table>(std::move(definition)));
    } catch (const Win::Exception& e) {
      if (e.getCode() != kNameNotFound.code) throw;  // the table is kept, unlinked, as saved
    }
  }
  if (!loadDatabase(*database, fileName, env, failure)) return nullptr;
  return database;
}

}  // namespace velmora
