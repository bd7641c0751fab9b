#include "tests/reliability/Operation.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

namespace velmora {

namespace {

// Parameter letters: t text, i int, f file slot, o out-parameter.
const Signature kSignatures[kMethodCount] = {
    {"CreateDatabase", "ti", OutKind::None},        // slot 3
    {"CreateTemporaryTable", "", OutKind::None},    // slot 4
    {"AddField", "tio", OutKind::Int},              // slot 5
    {"AddRelationField", "tto", OutKind::Int},      // slot 6
    {"CreateTable", "to", OutKind::Int},            // slot 7
    {"ChooseTableAt", "i", OutKind::None},          // slot 8
    {"ChooseTable", "t", OutKind::None},            // slot 9
    {"SetStringAt", "it", OutKind::None},           // slot 10
    {"SetIntAt", "ii", OutKind::None},              // slot 11
    {"SetLongAt", "ii", OutKind::None},             // slot 12
    {"SetString", "tt", OutKind::None},             // slot 13
    {"SetLong", "ti", OutKind::None},               // slot 14
    {"SetInt", "ti", OutKind::None},                // slot 15
    {"SetRelationAt", "ii", OutKind::None},         // slot 16
    {"SetRelation", "ti", OutKind::None},           // slot 17
    {"AddRecord", "oi", OutKind::Int},              // slot 18
    {"RecordExistsAt", "iio", OutKind::Bool},       // slot 19
    {"RecordExists", "tio", OutKind::Bool},         // slot 20
    {"GetRecordCountAt", "io", OutKind::Int},       // slot 21
    {"GetRecordCount", "to", OutKind::Int},         // slot 22
    {"DeleteRecordAt", "ii", OutKind::None},        // slot 23
    {"DeleteRecord", "ti", OutKind::None},          // slot 24
    {"GetFieldTypeAt", "ito", OutKind::Int},        // slot 25
    {"GetFieldType", "tto", OutKind::Int},          // slot 26
    {"GetRelationTargetAt", "iio", OutKind::Text},  // slot 27
    {"GetRelationTarget", "tio", OutKind::Text},    // slot 28
    {"GetFieldIndexAt", "ito", OutKind::Int},       // slot 29
    {"GetFieldIndex", "tto", OutKind::Int},         // slot 30
    {"GetFieldNameAt", "iio", OutKind::Text},       // slot 31
    {"GetFieldName", "tio", OutKind::Text},         // slot 32
    {"GetFieldCountAt", "io", OutKind::Int},        // slot 33
    {"GetFieldCount", "to", OutKind::Int},          // slot 34
    {"GetIntAt", "iiio", OutKind::Int},             // slot 35
    {"GetInt", "tito", OutKind::Int},               // slot 36
    {"GetLongAt", "iiio", OutKind::Int},            // slot 37
    {"GetLong", "tito", OutKind::Int},              // slot 38
    {"GetStringAt", "iiio", OutKind::Text},         // slot 39
    {"GetString", "tito", OutKind::Text},           // slot 40
    {"GetRelationAt", "iiio", OutKind::Int},        // slot 41
    {"GetRelation", "tito", OutKind::Int},          // slot 42
    {"GetChildCountAt", "iiio", OutKind::Int},      // slot 43
    {"GetChildCount", "tito", OutKind::Int},        // slot 44
    {"GetChildAt", "iiiio", OutKind::Int},          // slot 45
    {"GetChild", "titio", OutKind::Int},            // slot 46
    {"Load", "fo", OutKind::Bool},                  // slot 47
    {"Save", "fo", OutKind::Bool},                  // slot 48
    {"ClearAllRecords", "", OutKind::None},         // slot 49
    {"TableExists", "io", OutKind::Bool},           // slot 50
    {"GetTableIndex", "to", OutKind::Int},          // slot 51
    {"GetTableName", "io", OutKind::Text},          // slot 52
    {"DeleteTable", "i", OutKind::None},            // slot 53
    {"GetTableCount", "o", OutKind::Int},           // slot 54
    {"TruncateFile", "fii", OutKind::None},         // helper: file a cut to b bytes
    {"PatchFile", "fiii", OutKind::None},           // helper: byte b of file a set to c
    {"SaveWithSchema", "fo", OutKind::Bool},        // slot 55
    {"FindString", "ttiio", OutKind::Int},          // slot 58: a picks the value (findValue)
    {"FindInt", "ttiio", OutKind::Int},             // slot 59
    {"GetDatabaseName", "o", OutKind::Text},        // slot 60
    {"Open", "fo", OutKind::Bool},                  // slot 56
};

const char* const kFileSlots[kFileSlotCount] = {
    "a.xml",          // an ordinary file
    "b.xml",          // another ordinary file
    "missing/c.xml",  // in a directory that does not exist
    "directory",      // a directory
    "scratch.xml",    // written by the helper steps
};

std::vector<std::string> makeTextPool() {
  std::vector<std::string> pool = {
      // Table and field names (kNameCount of them): some collide, "" is a name too, and the
      // last few are no plain tag names ("a b" is written whole; a save refuses the ones with
      // '/', '<' or '>', as it refuses "").
      "employee", "dept", "node", "record", "data", "name", "age", "boss", "ref", "x", "X", "",
      "nope", "a b", "a/", "q>r", "t<", "\xc3\xa9t\xc3\xa9",
      // Values: what escaping, entity decoding, whitespace and number parsing care about.
      " ", "john", "doe", "&amp;", "R&D <b>", "]]>", "a]]>b", "\r", "x\r\ny", " lead", "trail ",
      "\t\n ", "&lt", "&unknown;", "\x80\xfe\xff", "-12", "2147483648", "-99999999999", " 42abc",
      "<!--", "</a>"};
  std::string longText;  // beyond the reader's initial token buffer
  for (int i = 0; longText.size() < 1500; ++i) {
    longText += "line " + std::to_string(i) + " & <tag> \xc3\xa9\r\n";
  }
  pool.push_back(longText);
  return pool;
}

// Reads the encoding; missing bytes read as zero.
class ByteReader {
 public:
  ByteReader(const uint8_t* bytes, size_t count) : data(bytes), size(count) {}
  bool atEnd() const { return position >= size; }
  uint8_t byte() { return position < size ? data[position++] : 0; }

