// The streaming load against the two-step one it replaces (parse the whole document, then apply
// it): for every input the same result or code and the same database afterwards, records,
// temporary records and child lists included.
#include <dirent.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Errors.h"
#include "tests/support/TempDir.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/XmlLoader.h"
#include "xml/XmlNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlStreamLoader.h"

using namespace velmora;

namespace {

// employee (name, surname, age); dept (title, size, parent: dept); member (person: employee,
// dept: dept, note, and a field of a type that holds no values).
std::unique_ptr<Database> makeDatabase() {
  auto database = std::make_unique<Database>("d", 1);
  addEmployeeTable(*database);
  addTable(*database, "dept",
           {{"title", FieldType::String},
            {"size", FieldType::Long},
            {"parent", FieldType::Relation, "dept"}});
  addTable(*database, "member",
           {{"person", FieldType::Relation, "employee"},
            {"dept", FieldType::Relation, "dept"},
            {"note", FieldType::String},
            {"odd", 7}});
  // Earlier state a load must treat like the two-step one: records to clear, a pending
  // temporary record, and a table whose temporary record is used up.
  Table& employees = database->tableByName("employee");
  addEmployee(employees, "old", "one", 1);
  employees.createTemporaryRecord();
  employees.setString("name", "pending");
  Table& departments = database->tableByName("dept");
  departments.createTemporaryRecord();
  departments.addRecord(-1);
  return database;
}

template <typename Step>
std::string outcome(Step&& step) {
  try {
    return step() ? "true" : "false";
  } catch (const Win::Exception& e) {
    return "code " + std::to_string(e.getCode());
  } catch (...) {
    return "other failure";
  }
}

std::string twoStepLoad(Database& database, const std::string& input) {
  return outcome([&] {
    database.clearAllRecords();
    std::unique_ptr<XmlNode> document;
    try {
      document = parseXml(input.c_str());
    } catch (...) {
      throwError(kCannotOpenForReading);
    }
    return document != nullptr && XmlLoader(database, *document).apply();
  });
}

std::string streamingLoad(Database& database, const std::string& input) {
  return outcome([&] {
    database.clearAllRecords();
    // Exactly the input's bytes, nothing after them, as from a mapped file.
    const std::unique_ptr<char[]> bytes(new char[input.size() + 1]);
    input.copy(bytes.get(), input.size());
    return XmlStreamLoader(database).load(bytes.get(), bytes.get() + input.size());
  });
}

std::string value(const Table& table, int record, int field) {
  switch (table.getDefinition().fieldType(field)) {
    case FieldType::Int:
      return std::to_string(table.getInt(record, field));
    case FieldType::Long:
      return std::to_string(table.getLong(record, field));
    case FieldType::String:
      return "'" + std::string(table.getString(record, field)) + "'";
    case FieldType::Relation:
      return "r" + std::to_string(table.getRelation(record, field));
    default:
      return "-";
  }
}

// Everything a caller can observe of the database; the temporary records are observed by
// adding them, so this changes the database.
std::string state(Database& database) {
  std::string out;
  for (int t = 0; t < database.tableCount(); ++t) {
    Table& table = database.tableByIndex(t);
    out += database.tableName(t) + ":";
    out += outcome([&] {
      out += " added " + std::to_string(table.addRecord(-1));
      return true;
    });
    for (int r = 0; r < table.recordCount(); ++r) {
      out += " [";
      if (!table.recordExists(r)) out += "empty";
      for (int f = 0; table.recordExists(r) && f < table.getDefinition().fieldCount(); ++f) {
        out += value(table, r, f) + " ";
      }
      out += "]";
    }
    for (int child = 0; child < database.tableCount(); ++child) {
      for (int q = 0; q < table.recordCount() + 3; ++q) {
        out += " " + outcome([&] {
                 out += std::to_string(table.childCount(q, child));
                 return true;
               });
      }
    }
    out += "\n";
  }
  return out;
}

void expectSameOutcome(const std::string& input) {
  SCOPED_TRACE(input);
  std::unique_ptr<Database> twoStep = makeDatabase();
  std::unique_ptr<Database> streamed = makeDatabase();
  ASSERT_EQ(streamingLoad(*streamed, input), twoStepLoad(*twoStep, input));
  ASSERT_EQ(state(*streamed), state(*twoStep));
}

const std::string kHead = "<database><info/><data>";
const std::string kTail = "</data></database>";
const std::string kValid =
    kHead +
    "<employee><record><name>a &amp; b</name><surname>s</surname><age>3</age></record>"
    "<record><age>-4</age></record></employee>"
    "<dept><record><title>top</title><size>10</size><parent>0</parent></record>"
    "<record><title>sub</title><parent>0</parent></record></dept>"
    "<member><record><person>1</person><dept>1</dept><note> n </note><odd>x</odd></record>"
    "</member>" +
    kTail;

TEST(XmlStreamLoaderTest, DocumentShapesLoadAsParsingThenApplyingDoes) {
  const std::string cases[] = {
      kValid,
      "",
      "   ",
      "<!--c-->",
      "text",
      "x<database><info/><data/></database>",
      "<database/>",
      "<database/><info/><data><employee><record><age>1</age></record></employee></data>",
      "<database><info/></database><data><employee><record/></employee></data>",
      "<database><info/></database><data></data><x/>",
      "<info/><database/>",
      "<database>t<data/></database>",
      "<database><info/>t<data/></database>",
      "<database><info/><other><employee><record/></employee></other></database>",
      kHead + "<employee>x<record><age>1</age></record>y<other/><record/></employee>" + kTail,
      kHead + "<employee/>t<dept><record/></dept>" + kTail,
      kHead + "<employee><record><age>1</age>junk<name>x</name></record></employee>" + kTail,
      kHead + "<employee><record><age><b>7</b></age><name/><surname> </surname></record>",
      kHead + "<employee><record><age>1<!--c-->2</age></record><record><name>",
      kHead + "<employee><record><name>&lt;&gt;&x;&amp</name></record></employee>" + kTail,
      kHead + "<dept><record><parent>5</parent></record><record/></dept>" + kTail,
      kHead + "<member><record><person>0</person></record></member>" + kTail,
      kHead + "<nosuch>x</nosuch><nosuch><record/></nosuch>" + kTail,
      kHead + "<employee><record><bogus>1</bogus></record></employee>" + kTail,
      kHead + "<employee><record><age>1</age></record><dept><record/></dept></employee>" + kTail,
      kHead + "<employee><record><age>99999999999</age></record></employee>" + kTail,
      // Unreadable after records were applied, and after applying already failed.
      kHead + "<employee><record><age>1</age></record></employee></data></database></x>",
      kHead + "<dept><record/></dept><employee><record><age>1</age></record></dept>",
      kHead + "<employee><record><bogus/></record></employee><employee><record></x>",
      kHead + "<nosuch><record/></nosuch><dept><record/>text",
      kHead + "<employee><record><age>1</age></record><!--open",
      kValid + "</database>",
      kValid + "tail",
  };
  for (const std::string& input : cases) expectSameOutcome(input);
}

TEST(XmlStreamLoaderTest, SeedDocumentsAndRandomEditsOfThemLoadTheSame) {
  std::vector<std::string> seeds = {kValid};
  const std::string corpus =
      std::string(VELMORA_SOURCE_DIR) + "/fuzz/corpus/velmora_xml_loader_fuzz";
  if (DIR* directory = opendir(corpus.c_str())) {
    while (const dirent* entry = readdir(directory)) {
      if (entry->d_name[0] != '.') seeds.push_back(readFileBytes(corpus + "/" + entry->d_name));
    }
    closedir(directory);
  }
  ASSERT_GT(seeds.size(), 1u) << "no seed documents in " << corpus;

  // Edits that change the document's shape: markup pieces inserted, bytes removed or cut off.
  const std::string pieces[] = {"<record>", "</record>", "<employee>", "</employee>", "<data>",
                                "</data>",  "<dept>",    "</dept>",    "<age>",       "</age>",
                                "<x/>",     "t",         " ",          "<!--c-->",    "<!--",
                                "&amp;",    "<",         ">",          "</",          "\n"};
  std::mt19937 random(20261208);
  for (int n = 0; n < 1500; ++n) {
    std::string input = seeds[random() % seeds.size()];
    for (int edits = 1 + static_cast<int>(random() % 3); edits > 0; --edits) {
      const size_t at = input.empty() ? 0 : random() % input.size();
      switch (random() % 4) {
        case 0:
          input.insert(at, pieces[random() % (sizeof pieces / sizeof pieces[0])]);
          break;
        case 1:
          input.erase(at, 1 + random() % 8);
          break;
        case 2:
          input.resize(at);
          break;
        default:
          input.insert(at, 1, static_cast<char>(1 + random() % 255));
          break;
      }
    }
    expectSameOutcome(input);
    if (HasFatalFailure()) return;
  }
}

// A file read straight from its mapping: the lexer must stop at the file's last byte, also when
// that byte ends a page and the document is cut short there.
TEST(XmlStreamLoaderTest, FilesEndingAtAPageBoundaryAreReadToTheirLastByteOnly) {
  TempDir dir;
  const long page = sysconf(_SC_PAGESIZE);
  for (const std::string& ending : {std::string("<"), std::string("<!"), std::string("<!-")}) {
    const size_t size = static_cast<size_t>(page) * 2;
    const std::string input =
        kValid + std::string(size - kValid.size() - ending.size(), ' ') + ending;
    writeFileBytes(dir.file("page.xml"), input);
    std::unique_ptr<Database> database = makeDatabase();
    EXPECT_EQ(outcome([&] {
                database->clearAllRecords();
                return XmlStreamLoader(*database).loadFile(dir.file("page.xml"));
              }),
              "code 101");
    EXPECT_EQ(database->tableByName("employee").recordCount(), 0);
  }
}

}  // namespace
