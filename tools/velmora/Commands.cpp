// The commands of the velmora tool over the in-memory database.
#include "tools/velmora/Commands.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <memory>
#include <string_view>

#include "velmora/Version.h"

#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "tools/velmora/Csv.h"
#include "tools/velmora/DatabaseFile.h"
#include "tools/velmora/TextOutput.h"
#include "xml/NameRule.h"

namespace velmora {

namespace {

struct CommandSpec {
  const char* name;
  const char* synopsis;  // after "velmora NAME "
  const char* summary;
};

constexpr CommandSpec kCommands[] = {
    {"info", "FILE", "the database name, format version, schema presence and record counts"},
    {"schema", "FILE", "each table's fields with types and relation targets"},
    {"check", "FILE", "read FILE strictly and report the first problem with its position"},
    {"export", "[--format csv|json|jsonl|table] FILE TABLE", "write TABLE's records to stdout"},
    {"import", "FILE TABLE CSVFILE", "append the rows of CSVFILE (- for stdin) to TABLE"},
    {"create", "FILE TABLE FIELD:TYPE[:TARGET]...",
     "add a table (TYPE Int, String, Long or Relation; a Relation names its TARGET table)"},
    {"format", "[--indent] FILE [OUT]",
     "rewrite FILE (or write OUT) in the one-line or indented form"},
};

std::string mainUsage() {
  std::string text =
      "usage: velmora COMMAND [OPTIONS] ARGUMENTS\n       velmora --help | --version\n\n";
  text += "Commands:\n";
  for (const CommandSpec& command : kCommands) {
    text += "  " + std::string(command.name) + " " + command.synopsis + "\n      " +
            command.summary + "\n";
  }
  text +=
      "\n'velmora COMMAND --help' describes one command. Exit status: 0 success, 1 the file or\n"
      "data is bad or the operation failed, 2 usage.\n";
  return text;
}

std::string commandUsage(const CommandSpec& command) {
  return "usage: velmora " + std::string(command.name) + " " + command.synopsis + "\n  " +
         command.summary + "\n";
}

struct UsageError {
  std::string message;
};

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool parseInt32(std::string_view text, int& value) {
  const char* const end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && !text.empty();
}

void appendNumber(int value, std::string& out) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

long long fileSize(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? static_cast<long long>(status.st_size) : 0;
}

Table& tableNamed(const LoadedDatabase& loaded, const std::string& path, const std::string& name) {
  const int index = velmora::findTable(*loaded.database, name);
  if (index < 0 || !loaded.database->tableExists(index)) {
    throw CommandError(path + ": no table " + quoted(name));
  }
  return loaded.database->tableByIndex(index);
}

// ---- info, schema, check

int info(const std::vector<std::string>& arguments) {
  const LoadedDatabase loaded = DatabaseFile::read(arguments[0]);
  const SchemaDescription& schema = loaded.schema;
  printf("database: %s\nformat version: %s\nschema: %s\ntables: %zu\n", schema.databaseName.c_str(),
         schema.version.c_str(), schema.hasSchema ? "yes" : "no (fields inferred from the records)",
         schema.tables.size());
  for (const TableSchema& table : schema.tables) {
    printf("  %s: %lld record%s\n", table.name.c_str(), table.recordCount,
           table.recordCount == 1 ? "" : "s");
  }
  return kExitOk;
}

int schema(const std::vector<std::string>& arguments) {
  const LoadedDatabase loaded = DatabaseFile::read(arguments[0]);
  std::string out;
  for (const TableSchema& table : loaded.schema.tables) {
    out += "table " + table.name + "\n";
    for (const SchemaField& field : table.fields) {
      out += "  " + field.name + " ";
      if (!loaded.schema.hasSchema) {
        out += "(inferred)\n";
        continue;
      }
      out += typeName(field.type);
      if (field.type == FieldType::Relation) out += " -> " + field.target;
      out += "\n";
    }
  }
  fputs(out.c_str(), stdout);
  return kExitOk;
}

int check(const std::vector<std::string>& arguments) {
  const std::string& path = arguments[0];
  const SchemaDescription description = DatabaseFile::check(path);
  long long records = 0;
  for (const TableSchema& table : description.tables) records += table.recordCount;
  printf("%s: ok, %zu tables, %lld records\n", path.c_str(), description.tables.size(), records);
  return kExitOk;
}

// ---- export

enum class Format { Csv, Json, JsonLines, Table };

int exportTable(const std::vector<std::string>& arguments, Format format) {
  const std::string& path = arguments[0];
  const LoadedDatabase loaded = DatabaseFile::read(path);
  const Table& table = tableNamed(loaded, path, arguments[1]);
  const TableDefinition& definition = table.getDefinition();
  const int fieldCount = definition.getFieldCount();
  const bool typed = loaded.schema.hasSchema;

  BufferedOutput output(stdout);
  std::string& out = output.text();
  ProgressLine progress("exporting", loaded.fileBytes);
  std::vector<std::string> jsonKeys;
  for (int f = 0; f < fieldCount; ++f) {
    std::string key;
    appendJsonString(definition.fieldName(f), key);
    key.push_back(':');
    jsonKeys.push_back(std::move(key));
  }
  std::vector<int> types;
  for (int f = 0; f < fieldCount; ++f) types.push_back(definition.fieldType(f));
  long long replaced = 0;
  // A field of a number type: JSON quotes it (quote) when the file has no schema to say so.
  const auto appendNumberField = [&](int r, int f, bool quote) {
    const int value = types[f] == FieldType::Int    ? table.getInt(r, f)
                      : types[f] == FieldType::Long ? table.getLong(r, f)
                                                    : table.getRelation(r, f);
    if (quote && !typed) out.push_back('"');
    appendNumber(value, out);
    if (quote && !typed) out.push_back('"');
  };

  std::vector<std::vector<std::string>> rows;
  if (format == Format::Csv) {
    for (int f = 0; f < fieldCount; ++f) {
      if (f > 0) out.push_back(',');
      appendCsvField(definition.fieldName(f), out);
    }
    out.append("\r\n");
  } else if (format == Format::Json) {
    out.push_back('[');
  } else if (format == Format::Table) {
    rows.emplace_back();
    for (int f = 0; f < fieldCount; ++f) rows.back().push_back(definition.fieldName(f));
  }
  bool firstRecord = true;
  std::string cell;
  for (int r = 0; r < table.getRecordCount(); ++r) {
    if (!table.recordExists(r)) continue;
    switch (format) {
      case Format::Csv:
        for (int f = 0; f < fieldCount; ++f) {
          if (f > 0) out.push_back(',');
          if (types[f] == FieldType::String) {
            appendCsvField(table.getString(r, f), out);
          } else {
            appendNumberField(r, f, false);
          }
        }
        out.append("\r\n");
        break;
      case Format::Json:
      case Format::JsonLines:
        if (format == Format::Json) out.append(firstRecord ? "\n" : ",\n");
        out.push_back('{');
        for (int f = 0; f < fieldCount; ++f) {
          if (f > 0) out.push_back(',');
          out.append(jsonKeys[f]);
          if (types[f] == FieldType::String) {
            replaced += appendJsonString(table.getString(r, f), out);
          } else {
            appendNumberField(r, f, true);
          }
        }
        out.push_back('}');
        if (format == Format::JsonLines) out.push_back('\n');
        break;
      case Format::Table:
        rows.emplace_back();
        for (int f = 0; f < fieldCount; ++f) {
          if (types[f] == FieldType::String) {
            rows.back().emplace_back(table.getString(r, f));
          } else {
            const size_t mark = out.size();
            appendNumberField(r, f, false);
            rows.back().push_back(out.substr(mark));
            out.resize(mark);
          }
        }
        break;
    }
    firstRecord = false;
    output.maybeFlush();
    progress.update(r + 1, table.getRecordCount());
  }
  if (format == Format::Json) out.append(firstRecord ? "]\n" : "\n]\n");
  if (format == Format::Table) appendTextTable(rows, out);
  if (!output.flush())
    throw CommandError("velmora: writing the output failed: " + std::string(strerror(errno)));
  if (replaced > 0) {
    fprintf(stderr,
            "velmora: warning: %s: %lld byte%s of table %s not valid UTF-8, written as U+FFFD\n",
            path.c_str(), replaced, replaced == 1 ? " is" : "s are", quoted(arguments[1]).c_str());
  }
  return kExitOk;
}

// ---- import

// Sets one CSV cell into the temporary record; throws CommandError (without position) when the
// cell cannot be the field's value.
void setCell(const Database& database, Table& table, int field, std::string_view cell) {
  const TableDefinition& definition = table.getDefinition();
  const int type = definition.fieldType(field);
  if (type == FieldType::String) {
    table.setString(field, cell);
    return;
  }
  int value = 0;
  if (!parseInt32(cell, value)) {
    throw CommandError("field " + quoted(definition.fieldName(field)) + ": " + quoted(cell) +
                       " is not a 32-bit integer");
  }
  if (type == FieldType::Int) {
    table.setInt(field, value);
  } else if (type == FieldType::Long) {
    table.setLong(field, value);
  } else if (type == FieldType::Relation) {
    const std::string& targetName = definition.relationTarget(field);
    const int target = findTable(database, targetName);
    if (target < 0 || !database.tableExists(target) || value < 0 ||
        value >= database.tableByIndex(target).getRecordCount() ||
        !database.tableByIndex(target).recordExists(value)) {
      throw CommandError("field " + quoted(definition.fieldName(field)) + ": record " +
                         std::to_string(value) + " does not exist in table " + quoted(targetName));
    }
    table.setRelation(field, value);
  } else {
    throw CommandError("field " + quoted(definition.fieldName(field)) +
                       " has a type that holds no value");
  }
}

// The CSV input: a file, or standard input for "-". The library's InputFile cannot read a pipe.
class CsvInput {
 public:
  explicit CsvInput(const std::string& path) : name(path) {
    if (path == "-") {
      descriptor = STDIN_FILENO;
      return;
    }
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    owned = descriptor >= 0;
    if (descriptor < 0) throw CommandError(path + ": " + strerror(errno));
  }
  ~CsvInput() {
    if (owned) ::close(descriptor);
  }
  CsvInput(const CsvInput&) = delete;
  CsvInput& operator=(const CsvInput&) = delete;
  // Reads the next piece into buffer; empty at the end.
  std::string_view read(std::string& buffer) {
    buffer.resize(size_t{1} << 20);
    for (;;) {
      const ssize_t got = ::read(descriptor, buffer.data(), buffer.size());
      if (got >= 0) return std::string_view(buffer.data(), static_cast<size_t>(got));
      if (errno != EINTR) throw CommandError(name + ": " + strerror(errno));
    }
  }

