#include "xml/XmlStreamLoader.h"

#include <utility>

#include "engine/Database.h"
#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "xml/MappedFile.h"
#include "xml/TextCodec.h"
#include "xml/XmlLexer.h"

namespace velmora {

namespace {

// Names are short: compared in place, without a call per comparison.
bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

bool XmlStreamLoader::loadFile(const std::string& fileName) {
  try {
    // The mapping itself is read: the lexer stops at its end, so no zero-terminated copy of the
    // whole file is needed.
    MappedFile file(env, fileName);
    XmlLexer lexer(file.data(), file.data() + file.getSize());
    read(lexer);
  } catch (...) {  // whatever failed while the file was opened, mapped or read
    undo();
    throwError(kCannotOpenForReading);
  }
  if (failure) std::rethrow_exception(failure);
  return result;
}

bool XmlStreamLoader::load(const char* begin, const char* end) {
  try {
    XmlLexer lexer(begin, end);
    read(lexer);
  } catch (...) {
    undo();
    throwError(kCannotOpenForReading);
  }
  if (failure) std::rethrow_exception(failure);
  return result;
}

void XmlStreamLoader::read(XmlLexer& lexer) {
  for (; lexer.getKind() != TokenKind::End; lexer.next()) {
    switch (lexer.getKind()) {
      case TokenKind::StartTag:
        startElement(lexer.tagNameView(), true);
        break;
      case TokenKind::EmptyTag:
        startElement(lexer.tagNameView(), false);
        break;
      case TokenKind::EndTag:
        endElement(lexer.tagNameView());
        break;
      case TokenKind::Text:
        addText(lexer.tokenView());
        break;
      case TokenKind::Comment:
        break;
      default:
        throwError(kTokenNotRecognised);
    }
  }
  // Elements still open at the end are accepted as they stand, the innermost first.
  while (!open.empty()) {
    const OpenElement element = open.back();
    open.pop_back();
    complete(element);
  }
}

void XmlStreamLoader::startElement(std::string_view name, bool stays) {
  OpenElement element{name, Role::Ignored, false, nullptr};
  if (!open.empty()) {
    placeChild(open.back(), element);
  } else if (rootKind == RootKind::None) {
    rootKind = RootKind::Element;
    rootName = name;
    element.role = Role::Root;
  } else if (rootKind == RootKind::Element) {
    // A later top-level element goes into an element root, which is open again while it is.
    OpenElement root{rootName, Role::Root, false, nullptr};
    placeChild(root, element);
    if (stays) open.push_back(root);
  }
  // Otherwise the element follows a root that is not an element, at the top level: ignored.
  if (stays) {
    open.push_back(element);
  } else {
    complete(element);
  }
}

void XmlStreamLoader::placeChild(OpenElement& parent, OpenElement& child) {
  child.role = Role::Ignored;
  switch (parent.role) {
    case Role::Root: {
      const int position = rootChildren++;
      if (!sameName(rootName, "database")) break;
      if (position == 0) qualifies = true;  // the information block, never read
      if (position != 1 || !qualifies) break;
      result = true;
      if (sameName(child.name, "data")) child.role = Role::Data;
      break;
    }
    case Role::Data:
      if (parent.settled) break;
      fieldAtPosition.clear();
      child.role = Role::TableElement;
      break;
    case Role::TableElement:
      // Every element child gets a fresh temporary record; the first one looks the table up.
      apply([&] {
        if (parent.table == nullptr) parent.table = &touch(parent.name);
        parent.table->createTemporaryRecord();
      });
      if (!sameName(child.name, "record")) break;
      fieldPosition = 0;
      child.role = Role::RecordElement;
      child.table = parent.table;
      break;
    case Role::RecordElement:
      if (parent.settled) break;
      child.role = Role::FieldElement;
      child.table = parent.table;
      break;
    case Role::FieldElement:
      if (!parent.settled) {  // a first child that is an element: the value is empty
        parent.settled = true;
        loadField(parent, std::string_view());
      }
      break;
    case Role::Ignored:
      break;
  }
}

void XmlStreamLoader::addText(std::string_view raw) {
  if (open.empty()) {
    // At the top level a text is never a child; as the first node it makes the load false.
    if (rootKind == RootKind::None) rootKind = RootKind::Other;
    return;
  }
  OpenElement& parent = open.back();
  switch (parent.role) {
    case Role::Root:
      ++rootChildren;  // the first or second child not an element: the load gives false
      break;
    case Role::Data:
    case Role::RecordElement:
      parent.settled = true;  // ends the walk over tables or over fields
      break;
    case Role::FieldElement:
      if (!parent.settled) {
        parent.settled = true;
        loadField(parent, raw);
      }
      break;
    case Role::TableElement:  // texts between records are skipped
    case Role::Ignored:
      break;
  }
}

void XmlStreamLoader::endElement(std::string_view name) {
  if (open.empty() || !sameName(open.back().name, name)) throwError(kTagNotClosed);
  const OpenElement element = open.back();
  open.pop_back();
  complete(element);
}

void XmlStreamLoader::complete(const OpenElement& element) {
  if (element.role == Role::FieldElement && !element.settled) {
    loadField(element, std::string_view());
  } else if (element.role == Role::RecordElement) {
    apply([&] { element.table->addRecord(-1); });
  }
}

template <typename Step>
void XmlStreamLoader::apply(Step&& step) {
  if (failure) return;
  try {
    step();
  } catch (...) {  // kept until the input has been read to its end
    failure = std::current_exception();
  }
}

Table& XmlStreamLoader::touch(std::string_view tableName) {
  Table& table = database.tableByName(tableName);
  if (touched.find(&table) == touched.end()) touched.emplace(&table, table.takeLoadState());
  return table;
}

void XmlStreamLoader::loadField(const OpenElement& field, std::string_view raw) {
  apply([&] {
    Table& table = *field.table;
    const TableDefinition& definition = table.getDefinition();
    const size_t position = static_cast<size_t>(fieldPosition++);
    int index;
    if (position < fieldAtPosition.size() && sameName(fieldAtPosition[position].name, field.name)) {
      index = fieldAtPosition[position].index;
    } else {
      index = definition.fieldIndex(field.name);
      if (position >= fieldAtPosition.size()) fieldAtPosition.resize(position + 1);
      fieldAtPosition[position] = KnownField{field.name, index};
    }
    const int type = definition.fieldType(index);
    if (type < FieldType::Int || type > FieldType::Relation) return;  // holds no values
    // Most values hold no entity: they are used where they stand, undecoded.
    std::string_view text = raw;
    if (raw.find('&') != std::string_view::npos) {
      decoded.clear();
      decodeMarkup(raw, decoded);
      text = decoded;
    }
    switch (type) {
      case FieldType::Int:
        table.setInt(index, parseDecimal(text));
        break;
      case FieldType::String:
        table.setString(index, text);
        break;
      case FieldType::Long:
        table.setLong(index, parseDecimal(text));
        break;
      default:
        table.setRelation(index, parseDecimal(text));
        break;
    }
  });
}

void XmlStreamLoader::undo() {
  database.clearAllRecords();
  for (auto& [table, state] : touched) table->restoreLoadState(std::move(state));
  touched.clear();
}

}  // namespace velmora
