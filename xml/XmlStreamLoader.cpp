#include "xml/XmlStreamLoader.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "engine/Database.h"
#include "engine/Errors.h"
#include "engine/FieldValue.h"
#include "xml/InputFile.h"
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

// Values are mostly short: looked at in place before a library call is worth it.
bool holdsEntity(std::string_view raw) {
  if (raw.size() > 16) return raw.find('&') != std::string_view::npos;
  for (const char c : raw) {
    if (c == '&') return true;
  }
  return false;
}

}  // namespace

bool XmlStreamLoader::loadFile(const std::string& fileName) {
  readError = ReadError();
  failureOffset = -1;
  std::unique_ptr<InputFile> file;
  try {
    file = std::make_unique<InputFile>(env, fileName);
    read(*file);
  } catch (...) {  // whatever failed while the file was opened or read
    fail([&] { return positionInFile(*file, failureOffset); });
  }
  if (failure) std::rethrow_exception(failure);
  return result;
}

bool XmlStreamLoader::load(const char* begin, const char* end) {
  readError = ReadError();
  failureOffset = -1;
  MemorySource memory(begin, end);
  try {
    read(memory);
  } catch (...) {
    fail([&] {
      TextPosition position;
      position.advance(begin, static_cast<size_t>(failureOffset));
      return position;
    });
  }
  if (failure) std::rethrow_exception(failure);
  return result;
}

template <typename Locate>
void XmlStreamLoader::fail(Locate&& locate) {
  undo();
  if (readError.message.empty()) {
    try {
      throw;
    } catch (const Win::Exception& e) {
      readError.message = e.getMessage();
    } catch (...) {
      readError.message = "the input cannot be read";
    }
  }
  if (failureOffset >= 0) {
    try {
      const TextPosition position = locate();
      readError.line = position.getLine();
      readError.column = position.getColumn();
    } catch (...) {  // the place is lost, not the failure
    }
  }
  throwError(kCannotOpenForReading);
}

void XmlStreamLoader::read(ByteSource& source) {
  XmlLexer lexer(source, windowSize);
  try {
    for (lexer.next(); lexer.getKind() != TokenKind::End; lexer.next()) {
      switch (lexer.getKind()) {
        case TokenKind::StartTag: {
          // Most elements are fields holding a text: read with their end tag at once, never
          // pushed.
          if (openCount > 0) {
            const OpenElement& parent = open[openCount - 1];
            if (parent.role == Role::RecordElement && !parent.settled) {
              const std::string_view fieldName = lexer.tagNameView();
              std::string_view content;
              if (lexer.nextLeaf(content)) {
                loadField(parent.table, fieldName, content);
                break;
              }
            }
          }
          startElement(lexer.tagNameView(), true);
          break;
        }
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
      // Records usually list the fields of the record before them in the same order: each next
      // one is expected by name and read whole, tags and text at once.
      if (openCount > 0) {
        const OpenElement& parent = open[openCount - 1];
        if (parent.role == Role::RecordElement && !parent.settled) {
          std::string_view content;
          while (!failure && static_cast<size_t>(fieldPosition) < fieldAtPosition.size() &&
                 lexer.nextLeaf(fieldAtPosition[fieldPosition].name, content)) {
            const int index = fieldAtPosition[fieldPosition].index;
            apply([&] {
              ++fieldPosition;
              storeValue(*parent.table, index, content, lexer.leafHoldsAmpersand());
            });
          }
        }
      }
    }
  } catch (...) {
    if (lexer.getFailure() != nullptr) {
      failureOffset = lexer.getFailureOffset();
      readError.message = lexer.getFailure();
      // Stray text after the root runs to the end: it belongs to no element.
      if (openCount == 0 && rootKind != RootKind::None &&
          readError.message == "unexpected end of file") {
        readError.message = "text outside the root element";
      }
    } else if (!readError.message.empty()) {  // the current token broke the document's shape
      failureOffset = lexer.getTokenOffset();
    }
    // Otherwise the input itself could not be read, or memory ran out: no place to name.
    throw;
  }
  // Elements still open at the end are accepted as they stand, the innermost first.
  while (openCount > 0) complete(open[--openCount]);
  // The records were stored with their links noted (see Table::deferLinks); short of memory
  // for the lists, the load fails as a read that ran out of memory does.
  for (auto& touchedTable : touched) touchedTable.first->linkDeferred();
}

void XmlStreamLoader::startElement(std::string_view name, bool stays) {
  // Room for the element and a reopened root first: references into the stack stay valid.
  while (open.size() < openCount + 2) open.emplace_back();
  size_t at = openCount;
  const size_t namesBefore = namesSize;
  const auto place = [&](size_t slot, std::string_view elementName, Role role) -> OpenElement& {
    OpenElement& element = open[slot];
    element.nameStart = namesSize;
    element.nameSize = elementName.size();
    appendName(elementName);
    element.role = role;
    element.settled = false;
    element.table = nullptr;
    return element;
  };
  if (openCount > 0) {
    placeChild(open[openCount - 1], place(at, name, Role::Ignored));
  } else if (rootKind == RootKind::None) {
    rootKind = RootKind::Element;
    rootName.assign(name.data(), name.size());
    place(at, name, Role::Root);
  } else if (rootKind == RootKind::Element) {
    // A later top-level element goes into an element root, which is open again while it is.
    OpenElement& root = place(at++, rootName, Role::Root);
    placeChild(root, place(at, name, Role::Ignored));
  } else {
    // The element follows a root that is not an element, at the top level: ignored.
    place(at, name, Role::Ignored);
  }
  if (stays) {
    openCount = at + 1;
  } else {
    complete(open[at]);
    namesSize = namesBefore;
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
      if (sameName(nameOf(child), "data")) child.role = Role::Data;
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
        if (parent.table == nullptr) parent.table = &touch(nameOf(parent));
        parent.table->createTemporaryRecord();
      });
      if (!sameName(nameOf(child), "record")) break;
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
        loadField(parent.table, nameOf(parent), std::string_view());
      }
      break;
    case Role::Ignored:
      break;
  }
}

