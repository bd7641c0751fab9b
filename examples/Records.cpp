// Records by name and by index: define a table, add, replace and delete records, read them back.
#include <stdio.h>

#include "velmora/Client.h"

using namespace velmora;

int main() {
  try {
    ComInitializer com;  // brackets every use of the component on this thread
    DatabaseClient db("staff", 1);

    // A table is defined field by field in the temporary table, then created from it.
    db.CreateTemporaryTable();
    db.AddField("name", kStringField);              // field 0
    const int age = db.AddField("age", kIntField);  // field 1
    const int employee = db.CreateTable("employee");

    // By name: choosing a table gives it a fresh temporary record; AddRecord(-1) appends it.
    db.ChooseTable("employee");
    db.SetString("name", "ada");
    db.SetInt("age", 36);
    db.AddRecord(-1);

    // By index: the same with the table's and the fields' indices.
    db.ChooseTableAt(employee);
    db.SetStringAt(0, "alan");
    db.SetIntAt(age, 41);
    const int alan = db.AddRecord(-1);

    // AddRecord consumes the temporary record: choose the table again for the next one. A field
    // left unset gets its type's default (0, or the empty text).
    db.ChooseTable("employee");
    db.SetString("name", "grace");
    db.AddRecord(-1);

    // Deleting empties the slot; no other record changes its index.
    db.DeleteRecord("employee", 0);
    printf("%d slots\n", db.GetRecordCount("employee"));
    for (int32_t r : db.records("employee")) {
      printf("%d: %s, %d\n", r, db.GetString("employee", r, "name").c_str(),
             db.GetIntAt(employee, r, age));
    }

    // A position inside the slots replaces the record there.
    db.ChooseTable("employee");
    db.SetString("name", "alan");
    db.SetInt("age", 42);
    db.AddRecord(alan);
    printf("alan is now %d\n", db.GetInt("employee", alan, "age"));

    // A failed call throws; the engine's error number says why (14: no record in that slot).
    try {
      db.GetString("employee", 0, "name");
    } catch (const Exception& e) {
      printf("record 0: error %d\n", e.errorNumber());
    }
    return 0;
  } catch (const Exception& e) {
    fprintf(stderr, "%s: %s (error %d)\n", e.what(), e.description().c_str(), e.errorNumber());
    return 1;
  }
}