 private:
  std::string name;
  int descriptor;
  bool owned = false;
};

int importRows(const std::vector<std::string>& arguments) {
  const std::string& path = arguments[0];
  const std::string& csvPath = arguments[2];
  const LoadedDatabase loaded = DatabaseFile::read(path);
  if (!loaded.schema.hasSchema) {
    throw CommandError(path +
                       ": the file carries no schema, so its field types are unknown; "
                       "import needs a file written by velmora create or import");
  }
  Table& table = tableNamed(loaded, path, arguments[1]);
  const TableDefinition& definition = table.getDefinition();
  const std::string shownCsv = csvPath == "-" ? "<stdin>" : csvPath;
  const auto failAt = [&](long line, const std::string& message) {
    throw CommandError(shownCsv + ":" + std::to_string(line) + ": " + message);
  };

  CsvInput input(csvPath);
  ProgressLine progress("importing", csvPath == "-" ? 0 : fileSize(csvPath));
  CsvReader reader;
  CsvReader::Record record;
  std::vector<int> columns;  // the field of each CSV column
  bool haveHeader = false;
  long long imported = 0;
  long long bytesRead = 0;
  std::string buffer;
  bool ended = false;
  while (!ended) {
    const std::string_view piece = input.read(buffer);
    bytesRead += static_cast<long long>(piece.size());
    if (piece.empty()) {
      ended = true;
      reader.finish();
    } else {
      reader.feed(piece);
    }
    while (reader.next(record)) {
      if (!haveHeader) {
        haveHeader = true;
        for (size_t c = 0; c < record.size(); ++c) {
          const std::string_view name = record[c];
          const int field = findField(definition, name);
          if (field < 0)
            failAt(record.line,
                   "unknown field " + quoted(name) + " in table " + quoted(arguments[1]));
          for (const int seen : columns) {
            if (seen == field) failAt(record.line, "field " + quoted(name) + " named twice");
          }
          columns.push_back(field);
        }
        continue;
      }
      if (record.size() != columns.size()) {
        failAt(record.line, std::to_string(record.size()) + " fields where the header has " +
                                std::to_string(columns.size()));
      }
      try {
        table.createTemporaryRecord();
        for (size_t c = 0; c < columns.size(); ++c) {
          setCell(*loaded.database, table, columns[c], record[c]);
        }
        table.addRecord(-1);
      } catch (const CommandError& e) {
        failAt(record.line, e.what());
      } catch (const Win::Exception& e) {
        failAt(record.line, e.getMessage());
      }
      ++imported;
    }
    if (!reader.error().empty()) failAt(reader.errorLine(), reader.error());
    progress.update(bytesRead, 0);
  }
  if (!haveHeader) throw CommandError(shownCsv + ": no header row");
  DatabaseFile::write(path, *loaded.database, true, false);
  printf("%s: %lld record%s imported into %s\n", path.c_str(), imported, imported == 1 ? "" : "s",
         arguments[1].c_str());
  return kExitOk;
}

// ---- create

// A name the library writes (isWritableName) may still not read back as itself: the reader
// takes a tag's name as its run of ASCII letters, digits and "_", so the tool keeps to those.
std::string nameProblem(const std::string& what, const std::string& name) {
  if (!isWritableName(name)) {
    return what + " name " + quoted(name) + " cannot be stored: " + kNameNotWritable.message;
  }
  const bool storable = std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
  if (storable) return "";
  return what + " name " + quoted(name) +
         " cannot be stored: names are ASCII letters, digits and \"_\", at least one";
}

int createTable(const std::vector<std::string>& arguments) {
  const std::string& path = arguments[0];
  const std::string& tableName = arguments[1];
  if (const std::string problem = nameProblem("table", tableName); !problem.empty())
    throw UsageError{problem};
  auto definition = std::make_unique<TableDefinition>();
  std::vector<std::string> fieldNames;
  std::vector<std::string> targets;
  for (size_t a = 2; a < arguments.size(); ++a) {
    const std::string& fieldText = arguments[a];
    const size_t colon = fieldText.find(':');
    if (colon == std::string::npos)
      throw UsageError{"field " + quoted(fieldText) + " needs a type: FIELD:TYPE[:TARGET]"};
    const std::string name = fieldText.substr(0, colon);
    const size_t second = fieldText.find(':', colon + 1);
    const std::string typeText = fieldText.substr(
        colon + 1, second == std::string::npos ? std::string::npos : second - colon - 1);
    const std::string target = second == std::string::npos ? "" : fieldText.substr(second + 1);
    if (const std::string problem = nameProblem("field", name); !problem.empty())
      throw UsageError{problem};
    for (const std::string& seen : fieldNames) {
      if (seen == name) throw UsageError{"field " + quoted(name) + " named twice"};
    }
    const int type = parseType(typeText);
    if (type < 0)
      throw UsageError{"field " + quoted(name) + ": unknown type " + quoted(typeText) +
                       " (Int, String, Long or Relation)"};
    if ((type == FieldType::Relation) != (second != std::string::npos)) {
      throw UsageError{
          "field " + quoted(name) +
          ": a Relation field, and only one, names its target table (FIELD:Relation:TARGET)"};
    }
    fieldNames.push_back(name);
    if (type == FieldType::Relation) {
      definition->addRelationField(name, target);
      targets.push_back(target);
    } else {
      definition->addField(name, type);
    }
  }

  LoadedDatabase loaded;
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    loaded = DatabaseFile::read(path);
    if (!loaded.schema.hasSchema) {
      throw CommandError(path +
                         ": the file carries no schema; tables can only be added to files that do");
    }
  } else if (errno == ENOENT) {
    loaded.database = std::make_unique<Database>("velmora", 1);
  } else {
    throw CommandError(path + ": " + strerror(errno));
  }
  Database& database = *loaded.database;
  if (findTable(database, tableName) >= 0)
    throw CommandError(path + ": table " + quoted(tableName) + " already exists");
  for (const std::string& target : targets) {
    const int index = findTable(database, target);
    if (index < 0 || !database.tableExists(index)) {
      throw CommandError(path + ": relation target " + quoted(target) +
                         " is not a table of the file");
    }
  }
  database.addTable(tableName, std::make_unique<Table>(std::move(definition)));
  DatabaseFile::write(path, database, true, false);
  return kExitOk;
}

// ---- format

int formatFile(const std::vector<std::string>& arguments, bool indent) {
  const LoadedDatabase loaded = DatabaseFile::read(arguments[0]);
  const std::string& out = arguments.size() > 1 ? arguments[1] : arguments[0];
  DatabaseFile::write(out, *loaded.database, loaded.schema.hasSchema, indent);
  return kExitOk;
}

// ---- dispatch

struct Parsed {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "--indent" -> "", "--format" -> "csv"
  bool help = false;
};

// Options of one command: name and whether it takes a value.
Parsed parseArguments(const std::vector<std::string>& arguments,
                      const std::map<std::string, bool>& known) {
  Parsed parsed;
  bool optionsEnded = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument == "-" || argument.rfind("-", 0) != 0) {
      parsed.positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "--help" || argument == "-h") {
      parsed.help = true;
      continue;
    }
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const auto found = known.find(name);
    if (found == known.end()) throw UsageError{"unknown option " + quoted(argument)};
    if (!found->second) {
      if (equals != std::string::npos) throw UsageError{"option " + name + " takes no value"};
      parsed.options[name] = "";
    } else if (equals != std::string::npos) {
      parsed.options[name] = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      parsed.options[name] = arguments[++i];
    } else {
      throw UsageError{"option " + name + " needs a value"};
    }
  }
  return parsed;
}

