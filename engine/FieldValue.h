// FieldType and the value classes: what a record holds in each of its fields.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Field type codes as stored in a definition; other codes can be stored but never set or read.
struct FieldType {
  enum : int { Int = 0, String = 1, Long = 2, Relation = 3 };
};

// A value held in one field of a record. Values live packed in their record's block (see
// engine/Record.h), one object per field at the offset the table's layout gives: which class a
// place holds follows from the field's type, so the classes carry no virtual functions and a
// record spends neither a pointer nor an allocation per value. The number classes are trivial,
// so zeroed bytes are their default value 0.
class FieldValue {
 protected:
  FieldValue() = default;
};

// The common shape of the three 32-bit integer kinds.
class NumberValue : public FieldValue {
 public:
  int getValue() const { return value; }
  void setValue(int number) { value = number; }
  // Decimal, with a leading "-" for negatives, no padding or grouping.
  std::string toText() const { return std::to_string(value); }

 private:
  int value;
};

class IntValue final : public NumberValue {};
class LongValue final : public NumberValue {};
// A record index in the table that the relation field refers to.
class RelationValue final : public NumberValue {};

class StringValue final : public FieldValue {
 public:
  // Lives until the value is replaced or its record destroyed.
  const std::string& getText() const { return text; }
  void setText(std::string_view content) { text.assign(content); }
  void clear() { text.clear(); }
  std::string toText() const { return text; }

 private:
  std::string text;
};

static_assert(sizeof(IntValue) == sizeof(int), "a number value is its int");
static_assert(sizeof(StringValue) == sizeof(std::string), "a string value is its text");

}  // namespace velmora
