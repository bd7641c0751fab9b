// A hand-written buffered writer of the same bytes Velmora saves, straight from the structs:
// what a save costs with no document and no engine in between.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"
#include "bench/EmployeeData.h"

using namespace velmora;

namespace {

constexpr size_t kChunkSize = 1 << 20;

// Markup into one buffer, handed to write() a chunk at a time. Owns the descriptor.
class BufferedWriter {
 public:
  explicit BufferedWriter(int outputDescriptor) : descriptor(outputDescriptor) {
    buffer.reserve(kChunkSize + 4096);
  }
  ~BufferedWriter() {
    if (descriptor >= 0) ::close(descriptor);
  }
  BufferedWriter(const BufferedWriter&) = delete;
  BufferedWriter& operator=(const BufferedWriter&) = delete;

  void append(std::string_view bytes) {
    buffer.append(bytes);
    if (buffer.size() >= kChunkSize) flush();
  }
  // "&" and "<" escaped, as in any text of the file.
  void appendText(std::string_view text) {
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '&' && text[i] != '<') continue;
      buffer.append(text.substr(run, i - run));
      buffer.append(text[i] == '&' ? "&amp;" : "&lt;");
      run = i + 1;
    }
    append(text.substr(run));
  }
  void appendNumber(int value) {
    char digits[12];
    char* p = digits + sizeof digits;
    unsigned magnitude =
        value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
      *--p = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    append(std::string_view(p, static_cast<size_t>(digits + sizeof digits - p)));
  }
  bool flush() {
    const char* cursor = buffer.data();
    size_t left = buffer.size();
    while (left > 0) {
      const ssize_t written = ::write(descriptor, cursor, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        failed = true;
        break;
      }
      cursor += written;
      left -= static_cast<size_t>(written);
    }
    buffer.clear();
    return !failed;
  }
  // Flushes, optionally syncs, and closes; false when anything failed along the way.
  bool finish(bool sync) {
    bool ok = flush();
    if (sync) ok = ::fsync(descriptor) == 0 && ok;
    ok = ::close(descriptor) == 0 && ok;
    descriptor = -1;
    return ok;
  }

 private:
  int descriptor;
  std::string buffer;
  bool failed = false;
};

void writeDocument(BufferedWriter& out, const std::vector<Employee>& rows) {
  out.append(
      "<!--this is a database created with velmora--><!--you can download this program from "
      "https://velmora.example.org/download--><database><info><name>employees</name><version>1"
      "</version></info><data><employee>");
  for (const Employee& employee : rows) {
    out.append("<record><name>");
    out.appendText(employee.name);
    out.append("</name><surname>");
    out.appendText(employee.surname);
    out.append("</surname><age>");
    out.appendNumber(employee.age);
    out.append("</age></record>");
  }
  out.append("</employee></data></database>");
}

// Plain: create or truncate the target and write. Durable: a temporary file beside the target,
// fsync, close, rename over the target, fsync the directory (what Velmora's Save does).
bool save(const std::string& target, const std::vector<Employee>& rows, bool durable) {
  if (!durable) {
    BufferedWriter out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    writeDocument(out, rows);
    return out.finish(false);
  }
  std::string temporary = target + ".tmp-XXXXXX";
  BufferedWriter out(mkstemp(temporary.data()));
  writeDocument(out, rows);
  if (!out.finish(true) || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  const size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int directoryDescriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directoryDescriptor < 0) return false;
  const bool synced = ::fsync(directoryDescriptor) == 0;
  return ::close(directoryDescriptor) == 0 && synced;
}

void saveRecords(benchmark::State& state, bool durable) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Employee>& rows = employees(n);
  const std::string target =
      scratchFile(std::string(durable ? "durable-" : "plain-") + std::to_string(n) + ".xml");
  bool ok = true;
  settleDisk();
  for (auto _ : state) ok = save(target, rows, durable) && ok;
  // The same bytes as Velmora writes, or the comparison means nothing.
  if (!ok || readFile(target) != readFile(savedFile(n, false))) {
    state.SkipWithError("writing failed or its bytes differ from Velmora's file");
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_BufferedWriterSave(benchmark::State& state) { saveRecords(state, false); }
BENCHMARK(BM_BufferedWriterSave)->Apply(recordSizes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BufferedWriterSaveDurable(benchmark::State& state) { saveRecords(state, true); }
BENCHMARK(BM_BufferedWriterSaveDurable)
    ->Apply(recordSizes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
