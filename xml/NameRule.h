// NameRule: which table and field names can be written to a file as element names.
#pragma once

#include <string_view>

namespace velmora {

class Database;

// False for a name that would change the saved document's structure or not read back as itself:
// empty, holding '<', '>' or '/', or beginning with '!' or '?'. Blanks and other bytes are written
// as they are.
bool isWritableName(std::string_view name);

// Code 16 when an existing table's name or one of its field names is not writable. Deleted
// tables are skipped: a save writes nothing of them. Borrows the database; touches no file.
void requireWritableNames(const Database& database);

}  // namespace velmora