void XmlStreamLoader::addText(std::string_view raw) {
  if (openCount == 0) {
    // At the top level a text is never a child; as the first node it makes the load false.
    if (rootKind == RootKind::None) rootKind = RootKind::Other;
    return;
  }
  OpenElement& parent = open[openCount - 1];
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
        loadField(parent.table, nameOf(parent), raw);
      }
      break;
    case Role::TableElement:  // texts between records are skipped
    case Role::Ignored:
      break;
  }
}

void XmlStreamLoader::endElement(std::string_view name) {
  if (openCount == 0) {
    readError.message = "unexpected end tag </" + std::string(name) + ">";
    throwError(kTagNotClosed);
  }
  const OpenElement& element = open[openCount - 1];
  if (!sameName(nameOf(element), name)) {
    readError.message = "mismatched end tag </" + std::string(name) + ">, expected </" +
                        std::string(nameOf(element)) + ">";
    throwError(kTagNotClosed);
  }
  --openCount;
  complete(element);
  namesSize = element.nameStart;
}

void XmlStreamLoader::complete(const OpenElement& element) {
  if (element.role == Role::FieldElement && !element.settled) {
    loadField(element.table, nameOf(element), std::string_view());
  } else if (element.role == Role::RecordElement) {
    apply([&] { element.table->addRecord(-1); });
  }
}

void XmlStreamLoader::growNames(size_t more) {
  const size_t wanted = std::max(namesSize + more, namesCapacity * 2 + 64);
  auto bigger = std::make_unique<char[]>(wanted);
  if (namesSize > 0) memcpy(bigger.get(), names.get(), namesSize);
  names = std::move(bigger);
  namesCapacity = wanted;
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
  if (touched.find(&table) == touched.end()) {
    touched.emplace(&table, table.takeLoadState());
    table.deferLinks();
  }
  return table;
}

void XmlStreamLoader::loadField(Table* target, std::string_view fieldName, std::string_view raw) {
  apply([&] {
    Table& table = *target;
    const TableDefinition& definition = table.getDefinition();
    const size_t position = static_cast<size_t>(fieldPosition++);
    int index;
    if (position < fieldAtPosition.size() && sameName(fieldAtPosition[position].name, fieldName)) {
      index = fieldAtPosition[position].index;
    } else {
      index = definition.fieldIndex(fieldName);
      if (position >= fieldAtPosition.size()) fieldAtPosition.resize(position + 1);
      fieldAtPosition[position].name = fieldName;
      fieldAtPosition[position].index = index;
    }
    storeValue(table, index, raw, holdsEntity(raw));
  });
}

void XmlStreamLoader::storeValue(Table& table, int index, std::string_view raw, bool entities) {
  const int type = table.getDefinition().fieldType(index);
  if (type < FieldType::Int || type > FieldType::Relation) return;  // holds no values
  // Most values hold no entity: they are used where they stand, undecoded.
  std::string_view text = raw;
  if (entities) {
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
}

void XmlStreamLoader::undo() {
  database.clearAllRecords();
  for (auto& [table, state] : touched) table->restoreLoadState(std::move(state));
  touched.clear();
}

}  // namespace velmora
