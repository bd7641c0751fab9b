// Creates the registered component through the installed client wrapper and counts its tables;
// prints the installed headers' version first.
#include <stdio.h>

#include "velmora/Client.h"
#include "velmora/Version.h"

using namespace velmora;

int main() {
  printf("velmora %s\n", VELMORA_VERSION);
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
