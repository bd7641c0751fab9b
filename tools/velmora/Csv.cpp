// CSV reading and writing.
#include "tools/velmora/Csv.h"

#include <algorithm>
#include <utility>

namespace velmora {

void CsvReader::feed(std::string_view input) {
  if (!failure.empty()) return;
  if (readyPosition == readyCount) readyPosition = readyCount = 0;
  const char* p = input.data();
  const char* const end = p + input.size();
  while (p < end) {
    if (!recordStarted) {
      recordStarted = true;
      current.line = line;
    }
    switch (state) {
      case State::FieldStart:
        state = State::Unquoted;
        if (*p == '"') {
          state = State::Quoted;
          ++p;
        }
        break;
      case State::Unquoted: {
        // Plain bytes are taken a run at a time; the byte that ends the run is looked at.
        const char* stop = p;
        while (stop < end && *stop != ',' && *stop != '\n' && *stop != '\r' && *stop != '"') ++stop;
        current.bytes.append(p, static_cast<size_t>(stop - p));
        p = stop;
        if (p == end) break;
        const char c = *p++;
        if (c == ',') {
          endField();
        } else if (c == '\n') {
          endField();
          endRecord();
        } else if (c == '\r') {
          state = State::AfterCr;
        } else {
          fail("quote inside an unquoted field");
          return;
        }
        break;
      }
      case State::AfterCr:  // a CR that ends the record only when LF follows
        if (*p == '\n') {
          ++p;
          endField();
          endRecord();
        } else {
          current.bytes.push_back('\r');
          state = State::Unquoted;  // the byte is read again as part of the field
        }
        break;
      case State::Quoted: {
        const char* stop = p;
        while (stop < end && *stop != '"') {
          if (*stop == '\n') ++line;
          ++stop;
        }
        current.bytes.append(p, static_cast<size_t>(stop - p));
        p = stop;
        if (p < end) {
          ++p;
          state = State::QuoteInQuoted;
        }
        break;
      }
      case State::QuoteInQuoted: {
        const char c = *p++;
        if (c == '"') {
          current.bytes.push_back('"');
          state = State::Quoted;
        } else if (c == ',') {
          endField();
        } else if (c == '\n') {
          endField();
          endRecord();
        } else if (c == '\r') {
          state = State::AfterCr;  // the field is complete; only the record end may follow
        } else {
          fail("text after a closing quote");
          return;
        }
        break;
      }
    }
  }
}

bool CsvReader::finish() {
  if (!failure.empty()) return false;
  if (state == State::Quoted) {
    fail("quoted field not closed before the end of the input");
    return false;
  }
  if (state == State::AfterCr) current.bytes.push_back('\r');
  if (recordStarted) {
    endField();
    endRecord();
  }
  return true;
}

bool CsvReader::next(Record& record) {
  if (readyPosition == readyCount) return false;
  std::swap(record, ready[readyPosition++]);
  return true;
}

void CsvReader::endField() {
  current.ends.push_back(current.bytes.size());
  state = State::FieldStart;
}

void CsvReader::endRecord() {
  if (readyCount == ready.size()) ready.emplace_back();
  std::swap(current, ready[readyCount++]);
  current.clear();
  recordStarted = false;
  ++line;
}

void CsvReader::fail(const char* message) {
  failure = message;
  failureLine = current.line;
}

void appendCsvField(std::string_view value, std::string& out) {
  const bool plain = std::none_of(value.begin(), value.end(), [](char c) {
    return c == ',' || c == '"' || c == '\r' || c == '\n';
  });
  if (plain) {
    out.append(value);
    return;
  }
  out.push_back('"');
  for (const char c : value) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace velmora
