#include "engine/Record.h"

#include <string.h>

#include "engine/FieldValue.h"
#include "engine/TableDefinition.h"

namespace velmora {

namespace {

constexpr int kHeaderSize = 4;  // the record's own flag, padded to the first int value

int alignUp(int offset, int alignment) { return (offset + alignment - 1) / alignment * alignment; }

}  // namespace

RecordLayout::RecordLayout(const TableDefinition& definition)
    : offsets(static_cast<size_t>(definition.getFieldCount()), -1) {
  static_assert(sizeof(Record) <= kHeaderSize, "the header holds the record's own members");
  int next = kHeaderSize;
  for (int field = 0; field < definition.getFieldCount(); ++field) {
    const int type = definition.fieldType(field);
    if (type == FieldType::Int || type == FieldType::Long || type == FieldType::Relation) {
      offsets[field] = next;
      next += static_cast<int>(sizeof(int));
    }
  }
  static_assert(alignof(StringValue) == 1, "a text cell needs no padding before it");
  for (int field = 0; field < definition.getFieldCount(); ++field) {
    if (definition.fieldType(field) == FieldType::String) {
      offsets[field] = next;
      textOffsets.push_back(next);
      next += static_cast<int>(sizeof(StringValue));
    }
  }
  size = static_cast<size_t>(alignUp(next < 8 ? 8 : next, 8));
}

Record* Record::construct(void* block, const RecordLayout& layout) {
  memset(block, 0, layout.getSize());  // every int value 0
  Record* record = new (block) Record();
  for (const int offset : layout.getTextOffsets()) new (record->bytes() + offset) StringValue();
  return record;
}

void Record::destroy(Record* record, const RecordLayout& layout) {
  for (const int offset : layout.getTextOffsets()) {
    record->value<StringValue>(offset).~StringValue();
  }
  record->~Record();
}

void Record::reset(const RecordLayout& layout) {
  for (const int offset : layout.getTextOffsets()) {
    value<StringValue>(offset).clear();
  }
  // The ints sit between the header and the first string (or the end).
  const size_t end = layout.getTextOffsets().empty()
                         ? layout.getSize()
                         : static_cast<size_t>(layout.getTextOffsets().front());
  memset(bytes() + kHeaderSize, 0, end - kHeaderSize);
  beingDeleted = false;
}

}  // namespace velmora
