#include "xml/Persistence.h"

#include "engine/Database.h"
#include "xml/DatabaseWriter.h"
#include "xml/XmlStreamLoader.h"

namespace velmora {

bool saveDatabase(const Database& database, const std::string& fileName, FileEnv& env) {
  DatabaseWriter(database, env).save(fileName);
  return true;
}

bool loadDatabase(Database& database, const std::string& fileName, FileEnv& env) {
  database.clearAllRecords();
  return XmlStreamLoader(database, env).loadFile(fileName);
}

}  // namespace velmora
