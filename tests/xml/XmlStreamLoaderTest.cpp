// The streaming load against the two-step one it replaces (parse the whole document, then apply
// it): for every input the same result or code and the same database afterwards, records,
// temporary records and child lists included.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Errors.h"
#include "tests/support/TempDir.h"
#include "tests/support/xmltree/XmlLoader.h"
#include "tests/support/xmltree/XmlNode.h"
#include "tests/support/xmltree/XmlParser.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/FileEnv.h"
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

// window 0: the loader's own window size.
std::string streamingLoad(Database& database, const std::string& input, size_t window) {
  return outcome([&] {
    database.clearAllRecords();
    // Exactly the input's bytes, nothing after them.
    const std::unique_ptr<char[]> bytes(new char[input.size() + 1]);
    input.copy(bytes.get(), input.size());
    XmlStreamLoader loader(database, defaultFileEnv(),
                           window == 0 ? XmlLexer::kDefaultBufferSize : window);
    return loader.load(bytes.get(), bytes.get() + input.size());
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
  for (int t = 0; t < database.getTableCount(); ++t) {
    Table& table = database.tableByIndex(t);
    out += database.tableName(t) + ":";
    out += outcome([&] {
      out += " added " + std::to_string(table.addRecord(-1));
      return true;
    });
    for (int r = 0; r < table.getRecordCount(); ++r) {
      out += " [";
      if (!table.recordExists(r)) out += "empty";
      for (int f = 0; table.recordExists(r) && f < table.getDefinition().getFieldCount(); ++f) {
        out += value(table, r, f) + " ";
      }
      out += "]";
    }
    for (int child = 0; child < database.getTableCount(); ++child) {
      for (int q = 0; q < table.getRecordCount() + 3; ++q) {
        out += " " + outcome([&] {
                 const int count = table.getChildCount(q, child);
                 out += std::to_string(count) + ":";
                 for (int c = 0; c < count; ++c) {
                   out += std::to_string(table.childRecord(q, child, c)) + ",";
                 }
                 return true;
               });
      }
    }
    out += "\n";
  }
  return out;
}

// Windows of 1 to 17 bytes cut every kind of token at every place (#10).
constexpr size_t kTinyWindows = 17;

void expectSameOutcome(const std::string& input, size_t window) {
  SCOPED_TRACE(input + "\nwindow " + std::to_string(window));
  std::unique_ptr<Database> twoStep = makeDatabase();
  std::unique_ptr<Database> streamed = makeDatabase();
  ASSERT_EQ(streamingLoad(*streamed, input, window), twoStepLoad(*twoStep, input));
  ASSERT_EQ(state(*streamed), state(*twoStep));
}

void expectSameOutcomeInAnyWindow(const std::string& input) {
  for (size_t window = 0; window <= kTinyWindows; ++window) {
    expectSameOutcome(input, window);
    if (::testing::Test::HasFatalFailure()) return;
  }
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
      // Links into several lists in any order, and of a table to itself (its own slot, earlier
      // ones); applying stops at a parent that is not there.
      kHead + "<employee><record/><record/><record/></employee><dept><record/></dept><member>" +
          "<record><person>2</person></record><record><person>0</person><dept>0</dept>" +
          "</record><record><person>2</person></record><record><person>9</person></record>" +
          "<record><person>1</person></record></member>" + kTail,
      kHead + "<dept><record><parent>0</parent></record><record><parent>0</parent></record>" +
          "<record><parent>2</parent></record><record><parent>1</parent></record><record>" +
          "<parent>9</parent></record><record><parent>0</parent></record></dept>" + kTail,
      kHead + "<nosuch>x</nosuch><nosuch><record/></nosuch>" + kTail,
      kHead + "<employee><record><bogus>1</bogus></record></employee>" + kTail,
      kHead + "<employee><record><age>1</age></record><dept><record/></dept></employee>" + kTail,
      kHead + "<employee><record><age>99999999999</age></record></employee>" + kTail,
      // A field and its end tag read at once, and end tags that only nearly close it.
      kHead + "<employee><record><age x='1'>2</age><name> </name><surname>s</surname >" +
          "<name>n</name></record></employee>" + kTail,
      kHead + "<employee><record><age>1</ag></record></employee>" + kTail,
      kHead + "<employee><record><age>1</agex></record></employee>" + kTail,
      // Fields expected in the order of the record before, and ones that differ from it.
      kHead + "<employee><record><age>1</age><name>a</name></record><record> <age>2</age>\n" +
          "<name>b</name ><age>5</age></record><record><age/><age>3</age><name></name></record>" +
          "<record><age x='1'>4</age><name>c &amp; d</name></record></employee>" + kTail,
      kHead + "<employee><record><age>1</age></record><record><agex>2</agex></record>" +
          "<record><ag>3</ag></record></employee>" + kTail,
      // Unreadable after records were applied, and after applying already failed.
      kHead + "<employee><record><age>1</age></record></employee></data></database></x>",
      kHead + "<dept><record/></dept><employee><record><age>1</age></record></dept>",
      kHead + "<employee><record><bogus/></record></employee><employee><record></x>",
      kHead + "<nosuch><record/></nosuch><dept><record/>text",
      kHead + "<employee><record><age>1</age></record><!--open",
      kValid + "</database>",
      kValid + "tail",
  };
  for (const std::string& input : cases) expectSameOutcomeInAnyWindow(input);
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
  for (const std::string& seed : seeds) expectSameOutcomeInAnyWindow(seed);

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
    expectSameOutcome(input, static_cast<size_t>(n) % (kTinyWindows + 1));
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
                return XmlStreamLoader(*database, defaultFileEnv()).loadFile(dir.file("page.xml"));
              }),
              "code 101");
    EXPECT_EQ(database->tableByName("employee").getRecordCount(), 0);
  }
}

