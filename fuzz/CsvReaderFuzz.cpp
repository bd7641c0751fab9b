// Fuzz target: arbitrary bytes through the tool's CSV reader, whole and in small pieces. Both
// ways must agree; every record that reads back must write out and read again to itself.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <string_view>
#include <vector>

#include "tools/velmora/Csv.h"

using namespace velmora;

namespace {

struct Outcome {
  std::vector<std::vector<std::string>> records;
  std::vector<long> lines;
  std::string error;
};

Outcome readAll(std::string_view input, size_t piece) {
  CsvReader reader;
  Outcome outcome;
  CsvReader::Record record;
  const auto drain = [&] {
    while (reader.next(record)) {
      outcome.records.emplace_back();
      for (size_t f = 0; f < record.size(); ++f) outcome.records.back().emplace_back(record[f]);
      outcome.lines.push_back(record.line);
    }
  };
  for (size_t at = 0; at < input.size(); at += piece) {
    reader.feed(input.substr(at, piece));
    drain();
  }
  reader.finish();
  drain();
  outcome.error = reader.error();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const Outcome whole = readAll(input, input.size() + 1);
  const Outcome pieces = readAll(input, 7);
  if (whole.records != pieces.records || whole.lines != pieces.lines ||
      whole.error != pieces.error) {
    abort();
  }
  if (!whole.error.empty()) return 0;
  std::string written;
  for (const auto& record : whole.records) {
    for (size_t f = 0; f < record.size(); ++f) {
      if (f > 0) written.push_back(',');
      appendCsvField(record[f], written);
    }
    written.append("\r\n");
  }
  const Outcome again = readAll(written, written.size() + 1);
  // A record of one empty field writes as an empty line, which reads back as one empty field.
  if (!again.error.empty() || again.records != whole.records) abort();
  return 0;
}
