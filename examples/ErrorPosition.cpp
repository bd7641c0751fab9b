// Where a hand-edited file goes wrong: open reports the file, line and column of the first token
// it cannot read in the exception's text.
#include <stdio.h>

#include "velmora/Client.h"

using namespace velmora;

namespace {

// Line 10 closes <name> with </nme>.
const char kBrokenFile[] =
    "<database>\n"
    "  <info>\n"
    "    <name>staff</name>\n"
    "    <version>1</version>\n"
    "    <schema><table><name>employee</name>"
    "<field><name>name</name><type>String</type></field></table></schema>\n"
    "  </info>\n"
    "  <data>\n"
    "    <employee>\n"
    "      <record><name>ada</name></record>\n"
    "      <record><name>alan</nme></record>\n"
    "    </employee>\n"
    "  </data>\n"
    "</database>\n";

}  // namespace

int main() {
  FILE* file = fopen("broken.xml", "w");
  if (file == nullptr || fputs(kBrokenFile, file) < 0 || fclose(file) != 0) {
    perror("broken.xml");
    return 1;
  }
  try {
    ComInitializer com;
    DatabaseClient db("staff", 1);
    db.open("broken.xml");
    printf("opened, though the file is broken\n");
    return 1;
  } catch (const std::exception& e) {  // velmora::Exception is a std::exception
    printf("%s\n", e.what());          // broken.xml:10:25: ...
  }
  return 0;
}
