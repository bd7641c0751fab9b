#include "xml/NameRule.h"

#include "engine/Database.h"
#include "engine/Errors.h"
#include "engine/Table.h"
#include "engine/TableDefinition.h"

namespace velmora {

bool isWritableName(std::string_view name) {
  if (name.empty() || name.front() == '!' || name.front() == '?') return false;
  return name.find_first_of("<>/") == std::string_view::npos;
}

void requireWritableNames(const Database& database) {
  for (int t = 0; t < database.getTableCount(); ++t) {
    if (!database.tableExists(t)) continue;
    if (!isWritableName(database.tableName(t))) throwError(kNameNotWritable);
    const TableDefinition& definition = database.tableByIndex(t).getDefinition();
    for (int field = 0; field < definition.getFieldCount(); ++field) {
      if (!isWritableName(definition.fieldName(field))) throwError(kNameNotWritable);
    }
  }
}

}  // namespace velmora
