#include "platform/Guid.h"

#include <stdio.h>

namespace velmora {

namespace {

// Offsets of the hyphens and braces in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
constexpr size_t kGuidTextLength = 38;
constexpr size_t kHyphenOffsets[] = {9, 14, 19, 24};

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads digits hex digits at offset; false on any non-digit.
bool readHex(const std::string& text, size_t offset, int digits, uint32_t& value) {
  uint32_t result = 0;
  for (int i = 0; i < digits; ++i) {
    const int digit = hexDigitValue(text[offset + static_cast<size_t>(i)]);
    if (digit < 0) return false;
    result = (result << 4) | static_cast<uint32_t>(digit);
  }
  value = result;
  return true;
}

}  // namespace

std::string guidToString(const GUID& guid) {
  char text[kGuidTextLength + 1];
  snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
           guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
           guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return std::string(text, kGuidTextLength);
}

bool guidFromString(const std::string& text, GUID& guid) {
  if (text.size() != kGuidTextLength || text.front() != '{' || text.back() != '}') return false;
  for (size_t offset : kHyphenOffsets) {
    if (text[offset] != '-') return false;
  }
  GUID parsed{};
  uint32_t part = 0;
  if (!readHex(text, 1, 8, part)) return false;
  parsed.Data1 = part;
  if (!readHex(text, 10, 4, part)) return false;
  parsed.Data2 = static_cast<uint16_t>(part);
  if (!readHex(text, 15, 4, part)) return false;
  parsed.Data3 = static_cast<uint16_t>(part);
  // Data4: two bytes before the fourth hyphen, six after it.
  const size_t byteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!readHex(text, byteOffsets[i], 2, part)) return false;
    parsed.Data4[i] = static_cast<uint8_t>(part);
  }
  guid = parsed;
  return true;
}

}  // namespace velmora
