// The SQLite peer's table: the same employees in an in-memory database.
#pragma once

#include <sqlite3.h>

#include <vector>

#include "bench/EmployeeData.h"

namespace velmora {

// An in-memory SQLite database holding the table employee(name TEXT, surname TEXT, age INTEGER);
// owns the connection. Not thread-safe.
class SqliteEmployees {
 public:
  SqliteEmployees();  // exits the process when SQLite cannot open or create the table
  ~SqliteEmployees();
  SqliteEmployees(const SqliteEmployees&) = delete;
  SqliteEmployees& operator=(const SqliteEmployees&) = delete;

  // Inserts the rows in one transaction through one prepared INSERT; false on any failure.
  bool insert(const std::vector<Employee>& rows);
  sqlite3* get() const { return connection; }

 private:
  sqlite3* connection = nullptr;
};

}  // namespace velmora
