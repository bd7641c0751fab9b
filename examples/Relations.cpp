// Relations and cascading delete: employees refer to their department; deleting a department
// deletes its employees first.
#include <stdio.h>

#include "velmora/Client.h"

using namespace velmora;

namespace {

void add(DatabaseClient& db, const char* table, const char* name) {
  db.ChooseTable(table);
  db.SetString("name", name);
  db.AddRecord(-1);
}

void addEmployee(DatabaseClient& db, const char* name, int department) {
  db.ChooseTable("employee");
  db.SetString("name", name);
  db.SetRelation("department", department);  // the index of a department record
  db.AddRecord(-1);
}

void listStaff(DatabaseClient& db) {
  for (int32_t d : db.records("department")) {
    printf("%s:", db.GetString("department", d, "name").c_str());
    // The department's child list: the employee records that refer to it, in the order added.
    const int count = db.GetChildCount("department", d, "employee");
    for (int position = 0; position < count; ++position) {
      const int e = db.GetChild("department", d, "employee", position);
      printf(" %s", db.GetString("employee", e, "name").c_str());
    }
    printf("\n");
  }
}

}  // namespace

int main() {
  try {
    ComInitializer com;
    DatabaseClient db("company", 1);

    // The target table must exist before a table with a relation to it is created.
    db.CreateTemporaryTable();
    db.AddField("name", kStringField);
    db.CreateTable("department");
    db.CreateTemporaryTable();
    db.AddField("name", kStringField);
    db.AddRelationField("department", "department");
    db.CreateTable("employee");
    printf("employee.department -> %s\n", db.GetRelationTarget("employee", 1).c_str());

    add(db, "department", "research");  // record 0
    add(db, "department", "sales");     // record 1
    addEmployee(db, "ada", 0);
    addEmployee(db, "bob", 1);
    addEmployee(db, "alan", 0);
    listStaff(db);

    // Deleting research deletes ada and alan first, then research itself.
    db.DeleteRecord("department", 0);
    printf("after deleting research:\n");
    listStaff(db);
    for (int32_t e : db.records("employee")) {
      printf("employee %d: %s\n", e, db.GetString("employee", e, "name").c_str());
    }
    return 0;
  } catch (const Exception& e) {
    fprintf(stderr, "%s: %s (error %d)\n", e.what(), e.description().c_str(), e.errorNumber());
    return 1;
  }
}
