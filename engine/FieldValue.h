// FieldType and the value classes: what a record holds in each of its fields.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <new>
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

// Text in a 12-byte cell: up to kInlineLength bytes sit in the cell itself, longer text in one
// allocation of its own that the cell points to. Either way the text is followed by a NUL, so
// its data can be handed out as a C string (text with NUL bytes inside is kept whole, it only
// reads shorter as a C string). Owns the allocation; not copyable.
class StringValue final : public FieldValue {
 public:
  static constexpr size_t kInlineLength = 11;

  StringValue() { setInlineLength(0); }
  ~StringValue() { release(); }
  StringValue(const StringValue&) = delete;
  StringValue& operator=(const StringValue&) = delete;

  // The view's data is NUL-terminated; both live until the value is replaced or destroyed.
  std::string_view getText() const {
    if (isInline()) return std::string_view(cell, kInlineLength - tag());
    const char* text = outOfLine();
    return std::string_view(text + kPrefix, lengthOf(text));
  }
  // May throw std::bad_alloc for text longer than kInlineLength, leaving the old text.
  void setText(std::string_view content);
  void clear() {
    release();
    setInlineLength(0);
  }
  std::string toText() const { return std::string(getText()); }

 private:
  // An out-of-line allocation starts with the text's length and its room, 32 bits each.
  static constexpr size_t kPrefix = 2 * sizeof(uint32_t);
  static constexpr unsigned char kOutOfLine = 0xFF;

  // The last byte: kInlineLength minus the length for inline text (so a full cell's tag is its
  // NUL), kOutOfLine otherwise.
  unsigned char tag() const { return static_cast<unsigned char>(cell[kInlineLength]); }
  bool isInline() const { return tag() != kOutOfLine; }
  void setInlineLength(size_t length) {
    cell[length] = '\0';
    cell[kInlineLength] = static_cast<char>(kInlineLength - length);
  }
  char* outOfLine() const {
    char* text;
    memcpy(&text, cell, sizeof text);
    return text;
  }
  static uint32_t lengthOf(const char* text) {
    uint32_t length;
    memcpy(&length, text, sizeof length);
    return length;
  }
  void release() {
    if (!isInline()) delete[] outOfLine();
  }

  char cell[kInlineLength + 1];
};

inline void StringValue::setText(std::string_view content) {
  const size_t length = content.size();
  if (length <= kInlineLength) {
    char* old = isInline() ? nullptr : outOfLine();
    // Before the free: the content may be the old text. An empty view may have no data at all.
    if (length > 0) memmove(cell, content.data(), length);
    delete[] old;
    setInlineLength(length);
    return;
  }
  if (!isInline()) {
    char* text = outOfLine();
    uint32_t room;
    memcpy(&room, text + sizeof(uint32_t), sizeof room);
    if (length <= room) {
      memmove(text + kPrefix, content.data(), length);
      text[kPrefix + length] = '\0';
      const auto stored = static_cast<uint32_t>(length);
      memcpy(text, &stored, sizeof stored);
      return;
    }
  }
  if (length > UINT32_MAX - kPrefix - 1) throw std::bad_alloc();
  char* text = new char[kPrefix + length + 1];
  const auto stored = static_cast<uint32_t>(length);
  memcpy(text, &stored, sizeof stored);
  memcpy(text + sizeof(uint32_t), &stored, sizeof stored);
  memcpy(text + kPrefix, content.data(), length);
  text[kPrefix + length] = '\0';
  release();
  memcpy(cell, &text, sizeof text);
  cell[kInlineLength] = static_cast<char>(kOutOfLine);
}

static_assert(sizeof(IntValue) == sizeof(int), "a number value is its int");
static_assert(sizeof(StringValue) == 12 && alignof(StringValue) == 1, "a string value is its cell");

}  // namespace velmora