// A failed load says where: the first byte of the token that could not be read, with LF, CR LF
// and a lone CR each ending one line (#11). The same from memory, through a tiny window and
// from a file.
TEST(XmlStreamLoaderTest, UnreadableInputReportsLineAndColumnOfTheFailingToken) {
  TempDir dir;
  const struct {
    std::string input;
    const char* expected;
  } cases[] = {
      {kHead + "</x></data></database>", "1:24: mismatched end tag </x>, expected </data>"},
      {"<database>\n  <info/>\n  <data>\n    <!-- open\n  </data>\n", "4:5: unterminated comment"},
      {"<database>\r\n  <info/>\r\n  <data>\r\n    <employee\r\n", "4:5: unterminated tag"},
      {"<database>\r<info/>\r</database>\r\n  stray", "4:3: text outside the root element"},
      {kHead + "<employee><record><age>12", "1:47: unexpected end of file"},
      {"<a>\n</a></b>", "2:5: unexpected end tag </b>"},
      {"<a>\n\t\xc3\xa9<b></a>", "2:7: mismatched end tag </a>, expected </b>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    writeFileBytes(dir.file("broken.xml"), c.input);
    for (const size_t window : {size_t{0}, size_t{1}, size_t{5}}) {
      for (const bool fromFile : {false, true}) {
        std::unique_ptr<Database> database = makeDatabase();
        XmlStreamLoader loader(*database, defaultFileEnv(),
                               window == 0 ? XmlLexer::kDefaultBufferSize : window);
        EXPECT_EQ(outcome([&] {
                    return fromFile ? loader.loadFile(dir.file("broken.xml"))
                                    : loader.load(c.input.data(), c.input.data() + c.input.size());
                  }),
                  "code 101");
        const ReadError& error = loader.getReadError();
        EXPECT_EQ(
            std::to_string(error.line) + ":" + std::to_string(error.column) + ": " + error.message,
            c.expected);
      }
    }
  }
}

// Another process truncates and rewrites the file while it is loaded, without the lock: each
// load fails with 101 and no records, or loads what it read; the process never takes a signal
// (#10).
TEST(XmlStreamLoaderTest, FileRewrittenDuringLoadsFailsOrLoadsNeverCrashes) {
  TempDir dir;
  std::string content = kHead + "<employee>";
  for (int i = 0; i < 20000; ++i) {
    content += "<record><name>n" + std::to_string(i) + "</name><age>" + std::to_string(i) +
               "</age></record>";
  }
  content += "</employee>" + kTail;
  const std::string path = dir.file("shared.xml");
  writeFileBytes(path, content);

  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    const int descriptor = open(path.c_str(), O_WRONLY);
    std::mt19937 random(7);
    for (;;) {  // until killed
      const off_t cut = static_cast<off_t>(random() % content.size());
      if (descriptor < 0 || ftruncate(descriptor, cut) != 0) _exit(1);
      usleep(static_cast<useconds_t>(random() % 2000));
      if (pwrite(descriptor, content.data(), content.size(), 0) < 0) _exit(1);
      usleep(static_cast<useconds_t>(random() % 2000));
    }
  }
  int failed = 0;
  int loaded = 0;
  for (int n = 0; n < 60; ++n) {
    std::unique_ptr<Database> database = makeDatabase();
    const std::string result = outcome([&] {
      database->clearAllRecords();
      return XmlStreamLoader(*database, defaultFileEnv(), 64 << 10).loadFile(path);
    });
    const int records = database->tableByName("employee").getRecordCount();
    if (result == "code 101") {
      ++failed;
      EXPECT_EQ(records, 0);
    } else {
      ++loaded;
      EXPECT_EQ(result, "true");
    }
  }
  kill(writer, SIGKILL);
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped early";
  EXPECT_GT(failed, 0);
  RecordProperty("loaded", loaded);
}

}  // namespace
