// Saving a database to its XML file and loading one back: the Workspace's way to the files.
#pragma once

#include <string>

#include "xml/FileEnv.h"

namespace velmora {

class Database;

// Writes the database's document to fileName (see DatabaseWriter), replacing the file durably;
// the database is not changed. Returns true. Codes: 2, 1, 14 for a database that cannot be
// written (nothing is touched), 102 when any file step fails (the old file stays whole).
bool saveDatabase(const Database& database, const std::string& fileName,
                  FileEnv& env = defaultFileEnv());

// Clears every table's records, then reads fileName into the tables as it is read (see
// XmlStreamLoader). False, loading nothing, when the document is not a database. Codes: 101 for
// a file that cannot be opened or read as a document (every record cleared); otherwise the
// codes of adding the records (those added before stay).
bool loadDatabase(Database& database, const std::string& fileName, FileEnv& env = defaultFileEnv());

}  // namespace velmora
