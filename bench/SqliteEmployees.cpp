#include "bench/SqliteEmployees.h"

#include <stdio.h>
#include <stdlib.h>

namespace velmora {

SqliteEmployees::SqliteEmployees() {
  if (sqlite3_open(":memory:", &connection) != SQLITE_OK ||
      sqlite3_exec(connection, "CREATE TABLE employee(name TEXT, surname TEXT, age INTEGER)",
                   nullptr, nullptr, nullptr) != SQLITE_OK) {
    fprintf(stderr, "velmora_bench: SQLite: %s\n", sqlite3_errmsg(connection));
    exit(2);
  }
}

SqliteEmployees::~SqliteEmployees() { sqlite3_close(connection); }

bool SqliteEmployees::insert(const std::vector<Employee>& rows) {
  if (sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(connection, "INSERT INTO employee VALUES(?1, ?2, ?3)", -1, &statement,
                         nullptr) != SQLITE_OK) {
    return false;
  }
  bool ok = true;
  for (const Employee& employee : rows) {
    sqlite3_bind_text(statement, 1, employee.name.data(), static_cast<int>(employee.name.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(statement, 2, employee.surname.data(),
                      static_cast<int>(employee.surname.size()), SQLITE_STATIC);
    sqlite3_bind_int(statement, 3, employee.age);
    ok = sqlite3_step(statement) == SQLITE_DONE && ok;
    sqlite3_reset(statement);
  }
  sqlite3_finalize(statement);
  return sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
}

}  // namespace velmora
