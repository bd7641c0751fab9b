// democlient: builds a small database through the client wrapper, saves it as sample.xml, loads
// it into a second instance and into the first again, and reports the outcome.
#include <stdio.h>

#include <string>

#include "velmora/Client.h"

#include "platform/MessageBox.h"
#include "platform/RegistryTrust.h"

using namespace velmora;

namespace {

void write(const std::string& text) { fputs(text.c_str(), stdout); }

void defineEmployee(DatabaseClient& client) {
  client.CreateTemporaryTable();
  client.AddField("name", kStringField);
  client.AddField("surname", kStringField);
  client.AddField("age", kIntField);
  client.CreateTable("employee");
}

}  // namespace

int main() {
  try {
    ComInitializer com;
    DatabaseClient first("my database", 1);
    defineEmployee(first);
    first.ChooseTable("employee");
    first.SetString("name", "john");
    first.SetString("surname", "doe");
    first.SetInt("age", 12);
    first.AddRecord(-1);
    first.Save("sample.xml");

    DatabaseClient second("my database", 1);
    defineEmployee(second);
    second.Load("sample.xml");
    first.Load("sample.xml");

    write("everything went fine");
    write("\nthis sample program has been able to create an XML file from ");
    write("an existing database, as well as read it into another database");
    fflush(stdout);
    showMessageBox("everything went fine", "everything went fine");
  } catch (const Exception& e) {
    char number[64];
    snprintf(number, sizeof number, "; the error number is %d \n", e.errorNumber());
    write(e.text());
    write(": ");
    write(e.description());
    if (e.getCode() == E_ACCESSDENIED && !lastCreationRefusal().empty())
      write(" (" + lastCreationRefusal() + ")");
    write(number);
    write(" see your velmora documentation for details...");
    fflush(stdout);
    showMessageBox("an exception has been raised", "error");
    return 1;
  } catch (...) {
    write("unknown exception");
    fflush(stdout);
    showMessageBox("an unknown exception has been raised", "error");
    return 1;
  }
  return 0;
}
