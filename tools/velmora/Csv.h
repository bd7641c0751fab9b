// CSV in both directions: a streaming record reader and the field quoting of the writer.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Reads RFC 4180 records from bytes handed in pieces, so an input of any size streams through
// a fixed buffer. Records end at LF or CR LF (a lone CR is kept as data); a quoted field may hold
// commas, quotes ("" for one) and line breaks. Each record remembers the line its first byte
// stands on. Records and their fields are kept in buffers that are reused from record to record,
// so reading allocates nothing per field. Not thread-safe.
class CsvReader {
 public:
  // One record's fields, stored one after the other.
  class Record {
   public:
    size_t size() const { return ends.size(); }
    // Valid until the record is next handed to CsvReader::next.
    std::string_view operator[](size_t field) const {
      const size_t begin = field == 0 ? 0 : ends[field - 1];
      return std::string_view(bytes).substr(begin, ends[field] - begin);
    }
    long line = 0;  // 1-based line of the record's first byte

   private:
    friend class CsvReader;
    void clear() {
      bytes.clear();
      ends.clear();
    }
    std::string bytes;
    std::vector<size_t> ends;  // one past each field's last byte
  };

  // Takes the next piece of input. Complete records become available through next().
  void feed(std::string_view bytes);
  // The input has ended; a last record without a line break becomes available. False when the
  // input ends inside a quoted field (error() then says so).
  bool finish();
  // Swaps the next complete record into record (whose buffers the reader reuses); false when none
  // is ready. False too, with error() set, on a malformed record (a quote inside an unquoted field,
  // or text after a closing quote): reading stops there.
  bool next(Record& record);
  const std::string& error() const { return failure; }
  // The line the malformed record or unterminated field begins on.
  long errorLine() const { return failureLine; }

 private:
  enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted, AfterCr };
  void endField();
  void endRecord();
  void fail(const char* message);

  State state = State::FieldStart;
  Record current;             // its last field is the one being read
  std::vector<Record> ready;  // [readyPosition, readyCount) complete, the rest spare buffers
  size_t readyPosition = 0;
  size_t readyCount = 0;
  long line = 1;
  bool recordStarted = false;
  std::string failure;
  long failureLine = 0;
};

// Appends the field to out, quoted when it holds a comma, a quote, CR or LF (quotes doubled).
void appendCsvField(std::string_view value, std::string& out);

}  // namespace velmora
