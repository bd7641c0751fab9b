// Saving a database to its XML file and loading one back: the Workspace's way to the files.
#pragma once

#include <memory>
#include <string>

#include "xml/FileEnv.h"

namespace velmora {

class Database;

// Each function below takes an optional failure text: when it fails with 101 or 102 (or refuses
// a schema with 16), the text says for a person what went wrong: "FILE:LINE:COLUMN: message" for
// input that cannot be read (FILE as given, LINE and COLUMN 1-based, COLUMN in bytes; "FILE:
// message" when the failure has no place in the file), "FILE: cannot <step> <path>: <system's
// reason>" for a failed save. Left alone otherwise.

// Writes the database's document to fileName (see DatabaseWriter), replacing the file durably;
// the database is not changed. Returns true. Codes: 16, 2, 1, 14 for a database that cannot be
// written (nothing is touched), 102 when any file step fails (the old file stays whole).
bool saveDatabase(const Database& database, const std::string& fileName,
                  FileEnv& env = defaultFileEnv(), std::string* failure = nullptr);

// As saveDatabase, with the table definitions in info (see DatabaseWriter); code 16 also for a
// definition a schema cannot carry.
bool saveDatabaseWithSchema(const Database& database, const std::string& fileName,
                            FileEnv& env = defaultFileEnv(), std::string* failure = nullptr);

// Clears every table's records, then reads fileName into the tables as it is read (see
// XmlStreamLoader). False, loading nothing, when the document is not a database. Codes: 101 for
// a file that cannot be opened or read as a document (every record cleared); otherwise the
// codes of adding the records (those added before stay).
bool loadDatabase(Database& database, const std::string& fileName, FileEnv& env = defaultFileEnv(),
                  std::string* failure = nullptr);

// A new database built from a file saveDatabaseWithSchema wrote: its name, its tables from the
// schema in the file's order (a relation naming a table that is not there yet is kept, as
// creating such a table keeps it), then its records. nullptr when the document is not a database
// or the loader refuses it as one. Codes in order: 101 when the file cannot be read up to the end
// of info or its schema cannot describe a database (see SchemaReader); 15 when info carries no
// schema; then loadDatabase's codes. Touches no existing database.
std::unique_ptr<Database> openDatabase(const std::string& fileName, FileEnv& env = defaultFileEnv(),
                                       std::string* failure = nullptr);

}  // namespace velmora