int runCommand(const CommandSpec& command, const std::vector<std::string>& arguments) {
  const std::string name = command.name;
  std::map<std::string, bool> known;
  if (name == "export") known["--format"] = true;
  if (name == "format") known["--indent"] = false;
  const Parsed parsed = parseArguments(arguments, known);
  if (parsed.help) {
    fputs(commandUsage(command).c_str(), stdout);
    return kExitOk;
  }
  const size_t count = parsed.positional.size();
  const auto need = [&](size_t least, size_t most) {
    if (count < least || count > most) throw UsageError{"wrong number of arguments"};
  };
  if (name == "info" || name == "schema" || name == "check") {
    need(1, 1);
    if (name == "info") return info(parsed.positional);
    if (name == "schema") return schema(parsed.positional);
    return check(parsed.positional);
  }
  if (name == "export") {
    need(2, 2);
    const auto option = parsed.options.find("--format");
    const std::string format = option == parsed.options.end() ? "csv" : option->second;
    static const std::map<std::string, Format> kFormats = {{"csv", Format::Csv},
                                                           {"json", Format::Json},
                                                           {"jsonl", Format::JsonLines},
                                                           {"table", Format::Table}};
    const auto found = kFormats.find(format);
    if (found == kFormats.end()) throw UsageError{"unknown format " + quoted(format)};
    return exportTable(parsed.positional, found->second);
  }
  if (name == "import") {
    need(3, 3);
    return importRows(parsed.positional);
  }
  if (name == "create") {
    need(3, static_cast<size_t>(-1));
    return createTable(parsed.positional);
  }
  need(1, 2);
  return formatFile(parsed.positional, parsed.options.count("--indent") > 0);
}

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    fputs(mainUsage().c_str(), stderr);
    return kExitUsage;
  }
  const std::string& first = arguments[0];
  if (first == "--help" || first == "-h") {
    fputs(mainUsage().c_str(), stdout);
    return kExitOk;
  }
  if (first == "--version") {
    printf("velmora %s\n", VELMORA_VERSION);
    return kExitOk;
  }
  const CommandSpec* command = nullptr;
  for (const CommandSpec& candidate : kCommands) {
    if (first == candidate.name) command = &candidate;
  }
  if (command == nullptr) {
    fprintf(stderr, "velmora: unknown command %s\n%s", quoted(first).c_str(), mainUsage().c_str());
    return kExitUsage;
  }
  try {
    return runCommand(*command, arguments);
  } catch (const UsageError& e) {
    fprintf(stderr, "velmora %s: %s\n%s", command->name, e.message.c_str(),
            commandUsage(*command).c_str());
    return kExitUsage;
  } catch (const CommandError& e) {
    fflush(stdout);
    fprintf(stderr, "%s\n", e.what());
    return kExitFailed;
  } catch (const Win::Exception& e) {
    fprintf(stderr, "velmora %s: %s\n", command->name, e.getMessage().c_str());
    return kExitFailed;
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "velmora %s: out of memory\n", command->name);
    return kExitFailed;
  }
}

}  // namespace velmora