  int32_t integer() {
    const uint8_t tag = byte();
    if (tag < 240) return static_cast<int32_t>(tag) - 16;
    if (tag == 240) return INT_MIN;
    if (tag == 241) return INT_MAX;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(byte()) << (8 * i);
    return static_cast<int32_t>(value);
  }

  std::string text() {
    const uint8_t tag = byte();
    const std::vector<std::string>& pool = textPool();
    if (tag < 0x80) return pool[tag % pool.size()];
    std::string literal(static_cast<size_t>(tag - 0x80), '\1');
    for (char& c : literal) {
      const uint8_t b = byte();
      c = static_cast<char>(b == 0 ? 1 : b);  // the interface carries no zero byte
    }
    return literal;
  }

 private:
  const uint8_t* data;
  size_t size;
  size_t position = 0;
};

void putInteger(std::string& out, int32_t value) {
  if (value >= -16 && value <= 223) {
    out.push_back(static_cast<char>(value + 16));
  } else if (value == INT_MIN) {
    out.push_back(static_cast<char>(240));
  } else if (value == INT_MAX) {
    out.push_back(static_cast<char>(241));
  } else {
    out.push_back(static_cast<char>(242));
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
  }
}

void putText(std::string& out, const std::string& text) {
  const std::vector<std::string>& pool = textPool();
  for (size_t i = 0; i < pool.size(); ++i) {
    if (pool[i] == text) {
      out.push_back(static_cast<char>(i));
      return;
    }
  }
  const std::string literal = text.substr(0, 127);
  out.push_back(static_cast<char>(0x80 + literal.size()));
  out += literal;
}

int32_t& intArgument(Operation& operation, int n) {
  int32_t* const ints[] = {&operation.a, &operation.b, &operation.c, &operation.d};
  return *ints[n];
}

int32_t intArgument(const Operation& operation, int n) {
  const int32_t ints[] = {operation.a, operation.b, operation.c, operation.d};
  return ints[n];
}

std::string quoted(const std::string& text) {
  if (text.size() > 60)
    return quoted(text.substr(0, 40)) + "...(" + std::to_string(text.size()) + " bytes)";
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\x%02X\"\"", byte);  // closed and reopened: no run-on
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

bool hasParameter(const Signature& signature, char letter) {
  return strchr(signature.parameters, letter) != nullptr;
}

}  // namespace

const Signature& signatureOf(Method method) { return kSignatures[static_cast<int>(method)]; }

const char* fileSlotName(int slot) { return kFileSlots[slot]; }

bool fileSlotIsOrdinary(int slot) { return slot == 0 || slot == 1 || slot == kScratchFileSlot; }

const std::vector<std::string>& textPool() {
  static const std::vector<std::string> pool = makeTextPool();
  return pool;
}

std::string describe(const Operation& operation) {
  const Signature& signature = signatureOf(operation.method);
  std::string out = std::string(signature.name) + "(";
  int ints = 0;
  int texts = 0;
  bool first = true;
  for (const char* p = signature.parameters; *p != '\0'; ++p) {
    if (!first) out += ", ";
    first = false;
    switch (*p) {
      case 't': {
        const bool isNull = texts == 0 && operation.nullArgument == NullArgument::FirstText;
        out += isNull ? "nullptr" : quoted(texts == 0 ? operation.s1 : operation.s2);
        ++texts;
        break;
      }
      case 'i':
        out += std::to_string(intArgument(operation, ints++));
        break;
      case 'f':
        out += operation.nullArgument == NullArgument::FirstText
                   ? "nullptr"
                   : quoted(fileSlotName(operation.a));
        ++ints;
        break;
      case 'o':
        out += operation.nullArgument == NullArgument::Out ? "nullptr" : "&out";
        break;
    }
  }
  return out + ")";
}

std::string describe(const std::vector<Operation>& operations) {
  std::string out;
  for (size_t i = 0; i < operations.size(); ++i) {
    out += "  " + std::to_string(i) + ": " + describe(operations[i]) + "\n";
  }
  return out;
}

std::vector<Operation> decodeOperations(const uint8_t* data, size_t size) {
  ByteReader reader(data, size);
  std::vector<Operation> operations;
  while (!reader.atEnd()) {
    const int code = reader.byte() % (kMethodCount * 3);
    Operation operation;
    operation.method = static_cast<Method>(code % kMethodCount);
    const Signature& signature = signatureOf(operation.method);
    const int selector = code / kMethodCount;
    const bool helper = isHelperStep(operation.method);
    if (helper) {
      // No interface call to pass a null to.
    } else if (selector == 1 && (hasParameter(signature, 't') || hasParameter(signature, 'f'))) {
      operation.nullArgument = NullArgument::FirstText;
    } else if (selector == 2 && hasParameter(signature, 'o')) {
      operation.nullArgument = NullArgument::Out;
    }
    int ints = 0;
    int texts = 0;
    for (const char* p = signature.parameters; *p != '\0'; ++p) {
      if (*p == 'i') intArgument(operation, ints++) = reader.integer();
      if (*p == 'f') {
        const int slot = reader.integer() % kFileSlotCount;
        intArgument(operation, ints++) = slot < 0 ? slot + kFileSlotCount : slot;
      }
      if (*p == 't') (texts++ == 0 ? operation.s1 : operation.s2) = reader.text();
    }
    operations.push_back(std::move(operation));
  }
  return operations;
}

std::string encodeOperations(const std::vector<Operation>& operations) {
  std::string out;
  for (const Operation& operation : operations) {
    const int selector = operation.nullArgument == NullArgument::FirstText ? 1
                         : operation.nullArgument == NullArgument::Out     ? 2
                                                                           : 0;
    out.push_back(static_cast<char>(static_cast<int>(operation.method) + kMethodCount * selector));
    const Signature& signature = signatureOf(operation.method);
    int ints = 0;
    int texts = 0;
    for (const char* p = signature.parameters; *p != '\0'; ++p) {
      if (*p == 'i' || *p == 'f') {
        putInteger(out, intArgument(operation, ints++));
      }
      if (*p == 't') putText(out, texts++ == 0 ? operation.s1 : operation.s2);
    }
  }
  return out;
}

const std::string& findValue(int32_t a) {
  const std::vector<std::string>& pool = textPool();
  return pool[static_cast<uint32_t>(a) % pool.size()];
}

}  // namespace velmora
