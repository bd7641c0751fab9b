#include "xml/TextCodec.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

namespace velmora {

namespace {

bool isDecimalSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void appendEscaped(std::string& out, std::string_view text) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* run = begin;
  for (const char* p = begin; p < end; ++p) {
    const char* replacement;
    if (*p == '&') {
      replacement = "&amp;";
    } else if (*p == '<') {
      replacement = "&lt;";
    } else if (*p == '>' && p - begin >= 2 && p[-1] == ']' && p[-2] == ']') {
      replacement = "&gt;";
    } else {
      continue;
    }
    out.append(run, static_cast<size_t>(p - run));
    out.append(replacement);
    run = p + 1;
  }
  out.append(run, static_cast<size_t>(end - run));
}

void decodeMarkup(std::string_view raw, std::string& decoded) {
  const char* cursor = raw.data();
  const char* const end = cursor + raw.size();
  while (cursor < end) {
    const void* found = memchr(cursor, '&', static_cast<size_t>(end - cursor));
    const char* ampersand = found ? static_cast<const char*>(found) : end;
    decoded.append(cursor, ampersand);
    if (ampersand == end) break;
    const void* semicolon = memchr(ampersand, ';', static_cast<size_t>(end - ampersand));
    const char* entityEnd = semicolon ? static_cast<const char*>(semicolon) : end;
    const std::string_view entity(ampersand, static_cast<size_t>(entityEnd - ampersand));
    if (entity == "&amp") {
      decoded.push_back('&');
    } else if (entity == "&lt") {
      decoded.push_back('<');
    } else if (entity == "&gt") {
      decoded.push_back('>');
    } else {
      decoded.append(entity);  // an unknown entity keeps its bytes and loses its ";"
    }
    cursor = semicolon ? entityEnd + 1 : end;
  }
}

int parseDecimal(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end && isDecimalSpace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // Accumulated as a magnitude capped just beyond the 32-bit range: too large a number clamps to
  // the nearest 32-bit value instead of wrapping.
  constexpr int64_t kCap = int64_t{INT_MAX} + 2;
  int64_t magnitude = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > kCap) magnitude = kCap;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace velmora
