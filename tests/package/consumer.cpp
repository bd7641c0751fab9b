// Creates the registered component through the installed client wrapper and counts its tables.
#include <stdio.h>

#include "velmora/Client.h"

using namespace velmora;

int main() {
  try {
    ComInitializer com;
    DatabaseClient client("consumer", 1);
    client.CreateTemporaryTable();
    client.AddField("value", 0);
    client.CreateTable("numbers");
    printf("tables: %d\n", client.GetTableCount());
    return 0;
  } catch (const Exception& e) {
    printf("%s: %s (%d)\n", e.text().c_str(), e.description().c_str(), e.errorNumber());
    return 1;
  }
}
