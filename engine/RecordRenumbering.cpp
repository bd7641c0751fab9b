#include "engine/RecordRenumbering.h"

#include "engine/Database.h"

namespace velmora {

RecordRenumbering::RecordRenumbering(const Database& owner) : database(owner), maps(1) {
  for (int t = 0; t < database.getTableCount(); ++t) {
    if (!database.tableExists(t)) {
      maps.append(std::make_unique<TableMap>(-1));
      continue;
    }
    const Table& table = database.tableByIndex(t);
    auto map = std::make_unique<TableMap>(t);
    int shift = 0;
    for (int r = 0; r < table.getRecordCount(); ++r) {
      if (!table.recordExists(r)) --shift;
      map->newIndex.append(r + shift);
    }
    maps.append(std::move(map));
  }
}

int RecordRenumbering::renumber(std::string_view tableName, int record) const {
  return maps.at(database.tableIndex(tableName))->newIndex.at(record);
}

}  // namespace velmora
