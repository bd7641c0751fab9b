// Record and RecordLayout: a table's record as one block of typed values.
#pragma once

#include <stddef.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FieldValue.h"

namespace velmora {

class TableDefinition;

// Where each field's value sits in a record of one table. Int, Long and Relation values are
// 32-bit ints packed after a 4-byte header, String values 12-byte text cells after them; a
// field whose type code is none of the four holds nothing. Made once per table from its frozen
// definition; every record of the table shares it.
class RecordLayout {
 public:
  explicit RecordLayout(const TableDefinition& definition);

  // Byte offset of the field's value; -1 for a field of a type without values. The field index
  // is checked by the caller.
  int offsetOf(int field) const { return offsets[field]; }
  // Bytes per record, a multiple of 8 and at least 8.
  size_t getSize() const { return size; }
  const std::vector<int>& getTextOffsets() const { return textOffsets; }

 private:
  std::vector<int> offsets;
  std::vector<int> textOffsets;
  size_t size;
};

// One record: a small header, then the values where the table's layout puts them, in a block
// that the table's RecordStore provides. A record starts with every value at its type's default
// (0, the empty string), which is exactly what an unset field gets when the record is added.
// Offsets given to the accessors come from the record's layout. Not thread-safe.
class Record {
 public:
  // Builds a record in a block of layout.getSize() bytes, aligned for int.
  static Record* construct(void* block, const RecordLayout& layout);
  // Destroys the values; the block can be reused afterwards.
  static void destroy(Record* record, const RecordLayout& layout);
  // Every value back to its default; string capacity is kept.
  void reset(const RecordLayout& layout);

  // The value object at an offset of the layout; Value must be the class of the field's type
  // (NumberValue serves for any of the three integer kinds). A reference lives until the record
  // is destroyed; a string's text until the value is replaced.
  template <typename Value>
  const Value& value(int offset) const {
    return *std::launder(reinterpret_cast<const Value*>(bytes() + offset));
  }
  template <typename Value>
  Value& value(int offset) {
    return *std::launder(reinterpret_cast<Value*>(bytes() + offset));
  }

  int getNumber(int offset) const { return value<NumberValue>(offset).getValue(); }
  void setNumber(int offset, int number) { value<NumberValue>(offset).setValue(number); }
  // NUL-terminated; lives until the value is replaced or the record destroyed.
  std::string_view getText(int offset) const { return value<StringValue>(offset).getText(); }
  void setText(int offset, std::string_view text) { value<StringValue>(offset).setText(text); }

  // Set while a cascading delete is removing this record, so reference cycles terminate.
  bool isBeingDeleted() const { return beingDeleted; }
  void markBeingDeleted(bool state) { beingDeleted = state; }

 private:
  Record() = default;
  const char* bytes() const { return reinterpret_cast<const char*>(this); }
  char* bytes() { return reinterpret_cast<char*>(this); }

  bool beingDeleted = false;
};

}  // namespace velmora
