#include "xml/DatabaseWriter.h"

#include <errno.h>

#include "engine/Database.h"
#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "engine/IntArray.h"
#include "engine/Record.h"
#include "engine/RecordRenumbering.h"
#include "engine/Table.h"
#include "engine/TableDefinition.h"
#include "xml/FileEnv.h"
#include "xml/MarkupOutput.h"
#include "xml/NameRule.h"

namespace velmora {

namespace {

// Room beyond a chunk, so the append that crosses the chunk size does not grow the buffer.
constexpr size_t kChunkSlack = 4096;

// False for a Relation field added as a plain field, which records no target.
bool hasTarget(const TableDefinition& definition, int field) {
  try {
    definition.relationTarget(field);
    return true;
  } catch (const Win::Exception&) {
    return false;
  }
}

}  // namespace

void DatabaseWriter::save(const std::string& fileName, std::string* failure) {
  requireWritableNames(database);
  if (withSchema) checkSchema(failure);
  renumbering = std::make_unique<RecordRenumbering>(database);
  check();
  FileFailure fileFailure;
  const bool replaced = atomicReplace(
      env, fileName,
      [&](int descriptor) {
        std::string buffer;
        buffer.reserve(MarkupOutput::kChunkSize + kChunkSlack);
        MarkupOutput output(buffer, env, descriptor);
        try {
          write(output);
          output.flush();
        } catch (const Win::Exception& e) {
          // A failed write goes back as one, so the failure names the file and the reason.
          if (e.getCode() != kCannotOpenForWriting.code || output.getWriteError() == 0) throw;
          errno = output.getWriteError();
          return false;
        }
        return true;
      },
      fileFailure);
  if (!replaced) {
    // The file as the caller named it first, as read failures say it; the step may have been
    // applied to the temporary file or a link's target.
    if (failure != nullptr) *failure = fileName + ": " + fileFailure.describe();
    throwError(kCannotOpenForWriting);
  }
}

void DatabaseWriter::checkSchema(std::string* failure) const {
  const auto refuse = [failure](const std::string& why) {
    if (failure != nullptr) *failure = why;
    throwError(kNameNotWritable);
  };
  for (int t = 0; t < database.getTableCount(); ++t) {
    if (!database.tableExists(t)) continue;
    const std::string& name = database.tableName(t);
    if (database.tableIndex(name) != t) {
      refuse("the table name \"" + name + "\" is used by more than one table");
    }
    const TableDefinition& definition = database.tableByIndex(t).getDefinition();
    for (int field = 0; field < definition.getFieldCount(); ++field) {
      const std::string& fieldName = definition.fieldName(field);
      if (definition.fieldIndex(fieldName) != field) {
        refuse("the field name \"" + fieldName + "\" is used twice in table \"" + name + "\"");
      }
      const int type = definition.fieldType(field);
      if (type != FieldType::Int && type != FieldType::String && type != FieldType::Long &&
          type != FieldType::Relation) {
        refuse("field \"" + fieldName + "\" in table \"" + name + "\" has type " +
               std::to_string(type) + ", which a schema cannot describe");
      }
      if (type == FieldType::Relation && !hasTarget(definition, field)) {
        refuse("relation field \"" + fieldName + "\" in table \"" + name + "\" has no target");
      }
    }
  }
}

void DatabaseWriter::check() {
  for (int t = 0; t < database.getTableCount(); ++t) {
    if (!database.tableExists(t)) continue;
    const Table& table = database.tableByIndex(t);
    TableOutput output{&table, database.tableName(t), false, {}};
    for (int r = 0; r < table.getRecordCount() && !output.hasRecords; ++r) {
      output.hasRecords = table.recordExists(r);
    }
    if (output.hasRecords) {
      for (int field = 0; field < table.getDefinition().getFieldCount(); ++field) {
        output.columns.push_back(describe(table, field));
      }
      // What cannot be written fails where the file would hold it: at the first record, or at
      // the value outside its target's slots.
      bool checked = true;
      for (const Column& column : output.columns) {
        if (column.failure || column.newIndex != nullptr) checked = false;
      }
      for (int r = 0; r < table.getRecordCount() && !checked; ++r) {
        const Record* record = table.recordAt(r);
        if (record == nullptr) continue;
        for (const Column& column : output.columns) {
          if (column.failure) std::rethrow_exception(column.failure);
          if (column.newIndex != nullptr) column.newIndex->at(record->getNumber(column.offset));
        }
      }
    }
    tables.push_back(std::move(output));
  }
}

DatabaseWriter::Column DatabaseWriter::describe(const Table& table, int field) const {
  const TableDefinition& definition = table.getDefinition();
  Column column{{},      {},     {}, definition.fieldType(field), table.getLayout().offsetOf(field),
                nullptr, nullptr};
  try {
    const std::string& name = definition.fieldName(field);
    column.open = "<" + name + ">";
    column.close = "</" + name + ">";
    column.empty = "<" + name + "/>";
    if (column.type == FieldType::Relation) {
      const int target = database.tableIndex(definition.relationTarget(field));
      column.newIndex = &renumbering->mapOf(target).newIndex;
    }
  } catch (const Win::Exception&) {  // raised when the first record reaches this field
    column.failure = std::current_exception();
  }
  return column;
}

void DatabaseWriter::write(MarkupOutput& out) const {
  out.append("<!--");
  out.append(kCreatedComment);
  out.append("--><!--");
  out.append(kDownloadComment);
  out.append("--><database><info><name>");
  out.appendEscaped(database.getName());
  out.append("</name><version>1</version>");
  if (withSchema) writeSchema(out);
  out.append("</info>");
  if (tables.empty()) {
    out.append("<data/></database>");
    return;
  }
  out.append("<data>");
  for (const TableOutput& output : tables) {
    out.append('<');
    out.append(output.name);
    if (!output.hasRecords) {
      out.append("/>");
      continue;
    }
    out.append('>');
    const Table& table = *output.table;
    for (int r = 0; r < table.getRecordCount(); ++r) {
      const Record* record = table.recordAt(r);
      if (record == nullptr) continue;
      if (output.columns.empty()) {
        out.append("<record/>");
        continue;
      }
      out.append("<record>");
      for (const Column& column : output.columns) {
        switch (column.type) {
          case FieldType::Int:
          case FieldType::Long:
            out.append(column.open);
            out.appendDecimal(record->getNumber(column.offset));
            out.append(column.close);
            break;
          case FieldType::Relation:
            out.append(column.open);
            out.appendDecimal(column.newIndex->at(record->getNumber(column.offset)));
            out.append(column.close);
            break;
          case FieldType::String: {
            const std::string_view text = record->getText(column.offset);
            if (text.empty()) {
              out.append(column.empty);
            } else {
              out.append(column.open);
              out.appendEscaped(text);
              out.append(column.close);
            }
            break;
          }
          default:  // a field of a type that holds no values
            out.append(column.empty);
            break;
        }
      }
      out.append("</record>");
    }
    out.append("</");
    out.append(output.name);
    out.append('>');
  }
  out.append("</data></database>");
}

void DatabaseWriter::writeSchema(MarkupOutput& out) const {
  static constexpr const char* kTypeNames[] = {"Int", "String", "Long", "Relation"};
  bool empty = true;
  for (int t = 0; t < database.getTableCount() && empty; ++t) empty = !database.tableExists(t);
  if (empty) {
    out.append("<schema/>");  // as data is written without tables
    return;
  }
  out.append("<schema>");
  for (int t = 0; t < database.getTableCount(); ++t) {
    if (!database.tableExists(t)) continue;
    out.append("<table><name>");
    out.appendEscaped(database.tableName(t));
    out.append("</name>");
    const TableDefinition& definition = database.tableByIndex(t).getDefinition();
    for (int field = 0; field < definition.getFieldCount(); ++field) {
      const int type = definition.fieldType(field);  // one of the four: checkSchema saw to it
      out.append("<field><name>");
      out.appendEscaped(definition.fieldName(field));
      out.append("</name><type>");
      out.append(kTypeNames[type]);
      out.append("</type>");
      if (type == FieldType::Relation) {
        const std::string& target = definition.relationTarget(field);
        if (target.empty()) {
          out.append("<target/>");  // an empty element is written short, as everywhere else
        } else {
          out.append("<target>");
          out.appendEscaped(target);
          out.append("</target>");
        }
      }
      out.append("</field>");
    }
    out.append("</table>");
  }
  out.append("</schema>");
}

}  // namespace velmora
