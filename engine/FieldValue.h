// FieldValue and its four value classes: the typed values held in record slots.
#pragma once

#include <string>
#include <utility>

// Field type codes as stored in a definition; other codes can be stored but never set or read.
struct FieldType {
  enum : int { Int = 0, String = 1, Long = 2, Relation = 3 };
};

// One value in a record slot. A value never changes after construction.
class FieldValue {
 public:
  virtual ~FieldValue() = default;
  // The value as text: decimal for the integer kinds, the text itself for strings.
  virtual std::string toText() const { return std::string(); }
};

class IntValue final : public FieldValue {
 public:
  explicit IntValue(int number) : value(number) {}
  int getValue() const { return value; }
  std::string toText() const override;

 private:
  int value;
};

class LongValue final : public FieldValue {
 public:
  explicit LongValue(int number) : value(number) {}
  int getValue() const { return value; }
  std::string toText() const override;

 private:
  int value;
};

// A record index in the table that the relation field refers to.
class RelationValue final : public FieldValue {
 public:
  explicit RelationValue(int record) : value(record) {}
  int getValue() const { return value; }
  std::string toText() const override;

 private:
  int value;
};

class StringValue final : public FieldValue {
 public:
  explicit StringValue(std::string content) : text(std::move(content)) {}
  const std::string& getText() const { return text; }
  std::string toText() const override { return text; }

 private:
  std::string text;
};
