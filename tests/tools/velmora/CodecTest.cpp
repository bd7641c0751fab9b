// The velmora tool's codecs: CSV reading and quoting, JSON strings, UTF-8 and the text table.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/velmora/Csv.h"
#include "tools/velmora/TextOutput.h"

namespace velmora {
namespace {

struct Read {
  std::vector<std::vector<std::string>> records;
  std::vector<long> lines;
  std::string error;
  long errorLine = 0;
};

// Feeds the input in pieces of the given size, so records split anywhere must come out whole.
Read readCsv(const std::string& input, size_t piece) {
  CsvReader reader;
  Read result;
  CsvReader::Record record;
  const auto drain = [&] {
    while (reader.next(record)) {
      result.records.emplace_back();
      for (size_t f = 0; f < record.size(); ++f) result.records.back().emplace_back(record[f]);
      result.lines.push_back(record.line);
    }
  };
  for (size_t at = 0; at < input.size(); at += piece) {
    reader.feed(std::string_view(input).substr(at, piece));
    drain();
  }
  reader.finish();
  drain();
  result.error = reader.error();
  result.errorLine = reader.errorLine();
  return result;
}

TEST(CsvReaderTest, ReadsRecordsWhateverThePieceSize) {
  using Records = std::vector<std::vector<std::string>>;
  const struct {
    std::string input;
    Records records;
    std::vector<long> lines;
  } cases[] = {
      {"", {}, {}},
      {"a,b\n1,2\n", {{"a", "b"}, {"1", "2"}}, {1, 2}},
      {"a,b\r\n1,2", {{"a", "b"}, {"1", "2"}}, {1, 2}},  // CR LF, no final line break
      {"a,,\n", {{"a", "", ""}}, {1}},
      {"\"x,y\",\"say \"\"hi\"\"\"\n", {{"x,y", "say \"hi\""}}, {1}},
      {"\"two\r\nlines\",b\nnext\n", {{"two\r\nlines", "b"}, {"next"}}, {1, 3}},
      {"lone\rcr,x\r\n", {{"lone\rcr", "x"}}, {1}},  // a CR without LF is data
      {"end\r", {{"end\r"}}, {1}},
      {"\n", {{""}}, {1}},
      {"\"\"\n", {{""}}, {1}},
  };
  for (const auto& c : cases) {
    for (const size_t piece : {size_t{1}, size_t{3}, size_t{1000}}) {
      const Read read = readCsv(c.input, piece);
      EXPECT_EQ(read.records, c.records) << c.input << " piece " << piece;
      EXPECT_EQ(read.lines, c.lines) << c.input;
      EXPECT_EQ(read.error, "") << c.input;
    }
  }
}

TEST(CsvReaderTest, StopsAtAMalformedRecordWithItsLine) {
  const struct {
    std::string input;
    size_t recordsBefore;
    long line;
  } cases[] = {
      {"a\nb\"c\n", 1, 2},     // quote inside an unquoted field
      {"a\n\"b\"c\n", 1, 2},   // text after a closing quote
      {"a\n\"x\ny\nz", 1, 2},  // quoted field never closed: the line it opened on
  };
  for (const auto& c : cases) {
    const Read read = readCsv(c.input, 2);
    EXPECT_EQ(read.records.size(), c.recordsBefore) << c.input;
    EXPECT_NE(read.error, "") << c.input;
    EXPECT_EQ(read.errorLine, c.line) << c.input;
  }
}

TEST(CsvWriterTest, QuotesExactlyWhenNeededAndReadsBack) {
  const struct {
    std::string value;
    std::string written;
  } cases[] = {
      {"plain", "plain"},   {"", ""},
      {"a,b", "\"a,b\""},   {"say \"x\"", "\"say \"\"x\"\"\""},
      {"cr\r", "\"cr\r\""}, {"lf\n", "\"lf\n\""},
  };
  for (const auto& c : cases) {
    std::string out;
    appendCsvField(c.value, out);
    EXPECT_EQ(out, c.written);
    const Read read = readCsv(out + "\r\n", 1);
    ASSERT_EQ(read.records.size(), 1u) << c.value;
    EXPECT_EQ(read.records[0][0], c.value);
  }
}

TEST(JsonStringTest, EscapesAndReplacesInvalidUtf8ByteByByte) {
  const struct {
    std::string value;
    std::string written;
    int replaced;
  } cases[] = {
      {"a\"b\\c", R"("a\"b\\c")", 0},
      {"\n\r\t\x01\x7f", R"("\n\r\t\u0001\u007f")", 0},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xF0\x9F\x98\x80\"", 0},
      {"\xE9t\xE9", "\"\xEF\xBF\xBDt\xEF\xBF\xBD\"", 2},                // Latin-1 bytes
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\"", 2},                  // overlong "/"
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"", 3},  // surrogate
      {"\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\"", 2},                  // cut off at the end
      {std::string("a\0b", 3), R"("a\u0000b")", 0},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(appendJsonString(c.value, out), c.replaced) << c.value;
    EXPECT_EQ(out, c.written);
  }
}

TEST(Utf8Test, SequenceLengthAtTheBoundaries) {
  const struct {
    std::string bytes;
    int length;
  } cases[] = {
      {"\x7F", 1},
      {"\xC2\x80", 2},
      {"\xC1\xBF", 0},  // overlong
      {"\xE0\xA0\x80", 3},
      {"\xE0\x9F\xBF", 0},
      {"\xED\x9F\xBF", 3},
      {"\xED\xA0\x80", 0},
      {"\xF4\x8F\xBF\xBF", 4},
      {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 0},
      {"\x80", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(utf8SequenceLength(c.bytes), c.length) << c.bytes.size();
}

TEST(TextTableTest, AlignsByCharactersAndKeepsRowsOnOneLine) {
  std::string out;
  appendTextTable({{"name", "age"}, {"j\xC3\xB6rg", "12"}, {"two\nlines", "7"}}, out);
  EXPECT_EQ(out,
            "name        age\n"
            "----------  ---\n"
            "j\xC3\xB6rg        12\n"
            "two\\nlines  7\n");
}

}  // namespace
}  // namespace velmora
