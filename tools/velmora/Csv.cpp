// CSV reading and writing.
#include "tools/velmora/Csv.h"

namespace velmora {

void CsvReader::feed(std::string_view bytes) {
  if (!failure.empty()) return;
  if (readyPosition == ready.size()) {
    ready.clear();
    readyPosition = 0;
  }
  for (const char c : bytes) {
    if (!recordStarted) {
      recordStarted = true;
      current.line = line;
    }
    switch (state) {
      case State::FieldStart:
        if (c == '"') {
          state = State::Quoted;
          break;
        }
        state = State::Unquoted;
        [[fallthrough]];
      case State::Unquoted:
        if (c == ',') {
          endField();
        } else if (c == '\n') {
          endField();
          endRecord();
        } else if (c == '\r') {
          state = State::AfterCr;
        } else if (c == '"') {
          fail("quote inside an unquoted field");
          return;
        } else {
          field.push_back(c);
        }
        break;
      case State::AfterCr:  // a CR that ends the record only when LF follows
        if (c == '\n') {
          endField();
          endRecord();
          break;
        }
        field.push_back('\r');
        state = State::Unquoted;
        if (c == ',') {
          endField();
        } else if (c == '\r') {
          state = State::AfterCr;
        } else if (c == '"') {
          fail("quote inside an unquoted field");
          return;
        } else {
          field.push_back(c);
        }
        break;
      case State::Quoted:
        if (c == '"') {
          state = State::QuoteInQuoted;
        } else {
          if (c == '\n') ++line;
          field.push_back(c);
        }
        break;
      case State::QuoteInQuoted:
        if (c == '"') {
          field.push_back('"');
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

bool CsvReader::finish() {
  if (!failure.empty()) return false;
  if (state == State::Quoted) {
    fail("quoted field not closed before the end of the input");
    return false;
  }
  if (state == State::AfterCr) field.push_back('\r');
  if (recordStarted) {
    endField();
    endRecord();
  }
  return true;
}

bool CsvReader::next(Record& record) {
  if (readyPosition == ready.size()) return false;
  record = std::move(ready[readyPosition++]);
  return true;
}

void CsvReader::endField() {
  current.fields.push_back(std::move(field));
  field.clear();
  state = State::FieldStart;
}

void CsvReader::endRecord() {
  ready.push_back(std::move(current));
  current = Record();
  recordStarted = false;
  ++line;
}

void CsvReader::fail(const char* message) {
  failure = message;
  failureLine = current.line;
}

void appendCsvField(std::string_view value, std::string& out) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
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
