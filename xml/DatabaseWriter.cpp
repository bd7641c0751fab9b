#include "xml/DatabaseWriter.h"

#include "engine/Database.h"
#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "engine/IntArray.h"
#include "engine/Record.h"
#include "engine/RecordRenumbering.h"
#include "engine/Table.h"
#include "xml/FileEnv.h"
#include "xml/MarkupOutput.h"
#include "xml/NameRule.h"

namespace velmora {

namespace {

// Room beyond a chunk, so the append that crosses the chunk size does not grow the buffer.
constexpr size_t kChunkSlack = 4096;

}  // namespace

void DatabaseWriter::save(const std::string& fileName) {
  requireWritableNames(database);
  renumbering = std::make_unique<RecordRenumbering>(database);
  check();
  FileFailure failure;
  const bool replaced = atomicReplace(
      env, fileName,
      [&](int descriptor) {
        std::string buffer;
        buffer.reserve(MarkupOutput::kChunkSize + kChunkSlack);
        MarkupOutput output(buffer, env, descriptor);
        write(output);
        output.flush();
        return true;
      },
      failure);
  if (!replaced) throwError(kCannotOpenForWriting);
}

void DatabaseWriter::check() {
  for (int t = 0; t < database.tableCount(); ++t) {
    if (!database.tableExists(t)) continue;
    const Table& table = database.tableByIndex(t);
    TableOutput output{&table, database.tableName(t), false, {}};
    for (int r = 0; r < table.recordCount() && !output.hasRecords; ++r) {
      output.hasRecords = table.recordExists(r);
    }
    if (output.hasRecords) {
      for (int field = 0; field < table.getDefinition().fieldCount(); ++field) {
        output.columns.push_back(describe(table, field));
      }
      // What cannot be written fails where the file would hold it: at the first record, or at
      // the value outside its target's slots.
      bool checked = true;
      for (const Column& column : output.columns) {
        if (column.failure || column.newIndex != nullptr) checked = false;
      }
      for (int r = 0; r < table.recordCount() && !checked; ++r) {
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
  out.append("</name><version>1</version></info>");
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
    for (int r = 0; r < table.recordCount(); ++r) {
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

}  // namespace velmora
